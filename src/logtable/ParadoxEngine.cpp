// Paradox tables (.db). The header and the chain of data blocks are checked and walked here, with every
// offset bounded by the file's size, so a damaged or hostile file gives an error or a shorter table, never a
// wild read; pxlib decodes the field values. Only one data block is held in memory at a time. Memo texts longer
// than the part kept in the record are read from the .MB file beside the table by our own bounds-checked reader.
#include "common/ByteOrder.h"
#include "common/CodePage.h"
#include "common/Cp932.h"
#include "common/DayNumber.h"
#include "common/FileLookup.h"
#include "common/KelboError.h"
#include "logtable/FileTableEngine.h"
#include "logtable/MemoFile.h"
#include "logtable/TableSupport.h"

extern "C" {
#include <paradox.h>
}

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

enum ParadoxType : unsigned char
{
    pxAlpha = 0x01,
    pxDate = 0x02,
    pxShort = 0x03,
    pxLong = 0x04,
    pxCurrency = 0x05,
    pxNumber = 0x06,
    pxLogical = 0x09,
    pxMemo = 0x0C,
    pxBlob = 0x0D,
    pxFormattedMemo = 0x0E,
    pxOle = 0x0F,
    pxGraphic = 0x10,
    pxTime = 0x14,
    pxTimestamp = 0x15,
    pxAutoInc = 0x16,
    pxBcd = 0x17,
    pxBytes = 0x18,
};

/** Stored size of a field of @p type declared with @p size; 0 for an unknown type or a size the type
 * never has. */
int storedSize(unsigned char type, unsigned char size)
{
    switch (type) {
    case pxAlpha:
    case pxBytes:
        return size;
    case pxDate:
    case pxLong:
    case pxTime:
    case pxAutoInc:
        return size == 4 ? 4 : 0;
    case pxShort:
        return size == 2 ? 2 : 0;
    case pxCurrency:
    case pxNumber:
    case pxTimestamp:
        return size == 8 ? 8 : 0;
    case pxLogical:
        return size == 1 ? 1 : 0;
    case pxMemo:
    case pxBlob:
    case pxFormattedMemo:
    case pxOle:
    case pxGraphic:
        return size >= 10 ? size : 0;
    case pxBcd:
        return size <= 32 ? 17 : 0; // the declared size is the number of decimals
    default:
        return 0;
    }
}

using byteorder::le16;
using byteorder::le32;

bool allZero(const char* p, int size)
{
    return std::all_of(p, p + size, [](char c) { return c == 0; });
}

// pxlib reports decoding trouble through this handler; a value it cannot decode simply shows as "".
void ignorePxError(pxdoc_t*, int, const char*, void*) { }

class ParadoxEngine : public logtable::FileTableEngine
{
public:
    explicit ParadoxEngine(const std::string& path)
        : FileTableEngine(path)
    {
        m_fd = logtable::openForReading(path);
        try {
            readHeader();
            indexBlocks();
            m_px = PX_new2(ignorePxError, nullptr, nullptr, nullptr);
            if (!m_px) {
                throw KelboError(openError("メモリが足りません"));
            }
            openMemoFile();
        } catch (...) {
            ::close(m_fd);
            throw;
        }
    }

    ~ParadoxEngine() override
    {
        if (m_px) {
            PX_delete(m_px);
        }
        ::close(m_fd);
    }

    int fieldCount() const override { return static_cast<int>(m_fields.size()); }
    std::string fieldName(int field) const override { return m_codePage.toCp932(m_fields[field].name); }
    std::string fieldNameUtf8(int field) const override { return m_codePage.toUtf8(m_fields[field].name); }
    std::size_t fieldWidth(int field) const override
    {
        return m_fields[field].type == pxAlpha ? m_fields[field].size : 0;
    }
    long recordCount() const override { return m_recordCount; }

    void readRecord(long row, std::vector<std::string>& texts) override { read(row, texts, false); }
    void readRecordUtf8(long row, std::vector<std::string>& texts) override { read(row, texts, true); }

    void writeRecord(long row, const std::vector<std::pair<int, std::string>>& changes) override
    {
        for (const auto& change : changes) {
            checkWritable(change.first);
        }
        // Every text in the table's own code page before a byte is written: one it cannot hold writes nothing.
        std::vector<std::pair<int, std::string>> stored;
        for (const auto& change : changes) {
            std::optional<std::string> bytes = m_codePage.fromCp932(change.second, m_fields[change.first].size);
            if (!bytes) {
                throw KelboError(writeError(
                    logtable::fieldReason(fieldName(change.first),
                                          "に書く「" + cp932::toUtf8(change.second) + "」は, このテーブルの文字コード "
                                              + m_codePage.name() + " で表せない文字を含みます")));
            }
            stored.emplace_back(change.first, std::move(*bytes));
        }
        const auto block = blockOf(row);
        const off_t recordOffset = blockOffset(m_blocks[block].number) + 6
            + static_cast<off_t>(row - m_blocks[block].firstRow) * m_recordSize;
        const char* current = recordBytes(row);
        if (!current) {
            throw KelboError(writeError("レコード " + std::to_string(row + 1) + " がありません"));
        }
        const std::string seen(current, static_cast<std::size_t>(m_recordSize));
        if (inBatch()) {
            logtable::TableWriter& writer = batchWriter();
            writeFields(writer, recordOffset, seen, stored);
            m_stamp = writer.stamp();
            // The block in memory is the one just read: it takes the written bytes too.
            char* cached = const_cast<char*>(recordBytes(row));
            for (const auto& change : stored) {
                const Field& field = m_fields[change.first];
                const std::string value = cp932::cut(change.second, field.size);
                std::memset(cached + field.offset, 0, field.size);
                std::memcpy(cached + field.offset, value.data(), value.size());
            }
            return;
        }
        logtable::TableWriter writer(path(), m_stamp);
        writeFields(writer, recordOffset, seen, stored);
        m_stamp = writer.sync();
        m_cachedBlock = -1;
    }

protected:
    void commitBatch(logtable::TableWriter& writer) override
    {
        // The block in memory took the batch's bytes before they were synced: it is read again.
        m_cachedBlock = -1;
        m_stamp = writer.sync();
    }

private:
    struct Field
    {
        std::string name;
        unsigned char type = 0;
        unsigned char size = 0; // declared size (decimals for BCD)
        int stored = 0;
        int offset = 0;
    };
    struct BlockRef
    {
        std::uint32_t number;
        long firstRow;
        int records;
    };

    void readHeader()
    {
        struct stat st
        {
        };
        ::fstat(m_fd, &st);
        m_fileSize = st.st_size;
        m_stamp = logtable::stampOf(m_fd);
        if (m_fileSize == 0) {
            throw KelboError(openError("空のファイルです"));
        }
        unsigned char head[0x78] = {};
        const bool fullHead = logtable::readAt(m_fd, head, sizeof head, 0);
        if (!fullHead && m_fileSize < 0x58) {
            throw KelboError(openError("Paradox のテーブルではありません (ヘッダーが途中で切れています)"));
        }
        m_recordSize = le16(head + 0x00);
        m_headerSize = le16(head + 0x02);
        const unsigned char fileType = head[0x04];
        const unsigned char maxTableSize = head[0x05];
        const unsigned firstBlock = le16(head + 0x0E);
        m_claimedRecords = le32(head + 0x06);
        const int numFields = static_cast<std::int16_t>(le16(head + 0x21));
        m_keyFields = static_cast<std::int16_t>(le16(head + 0x23));
        const std::uint32_t encryption1 = le32(head + 0x25);
        m_writeProtected = head[0x38] != 0;
        const unsigned char version = head[0x39];

        if (fileType == 1 || (fileType >= 3 && fileType <= 8)) {
            throw KelboError(openError("Paradox の索引ファイルです. データファイル (.db) を指定してください"));
        }
        if (fileType != 0 && fileType != 2) {
            throw KelboError(openError("Paradox のテーブルではありません"));
        }
        if (version < 3 || version > 12) {
            throw KelboError(openError("Paradox のテーブルではないか, 対応していない版です (版番号 "
                                       + std::to_string(version) + ")"));
        }
        const bool v4 = version >= 5;
        if (v4 && !fullHead) {
            throw KelboError(openError("ファイルが途中で切れています"));
        }
        if (v4) {
            readCodePage(le16(head + 0x6A));
        }
        const std::uint32_t encryption = v4 ? le32(head + 0x5C) : encryption1;
        if (encryption != 0) {
            throw KelboError(openError("暗号化されたテーブルには対応していません"));
        }
        if (maxTableSize < 1 || maxTableSize > 32) {
            throw KelboError(openError("Paradox のテーブルではありません (ブロックの大きさ "
                                       + std::to_string(maxTableSize) + " が不正です)"));
        }
        m_blockSize = maxTableSize * 1024;
        if (numFields < 1 || numFields > 255) {
            throw KelboError(openError("Paradox のテーブルではありません (フィールド数 " + std::to_string(numFields)
                                       + " が不正です)"));
        }
        const std::size_t infoStart = v4 ? 0x78 : 0x58;
        // Field info, the table name pointer, the field name pointers, the table name, then the field names.
        const std::size_t tableNameLength = version >= 12 ? 261 : 79;
        const std::size_t namesStart = infoStart + 2 * numFields + 4 + 4 * numFields + tableNameLength;
        if (static_cast<std::size_t>(m_headerSize) < namesStart) {
            throw KelboError(openError("Paradox のテーブルではありません (ヘッダーの大きさが不正です)"));
        }
        if (static_cast<off_t>(m_headerSize) > m_fileSize) {
            throw KelboError(openError("ファイルが途中で切れています (ヘッダーが不完全です)"));
        }
        std::vector<unsigned char> header(m_headerSize);
        if (!logtable::readAt(m_fd, header.data(), header.size(), 0)) {
            throw KelboError(openError("読み込みに失敗しました"));
        }
        int offset = 0;
        std::size_t name = namesStart;
        for (int i = 0; i < numFields; ++i) {
            Field field;
            field.type = header[infoStart + 2 * i];
            field.size = header[infoStart + 2 * i + 1];
            field.stored = storedSize(field.type, field.size);
            if (field.stored == 0) {
                throw KelboError(openError("Paradox のテーブルとして読めません: フィールド " + std::to_string(i + 1)
                                           + " の型 (" + std::to_string(field.type) + ", 大きさ "
                                           + std::to_string(field.size) + ") に対応していません"));
            }
            field.offset = offset;
            offset += field.stored;
            const auto* end = static_cast<const unsigned char*>(
                std::memchr(header.data() + name, 0, header.size() - std::min(name, header.size())));
            if (name >= header.size() || !end) {
                throw KelboError(openError("ヘッダーのフィールド名が途中で切れています"));
            }
            field.name.assign(reinterpret_cast<const char*>(header.data() + name),
                              static_cast<std::size_t>(end - (header.data() + name)));
            name = static_cast<std::size_t>(end - header.data()) + 1;
            m_fields.push_back(std::move(field));
        }
        if (offset != m_recordSize || m_recordSize + 6 > m_blockSize) {
            throw KelboError(openError("Paradox のテーブルではありません (レコード長 " + std::to_string(m_recordSize)
                                       + " がフィールドと合いません)"));
        }
        m_firstBlock = firstBlock;
    }

    off_t blockOffset(std::uint32_t number) const
    {
        return static_cast<off_t>(m_headerSize) + static_cast<off_t>(number - 1) * m_blockSize;
    }

    /** Walks the chain of data blocks once; a chain that loops, leaves the file or ends early simply ends
     * the table there. */
    void indexBlocks()
    {
        const off_t available = m_fileSize - static_cast<off_t>(m_headerSize);
        const std::uint32_t blocksInFile
            = available > 0 ? static_cast<std::uint32_t>((available + m_blockSize - 1) / m_blockSize) : 0;
        std::vector<bool> seen(blocksInFile + 1, false);
        std::uint32_t number = m_firstBlock;
        long rows = 0;
        while (number >= 1 && number <= blocksInFile && !seen[number]) {
            seen[number] = true;
            unsigned char head[6];
            if (!logtable::readAt(m_fd, head, sizeof head, blockOffset(number))) {
                break;
            }
            const int addDataSize = static_cast<std::int16_t>(le16(head + 4));
            long records = addDataSize < 0 ? 0 : addDataSize / m_recordSize + 1;
            // Only whole records inside the block and inside the file count.
            const off_t end = std::min<off_t>(blockOffset(number) + m_blockSize, m_fileSize);
            const long fit = static_cast<long>((end - blockOffset(number) - 6) / m_recordSize);
            records = std::max(0L, std::min(records, fit));
            if (records > 0) {
                m_blocks.push_back({number, rows, static_cast<int>(records)});
                rows += records;
            }
            number = le16(head);
        }
        m_recordCount = rows;
        // The header counts the records the table holds: a chain that ends before them is damage, said once.
        const std::uint32_t claimed = m_fileSize >= 0x0A ? m_claimedRecords : 0;
        if (claimed > static_cast<std::uint32_t>(rows)) {
            addNote("テーブル " + path() + " のデータブロックのつながりが途中で切れています: " + std::to_string(claimed)
                    + " 件のうち " + std::to_string(rows) + " 件だけを読みました");
        }
    }

    std::size_t blockOf(long row) const
    {
        const auto it = std::upper_bound(m_blocks.begin(), m_blocks.end(), row,
                                         [](long r, const BlockRef& b) { return r < b.firstRow; });
        return static_cast<std::size_t>(it - m_blocks.begin()) - 1;
    }

    const char* recordBytes(long row)
    {
        if (row < 0 || row >= m_recordCount) {
            return nullptr;
        }
        const std::size_t block = blockOf(row);
        if (static_cast<long>(block) != m_cachedBlock) {
            m_blockData.assign(m_blockSize, '\0');
            const off_t offset = blockOffset(m_blocks[block].number);
            const auto size = static_cast<std::size_t>(std::min<off_t>(m_blockSize, m_fileSize - offset));
            m_cachedBlock = -1;
            if (!logtable::readAt(m_fd, m_blockData.data(), size, offset)) {
                throw KelboError(readError("読み込みに失敗しました"));
            }
            m_cachedBlock = static_cast<long>(block);
        }
        return m_blockData.data() + 6 + (row - m_blocks[block].firstRow) * m_recordSize;
    }

    void read(long row, std::vector<std::string>& texts, bool utf8)
    {
        texts.assign(m_fields.size(), std::string());
        const char* record = recordBytes(row);
        if (!record) {
            return;
        }
        for (std::size_t i = 0; i < m_fields.size(); ++i) {
            const Field& field = m_fields[i];
            std::string text = decode(field, record + field.offset);
            if (field.type == pxAlpha || field.type == pxMemo || field.type == pxFormattedMemo) {
                text = utf8 ? m_codePage.toUtf8(text) : m_codePage.toCp932(text);
            }
            texts[i] = std::move(text);
        }
    }

    /** Texts are decoded from the code page the header declares; CP932 when it declares none, or one this program
     * does not know (said in the note). */
    void readCodePage(unsigned number)
    {
        const std::optional<std::string> name = codepage::paradoxCodePage(static_cast<int>(number));
        if (name && !name->empty()) {
            codepage::CodePage page(*name);
            if (page.isValid()) {
                m_codePage = std::move(page);
                return;
            }
        }
        if (!name || !name->empty()) {
            addNote("文字コードの指定 (コードページ " + std::to_string(number)
                    + ") が分からないため, テキストを CP932 として読みます.");
        }
    }

    std::string decode(const Field& field, const char* p)
    {
        char* data = const_cast<char*>(p);
        // A blank value is stored as zero bytes; pxlib would read a blank number as its smallest value.
        if (field.type != pxAlpha && allZero(p, field.stored)) {
            return "";
        }
        switch (field.type) {
        case pxAlpha: {
            const void* nul = std::memchr(p, 0, field.size);
            const std::size_t n = nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - p) : field.size;
            return std::string(logtable::trimRight(std::string_view(p, n)));
        }
        case pxShort: {
            short value = 0;
            return PX_get_data_short(m_px, data, 2, &value) > 0 ? logtable::formatInteger(value) : "";
        }
        case pxLong:
        case pxAutoInc: {
            long value = 0;
            return PX_get_data_long(m_px, data, 4, &value) > 0 ? logtable::formatInteger(value) : "";
        }
        case pxCurrency:
        case pxNumber: {
            double value = 0;
            return PX_get_data_double(m_px, data, 8, &value) > 0 ? logtable::formatNumber(value) : "";
        }
        case pxDate: {
            long days = 0;
            if (PX_get_data_long(m_px, data, 4, &days) <= 0 || days <= 0 || days > 3652059) {
                return "";
            }
            const daynumber::Date date = daynumber::dateOfJulianDay(days + daynumber::kDayBeforeYearOne);
            return logtable::formatDate(date.year, date.month, date.day);
        }
        case pxTime: {
            long ms = 0;
            if (PX_get_data_long(m_px, data, 4, &ms) <= 0 || ms < 0 || ms >= 86400000) {
                return "";
            }
            return logtable::formatTime(ms);
        }
        case pxTimestamp: {
            double value = 0;
            if (PX_get_data_double(m_px, data, 8, &value) <= 0 || !(value > 0) || value > 3.16e14) {
                return "";
            }
            const auto ms = static_cast<long long>(value);
            const daynumber::Date date = daynumber::dateOfJulianDay(ms / 86400000 + daynumber::kDayBeforeYearOne);
            return logtable::formatDateTime(date.year, date.month, date.day, ms % 86400000);
        }
        case pxLogical: {
            if (static_cast<unsigned char>(*p) == 0) {
                return "";
            }
            return (static_cast<unsigned char>(*p) & 0x7F) != 0 ? "True" : "False";
        }
        case pxBcd:
            return decodeBcd(reinterpret_cast<const unsigned char*>(p), field.size);
        case pxMemo:
        case pxFormattedMemo:
            return memoText(field, p);
        default:
            return ""; // binary values have no text
        }
    }

    /** The record holds the memo's leading part, then a pointer: the offset in the memo file (0 when the whole
     * memo is in the record), its length and a modification number. */
    std::string memoText(const Field& field, const char* p)
    {
        const auto inlineSize = static_cast<std::size_t>(field.stored - 10);
        const auto* pointer = reinterpret_cast<const unsigned char*>(p) + inlineSize;
        const std::uint32_t length = le32(pointer + 4);
        std::optional<std::string> bytes;
        if (length == 0) {
            return "";
        }
        if (le32(pointer) == 0) {
            bytes = std::string(p, std::min<std::size_t>(length, inlineSize));
        } else if (m_memo) {
            bytes = m_memo->read(pointer);
        } else {
            return ""; // the note at the opening told that the memo file is missing
        }
        if (bytes && field.type == pxFormattedMemo) {
            bytes = logtable::formattedMemoText(*bytes);
        }
        return memoTextFrom(std::move(bytes), m_memoPath);
    }

    void openMemoFile()
    {
        std::string names;
        for (const Field& field : m_fields) {
            if (field.type == pxMemo || field.type == pxFormattedMemo) {
                names += (names.empty() ? "" : ", ") + cp932::toUtf8(field.name);
            }
        }
        if (names.empty()) {
            return;
        }
        m_memoPath = filelookup::siblingFile(path(), {".mb"});
        if (m_memoPath.empty()) {
            const std::size_t dot = path().rfind('.');
            m_memoPath = (dot == std::string::npos ? path() : path().substr(0, dot)) + ".MB";
            addNote("メモファイル " + m_memoPath + " がないため, レコードに収まらないメモ (フィールド " + names
                    + ") は空で表示します.");
            return;
        }
        try {
            m_memo = logtable::ParadoxMemoFile::open(m_memoPath);
        } catch (const KelboError& e) {
            addNote("メモファイル " + m_memoPath + " を読めないため (" + e.what()
                    + "), レコードに収まらないメモ (フィールド " + names + ") は空で表示します.");
        }
    }

    /** 17 bytes: sign and decimals in the first, then 32 digits as nibbles, the last ones the fraction; a
     * negative value has the bits of its digits inverted. Digits past the precision the writer kept may hold other
     * nibbles: the value ends there. Shown in the shortest form of its double, like the other numbers.
     * (pxlib's own reading garbles values with many decimals.) */
    static std::string decodeBcd(const unsigned char* p, int declaredDecimals)
    {
        unsigned char b[17];
        const bool negative = (p[0] & 0x80) == 0;
        b[0] = p[0];
        for (int i = 1; i < 17; ++i) {
            b[i] = negative ? static_cast<unsigned char>(~p[i]) : p[i];
        }
        int decimals = b[0] & 0x3F;
        if (decimals > 32) {
            decimals = std::min(declaredDecimals, 32);
        }
        std::string digits;
        for (int i = 0; i < 32; ++i) {
            const int nibble = (b[1 + i / 2] >> (i % 2 == 0 ? 4 : 0)) & 0x0F;
            if (nibble > 9) {
                digits.append(static_cast<std::size_t>(32 - i), '0');
                break;
            }
            digits.push_back(static_cast<char>('0' + nibble));
        }
        std::string whole = digits.substr(0, static_cast<std::size_t>(32 - decimals));
        std::string fraction = digits.substr(static_cast<std::size_t>(32 - decimals));
        whole.erase(0, std::min(whole.find_first_not_of('0'), whole.size()));
        fraction.erase(fraction.find_last_not_of('0') + 1);
        if (whole.empty()) {
            whole = "0";
        }
        const std::string text = fraction.empty() ? whole : whole + "." + fraction;
        return logtable::normalizeNumberText(negative ? "-" + text : text);
    }

    /** Under the lock: the record on disk must still be @p seen; then exactly the fields' bytes are written, the
     * text and zeros to the field's width, each field with one write (as in a dBASE table, no journal: a crash
     * leaves every record with its old value or the whole mark). */
    void writeFields(logtable::TableWriter& writer, off_t recordOffset, const std::string& seen,
                     const std::vector<std::pair<int, std::string>>& changes)
    {
        std::string record(seen.size(), '\0');
        writer.readAt(record.data(), record.size(), recordOffset);
        if (record != seen) {
            writer.refuseChanged();
        }
        for (const auto& change : changes) {
            const Field& field = m_fields[change.first];
            const std::string value = cp932::cut(change.second, field.size);
            std::vector<char> bytes(field.size, '\0');
            std::memcpy(bytes.data(), value.data(), value.size());
            writer.writeAt(bytes.data(), bytes.size(), recordOffset + field.offset);
        }
    }

    void checkWritable(int position) const
    {
        const Field& field = m_fields[position];
        if (m_writeProtected) {
            throw KelboError(writeError("書き込み禁止のテーブルです"));
        }
        if (field.type != pxAlpha) {
            throw KelboError(writeError(logtable::fieldReason(field.name, "は文字のフィールドではありません")));
        }
        if (position < m_keyFields) {
            throw KelboError(writeError(logtable::fieldReason(field.name, "はキーのフィールドです")));
        }
        // A maintained secondary index (NAME.Xnn, nn the field number in hex) would go stale.
        const std::size_t dot = path().rfind('.');
        for (const char* form : {".X%02X", ".x%02x", ".X%02x", ".x%02X"}) {
            {
                char suffix[16];
                std::snprintf(suffix, sizeof suffix, form, position + 1);
                const std::string index = path().substr(0, dot) + suffix;
                struct stat st
                {
                };
                if (::stat(index.c_str(), &st) == 0) {
                    throw KelboError(writeError(logtable::fieldReason(field.name, "には索引があります")));
                }
            }
        }
    }

    int m_fd = -1;
    off_t m_fileSize = 0;
    pxdoc_t* m_px = nullptr;
    int m_recordSize = 0;
    int m_headerSize = 0;
    int m_blockSize = 0;
    int m_keyFields = 0;
    bool m_writeProtected = false;
    std::uint32_t m_firstBlock = 0;
    std::vector<Field> m_fields;
    std::vector<BlockRef> m_blocks;
    long m_recordCount = 0;
    std::uint32_t m_claimedRecords = 0;
    std::vector<char> m_blockData;
    long m_cachedBlock = -1;
    std::unique_ptr<logtable::ParadoxMemoFile> m_memo;
    codepage::CodePage m_codePage;
    std::string m_memoPath;
};

} // namespace

std::unique_ptr<TableEngine> openParadoxTable(const std::string& path)
{
    return std::make_unique<ParadoxEngine>(path);
}
