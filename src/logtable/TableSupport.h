#ifndef KELBO_LOGTABLE_TABLESUPPORT_H
#define KELBO_LOGTABLE_TABLESUPPORT_H

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <utility>
#include <vector>

/** @brief Helpers shared by the table engines: value forms, file access, the guarded write. */
namespace logtable {

/** @brief "Cannot open table PATH: REASON". */
std::string openError(const std::string& path, const std::string& reason);
/** @brief "Cannot read table PATH: REASON" (a read after the table opened). */
std::string readError(const std::string& path, const std::string& reason);
/** @brief "Cannot write table PATH: REASON". */
std::string writeError(const std::string& path, const std::string& reason);

/** @brief "Field NAME" and @p rest, the name given in CP932 bytes, for the reason of a message. */
std::string fieldReason(std::string_view cp932Name, const std::string& rest);

/** @brief Numbers in plain decimal, the shortest form that reads back as the value (7.05, 14, -3). */
std::string formatNumber(double value);
std::string formatInteger(long long value);
/** @brief "yyyy/MM/dd"; "" for a date that does not exist. */
std::string formatDate(int year, int month, int day);
/** @brief "H:mm:ss" from milliseconds since midnight. */
std::string formatTime(long long milliseconds);
/** @brief Date, a blank and the time; the time left out at midnight. */
std::string formatDateTime(int year, int month, int day, long long milliseconds);

/** @brief Reads a stored number text ("  7.050", "-3.") in its shortest form; "" when blank, the text itself
 * (without surrounding blanks) when it is no number. */
std::string normalizeNumberText(std::string_view text);
/** @brief Reads a stored date text ("20240501", "2024/05/01", "2024-05-01", "5/1/2024") as "yyyy/MM/dd";
 * "" when blank, the text itself when it is no date. */
std::string normalizeDateText(std::string_view text);
/** @brief "True" / "False" for T, Y, TRUE, YES / F, N, FALSE, NO (any case); "" otherwise. */
std::string normalizeLogicalText(std::string_view text);

std::string_view trimRight(std::string_view s);
std::string_view trim(std::string_view s);

/** @brief Identity of a file's content at one moment: a write stops when the file no longer matches. */
struct FileStamp
{
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    std::int64_t modifiedNs = 0;
    bool operator==(const FileStamp& o) const
    {
        return device == o.device && inode == o.inode && size == o.size && modifiedNs == o.modifiedNs;
    }
    bool operator!=(const FileStamp& o) const { return !(*this == o); }
};
FileStamp stampOf(int fd);

/** @brief Opens @p path for reading, a regular file only; throws KelboError naming the reason. */
int openForReading(const std::string& path);

/** @brief Reads exactly @p size bytes at @p offset; false at a short read. */
bool readAt(int fd, void* buffer, std::size_t size, off_t offset);

/** @brief A write to a table file: opened for writing only now, locked (flock) while it lives, refused when
 * the file is read-only, locked by another program or no longer the file that was read. */
class TableWriter
{
public:
    TableWriter(const std::string& path, const FileStamp& expected);
    ~TableWriter();
    TableWriter(const TableWriter&) = delete;
    TableWriter& operator=(const TableWriter&) = delete;

    int fd() const { return m_fd; }
    /** @brief Reads back bytes under the lock (to check that the record is still what was read). */
    void readAt(void* buffer, std::size_t size, off_t offset);
    void writeAt(const void* data, std::size_t size, off_t offset);
    /** @brief Flushes to the disk, reads every written span back and returns the file's new stamp. */
    FileStamp sync();
    const std::string& path() const { return m_path; }

    /** @brief The file's stamp now (after this writer's own writes). */
    FileStamp stamp() const { return stampOf(m_fd); }
    /** @brief Refuses the write unless the file still has the stamp @p expected. */
    void expect(const FileStamp& expected);
    /** @brief Refuses the write: another program changed the file after it was read. */
    [[noreturn]] void refuseChanged();
    /** @brief True once this writer refused a write because another program changed the file. */
    bool sawChange() const { return m_sawChange; }

private:
    std::string m_path;
    int m_fd = -1;
    bool m_sawChange = false;
    std::vector<std::pair<off_t, std::string>> m_written;
};

/** @brief "...changed by another program after it was opened". */
std::string changedReason();

/** @brief Throws the closed-table error. */
[[noreturn]] void throwClosed();

} // namespace logtable

#endif
