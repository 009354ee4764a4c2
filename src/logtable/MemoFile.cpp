#include "logtable/MemoFile.h"

#include "common/ByteOrder.h"
#include "common/Cp932.h"
#include "common/KelboError.h"
#include "logtable/TableSupport.h"

#include <algorithm>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace logtable {

namespace {

using byteorder::be32;
using byteorder::le32;

off_t sizeOf(int fd)
{
    struct stat st
    {
    };
    return ::fstat(fd, &st) == 0 ? st.st_size : 0;
}

constexpr off_t kParadoxBlock = 4096;

} // namespace

// --- dBASE and FoxPro

DbaseMemoFile::DbaseMemoFile(int fd, Kind kind)
    : m_fd(fd)
    , m_kind(kind)
    , m_size(sizeOf(fd))
{
    unsigned char head[24];
    if (!readAt(m_fd, head, sizeof head, 0)) {
        ::close(m_fd);
        throw KelboError("ヘッダーが途中で切れています");
    }
    if (m_kind == Kind::FoxPro) {
        m_blockSize = static_cast<std::uint32_t>(head[6] << 8 | head[7]);
        if (m_blockSize == 0) {
            ::close(m_fd);
            throw KelboError("ブロックの大きさが 0 です");
        }
    } else if (m_kind == Kind::Dbase4) {
        const std::uint32_t declared = static_cast<std::uint32_t>(head[20] | head[21] << 8);
        m_blockSize = declared == 0 ? 512 : declared;
    } else {
        const off_t used = static_cast<off_t>(le32(head)) * m_blockSize;
        m_usedEnd = used > m_blockSize && used < m_size ? used : m_size;
    }
}

off_t DbaseMemoFile::limitAfter(std::uint32_t block) const
{
    if (!m_startsKnown) {
        m_startsKnown = true;
        if (m_startsOf) {
            m_starts = m_startsOf();
            std::sort(m_starts.begin(), m_starts.end());
        }
    }
    const auto next = std::upper_bound(m_starts.begin(), m_starts.end(), block);
    const off_t start = static_cast<off_t>(block) * m_blockSize;
    off_t limit = m_usedEnd > start ? m_usedEnd : m_size;
    if (next != m_starts.end()) {
        limit = std::min(limit, static_cast<off_t>(*next) * m_blockSize);
    }
    return limit;
}

DbaseMemoFile::~DbaseMemoFile()
{
    ::close(m_fd);
}

std::unique_ptr<DbaseMemoFile> DbaseMemoFile::open(const std::string& path, Kind kind)
{
    return std::make_unique<DbaseMemoFile>(openForReading(path), kind);
}

bool DbaseMemoFile::fetch(void* buffer, std::size_t size, off_t offset) const
{
    // Memos lie mostly in the order of their records: one read of a window serves many of them.
    constexpr std::size_t kWindow = 64 * 1024;
    if (size > kWindow || offset < 0 || offset >= m_size) {
        return readAt(m_fd, buffer, size, offset);
    }
    if (offset < m_windowStart
        || offset + static_cast<off_t>(size) > m_windowStart + static_cast<off_t>(m_window.size())) {
        const auto length = static_cast<std::size_t>(std::min<off_t>(static_cast<off_t>(kWindow), m_size - offset));
        if (length < size) {
            return false;
        }
        m_window.resize(length);
        if (!readAt(m_fd, m_window.data(), length, offset)) {
            m_window.clear();
            return false;
        }
        m_windowStart = offset;
    }
    std::memcpy(buffer, m_window.data() + (offset - m_windowStart), size);
    return true;
}

std::optional<std::string> DbaseMemoFile::read(std::uint32_t block) const
{
    if (block == 0) {
        return std::string();
    }
    const off_t start = static_cast<off_t>(block) * static_cast<off_t>(m_blockSize);
    if (start >= m_size || start / static_cast<off_t>(m_blockSize) != static_cast<off_t>(block)) {
        return std::nullopt;
    }
    const off_t available = m_size - start;
    unsigned char head[8];
    const bool fullHead = available >= 8 && fetch(head, sizeof head, start);
    if (m_kind == Kind::FoxPro) {
        if (!fullHead) {
            return std::nullopt;
        }
        const std::uint32_t type = be32(head);
        const std::uint32_t length = be32(head + 4);
        if (static_cast<off_t>(length) > available - 8) {
            return std::nullopt;
        }
        if (type != 1) {
            return std::string(); // a picture or an object: no text
        }
        std::string text(length, '\0');
        if (!fetch(text.data(), text.size(), start + 8)) {
            return std::nullopt;
        }
        return text;
    }
    const bool lengthHeader = fullHead && head[0] == 0xFF && head[1] == 0xFF && head[2] == 0x08 && head[3] == 0x00;
    if (lengthHeader) {
        // The length counts the 8 header bytes.
        const std::uint32_t length = le32(head + 4);
        if (length < 8 || static_cast<off_t>(length) > available) {
            return std::nullopt;
        }
        std::string text(length - 8, '\0');
        if (!fetch(text.data(), text.size(), start + 8)) {
            return std::nullopt;
        }
        return text;
    }
    if (m_kind == Kind::Dbase4) {
        return std::nullopt;
    }
    // dBASE III: the text runs to its end mark (0x1A, written twice), which may lie blocks further on, but not
    // into the next memo: a file without end marks would otherwise be read to its end for every memo.
    std::string text;
    char chunk[512];
    off_t stop = std::min<off_t>(m_size, start + static_cast<off_t>(m_blockSize));
    for (off_t at = start; at < stop; at += static_cast<off_t>(sizeof chunk)) {
        const auto n = static_cast<std::size_t>(std::min<off_t>(static_cast<off_t>(sizeof chunk), stop - at));
        if (!fetch(chunk, n, at)) {
            return std::nullopt;
        }
        const void* end = std::memchr(chunk, 0x1A, n);
        if (end) {
            text.append(chunk, static_cast<std::size_t>(static_cast<const char*>(end) - chunk));
            return text;
        }
        text.append(chunk, n);
        if (at + static_cast<off_t>(n) == stop && stop == start + static_cast<off_t>(m_blockSize)) {
            stop = std::max(stop, limitAfter(block));
        }
    }
    return text; // no end mark before the next memo or the end of the file: the text up to there
}

// --- Paradox

ParadoxMemoFile::ParadoxMemoFile(int fd)
    : m_fd(fd)
    , m_size(sizeOf(fd))
{
    unsigned char type = 0xFF;
    if (m_size < kParadoxBlock || !readAt(m_fd, &type, 1, 0) || type != 0) {
        ::close(m_fd);
        throw KelboError("Paradox のメモファイルではありません");
    }
}

ParadoxMemoFile::~ParadoxMemoFile()
{
    ::close(m_fd);
}

std::unique_ptr<ParadoxMemoFile> ParadoxMemoFile::open(const std::string& path)
{
    return std::make_unique<ParadoxMemoFile>(openForReading(path));
}

std::optional<std::string> ParadoxMemoFile::read(const unsigned char* pointer) const
{
    const std::uint32_t offsetAndIndex = le32(pointer);
    const std::uint32_t length = le32(pointer + 4);
    const unsigned index = offsetAndIndex & 0xFF;
    const off_t block = static_cast<off_t>(offsetAndIndex & ~0xFFu);
    if (block < kParadoxBlock || block % kParadoxBlock != 0 || block + kParadoxBlock > m_size) {
        return std::nullopt;
    }
    unsigned char head[12];
    if (!readAt(m_fd, head, sizeof head, block)) {
        return std::nullopt;
    }
    const off_t blockBytes = static_cast<off_t>(head[1] | head[2] << 8) * kParadoxBlock;
    off_t dataStart = 0;
    if (index == 0xFF) {
        // A block of its own: type 2, the number of 4 KiB chunks, the length, the modification number, the data.
        if (head[0] != 2 || le32(head + 3) != length || 9 + static_cast<off_t>(length) > blockBytes) {
            return std::nullopt;
        }
        dataStart = block + 9;
    } else {
        // A shared block: type 3, then from byte 12 an entry of 5 bytes per memo: its start in 16-byte units,
        // its size in 16-byte units, the modification number, its length modulo 16.
        if (head[0] != 3 || index >= 64) {
            return std::nullopt;
        }
        unsigned char entry[5];
        if (!readAt(m_fd, entry, sizeof entry, block + 12 + 5 * static_cast<off_t>(index))) {
            return std::nullopt;
        }
        const std::uint32_t paragraphs = entry[1];
        if (entry[0] == 0 || paragraphs == 0 || length > paragraphs * 16 || length <= (paragraphs - 1) * 16
            || length % 16 != entry[4] % 16u) {
            return std::nullopt;
        }
        dataStart = block + static_cast<off_t>(entry[0]) * 16;
        if (dataStart + static_cast<off_t>(length) > block + kParadoxBlock) {
            return std::nullopt;
        }
    }
    if (dataStart + static_cast<off_t>(length) > m_size) {
        return std::nullopt;
    }
    std::string bytes(length, '\0');
    if (!readAt(m_fd, bytes.data(), bytes.size(), dataStart)) {
        return std::nullopt;
    }
    return bytes;
}

std::optional<std::string> formattedMemoText(const std::string& blob)
{
    // Eight bytes of header (the second four the text's length with its closing zero), six pairs of a 2-byte tag
    // and a 4-byte value, the text, then the formatting.
    constexpr std::size_t textStart = 44;
    if (blob.size() < textStart) {
        return std::nullopt;
    }
    const std::uint32_t length = le32(reinterpret_cast<const unsigned char*>(blob.data()) + 4);
    if (length == 0 || length > blob.size() - textStart) {
        return std::nullopt;
    }
    std::string text = blob.substr(textStart, length);
    const std::size_t nul = text.find('\0');
    if (nul == std::string::npos) {
        return std::nullopt;
    }
    text.resize(nul);
    return text;
}

} // namespace logtable
