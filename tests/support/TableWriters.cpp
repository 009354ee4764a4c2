#include "TableWriters.h"

extern "C" {
#include <paradox.h>
}

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

namespace tablewrite {

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

bool writeFile(const std::string& path, const std::string& bytes)
{
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        return false;
    }
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

std::string pxBlank(int size)
{
    return std::string(static_cast<std::size_t>(size), '\0');
}

std::string pxAlpha(const std::string& text, int width)
{
    std::string out = text;
    out.resize(static_cast<std::size_t>(width), '\0');
    return out;
}

std::string bigEndian(std::uint64_t bits, int size)
{
    std::string out;
    for (int i = size - 1; i >= 0; --i) {
        out.push_back(static_cast<char>((bits >> (8 * i)) & 0xFF));
    }
    return out;
}

std::string pxShort(int v)
{
    return bigEndian(static_cast<std::uint16_t>(v) ^ 0x8000u, 2);
}

std::string pxLong(long v)
{
    return bigEndian(static_cast<std::uint32_t>(v) ^ 0x80000000u, 4);
}

std::string pxDouble(double v)
{
    std::uint64_t bits = 0;
    std::memcpy(&bits, &v, 8);
    bits = (bits >> 63) ? ~bits : bits ^ (1ULL << 63);
    return bigEndian(bits, 8);
}

long pxDays(int y, int m, int d)
{
    return static_cast<long>(PX_GregorianToSdn(y, m, d)) - 1721425;
}

std::string pxDate(int y, int m, int d)
{
    return pxLong(pxDays(y, m, d));
}

std::string pxTimestamp(int y, int m, int d, long ms)
{
    return pxDouble(static_cast<double>(pxDays(y, m, d)) * 86400000.0 + static_cast<double>(ms));
}

std::string pxLogical(bool v)
{
    return std::string(1, static_cast<char>(v ? 0x81 : 0x80));
}

std::string writeParadox(const std::string& path, const std::vector<PxField>& fields,
                         const std::vector<std::vector<std::string>>& rows, const ParadoxOptions& options)
{
    pxdoc_t* px = PX_new();
    auto* pf = static_cast<pxfield_t*>(px->malloc(px, fields.size() * sizeof(pxfield_t), "tablewrite"));
    for (std::size_t i = 0; i < fields.size(); ++i) {
        pf[i].px_fname = PX_strdup(px, fields[i].name);
        pf[i].px_ftype = static_cast<char>(fields[i].type);
        pf[i].px_flen = fields[i].size;
        pf[i].px_fdc = 0;
    }
    std::FILE* fp = std::fopen(path.c_str(), "w+b");
    if (!fp) {
        PX_delete(px);
        return "cannot create " + path;
    }
    if (PX_create_fp(px, pf, static_cast<int>(fields.size()), fp, pxfFileTypNonIndexDB) < 0) {
        PX_delete(px);
        std::fclose(fp);
        return "pxlib cannot create " + path;
    }
    PX_set_parameter(px, "tablename", options.tableName);
    std::string error;
    const int size = PX_get_recordsize(px);
    std::string record;
    for (const auto& row : rows) {
        record.clear();
        for (const auto& value : row) {
            record += value;
        }
        if (static_cast<int>(record.size()) != size) {
            error = "a record of " + std::to_string(record.size()) + " bytes, not " + std::to_string(size);
            break;
        }
        if (PX_put_record(px, record.data()) < 0) {
            error = "pxlib cannot write a record of " + path;
            break;
        }
    }
    PX_close(px);
    PX_delete(px);
    std::fclose(fp);
    if (!error.empty()) {
        return error;
    }

    std::string bytes = readFile(path);
    if (bytes.size() < 0x78) {
        return "the header of " + path + " is short";
    }
    const bool v5 = static_cast<unsigned char>(bytes[0x39]) >= 5;
    auto zero = [&bytes](std::size_t at, std::size_t n) {
        for (std::size_t i = at; i < at + n && i < bytes.size(); ++i) {
            bytes[i] = '\0';
        }
    };
    // pxlib stores its in-memory pointers and the time of writing in the header, and leaves one byte of it
    // unwritten: zeros keep the file the same from one run to the next.
    const std::size_t infoStart = v5 ? 0x78 : 0x58;
    if (v5) {
        zero(0x30, 8);
        zero(0x55, 1);
        zero(0x60, 4);
        zero(infoStart + 2 * fields.size(), 4 + 4 * fields.size());
    }
    if (v5 && options.codePage != 0) {
        bytes[0x6A] = static_cast<char>(options.codePage & 0xFF);
        bytes[0x6B] = static_cast<char>(options.codePage >> 8);
    }
    for (const auto& [field, type] : options.patchTypes) {
        bytes[infoStart + 2 * static_cast<std::size_t>(field)] = static_cast<char>(type);
    }
    return writeFile(path, bytes) ? std::string() : "cannot write " + path;
}

std::string dbaseBytes(const std::vector<DbfField>& fields, const std::vector<std::vector<std::string>>& rows,
                       const DbaseOptions& options)
{
    int recordLength = 1;
    bool memo = false;
    for (const auto& f : fields) {
        recordLength += f.width;
        memo = memo || f.type == 'M';
    }
    const int headerLength = 32 + 32 * static_cast<int>(fields.size()) + 1;
    std::string out(32, '\0');
    out[0] = memo ? '\x83' : 0x03;
    out[1] = static_cast<char>(options.year);
    out[2] = static_cast<char>(options.month);
    out[3] = static_cast<char>(options.day);
    const long n = options.claimedRecords >= 0 ? options.claimedRecords : static_cast<long>(rows.size());
    for (int i = 0; i < 4; ++i) {
        out[4 + i] = static_cast<char>((n >> (8 * i)) & 0xFF);
    }
    out[8] = static_cast<char>(headerLength & 0xFF);
    out[9] = static_cast<char>(headerLength >> 8);
    out[10] = static_cast<char>(recordLength & 0xFF);
    out[11] = static_cast<char>(recordLength >> 8);
    out[29] = options.codePage;
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

} // namespace tablewrite
