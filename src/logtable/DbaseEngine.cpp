// dBASE tables (.dbf). The engine reads the header itself, checks that its numbers agree, and reads the records
// in blocks of many records, sliced by the field offsets so that leading blanks stay. Records marked deleted are not
// shown. Texts are decoded from the code page the table declares. Memo texts are read from the .dbt or .fpt beside
// the table, only for tables that have memo fields.
#include "common/Ascii.h"
#include "common/ByteOrder.h"
#include "common/CodePage.h"
#include "common/Cp932.h"
#include "common/DayNumber.h"
#include "common/FileLookup.h"
#include "common/KelboError.h"
#include "logtable/FileTableEngine.h"
#include "logtable/MemoFile.h"
#include "logtable/TableSupport.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace {

/** Bytes read at once: many records per system call however the table is walked forwards. */
constexpr std::size_t kBlockBytes = 256 * 1024;

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
        m_fd = logtable::openForReading(path);
        try {
            readHeader(m_fd);
            readCodePage();
            indexRecords(m_fd);
        } catch (...) {
            ::close(m_fd);
            throw;
        }
        openMemoFile();
    }

    ~DbaseEngine() override { ::close(m_fd); }

    int fieldCount() const override { return static_cast<int>(m_fields.size()); }
    std::string fieldName(int field) const override { return m_codePage.toCp932(m_fields[field].name); }
    std::string fieldNameUtf8(int field) const override { return m_codePage.toUtf8(m_fields[field].name); }
    std::size_t fieldWidth(int field) const override { return m_fields[field].type == 'C' ? m_fields[field].width : 0; }
    long recordCount() const override
    {
        return m_visible.empty() && m_deletedCount == 0 ? m_physicalCount : static_cast<long>(m_visible.size());
    }

    void readRecord(long row, std::vector<std::string>& texts) override { read(row, texts, false); }
    void readRecordUtf8(long row, std::vector<std::string>& texts) override { read(row, texts, true); }

    void writeRecord(long row, const std::vector<std::pair<int, std::string>>& changes) override
    {
        for (const auto& change : changes) {
            const Field& field = m_fields[change.first];
            if (field.type != 'C') {
                throw KelboError(
                    writeError(logtable::fieldReason(fieldName(change.first), "は文字のフィールドではありません")));
            }
        }
        // Every text in the table's own code page before a byte is written: one it cannot hold writes nothing.
        std::vector<std::pair<int, std::string>> stored;
        for (const auto& change : changes) {
            std::optional<std::string> bytes
                = m_codePage.fromCp932(change.second, static_cast<std::size_t>(m_fields[change.first].width));
            if (!bytes) {
                throw KelboError(writeError(
                    logtable::fieldReason(fieldName(change.first),
                                          "に書く「" + cp932::toUtf8(change.second) + "」は, このテーブルの文字コード "
                                              + m_codePage.name() + " で表せない文字を含みます")));
            }
            stored.emplace_back(change.first, std::move(*bytes));
        }
        const long record = physical(row);
        const off_t recordOffset
            = static_cast<off_t>(m_headerLength) + static_cast<off_t>(record) * static_cast<off_t>(m_recordLength);
        const std::string seen(rawRecord(row), static_cast<std::size_t>(m_recordLength));
        if (inBatch()) {
            logtable::TableWriter& writer = batchWriter();
            writeFields(writer, recordOffset, seen, stored);
            m_stamp = writer.stamp();
            m_written.insert(record);
            return;
        }
        {
            logtable::TableWriter writer(path(), m_stamp);
            writeFields(writer, recordOffset, seen, stored);
            m_stamp = writer.sync();
        }
        m_blockCount = 0; // the block holds the record's old bytes
    }

protected:
    void commitBatch(logtable::TableWriter& writer) override
    {
        m_written.clear();
        m_stamp = writer.sync();
    }

    void batchClosed(bool /*committed*/) override
    {
        m_blockCount = 0; // the block may hold old bytes of the records the batch wrote
    }

private:
    struct Field
    {
        std::string name;
        char type = 'C';
        int width = 0;
        int decimals = 0;
        int offset = 0;
        int nullBit = -1; // FoxPro: the bit of _NullFlags set when the value is null
        int lengthBit
            = -1; // FoxPro: the bit set when a V or Q value is shorter than its field (length in its last byte)
    };

    /** Field types the format describes; any other byte in a descriptor's type says the header is not what it
     * claims. */
    static bool knownType(char type) { return std::strchr("CNFDLMIOBYT@+GPQWV0", type) != nullptr && type != '\0'; }

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
        if (m_level7) {
            m_driverName.assign(reinterpret_cast<const char*>(header.data() + 32),
                                strnlen(reinterpret_cast<const char*>(header.data() + 32), 32));
        }
        m_languageDriver = head[29];
        const bool foxPro = m_version == 0x30 || m_version == 0x31 || m_version == 0x32;
        int offset = 1; // the deletion flag
        int bits = 0; // FoxPro's null and length bits, in field order
        bool ended = false;
        std::vector<std::uint32_t> displacements; // FoxPro keeps each field's place in the record
        std::size_t at = firstField;
        for (; at < header.size(); at += descriptorSize) {
            if (header[at] == 0x0D) {
                ended = true;
                break;
            }
            if (at + descriptorSize > header.size()) {
                break;
            }
            Field field;
            const auto* name = reinterpret_cast<const char*>(header.data() + at);
            field.name.assign(name, strnlen(name, nameSize));
            field.name = std::string(logtable::trimRight(field.name));
            field.type = static_cast<char>(header[at + typeAt]);
            field.width = header[at + widthAt];
            field.decimals = header[at + widthAt + 1];
            const std::string number = std::to_string((at - firstField) / descriptorSize + 1);
            if (!knownType(field.type)) {
                char code[8];
                std::snprintf(code, sizeof code, "0x%02X", static_cast<unsigned char>(field.type));
                throw KelboError(openError("ヘッダーが壊れています (フィールド " + number + " の型 " + code
                                           + " は dBASE の型ではありません)"));
            }
            if (field.type == 'C' && field.decimals > 0 && !m_level7 && m_version != 0x03 && m_version != 0x83) {
                field.width += field.decimals << 8; // FoxPro's long character fields
                field.decimals = 0;
            }
            if (foxPro) {
                const unsigned char flags = header[at + 18];
                if (field.type == 'V' || field.type == 'Q') {
                    field.lengthBit = bits++;
                }
                if ((flags & 0x02) != 0) {
                    field.nullBit = bits++;
                }
                displacements.push_back(byteorder::le32(header.data() + at + 12));
            }
            field.offset = offset;
            offset += field.width;
            if (field.type == '0') {
                // FoxPro's hidden field of null flags is no field of the operator's.
                m_nullFlagsOffset = field.offset;
                m_nullFlagsWidth = field.width;
            } else {
                m_fields.push_back(std::move(field));
            }
        }
        if (m_fields.empty()) {
            throw KelboError(openError("dBASE のテーブルではありません (フィールドがありません)"));
        }
        if (offset != m_recordLength) {
            throw KelboError(openError("ヘッダーが壊れています (レコード長 " + std::to_string(m_recordLength)
                                       + " がフィールドの長さの合計 " + std::to_string(offset) + " と合いません)"));
        }
        // The fields must end inside the header: a header length that cuts a field's descriptor short does not fit
        // (some writers put another byte than 0x0D in the header's last byte).
        if (!ended && at != header.size() && at + 1 != header.size()) {
            throw KelboError(openError("ヘッダーが壊れています (ヘッダー長 " + std::to_string(m_headerLength)
                                       + " がフィールドの数と合いません)"));
        }
        // FoxPro's field places count from the deletion flag or from the first field; any other set contradicts
        // the widths.
        if (!displacements.empty()
            && std::any_of(displacements.begin(), displacements.end(), [](std::uint32_t d) { return d != 0; })) {
            bool fromFlag = true;
            bool fromField = true;
            int expected = 1;
            std::size_t i = 0;
            for (std::size_t d = firstField; i < displacements.size(); d += descriptorSize, ++i) {
                const int width = header[d + widthAt]
                    + (header[d + typeAt] == 'C' && !m_level7 && m_version != 0x03 && m_version != 0x83
                           ? header[d + widthAt + 1] << 8
                           : 0);
                fromFlag = fromFlag && displacements[i] == static_cast<std::uint32_t>(expected);
                fromField = fromField && displacements[i] == static_cast<std::uint32_t>(expected - 1);
                expected += width;
            }
            if (!fromFlag && !fromField) {
                throw KelboError(openError("ヘッダーが壊れています (フィールドの位置がフィールドの長さと合いません)"));
            }
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
        return fromBlock(record);
    }

    /** The stored bytes of physical record @p record through the block: a block of records is read when the record
     * is not in it, starting at the record going forwards and ending at it going backwards. */
    const char* fromBlock(long record)
    {
        if (record < m_blockFirst || record >= m_blockFirst + m_blockCount) {
            const long perBlock = std::max<long>(1, static_cast<long>(kBlockBytes) / m_recordLength);
            long first = record;
            if (m_blockCount > 0 && record < m_blockFirst) {
                first = std::max<long>(0, record - perBlock + 1);
            }
            const long count = std::min(perBlock, m_physicalCount - first);
            m_block.resize(static_cast<std::size_t>(count) * static_cast<std::size_t>(m_recordLength));
            m_blockCount = 0;
            if (!logtable::readAt(m_fd, m_block.data(), m_block.size(),
                                  static_cast<off_t>(m_headerLength)
                                      + static_cast<off_t>(first) * static_cast<off_t>(m_recordLength))) {
                throw KelboError(readError("読み込みに失敗しました (ファイルが途中で切れています)"));
            }
            m_blockFirst = first;
            m_blockCount = count;
        }
        return m_block.data()
            + static_cast<std::size_t>(record - m_blockFirst) * static_cast<std::size_t>(m_recordLength);
    }

    long physical(long row) const { return m_deletedCount == 0 ? row : static_cast<long>(m_visible[row]); }

    /** Decodes the table's texts from the code page it declares: a .cpg file beside it, else its language driver;
     * CP932 when it declares none, or one this program does not know (said in the note). */
    void readCodePage()
    {
        std::optional<std::string> name;
        std::string declared;
        const std::string cpg = filelookup::siblingFile(path(), {".cpg"});
        if (!cpg.empty()) {
            std::string content(256, '\0');
            const int fd = ::open(cpg.c_str(), O_RDONLY | O_CLOEXEC);
            ssize_t n = -1;
            if (fd >= 0) {
                n = ::read(fd, content.data(), content.size());
                ::close(fd);
            }
            content.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
            name = codepage::cpgCodePage(content);
            declared = cpg + " の \"" + std::string(logtable::trim(content)) + "\"";
            if (name && name->empty()) {
                name.reset();
                declared.clear();
            }
        }
        if (declared.empty() && m_level7 && !m_driverName.empty()) {
            name = level7Driver(m_driverName);
            declared = "言語ドライバー " + m_driverName;
        }
        if (declared.empty()) {
            name = codepage::dbaseLanguageDriver(m_languageDriver);
            char hex[8];
            std::snprintf(hex, sizeof hex, "0x%02X", m_languageDriver);
            declared = std::string("言語ドライバー ") + hex;
        }
        if (name && !name->empty()) {
            codepage::CodePage page(*name);
            if (page.isValid()) {
                m_codePage = std::move(page);
                return;
            }
        }
        if (!name) {
            addNote("文字コードの指定 (" + declared + ") が分からないため, テキストを CP932 として読みます.");
        }
    }

    /** dBASE 7 names its language driver: "DB437US0", "DB850DE0", "DBWINUS0" ... */
    static std::optional<std::string> level7Driver(const std::string& driver)
    {
        if (driver.size() >= 5 && driver.compare(0, 2, "DB") == 0) {
            if (driver.compare(2, 3, "WIN") == 0) {
                return std::string("CP1252");
            }
            const std::string digits = driver.substr(2, 3);
            if (digits.find_first_not_of("0123456789") == std::string::npos) {
                return codepage::cpgCodePage(digits);
            }
        }
        return std::nullopt;
    }

    /** FoxPro's bit @p bit of the record's null flags; false when the table has none. */
    bool flag(const char* record, int bit) const
    {
        if (bit < 0 || m_nullFlagsOffset < 0 || bit / 8 >= m_nullFlagsWidth) {
            return false;
        }
        return (static_cast<unsigned char>(record[m_nullFlagsOffset + bit / 8]) >> (bit % 8) & 1) != 0;
    }

    void read(long row, std::vector<std::string>& texts, bool utf8)
    {
        texts.assign(m_fields.size(), std::string());
        if (row < 0 || row >= recordCount()) {
            return;
        }
        const char* record = rawRecord(row);
        for (std::size_t i = 0; i < m_fields.size(); ++i) {
            const Field& field = m_fields[i];
            // A null number or date would show its stored bytes as a value. A text keeps what it holds: some
            // writers fill the null flags with a blank, and a real null text is stored blank anyway.
            if (field.type != 'C' && field.type != 'M' && field.type != 'V' && flag(record, field.nullBit)) {
                continue;
            }
            const char* p = record + field.offset;
            std::string text;
            switch (field.type) {
            case 'M':
                text = memoText(field, p);
                break;
            case 'C':
                text = std::string(logtable::trimRight(std::string_view(p, static_cast<std::size_t>(field.width))));
                break;
            case 'V': {
                // Shorter than its field when the length bit says so: the length is then in the last byte.
                std::size_t length = static_cast<std::size_t>(field.width);
                if (flag(record, field.lengthBit)) {
                    length = std::min(length, static_cast<std::size_t>(static_cast<unsigned char>(p[field.width - 1])));
                }
                text = std::string(logtable::trimRight(std::string_view(p, length)));
                break;
            }
            default:
                text = decode(field, p); // a number or date that is none is shown as stored
                break;
            }
            texts[i] = utf8 ? m_codePage.toUtf8(text) : m_codePage.toCp932(text);
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
    int m_fd = -1;
    codepage::CodePage m_codePage;
    unsigned char m_languageDriver = 0;
    std::string m_driverName;
    int m_nullFlagsOffset = -1;
    int m_nullFlagsWidth = 0;
    std::vector<char> m_block; // records m_blockFirst .. m_blockFirst + m_blockCount - 1 as read
    long m_blockFirst = 0;
    long m_blockCount = 0;
    std::set<long> m_written; // records written in the running batch
    std::string m_recordBuffer;
};

} // namespace

std::unique_ptr<TableEngine> openDbaseTable(const std::string& path)
{
    return std::make_unique<DbaseEngine>(path);
}
