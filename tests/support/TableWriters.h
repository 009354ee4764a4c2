#ifndef KELBO_TESTS_SUPPORT_TABLEWRITERS_H
#define KELBO_TESTS_SUPPORT_TABLEWRITERS_H

// Paradox and dBASE tables written for tests, benchmarks and the bundled sample: Paradox through pxlib's writer with
// the record bytes encoded here, dBASE byte by byte.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace tablewrite {

/** @brief The bytes of the file at @p path ("" when it cannot be read). */
std::string readFile(const std::string& path);
/** @brief Writes @p bytes as the whole file at @p path; false when that fails. */
bool writeFile(const std::string& path, const std::string& bytes);

// --- Paradox record bytes: big-endian, the sign bit flipped, zero bytes for a blank value.
std::string pxBlank(int size);
/** @p text padded with zero bytes to @p width. */
std::string pxAlpha(const std::string& text, int width);
std::string bigEndian(std::uint64_t bits, int size);
std::string pxShort(int v);
std::string pxLong(long v);
std::string pxDouble(double v);
/** Days since 0001-01-01 (day 1), as a Paradox date holds them. */
long pxDays(int y, int m, int d);
std::string pxDate(int y, int m, int d);
std::string pxTimestamp(int y, int m, int d, long ms);
std::string pxLogical(bool v);

struct PxField
{
    const char* name;
    int type; ///< pxf... of paradox.h
    int size;
};

struct ParadoxOptions
{
    const char* tableName = "T";
    /** Stored in the header of a version 5 or later file (932 for CP932, the texts the tests write); 0 leaves what
     * pxlib writes. */
    int codePage = 932;
    /** Field types changed in the header afterwards, {field, type}: types pxlib's writer does not make (memos). */
    std::vector<std::pair<int, int>> patchTypes;
};

/** @brief A Paradox table of @p fields; each row holds the stored bytes of every field. The header bytes pxlib
 * fills from its memory or the clock are zeroed, so the same rows always give the same file. Returns "" or what
 * failed. */
std::string writeParadox(const std::string& path, const std::vector<PxField>& fields,
                         const std::vector<std::vector<std::string>>& rows, const ParadoxOptions& options = {});

struct DbfField
{
    const char* name;
    char type; ///< 'C', 'D', 'N', 'L', 'M' ...
    int width;
};

struct DbaseOptions
{
    /** The record count the header claims; -1 for the rows given. */
    long claimedRecords = -1;
    /** Date of the last update (years since 1900). */
    int year = 124, month = 5, day = 1;
    /** The header's code page byte (0x13: CP932). */
    char codePage = 0x13;
};

/** @brief A dBASE III table (0x83 when a field is a memo); each row holds the stored text of every field (padded
 * to its width with blanks); a row whose first value begins with '\x01' is marked deleted. */
std::string dbaseBytes(const std::vector<DbfField>& fields, const std::vector<std::vector<std::string>>& rows,
                       const DbaseOptions& options = {});

} // namespace tablewrite

#endif
