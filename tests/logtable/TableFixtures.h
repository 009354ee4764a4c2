#ifndef KELBO_TESTS_LOGTABLE_TABLEFIXTURES_H
#define KELBO_TESTS_LOGTABLE_TABLEFIXTURES_H

// Small tables made on the spot for the log table tests: Paradox through pxlib's writer with record bytes
// encoded here by hand, dBASE and text byte by byte.
#include "common/Cp932.h"
#include "logtable/LogTable.h"

extern "C" {
#include <paradox.h>
}

#include <QTemporaryDir>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace fixtures {

inline std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

inline void writeFile(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

struct TempDir
{
    QTemporaryDir dir;
    std::string path() const { return dir.path().toStdString() + "/"; }
    std::string file(const std::string& name) const { return path() + name; }
};

/** CP932 bytes of a UTF-8 literal. */
inline std::string sj(const char* utf8)
{
    return cp932::fromUtf8(utf8);
}

// --- Paradox record bytes: big-endian, the sign bit flipped, zero bytes for a blank value.
inline std::string pxBlank(int size)
{
    return std::string(static_cast<std::size_t>(size), '\0');
}
inline std::string pxAlpha(const std::string& text, int width)
{
    std::string out = text;
    out.resize(static_cast<std::size_t>(width), '\0');
    return out;
}
inline std::string bigEndian(std::uint64_t bits, int size)
{
    std::string out;
    for (int i = size - 1; i >= 0; --i) {
        out.push_back(static_cast<char>((bits >> (8 * i)) & 0xFF));
    }
    return out;
}
inline std::string pxShort(int v)
{
    return bigEndian(static_cast<std::uint16_t>(v) ^ 0x8000u, 2);
}
inline std::string pxLong(long v)
{
    return bigEndian(static_cast<std::uint32_t>(v) ^ 0x80000000u, 4);
}
inline std::string pxDouble(double v)
{
    std::uint64_t bits = 0;
    std::memcpy(&bits, &v, 8);
    bits = (bits >> 63) ? ~bits : bits ^ (1ULL << 63);
    return bigEndian(bits, 8);
}
inline long pxDays(int y, int m, int d)
{
    return static_cast<long>(PX_GregorianToSdn(y, m, d)) - 1721425;
}
inline std::string pxDate(int y, int m, int d)
{
    return pxLong(pxDays(y, m, d));
}
inline std::string pxTimestamp(int y, int m, int d, long ms)
{
    return pxDouble(static_cast<double>(pxDays(y, m, d)) * 86400000.0 + static_cast<double>(ms));
}
inline std::string pxLogical(bool v)
{
    return std::string(1, static_cast<char>(v ? 0x81 : 0x80));
}

struct PxField
{
    const char* name;
    int type; // pxf... of paradox.h
    int size;
};

/** A Paradox table; each row holds the stored bytes of every field. @p patchTypes changes field types in
 * the header afterwards (to make fields pxlib's writer does not make, such as memos). */
inline void makeParadox(const std::string& path, const std::vector<PxField>& fields,
                        const std::vector<std::vector<std::string>>& rows,
                        const std::vector<std::pair<int, int>>& patchTypes = {})
{
    pxdoc_t* px = PX_new();
    auto* pf = static_cast<pxfield_t*>(px->malloc(px, fields.size() * sizeof(pxfield_t), "fixture"));
    for (std::size_t i = 0; i < fields.size(); ++i) {
        pf[i].px_fname = PX_strdup(px, fields[i].name);
        pf[i].px_ftype = static_cast<char>(fields[i].type);
        pf[i].px_flen = fields[i].size;
        pf[i].px_fdc = 0;
    }
    FILE* fp = std::fopen(path.c_str(), "w+b");
    ASSERT_NE(fp, nullptr);
    ASSERT_GE(PX_create_fp(px, pf, static_cast<int>(fields.size()), fp, pxfFileTypNonIndexDB), 0);
    PX_set_parameter(px, "tablename", "T");
    for (const auto& row : rows) {
        std::string record;
        for (const auto& value : row) {
            record += value;
        }
        ASSERT_EQ(static_cast<int>(record.size()), PX_get_recordsize(px));
        ASSERT_GE(PX_put_record(px, record.data()), 0);
    }
    PX_close(px);
    PX_delete(px);
    std::fclose(fp);
    if (!patchTypes.empty()) {
        std::string bytes = readFile(path);
        const std::size_t infoStart = static_cast<unsigned char>(bytes[0x39]) >= 5 ? 0x78 : 0x58;
        for (const auto& [field, type] : patchTypes) {
            bytes[infoStart + 2 * static_cast<std::size_t>(field)] = static_cast<char>(type);
        }
        writeFile(path, bytes);
    }
}

struct DbfField
{
    const char* name;
    char type;
    int width;
};

/** A dBASE III table; each row holds the stored text of every field (padded to its width with blanks),
 * a row whose first value begins with '\x01' is marked deleted. */
inline std::string dbfBytes(const std::vector<DbfField>& fields, const std::vector<std::vector<std::string>>& rows,
                            long claimedRecords = -1)
{
    int recordLength = 1;
    for (const auto& f : fields) {
        recordLength += f.width;
    }
    const int headerLength = 32 + 32 * static_cast<int>(fields.size()) + 1;
    std::string out(32, '\0');
    out[0] = 0x03;
    out[1] = 124;
    out[2] = 5;
    out[3] = 1;
    const long n = claimedRecords >= 0 ? claimedRecords : static_cast<long>(rows.size());
    for (int i = 0; i < 4; ++i) {
        out[4 + i] = static_cast<char>((n >> (8 * i)) & 0xFF);
    }
    out[8] = static_cast<char>(headerLength & 0xFF);
    out[9] = static_cast<char>(headerLength >> 8);
    out[10] = static_cast<char>(recordLength & 0xFF);
    out[11] = static_cast<char>(recordLength >> 8);
    out[29] = 0x13;
    for (const auto& f : fields) {
        std::string d(32, '\0');
        std::memcpy(d.data(), f.name, std::strlen(f.name));
        d[11] = f.type;
        d[16] = static_cast<char>(f.width);
        out += d;
    }
    out.push_back('\x0D');
    for (const auto& row : rows) {
        const bool deleted = !row.empty() && !row[0].empty() && row[0][0] == '\x01';
        out.push_back(deleted ? '*' : ' ');
        for (std::size_t i = 0; i < fields.size(); ++i) {
            std::string v = i < row.size() ? row[i] : "";
            if (i == 0 && deleted) {
                v.erase(0, 1);
            }
            v.resize(static_cast<std::size_t>(fields[i].width), ' ');
            out += v;
        }
    }
    out.push_back('\x1A');
    return out;
}

inline std::unique_ptr<LogTable> open(const std::string& dir, const std::string& name)
{
    auto table = createLogTable();
    table->OpenTable(dir, name);
    return table;
}

/** Every field text of every record, walked with MoveFirst / MoveNext. */
inline std::vector<std::vector<std::string>> walk(LogTable& table)
{
    std::vector<std::vector<std::string>> rows;
    for (table.MoveFirst(); !table.AtEnd(); table.MoveNext()) {
        std::vector<std::string> row;
        for (int f = 0; f < table.FieldCount(); ++f) {
            row.push_back(table.FieldText(f));
        }
        rows.push_back(row);
    }
    return rows;
}

} // namespace fixtures

#endif
