#ifndef KELBO_LOGTABLE_MEMOFILE_H
#define KELBO_LOGTABLE_MEMOFILE_H

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

/** @brief Readers of the memo files that hold long texts beside a table. Every offset and length read from the
 * file is checked against the file's size, so a damaged memo file gives "no text" for the memo, never a wild
 * read or a huge allocation. The files are opened for reading only and never written. */
namespace logtable {

/** @brief A dBASE III (.dbt, texts ended by 0x1A), dBASE IV/7 (.dbt, blocks with a length header) or FoxPro
 * (.fpt, big-endian block size and lengths) memo file. */
class DbaseMemoFile
{
public:
    enum class Kind
    {
        Dbase3,
        Dbase4,
        FoxPro
    };

    /** @brief Takes over @p fd (closed by the destructor) and reads the file's header; throws KelboError with the
     * reason when the header is unusable. */
    DbaseMemoFile(int fd, Kind kind);
    ~DbaseMemoFile();
    DbaseMemoFile(const DbaseMemoFile&) = delete;
    DbaseMemoFile& operator=(const DbaseMemoFile&) = delete;

    /** @brief Opens @p path; throws KelboError with the reason. */
    static std::unique_ptr<DbaseMemoFile> open(const std::string& path, Kind kind);

    /** @brief The memo text starting at @p block (block 0 is the header: no memo); nullopt when the block is
     * outside the file or its header does not fit. */
    std::optional<std::string> read(std::uint32_t block) const;

    std::uint32_t blockSize() const { return m_blockSize; }

    /** @brief Where the table's memos start, asked for once when a dBASE III memo has no end mark in its first
     * block: such a memo ends at the next memo's start (or at the file's first free block), never runs on through
     * the rest of the file. Gives the block numbers in any order. */
    void setMemoStarts(std::function<std::vector<std::uint32_t>()> starts) { m_startsOf = std::move(starts); }

private:
    /** The first byte after the memo at @p block may use: the next memo's start, or the end of the used blocks. */
    off_t limitAfter(std::uint32_t block) const;

    /** Reads through a window of the file kept from the last read; false at a short read. */
    bool fetch(void* buffer, std::size_t size, off_t offset) const;

    mutable std::string m_window;
    mutable off_t m_windowStart = 0;
    int m_fd = -1;
    Kind m_kind;
    off_t m_size = 0;
    std::uint32_t m_blockSize = 512;
    off_t m_usedEnd = 0; // dBASE III: the first free block as its header tells, when that lies inside the file
    std::function<std::vector<std::uint32_t>()> m_startsOf;
    mutable std::vector<std::uint32_t> m_starts; // sorted, once asked for
    mutable bool m_startsKnown = false;
};

/** @brief A Paradox memo file (.MB): blocks of 4 KiB, a memo either alone in a block or one of up to 64 in a
 * shared block, found through the 10-byte pointer at the end of the record's memo field. */
class ParadoxMemoFile
{
public:
    /** @brief Takes over @p fd (closed by the destructor); throws KelboError when it is no memo file. */
    explicit ParadoxMemoFile(int fd);
    ~ParadoxMemoFile();
    ParadoxMemoFile(const ParadoxMemoFile&) = delete;
    ParadoxMemoFile& operator=(const ParadoxMemoFile&) = delete;

    static std::unique_ptr<ParadoxMemoFile> open(const std::string& path);

    /** @brief The memo's bytes for the 10-byte @p pointer (offset with the index in its low byte, length,
     * modification number); nullopt when the pointer leads outside the file or to a block that does not hold a
     * memo of that length. */
    std::optional<std::string> read(const unsigned char* pointer) const;

private:
    int m_fd = -1;
    off_t m_size = 0;
};

/** @brief The text of a formatted memo's bytes (the text part without its formatting); nullopt when the bytes
 * do not have that form. */
std::optional<std::string> formattedMemoText(const std::string& blob);

} // namespace logtable

#endif
