#include "logtable/FileTableEngine.h"

#include "common/KelboError.h"

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

void FileTableEngine::noteMemoDamage(const std::string& memoPath)
{
    if (!m_memoDamageNoted) {
        m_memoDamageNoted = true;
        addNote("メモファイル " + memoPath + " の一部が壊れているため, 読めないメモは空で表示します.");
    }
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

} // namespace logtable
