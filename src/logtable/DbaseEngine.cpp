// dBASE tables (.dbf). The header is checked here before shapelib sees it; shapelib reads the raw records,
// which are sliced by the field offsets so that leading blanks stay. Records marked deleted are not shown.
// Memo texts are read from the .dbt or .fpt beside the table, only for tables that have memo fields.
#include "common/Ascii.h"
#include "common/ByteOrder.h"
#include "common/Cp932.h"
#include "common/DayNumber.h"
#include "common/FileLookup.h"
#include "common/KelboError.h"
#include "logtable/FileTableEngine.h"
#include "logtable/MemoFile.h"
#include "logtable/TableSupport.h"

#include <shapefil.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// shapelib reports through a hook without a context; the engine reads it right after each call.
thread_local std::string g_shapelibError;

void captureShapelibError(const char* message)
{
    g_shapelibError = message ? message : "";
}

using byteorder::be32;
using byteorder::be64;
using byteorder::le64;

std::int32_t le32(const unsigned char* p)
{
    return static_cast<std::int32_t>(byteorder::le32(p));
}

double bitsToDouble(std::uint64_t bits)
{
    double value = 0;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

/** dBASE 7 keeps integers and doubles big-endian with the sign bit flipped, so that their bytes sort as the values
 * do; a negative double has all its bits inverted. */
std::int32_t level7Integer(const unsigned char* p)
{
    return static_cast<std::int32_t>(be32(p) ^ 0x80000000u);
}

double level7Double(const unsigned char* p)
{
    const std::uint64_t bits = be64(p);
    return bitsToDouble((bits & 0x8000000000000000ull) != 0 ? bits ^ 0x8000000000000000ull : ~bits);
}

/** FoxPro's currency: a 64-bit integer of ten-thousandths, shown exactly. */
std::string currencyText(std::int64_t value)
{
    const bool negative = value < 0;
    const std::uint64_t magnitude
        = negative ? static_cast<std::uint64_t>(-(value + 1)) + 1 : static_cast<std::uint64_t>(value);
    std::string text = std::to_string(magnitude / 10000);
    std::string fraction = std::to_string(10000 + magnitude % 10000).substr(1);
    fraction.erase(fraction.find_last_not_of('0') + 1);
    if (!fraction.empty()) {
        text += "." + fraction;
    }
    return negative ? "-" + text : text;
}

bool isFoxPro(unsigned char v)
{
    return v == 0x30 || v == 0x31 || v == 0x32 || v == 0xF5 || v == 0xFB;
}

bool knownVersion(unsigned char v)
{
    switch (v) {
    case 0x03: // dBASE III, IV, V without memo
    case 0x04: // dBASE 7
    case 0x05: // dBASE V
    case 0x07: // dBASE with ANSI
    case 0x30: // Visual FoxPro
    case 0x31:
    case 0x32:
    case 0x43:
    case 0x63:
    case 0x83: // dBASE III with memo
    case 0x87:
    case 0x8B: // dBASE IV with memo
    case 0x8C: // dBASE 7 with memo
    case 0x8E:
    case 0xCB:
    case 0xE5:
    case 0xF5: // FoxPro with memo
    case 0xFB:
        return true;
    default:
        return false;
    }
}

class DbaseEngine : public logtable::FileTableEngine
{
public:
    explicit DbaseEngine(const std::string& path)
        : FileTableEngine(path)
    {
        const int fd = logtable::openForReading(path);
        try {
            readHeader(fd);
            indexRecords(fd);
        } catch (...) {
            ::close(fd);
            throw;
        }
        ::close(fd);
        openHandle();
        openMemoFile();
    }

    ~DbaseEngine() override
    {
        if (m_dbf) {
            DBFClose(m_dbf);
        }
    }

    int fieldCount() const override { return static_cast<int>(m_fields.size()); }
    std::string fieldName(int field) const override { return m_fields[field].name; }
    std::size_t fieldWidth(int field) const override { return m_fields[field].type == 'C' ? m_fields[field].width : 0; }
    long recordCount() const override
    {
        return m_visible.empty() && m_deletedCount == 0 ? m_physicalCount : static_cast<long>(m_visible.size());
    }

    void readRecord(long row, std::vector<std::string>& texts) override
    {
        texts.assign(m_fields.size(), std::string());
        if (row < 0 || row >= recordCount()) {
            return;
        }
        const char* record = rawRecord(row);
        for (std::size_t i = 0; i < m_fields.size(); ++i) {
            texts[i] = m_fields[i].type == 'M' ? memoText(m_fields[i], record + m_fields[i].offset)
                                               : decode(m_fields[i], record + m_fields[i].offset);
        }
    }

    void writeRecord(long row, const std::vector<std::pair<int, std::string>>& changes) override
    {
        for (const auto& change : changes) {
            const Field& field = m_fields[change.first];
            if (field.type != 'C') {
                throw KelboError(writeError(logtable::fieldReason(field.name, "は文字のフィールドではありません")));
            }
        }
        const long record = physical(row);
        const off_t recordOffset
            = static_cast<off_t>(m_headerLength) + static_cast<off_t>(record) * static_cast<off_t>(m_recordLength);
        const std::string seen(rawRecord(row), static_cast<std::size_t>(m_recordLength));
        if (inBatch()) {
            logtable::TableWriter& writer = batchWriter();
            writeFields(writer, recordOffset, seen, changes);
            m_stamp = writer.stamp();
            m_written.insert(record);
            return;
        }
        {
            logtable::TableWriter writer(path(), m_stamp);
            writeFields(writer, recordOffset, seen, changes);
            m_stamp = writer.sync();
        }
        // shapelib keeps the last record and a stdio buffer: read on through a fresh handle.
        closeHandle();
        openHandle();
    }

protected:
    void commitBatch(logtable::TableWriter& writer) override
    {
        m_written.clear();
        m_stamp = writer.sync();
    }

    void batchClosed(bool committed) override
    {
        // shapelib keeps the last record and a stdio buffer: read on through a fresh handle.
        closeHandle();
        if (committed) {
            openHandle();
        }
    }

private:
    struct Field
    {
        std::string name;
        char type = 'C';
        int width = 0;
        int decimals = 0;
        int offset = 0;
    };

    void readHeader(int fd)
    {
        struct stat st
        {
        };
        ::fstat(fd, &st);
        m_fileSize = st.st_size;
        m_stamp = logtable::stampOf(fd);
        if (m_fileSize == 0) {
            throw KelboError(openError("空のファイルです"));
        }
        unsigned char head[32] = {};
        const bool fullHead = logtable::readAt(fd, head, sizeof head, 0);
        // dBASE II's header has another layout (and is often shorter than 32 bytes).
        if (logtable::readAt(fd, head, 1, 0) && head[0] == 0x02) {
            throw KelboError(openError("dBASE II のテーブルには対応していません"));
        }
        if (!fullHead) {
            throw KelboError(openError("dBASE のテーブルではありません (ヘッダーが途中で切れています)"));
        }
        if (!knownVersion(head[0])) {
            throw KelboError(openError("dBASE のテーブルではないか, 対応していない版です"));
        }
        m_version = head[0];
        // dBASE 7 puts a language driver name before the fields and gives each field 48 bytes.
        m_level7 = (m_version & 0x07) == 4;
        const std::size_t firstField = m_level7 ? 68 : 32;
        const std::size_t descriptorSize = m_level7 ? 48 : 32;
        const std::size_t nameSize = m_level7 ? 32 : 11;
        const std::size_t typeAt = m_level7 ? 32 : 11;
        const std::size_t widthAt = m_level7 ? 33 : 16;
        const std::int32_t records = le32(head + 4);
        m_headerLength = head[8] | head[9] << 8;
        m_recordLength = head[10] | head[11] << 8;
        if (records < 0 || static_cast<std::size_t>(m_headerLength) < firstField + 1) {
            throw KelboError(openError("dBASE のテーブルではありません (ヘッダーが不正です)"));
        }
        if (static_cast<off_t>(m_headerLength) > m_fileSize) {
            throw KelboError(openError("ファイルが途中で切れています (ヘッダーが不完全です)"));
        }
        std::vector<unsigned char> header(m_headerLength);
        if (!logtable::readAt(fd, header.data(), header.size(), 0)) {
            throw KelboError(openError("読み込みに失敗しました"));
        }
        int offset = 1; // the deletion flag
        for (std::size_t at = firstField; at + descriptorSize <= header.size() && header[at] != 0x0D;
             at += descriptorSize) {
            Field field;
            const auto* name = reinterpret_cast<const char*>(header.data() + at);
            field.name.assign(name, strnlen(name, nameSize));
            field.name = std::string(logtable::trimRight(field.name));
            field.type = static_cast<char>(header[at + typeAt]);
            field.width = header[at + widthAt];
            field.decimals = header[at + widthAt + 1];
            if (field.type == 'C' && field.decimals > 0 && !m_level7 && m_version != 0x03 && m_version != 0x83) {
                field.width += field.decimals << 8; // FoxPro's long character fields
                field.decimals = 0;
            }
            field.offset = offset;
            offset += field.width;
            // FoxPro's hidden field of null flags is no field of the operator's.
            if (field.type != '0') {
                m_fields.push_back(std::move(field));
            }
        }
        if (m_fields.empty()) {
            throw KelboError(openError("dBASE のテーブルではありません (フィールドがありません)"));
        }
        if (offset > m_recordLength) {
            throw KelboError(openError("レコード長 " + std::to_string(m_recordLength) + " がフィールドの長さの合計 "
                                       + std::to_string(offset) + " と合いません"));
        }
        // A header that promises more records than the file holds: the whole records that are there.
        const off_t whole = (m_fileSize - m_headerLength) / m_recordLength;
        m_physicalCount = static_cast<long>(std::min<off_t>(records, whole));
    }

    /** Finds the records marked deleted with one streaming pass over the flag bytes. */
    void indexRecords(int fd)
    {
        const std::size_t perChunk
            = std::min<std::size_t>(static_cast<std::size_t>(std::max(1L, m_physicalCount)),
                                    std::max<std::size_t>(1, (1 << 20) / static_cast<std::size_t>(m_recordLength)));
        std::vector<char> chunk(perChunk * static_cast<std::size_t>(m_recordLength));
        std::vector<std::uint32_t> deleted;
        for (long first = 0; first < m_physicalCount; first += static_cast<long>(perChunk)) {
            const long n = std::min<long>(static_cast<long>(perChunk), m_physicalCount - first);
            const std::size_t bytes = static_cast<std::size_t>(n) * static_cast<std::size_t>(m_recordLength);
            if (!logtable::readAt(fd, chunk.data(), bytes,
                                  m_headerLength + static_cast<off_t>(first) * m_recordLength)) {
                throw KelboError(openError("読み込みに失敗しました"));
            }
            for (long i = 0; i < n; ++i) {
                if (chunk[static_cast<std::size_t>(i) * static_cast<std::size_t>(m_recordLength)] == '*') {
                    deleted.push_back(static_cast<std::uint32_t>(first + i));
                }
            }
        }
        m_deletedCount = static_cast<long>(deleted.size());
        if (!deleted.empty()) {
            m_visible.reserve(static_cast<std::size_t>(m_physicalCount - m_deletedCount));
            std::size_t d = 0;
            for (long p = 0; p < m_physicalCount; ++p) {
                if (d < deleted.size() && deleted[d] == static_cast<std::uint32_t>(p)) {
                    ++d;
                } else {
                    m_visible.push_back(static_cast<std::uint32_t>(p));
                }
            }
        }
    }

    /** Under the lock: the record on disk must still be @p seen (the bytes the operator's values came from).
     *
     * Each field is written with one write of its whole width, and nothing else of the file changes, so no journal
     * is kept: a crash in the middle of a batch leaves every record with its old value or the whole mark (the
     * marked ones all printed). Only a field that straddles a page of the file could in principle be cut by a
     * power loss between the two pages. */
    void writeFields(logtable::TableWriter& writer, off_t recordOffset, const std::string& seen,
                     const std::vector<std::pair<int, std::string>>& changes)
    {
        std::string onDisk(seen.size(), '\0');
        writer.readAt(onDisk.data(), onDisk.size(), recordOffset);
        if (onDisk[0] == '*') {
            throw KelboError(writeError("レコードが削除されています"));
        }
        if (onDisk != seen) {
            writer.refuseChanged();
        }
        for (const auto& change : changes) {
            const Field& field = m_fields[change.first];
            std::string bytes = cp932::cut(change.second, field.width);
            bytes.resize(field.width, ' ');
            writer.writeAt(bytes.data(), bytes.size(), recordOffset + field.offset);
        }
    }

    /** The stored bytes of @p row. A record written in the running batch is read from the file itself: shapelib
     * may still hold its old bytes. */
    const char* rawRecord(long row)
    {
        const long record = physical(row);
        const logtable::TableWriter* writer = openBatchWriter();
        if (writer && m_written.count(record) > 0) {
            m_recordBuffer.resize(static_cast<std::size_t>(m_recordLength));
            if (!logtable::readAt(writer->fd(), m_recordBuffer.data(), m_recordBuffer.size(),
                                  static_cast<off_t>(m_headerLength)
                                      + static_cast<off_t>(record) * static_cast<off_t>(m_recordLength))) {
                throw KelboError(readError("読み込みに失敗しました"));
            }
            return m_recordBuffer.data();
        }
        if (!m_dbf) {
            openHandle();
        }
        g_shapelibError.clear();
        const char* bytes = DBFReadTuple(m_dbf, static_cast<int>(record));
        if (!bytes) {
            throw KelboError(
                readError(g_shapelibError.empty() ? std::string("読み込みに失敗しました") : g_shapelibError));
        }
        return bytes;
    }

    long physical(long row) const { return m_deletedCount == 0 ? row : static_cast<long>(m_visible[row]); }

    void closeHandle()
    {
        if (m_dbf) {
            DBFClose(m_dbf);
            m_dbf = nullptr;
        }
    }

    void openHandle()
    {
        SAHooks hooks;
        SASetupDefaultHooks(&hooks);
        hooks.Error = captureShapelibError;
        g_shapelibError.clear();
        m_dbf = DBFOpenLL(path().c_str(), "rb", &hooks);
        if (!m_dbf) {
            throw KelboError(openError("dBASE のテーブルとして読めません"
                                       + (g_shapelibError.empty() ? std::string() : " (" + g_shapelibError + ")")));
        }
    }

    std::string decode(const Field& field, const char* p) const
    {
        const std::string_view raw(p, static_cast<std::size_t>(field.width));
        const auto* u = reinterpret_cast<const unsigned char*>(p);
        switch (field.type) {
        case 'C':
            return std::string(logtable::trimRight(raw));
        case 'N':
        case 'F':
            // A number too wide for its field is stored as asterisks: no value.
            if (raw.find_first_not_of("* ") == std::string_view::npos) {
                return "";
            }
            return logtable::normalizeNumberText(raw);
        case 'D': {
            // "00000000", blanks and text that is no date all mean no date.
            const std::string text = logtable::normalizeDateText(raw);
            return text.size() == 10 && text[4] == '/' && text[7] == '/' ? text : "";
        }
        case 'L':
            return logtable::normalizeLogicalText(raw);
        case 'I':
        case '+':
            if (field.width != 4) {
                return "";
            }
            return logtable::formatInteger(m_level7 ? level7Integer(u) : le32(u));
        case 'O':
            return field.width == 8 ? logtable::formatNumber(level7Double(u)) : "";
        case 'B':
            // FoxPro's double; in dBASE a binary memo's block number.
            return field.width == 8 && !m_level7 ? logtable::formatNumber(bitsToDouble(le64(u))) : "";
        case 'Y':
            return field.width == 8 ? currencyText(static_cast<std::int64_t>(le64(u))) : "";
        case 'T': {
            if (field.width != 8) {
                return "";
            }
            const std::int32_t day = le32(u);
            const std::int32_t ms = le32(u + 4);
            if (day <= 0 || ms < 0 || ms >= 86400000) {
                return "";
            }
            const daynumber::Date date = daynumber::dateOfJulianDay(day);
            return logtable::formatDateTime(date.year, date.month, date.day, ms);
        }
        case '@': {
            // Milliseconds since the day before 0001/01/01, a big-endian double (some writers flip its sign bit).
            if (field.width != 8) {
                return "";
            }
            std::uint64_t bits = be64(u);
            bits &= ~0x8000000000000000ull;
            const double ms = bitsToDouble(bits);
            if (!(ms >= 86400000.0) || ms > 3.16e14) {
                return "";
            }
            const auto whole = static_cast<long long>(ms);
            const daynumber::Date date = daynumber::dateOfJulianDay(whole / 86400000 + daynumber::kDayBeforeYearOne);
            return logtable::formatDateTime(date.year, date.month, date.day, whole % 86400000);
        }
        case 'G':
        case 'P':
        case 'Q':
        case 'W':
            return ""; // pictures, objects and binary values have no text
        default:
            return std::string(logtable::trimRight(raw));
        }
    }

    /** The memo's block number: ten digits (blank for none) or, in FoxPro's four bytes, a binary number. */
    static std::optional<std::uint32_t> memoBlock(const Field& field, const char* p)
    {
        if (field.width == 4) {
            return static_cast<std::uint32_t>(le32(reinterpret_cast<const unsigned char*>(p)));
        }
        const std::string_view digits = logtable::trim(std::string_view(p, static_cast<std::size_t>(field.width)));
        std::uint64_t block = 0;
        for (const char c : digits) {
            if (!ascii::isDigit(static_cast<unsigned char>(c)) || block > 0xFFFFFFFFu) {
                return std::nullopt;
            }
            block = block * 10 + static_cast<std::uint64_t>(c - '0');
        }
        if (block > 0xFFFFFFFFu) {
            return std::nullopt;
        }
        return static_cast<std::uint32_t>(block);
    }

    std::string memoText(const Field& field, const char* p)
    {
        const std::optional<std::uint32_t> block = memoBlock(field, p);
        if (block && *block == 0) {
            return "";
        }
        if (!m_memo) {
            return "";
        }
        return memoTextFrom(block ? m_memo->read(*block) : std::nullopt, m_memoPath);
    }

    /** The block numbers of every memo of the table, read from the file through a handle of their own. */
    std::vector<std::uint32_t> memoStarts() const
    {
        std::vector<std::uint32_t> starts;
        const int fd = ::open(path().c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0 || m_recordLength <= 0) {
            if (fd >= 0) {
                ::close(fd);
            }
            return starts;
        }
        const auto length = static_cast<std::size_t>(m_recordLength);
        const long perChunk = std::max<long>(1, (1 << 20) / m_recordLength);
        std::vector<char> chunk;
        for (long first = 0; first < m_physicalCount; first += perChunk) {
            const long count = std::min(perChunk, m_physicalCount - first);
            chunk.resize(static_cast<std::size_t>(count) * length);
            if (!logtable::readAt(fd, chunk.data(), chunk.size(),
                                  static_cast<off_t>(m_headerLength) + static_cast<off_t>(first) * m_recordLength)) {
                break;
            }
            for (long r = 0; r < count; ++r) {
                const char* record = chunk.data() + static_cast<std::size_t>(r) * length;
                for (const Field& field : m_fields) {
                    if (field.type == 'M' && field.offset + field.width <= m_recordLength) {
                        if (const auto block = memoBlock(field, record + field.offset); block && *block > 0) {
                            starts.push_back(*block);
                        }
                    }
                }
            }
        }
        ::close(fd);
        return starts;
    }

    /** Opens the memo file of a table that has memo fields; a missing or unusable one leaves the memos empty and
     * says so in the note. */
    void openMemoFile()
    {
        std::string names;
        for (const Field& field : m_fields) {
            if (field.type == 'M') {
                names += (names.empty() ? "" : ", ") + cp932::toUtf8(field.name);
            }
        }
        if (names.empty()) {
            return;
        }
        const bool foxPro = isFoxPro(m_version);
        m_memoPath = filelookup::siblingFile(path(),
                                             foxPro ? std::initializer_list<const char*>{".fpt", ".dbt"}
                                                    : std::initializer_list<const char*>{".dbt", ".fpt"});
        if (m_memoPath.empty()) {
            const std::size_t dot = path().rfind('.');
            const std::string expected
                = (dot == std::string::npos ? path() : path().substr(0, dot)) + (foxPro ? ".fpt" : ".dbt");
            addNote("メモファイル " + expected + " がないため, メモのフィールド " + names + " は空で表示します.");
            return;
        }
        const std::size_t dot = m_memoPath.rfind('.');
        const bool fpt = cp932::equalsNoCase(m_memoPath.substr(dot), ".fpt");
        const auto kind = fpt ? logtable::DbaseMemoFile::Kind::FoxPro
                              : (m_level7 || m_version == 0x8B || m_version == 0x8E || m_version == 0xCB
                                     ? logtable::DbaseMemoFile::Kind::Dbase4
                                     : logtable::DbaseMemoFile::Kind::Dbase3);
        try {
            m_memo = logtable::DbaseMemoFile::open(m_memoPath, kind);
            m_memo->setMemoStarts([this] { return memoStarts(); });
        } catch (const KelboError& e) {
            addNote("メモファイル " + m_memoPath + " を読めないため (" + e.what() + "), メモのフィールド " + names
                    + " は空で表示します.");
        }
    }

    unsigned char m_version = 0;
    bool m_level7 = false;
    std::unique_ptr<logtable::DbaseMemoFile> m_memo;
    std::string m_memoPath;
    off_t m_fileSize = 0;
    int m_headerLength = 0;
    int m_recordLength = 0;
    long m_physicalCount = 0;
    long m_deletedCount = 0;
    std::vector<std::uint32_t> m_visible;
    std::vector<Field> m_fields;
    DBFHandle m_dbf = nullptr;
    std::set<long> m_written; // records written in the running batch
    std::string m_recordBuffer;
};

} // namespace

std::unique_ptr<TableEngine> openDbaseTable(const std::string& path)
{
    return std::make_unique<DbaseEngine>(path);
}
