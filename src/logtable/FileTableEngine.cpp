#include "logtable/FileTableEngine.h"

#include "common/KelboError.h"
#include "logtable/WriteJournal.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/falloc.h>
#include <sys/stat.h>
#include <unistd.h>

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
    if (m_noteListener) {
        m_noteListener();
    }
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

namespace {

std::function<void(RewriteStage)> g_rewriteHook;

void reach(RewriteStage stage)
{
    if (g_rewriteHook) {
        g_rewriteHook(stage);
    }
}

std::string readRange(TableWriter& writer, off_t from, off_t to)
{
    std::string bytes(static_cast<std::size_t>(to - from), '\0');
    if (!bytes.empty()) {
        writer.readAt(bytes.data(), bytes.size(), from);
    }
    return bytes;
}

void writeRange(TableWriter& writer, const std::string& bytes, off_t at)
{
    const char* p = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::pwrite(writer.fd(), p, left, at);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            throw KelboError(writeError(writer.path(), std::strerror(n < 0 ? errno : ENOSPC)));
        }
        p += n;
        left -= static_cast<std::size_t>(n);
        at += n;
    }
}

off_t sizeOf(int fd)
{
    struct stat st
    {
    };
    return ::fstat(fd, &st) == 0 ? st.st_size : -1;
}

/** Under the lock: the file still holds the @p known bytes it was read with (hash @p readHash) and after them
 * @p carried, the bytes already taken into the new content; returns its size now. Any other change refuses. */
off_t unchangedSize(TableWriter& writer, off_t known, std::uint64_t readHash, const std::string& carried)
{
    const off_t size = sizeOf(writer.fd());
    ContentHash hash;
    if (size < known + static_cast<off_t>(carried.size()) || !hashRange(writer.fd(), 0, known, hash)
        || hash.value() != readHash
        || readRange(writer, known, known + static_cast<off_t>(carried.size())) != carried) {
        writer.refuseChanged();
    }
    return size;
}

std::uint64_t hashOf(const std::string& bytes)
{
    ContentHash hash;
    hash.feed(bytes);
    return hash.value();
}

} // namespace

void setRewriteHookForTests(std::function<void(RewriteStage)> hook)
{
    g_rewriteHook = std::move(hook);
}

FileTableEngine::FileTableEngine(std::string path)
    : m_path(std::move(path))
{
    m_recoveryNote = recoverTable(m_path);
}

std::string FileTableEngine::readNote() const
{
    if (m_recoveryNote.empty() || m_note.empty()) {
        return m_recoveryNote.empty() ? m_note : m_recoveryNote;
    }
    return m_recoveryNote + " " + m_note;
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
    // The bytes this table's view stands for; what lies beyond them was appended by another program.
    const off_t known = m_knownSize >= 0 ? m_knownSize : m_stamp.size;
    ContentHash read;
    if (st.st_size < known || firstChange > known || !hashRange(writer.fd(), 0, known, read)) {
        writer.refuseChanged();
    }
    reach(RewriteStage::Started);
    try {
        const std::string target = filewrite::resolveLinks(m_path);
        if (st.st_nlink > 1 || !filewrite::canReplace(target)) {
            rewriteJournaled(writer, target, firstChange, known, read.value(), produce);
            return Rewrite::InPlace;
        }
        replaceCarrying(writer, target, known, read.value(), produce);
    } catch (const filewrite::Failure& failure) {
        throw KelboError(writeError(failure.what()));
    }
    return Rewrite::Replaced;
}

void FileTableEngine::replaceCarrying(TableWriter& writer, const std::string& target, off_t known,
                                      std::uint64_t readHash,
                                      const std::function<void(const filewrite::Put& put, off_t from)>& produce)
{
    struct stat old
    {
    };
    ::fstat(writer.fd(), &old);
    std::string carried; // bytes another program appended, already at the end of the new content
    off_t produced = 0;
    const auto carry = [&](const filewrite::Put& put) {
        for (;;) {
            struct stat named
            {
            };
            // A file put in its place by rename is a change like any other.
            if (::stat(target.c_str(), &named) != 0 || named.st_ino != old.st_ino || named.st_dev != old.st_dev) {
                writer.refuseChanged();
            }
            const off_t size = unchangedSize(writer, known, readHash, carried);
            const off_t end = known + static_cast<off_t>(carried.size());
            if (size == end) {
                return;
            }
            const std::string appended = readRange(writer, end, size);
            put(appended.data(), appended.size());
            carried += appended;
        }
    };
    filewrite::replaceFile(
        target,
        [&](const filewrite::Put& put) {
            produce(
                [&](const char* data, std::size_t size) {
                    produced += static_cast<off_t>(size);
                    put(data, size);
                },
                0);
            reach(RewriteStage::Copied);
            carry(put);
        },
        [&](const filewrite::Put& put) {
            reach(RewriteStage::Synced);
            carry(put);
        },
        [&](int fd) {
            m_knownSize = produced;
            reach(RewriteStage::Renamed);
            // A program that opened the old file before the rename may still append to it.
            const off_t size = sizeOf(writer.fd());
            ContentHash hash;
            const off_t end = known + static_cast<off_t>(carried.size());
            const bool same = size >= end && hashRange(writer.fd(), 0, known, hash) && hash.value() == readHash
                && readRange(writer, known, end) == carried;
            if (same && size == end) {
                return;
            }
            if (same) {
                const std::string appended = readRange(writer, end, size);
                ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_APPEND);
                std::size_t done = 0;
                while (done < appended.size()) {
                    const ssize_t n = ::write(fd, appended.data() + done, appended.size() - done);
                    if (n < 0 && errno == EINTR) {
                        continue;
                    }
                    if (n <= 0) {
                        throw KelboError(writeError(std::strerror(n < 0 ? errno : ENOSPC)));
                    }
                    done += static_cast<std::size_t>(n);
                }
                if (::fsync(fd) != 0) {
                    throw KelboError(writeError(std::strerror(errno)));
                }
                return;
            }
            // Another program changed the old file just as the new one took its name: its content is kept beside.
            std::string saved = target + ".kelbo-saved-XXXXXX";
            const int copy = ::mkstemp(saved.data());
            bool kept = copy >= 0;
            if (kept) {
                const std::string bytes = readRange(writer, 0, size);
                std::size_t done = 0;
                while (kept && done < bytes.size()) {
                    const ssize_t n = ::write(copy, bytes.data() + done, bytes.size() - done);
                    kept = n > 0 || (n < 0 && errno == EINTR);
                    done += n > 0 ? static_cast<std::size_t>(n) : 0;
                }
                kept = kept && ::fsync(copy) == 0;
                ::close(copy);
            }
            throw KelboError(writeError("書き込みの途中でほかのプログラムが変更しました. "
                                        + (kept ? "変更された元の内容を " + saved + " に残しました. " : std::string())
                                        + "接続し直してください"));
        });
}

void FileTableEngine::rewriteJournaled(TableWriter& writer, const std::string& target, off_t firstChange, off_t known,
                                       std::uint64_t readHash,
                                       const std::function<void(const filewrite::Put& put, off_t from)>& produce)
{
    struct stat st
    {
    };
    ::fstat(writer.fd(), &st);
    JournalEntry entry;
    entry.path = target;
    entry.device = st.st_dev;
    entry.inode = st.st_ino;
    entry.from = firstChange;
    entry.oldSize = st.st_size;
    entry.oldBytes = readRange(writer, firstChange, st.st_size);
    ContentHash prefix;
    if (!hashRange(writer.fd(), 0, firstChange, prefix)) {
        writer.refuseChanged();
    }
    entry.prefixHash = prefix.value();
    std::string tail;
    produce([&tail](const char* data, std::size_t size) { tail.append(data, size); }, firstChange);
    const off_t produced = firstChange + static_cast<off_t>(tail.size());
    tail.append(entry.oldBytes, static_cast<std::size_t>(known - firstChange), std::string::npos);
    // Bytes appended by another program are both old and new: a roll-back keeps them too.
    const auto takeAppended = [&](const std::string& appended) {
        entry.oldBytes += appended;
        entry.oldSize += static_cast<off_t>(appended.size());
        tail += appended;
    };
    const auto journal = [&] {
        entry.newSize = firstChange + static_cast<off_t>(tail.size());
        entry.newHash = hashOf(tail);
        writeJournal(entry);
    };
    reach(RewriteStage::Copied);
    journal();
    bool overwriting = false;
    try {
        reach(RewriteStage::Journaled);
        for (;;) {
            const off_t size = unchangedSize(writer, known, readHash,
                                             entry.oldBytes.substr(static_cast<std::size_t>(known - firstChange)));
            if (size == entry.oldSize) {
                break;
            }
            takeAppended(readRange(writer, entry.oldSize, size));
            journal();
        }
        // The space is taken before the first byte is written: a full disk must not stop the rewrite halfway.
        if (::fallocate(writer.fd(), FALLOC_FL_KEEP_SIZE, 0, entry.newSize) != 0 && errno != EOPNOTSUPP
            && errno != ENOSYS) {
            throw KelboError(writeError(std::strerror(errno)));
        }
        overwriting = true;
        writeRange(writer, tail, firstChange);
        reach(RewriteStage::Written);
        // Appended just now: beyond both ends, or (when the file grew) after the new bytes.
        const off_t covered = std::max(entry.oldSize, entry.newSize);
        const off_t size = sizeOf(writer.fd());
        if (size > covered) {
            const std::string appended = readRange(writer, covered, size);
            const off_t at = entry.newSize;
            takeAppended(appended);
            journal();
            writeRange(writer, appended, at);
        }
        if (::ftruncate(writer.fd(), entry.newSize) != 0 || ::fsync(writer.fd()) != 0) {
            throw KelboError(writeError(std::strerror(errno)));
        }
        // A write that reported success but did not land is reported here, not taken as done.
        if (readRange(writer, firstChange, entry.newSize) != tail) {
            throw KelboError(writeError("書き込んだ内容を読み返せません"));
        }
    } catch (...) {
        // Nothing overwritten yet: the file is as it was (or as another program made it). Otherwise the old bytes go
        // back at once; when even that fails, the journal stays and the next open puts them back.
        bool whole = !overwriting;
        if (overwriting) {
            try {
                writeRange(writer, entry.oldBytes, firstChange);
                whole = ::ftruncate(writer.fd(), entry.oldSize) == 0 && ::fsync(writer.fd()) == 0
                    && readRange(writer, firstChange, entry.oldSize) == entry.oldBytes;
            } catch (const KelboError&) {
                whole = false;
            }
        }
        if (whole) {
            removeJournal(entry.device, entry.inode);
        }
        throw;
    }
    removeJournal(entry.device, entry.inode);
    m_knownSize = produced;
}

} // namespace logtable
