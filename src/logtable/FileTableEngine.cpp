#include "logtable/FileTableEngine.h"

#include "common/KelboError.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace logtable {

void FileTableEngine::addNote(const std::string& sentence)
{
    if (sentence.empty()) {
        return;
    }
    if (!m_note.empty()) {
        m_note += ' ';
    }
    m_note += sentence;
}

std::string FileTableEngine::memoTextFrom(std::optional<std::string> bytes, const std::string& memoPath)
{
    if (!bytes) {
        if (!m_memoDamageNoted) {
            m_memoDamageNoted = true;
            addNote("メモファイル " + memoPath + " の一部が壊れているため, 読めないメモは空で表示します.");
        }
        return "";
    }
    const std::size_t nul = bytes->find('\0');
    if (nul != std::string::npos) {
        bytes->resize(nul);
    }
    return std::move(*bytes);
}

TableWriter& FileTableEngine::batchWriter()
{
    if (!m_batchWriter) {
        m_batchWriter = std::make_unique<TableWriter>(m_path, m_stamp);
    } else {
        m_batchWriter->expect(m_stamp);
    }
    return *m_batchWriter;
}

void FileTableEngine::endBatch()
{
    m_batchActive = false;
    std::unique_ptr<TableWriter> writer = std::move(m_batchWriter);
    if (!writer) {
        return;
    }
    try {
        commitBatch(*writer);
    } catch (const KelboError&) {
        m_stamp = FileStamp();
        writer.reset();
        batchClosed(false);
        throw;
    }
    if (writer->sawChange()) {
        m_stamp = FileStamp();
    }
    writer.reset();
    batchClosed(true);
}

FileTableEngine::Rewrite
FileTableEngine::rewriteFile(TableWriter& writer, off_t firstChange,
                             const std::function<void(const filewrite::Put& put, off_t from)>& produce)
{
    struct stat st
    {
    };
    if (::fstat(writer.fd(), &st) != 0) {
        throw KelboError(writeError(std::strerror(errno)));
    }
    try {
        const std::string target = filewrite::resolveLinks(m_path);
        if (st.st_nlink > 1 || !filewrite::canReplace(target)) {
            std::string tail;
            produce([&tail](const char* data, std::size_t size) { tail.append(data, size); }, firstChange);
            filewrite::rewriteInPlace(writer.fd(), firstChange, tail);
            return Rewrite::InPlace;
        }
        filewrite::replaceFile(target, [&](const filewrite::Put& put) { produce(put, 0); });
    } catch (const filewrite::Failure& failure) {
        throw KelboError(writeError(failure.what()));
    }
    return Rewrite::Replaced;
}

} // namespace logtable
