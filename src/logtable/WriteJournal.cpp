#include "logtable/WriteJournal.h"

#include "common/FileWrite.h"
#include "common/KelboError.h"
#include "logtable/TableSupport.h"

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace logtable {

// --- the hash

void ContentHash::mix(std::uint64_t word)
{
    m_state ^= word * 0xC2B2AE3D27D4EB4Full;
    m_state = (m_state << 31 | m_state >> 33) * 0x9E3779B97F4A7C15ull;
}

void ContentHash::feed(const char* data, std::size_t size)
{
    m_length += size;
    while (size > 0 && m_pendingSize > 0 && m_pendingSize < 8) {
        m_pending[m_pendingSize++] = static_cast<unsigned char>(*data++);
        --size;
        if (m_pendingSize == 8) {
            std::uint64_t word;
            std::memcpy(&word, m_pending, 8);
            mix(word);
            m_pendingSize = 0;
        }
    }
    while (size >= 8) {
        std::uint64_t word;
        std::memcpy(&word, data, 8);
        mix(word);
        data += 8;
        size -= 8;
    }
    std::memcpy(m_pending + m_pendingSize, data, size);
    m_pendingSize += size;
}

std::uint64_t ContentHash::value() const
{
    ContentHash last = *this;
    std::uint64_t word = 0;
    std::memcpy(&word, last.m_pending, last.m_pendingSize);
    last.mix(word ^ last.m_length);
    std::uint64_t h = last.m_state;
    h ^= h >> 29;
    h *= 0xBF58476D1CE4E5B9ull;
    h ^= h >> 32;
    return h;
}

bool hashRange(int fd, off_t offset, off_t size, ContentHash& hash)
{
    std::vector<char> buffer(static_cast<std::size_t>(std::min<off_t>(std::max<off_t>(size, 1), 1 << 20)));
    while (size > 0) {
        const auto n = static_cast<std::size_t>(std::min<off_t>(size, static_cast<off_t>(buffer.size())));
        if (!logtable::readAt(fd, buffer.data(), n, offset)) {
            return false;
        }
        hash.feed(buffer.data(), n);
        offset += static_cast<off_t>(n);
        size -= static_cast<off_t>(n);
    }
    return true;
}

namespace {

std::uint64_t hashOf(int fd, off_t offset, off_t size, bool& ok)
{
    ContentHash hash;
    ok = hashRange(fd, offset, size, hash);
    return hash.value();
}

std::string journalName(dev_t device, ino_t inode)
{
    char name[64];
    std::snprintf(name, sizeof name, "%" PRIu64 "-%" PRIu64 ".journal", static_cast<std::uint64_t>(device),
                  static_cast<std::uint64_t>(inode));
    return name;
}

std::string hex(std::string_view bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (const char c : bytes) {
        out += digits[static_cast<unsigned char>(c) >> 4];
        out += digits[static_cast<unsigned char>(c) & 15];
    }
    return out;
}

bool unhex(std::string_view text, std::string& out)
{
    if (text.size() % 2 != 0) {
        return false;
    }
    auto digit = [](char c) { return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1; };
    out.clear();
    for (std::size_t i = 0; i < text.size(); i += 2) {
        const int hi = digit(text[i]);
        const int lo = digit(text[i + 1]);
        if (hi < 0 || lo < 0) {
            return false;
        }
        out += static_cast<char>(hi << 4 | lo);
    }
    return true;
}

std::string serialize(const JournalEntry& e)
{
    char numbers[400];
    std::snprintf(numbers, sizeof numbers,
                  "device %" PRIu64 "\ninode %" PRIu64 "\nfrom %" PRId64 "\nold %" PRId64 "\nnew %" PRId64
                  "\nprefix %016" PRIx64 "\nnewhash %016" PRIx64 "\ndata %zu\n",
                  static_cast<std::uint64_t>(e.device), static_cast<std::uint64_t>(e.inode),
                  static_cast<std::int64_t>(e.from), static_cast<std::int64_t>(e.oldSize),
                  static_cast<std::int64_t>(e.newSize), e.prefixHash, e.newHash, e.oldBytes.size());
    std::string out = "KELBO-JOURNAL 1\npath " + hex(e.path) + "\n" + numbers + e.oldBytes;
    ContentHash sum;
    sum.feed(out);
    char tail[40];
    std::snprintf(tail, sizeof tail, "\nsum %016" PRIx64 "\n", sum.value());
    return out + tail;
}

bool parse(const std::string& text, JournalEntry& e)
{
    const std::size_t sumAt = text.rfind("\nsum ");
    if (sumAt == std::string::npos || text.size() != sumAt + 22 || text.back() != '\n') {
        return false;
    }
    ContentHash sum;
    sum.feed(text.data(), sumAt);
    if (std::strtoull(text.c_str() + sumAt + 5, nullptr, 16) != sum.value()) {
        return false;
    }
    std::size_t at = 0;
    auto line = [&](const char* key, std::string& value) {
        const std::size_t end = text.find('\n', at);
        const std::size_t keyLength = std::strlen(key);
        if (end == std::string::npos || text.compare(at, keyLength, key) != 0 || text[at + keyLength] != ' ') {
            return false;
        }
        value = text.substr(at + keyLength + 1, end - at - keyLength - 1);
        at = end + 1;
        return true;
    };
    std::string v;
    if (text.compare(0, 16, "KELBO-JOURNAL 1\n") != 0) {
        return false;
    }
    at = 16;
    if (!line("path", v) || !unhex(v, e.path)) {
        return false;
    }
    std::uint64_t n[5];
    const char* keys[] = {"device", "inode", "from", "old", "new"};
    for (int i = 0; i < 5; ++i) {
        if (!line(keys[i], v)) {
            return false;
        }
        n[i] = std::strtoull(v.c_str(), nullptr, 10);
    }
    e.device = static_cast<dev_t>(n[0]);
    e.inode = static_cast<ino_t>(n[1]);
    e.from = static_cast<off_t>(n[2]);
    e.oldSize = static_cast<off_t>(n[3]);
    e.newSize = static_cast<off_t>(n[4]);
    if (!line("prefix", v)) {
        return false;
    }
    e.prefixHash = std::strtoull(v.c_str(), nullptr, 16);
    if (!line("newhash", v)) {
        return false;
    }
    e.newHash = std::strtoull(v.c_str(), nullptr, 16);
    if (!line("data", v)) {
        return false;
    }
    const std::size_t size = std::strtoull(v.c_str(), nullptr, 10);
    if (at + size != sumAt || e.from < 0 || e.oldSize != e.from + static_cast<off_t>(size) || e.newSize < e.from) {
        return false;
    }
    e.oldBytes = text.substr(at, size);
    return true;
}

bool readWhole(const std::string& file, std::string& text)
{
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        return false;
    }
    struct stat st
    {
    };
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    if (ok) {
        text.assign(static_cast<std::size_t>(st.st_size), '\0');
        ok = text.empty() || logtable::readAt(fd, text.data(), text.size(), 0);
    }
    ::close(fd);
    return ok;
}

void writeAll(int fd, const char* data, std::size_t size, off_t at, const std::string& path)
{
    while (size > 0) {
        const ssize_t n = ::pwrite(fd, data, size, at);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            throw KelboError(writeError(path, std::strerror(n < 0 ? errno : ENOSPC)));
        }
        data += n;
        size -= static_cast<std::size_t>(n);
        at += n;
    }
}

/** The journal is kept beside, under a name no later write uses, and the user is told where. */
std::string setAside(const std::string& journal)
{
    const std::string aside = journal + ".unused";
    ::rename(journal.c_str(), aside.c_str());
    filewrite::syncFolderOf(aside);
    return aside;
}

/** Applies @p entry to the open, locked file @p fd (the file @p path); returns the sentence for the user. */
std::string apply(const JournalEntry& e, int fd, const std::string& path, const std::string& journal)
{
    struct stat st
    {
    };
    if (::fstat(fd, &st) != 0) {
        throw KelboError(openError(path, std::strerror(errno)));
    }
    bool ok = false;
    const bool samePrefix = st.st_size >= e.from && hashOf(fd, 0, e.from, ok) == e.prefixHash && ok;
    if (st.st_dev != e.device || st.st_ino != e.inode || !samePrefix) {
        const std::string aside = setAside(journal);
        return "テーブル " + path + " の途中で止まった書き込みの記録 " + aside
            + " は今のファイルと合わないため, 使わずに残しました.";
    }
    if (st.st_size == e.newSize && hashOf(fd, e.from, e.newSize - e.from, ok) == e.newHash && ok) {
        removeJournal(e.device, e.inode);
        return "テーブル " + path + " への前回の書き込みは最後まで終わっていました.";
    }
    // Bytes beyond both ends can only be another program's: they stay at the end.
    const off_t keepFrom = std::max(e.oldSize, e.newSize);
    std::string appended;
    if (st.st_size > keepFrom) {
        appended.assign(static_cast<std::size_t>(st.st_size - keepFrom), '\0');
        if (!logtable::readAt(fd, appended.data(), appended.size(), keepFrom)) {
            throw KelboError(openError(path, "読み込みに失敗しました"));
        }
    }
    writeAll(fd, e.oldBytes.data(), e.oldBytes.size(), e.from, path);
    writeAll(fd, appended.data(), appended.size(), e.oldSize, path);
    if (::ftruncate(fd, e.oldSize + static_cast<off_t>(appended.size())) != 0 || ::fsync(fd) != 0) {
        throw KelboError(
            openError(path, "途中で止まった書き込みを元に戻せません: " + std::string(std::strerror(errno))));
    }
    std::string back(e.oldBytes.size(), '\0');
    if (!logtable::readAt(fd, back.data(), back.size(), e.from) || back != e.oldBytes) {
        throw KelboError(openError(path, "途中で止まった書き込みを元に戻せません: 読み返せません"));
    }
    removeJournal(e.device, e.inode);
    return "テーブル " + path + " への前回の書き込みが途中で止まっていたため, 書き込む前の内容に戻しました.";
}

/** Opens and locks @p path for the roll-back; -1 when another program holds the lock (a write still running). */
int openLocked(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        throw KelboError(
            openError(path, "途中で止まった書き込みを元に戻せません: " + std::string(std::strerror(errno))));
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

std::string recoverWith(const std::string& journal, const std::string& path)
{
    const int fd = openLocked(path);
    if (fd < 0) {
        return "";
    }
    try {
        std::string text;
        if (!readWhole(journal, text)) {
            ::close(fd);
            return ""; // the write that left it has finished meanwhile
        }
        JournalEntry entry;
        std::string note;
        if (!parse(text, entry)) {
            note = "途中で止まった書き込みの記録 " + setAside(journal) + " が壊れているため, 使わずに残しました.";
        } else {
            note = apply(entry, fd, path, journal);
        }
        ::close(fd);
        return note;
    } catch (...) {
        ::close(fd);
        throw;
    }
}

} // namespace

std::string journalFolder()
{
    const char* state = std::getenv("XDG_STATE_HOME");
    if (state && state[0] == '/') {
        return std::string(state) + "/KELBO";
    }
    const char* home = std::getenv("HOME");
    return std::string(home ? home : "") + "/.local/state/KELBO";
}

void writeJournal(const JournalEntry& entry)
{
    const std::string folder = journalFolder();
    // The folder and its parents, private to the user.
    for (std::size_t slash = folder.find('/', 1); slash != std::string::npos; slash = folder.find('/', slash + 1)) {
        ::mkdir(folder.substr(0, slash).c_str(), 0700);
    }
    ::mkdir(folder.c_str(), 0700);
    const std::string journal = folder + "/" + journalName(entry.device, entry.inode);
    try {
        filewrite::replaceFile(journal, [&entry](const filewrite::Put& put) {
            const std::string bytes = serialize(entry);
            put(bytes.data(), bytes.size());
        });
    } catch (const filewrite::Failure& failure) {
        throw KelboError(writeError(entry.path, "書き込みの記録を " + folder + " に残せません: " + failure.what()));
    }
}

void removeJournal(dev_t device, ino_t inode)
{
    const std::string journal = journalFolder() + "/" + journalName(device, inode);
    if (::unlink(journal.c_str()) == 0) {
        filewrite::syncFolderOf(journal);
    }
}

std::string recoverTable(const std::string& path)
{
    const std::string target = filewrite::resolveLinks(path);
    struct stat st
    {
    };
    if (::stat(target.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return "";
    }
    const std::string journal = journalFolder() + "/" + journalName(st.st_dev, st.st_ino);
    filewrite::removeStaleTemporaries(journal); // a journal whose own write was cut off: the file was not touched
    if (::access(journal.c_str(), F_OK) != 0) {
        return "";
    }
    return recoverWith(journal, target);
}

std::vector<std::string> recoverAllJournals()
{
    const std::string folder = journalFolder();
    std::vector<std::string> journals;
    if (DIR* d = ::opendir(folder.c_str())) {
        while (const dirent* e = ::readdir(d)) {
            const std::string name = e->d_name;
            if (name.size() > 8 && name.front() != '.' && name.compare(name.size() - 8, 8, ".journal") == 0) {
                journals.push_back(folder + "/" + name);
            }
            const std::size_t cut = name.find(".journal.kelbo-");
            if (name.front() == '.' && cut != std::string::npos) {
                filewrite::removeStaleTemporaries(folder + "/" + name.substr(1, cut + 7));
            }
        }
        ::closedir(d);
    }
    std::sort(journals.begin(), journals.end());
    std::vector<std::string> notes;
    for (const std::string& journal : journals) {
        std::string text;
        JournalEntry entry;
        if (!readWhole(journal, text)) {
            continue;
        }
        if (!parse(text, entry)) {
            notes.push_back("途中で止まった書き込みの記録 " + setAside(journal)
                            + " が壊れているため, 使わずに残しました.");
            continue;
        }
        struct stat st
        {
        };
        if (::stat(entry.path.c_str(), &st) != 0) {
            notes.push_back("テーブル " + entry.path
                            + " が見つからないため, 途中で止まった書き込みを元に戻せません (記録 " + journal + ").");
            continue;
        }
        try {
            const std::string note = recoverWith(journal, entry.path);
            if (!note.empty()) {
                notes.push_back(note);
            }
        } catch (const KelboError& error) {
            notes.push_back(error.what());
        }
    }
    return notes;
}

} // namespace logtable
