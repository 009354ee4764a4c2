// dBASE tables (.dbf). The header is checked here before shapelib sees it; shapelib reads the raw records,
// which are sliced by the field offsets so that leading blanks stay. Records marked deleted are not shown.
#include "common/Cp932.h"
#include "common/KelboError.h"
#include "logtable/TableEngine.h"
#include "logtable/TableSupport.h"

#include <shapefil.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

extern "C" {
long int PX_SdnToGregorian(long int sdn, int* pYear, int* pMonth, int* pDay);
}

namespace {

using logtable::openError;
using logtable::writeError;

// shapelib reports through a hook without a context; the engine reads it right after each call.
thread_local std::string g_shapelibError;

void captureShapelibError(const char* message)
{
    g_shapelibError = message ? message : "";
}

std::int32_t le32(const unsigned char* p)
{
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8
                                     | static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24);
}

bool knownVersion(unsigned char v)
{
    switch (v) {
    case 0x02: // FoxBASE
    case 0x03: // dBASE III, IV, V without memo
    case 0x04: // dBASE IV
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

class DbaseEngine : public TableEngine
{
public:
    explicit DbaseEngine(const std::string& path)
        : m_path(path)
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
            texts[i] = decode(m_fields[i], record + m_fields[i].offset);
        }
    }

    void writeRecord(long row, const std::vector<std::pair<int, std::string>>& changes) override
    {
        for (const auto& change : changes) {
            const Field& field = m_fields[change.first];
            if (field.type != 'C') {
                throw KelboError(writeError(
                    m_path, "フィールド " + cp932::toUtf8(field.name) + " は文字のフィールドではありません"));
            }
        }
        const long record = physical(row);
        const off_t recordOffset
            = static_cast<off_t>(m_headerLength) + static_cast<off_t>(record) * static_cast<off_t>(m_recordLength);
        const std::string seen(rawRecord(row), static_cast<std::size_t>(m_recordLength));
        if (m_batch.active()) {
            logtable::TableWriter& writer = m_batch.writer(m_path, m_stamp);
            writeFields(writer, recordOffset, seen, changes);
            m_stamp = writer.stamp();
            m_written.insert(record);
            return;
        }
        {
            logtable::TableWriter writer(m_path, m_stamp);
            writeFields(writer, recordOffset, seen, changes);
            m_stamp = writer.sync();
        }
        // shapelib keeps the last record and a stdio buffer: read on through a fresh handle.
        closeHandle();
        openHandle();
    }

    void beginBatch() override { m_batch.begin(); }

    void endBatch() override
    {
        std::unique_ptr<logtable::TableWriter> writer = m_batch.end();
        if (!writer) {
            return;
        }
        m_written.clear();
        try {
            m_stamp = writer->sync();
        } catch (const KelboError&) {
            // Nothing more is written through this table until it is opened again.
            m_stamp = logtable::FileStamp();
            writer.reset();
            closeHandle();
            throw;
        }
        if (writer->sawChange()) {
            m_stamp = logtable::FileStamp();
        }
        writer.reset();
        // shapelib keeps the last record and a stdio buffer: read on through a fresh handle.
        closeHandle();
        openHandle();
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

    std::string failure(const std::string& reason) const { return openError(m_path, reason); }

    void readHeader(int fd)
    {
        struct stat st
        {
        };
        ::fstat(fd, &st);
        m_fileSize = st.st_size;
        m_stamp = logtable::stampOf(fd);
        if (m_fileSize == 0) {
            throw KelboError(failure("空のファイルです"));
        }
        unsigned char head[32];
        if (!logtable::readAt(fd, head, sizeof head, 0)) {
            throw KelboError(failure("dBASE のテーブルではありません (ヘッダーが途中で切れています)"));
        }
        if (!knownVersion(head[0])) {
            throw KelboError(failure("dBASE のテーブルではないか, 対応していない版です"));
        }
        const std::int32_t records = le32(head + 4);
        m_headerLength = head[8] | head[9] << 8;
        m_recordLength = head[10] | head[11] << 8;
        if (records < 0 || m_headerLength < 33 || m_recordLength < 2) {
            throw KelboError(failure("dBASE のテーブルではありません (ヘッダーが不正です)"));
        }
        if (static_cast<off_t>(m_headerLength) > m_fileSize) {
            throw KelboError(failure("ファイルが途中で切れています (ヘッダーが不完全です)"));
        }
        std::vector<unsigned char> header(m_headerLength);
        if (!logtable::readAt(fd, header.data(), header.size(), 0)) {
            throw KelboError(failure("読み込みに失敗しました"));
        }
        int offset = 1; // the deletion flag
        for (std::size_t at = 32; at + 32 <= header.size() && header[at] != 0x0D; at += 32) {
            Field field;
            const auto* name = reinterpret_cast<const char*>(header.data() + at);
            field.name.assign(name, strnlen(name, 11));
            field.name = std::string(logtable::trimRight(field.name));
            field.type = static_cast<char>(header[at + 11]);
            field.width = header[at + 16];
            field.decimals = header[at + 17];
            if (field.type == 'C' && field.decimals > 0 && head[0] != 0x03 && head[0] != 0x83) {
                field.width += field.decimals << 8; // FoxPro's long character fields
                field.decimals = 0;
            }
            if (field.width == 0) {
                throw KelboError(failure("フィールド " + cp932::toUtf8(field.name) + " の長さが 0 です"));
            }
            field.offset = offset;
            offset += field.width;
            m_fields.push_back(std::move(field));
        }
        if (m_fields.empty()) {
            throw KelboError(failure("dBASE のテーブルではありません (フィールドがありません)"));
        }
        if (offset > m_recordLength) {
            throw KelboError(failure("dBASE のテーブルではありません (レコード長 " + std::to_string(m_recordLength)
                                     + " がフィールドと合いません)"));
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
                throw KelboError(failure("読み込みに失敗しました"));
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

    /** Under the lock: the record on disk must still be @p seen (the bytes the operator's values came from). */
    void writeFields(logtable::TableWriter& writer, off_t recordOffset, const std::string& seen,
                     const std::vector<std::pair<int, std::string>>& changes)
    {
        std::string onDisk(seen.size(), '\0');
        writer.readAt(onDisk.data(), onDisk.size(), recordOffset);
        if (onDisk[0] == '*') {
            throw KelboError(writeError(m_path, "レコードが削除されています"));
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
        const logtable::TableWriter* writer = m_batch.current();
        if (writer && m_written.count(record) > 0) {
            m_recordBuffer.resize(static_cast<std::size_t>(m_recordLength));
            if (!logtable::readAt(writer->fd(), m_recordBuffer.data(), m_recordBuffer.size(),
                                  static_cast<off_t>(m_headerLength)
                                      + static_cast<off_t>(record) * static_cast<off_t>(m_recordLength))) {
                throw KelboError("テーブル " + m_path + " を読めません: 読み込みに失敗しました");
            }
            return m_recordBuffer.data();
        }
        if (!m_dbf) {
            openHandle();
        }
        g_shapelibError.clear();
        const char* bytes = DBFReadTuple(m_dbf, static_cast<int>(record));
        if (!bytes) {
            throw KelboError("テーブル " + m_path + " を読めません: "
                             + (g_shapelibError.empty() ? std::string("読み込みに失敗しました") : g_shapelibError));
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
        m_dbf = DBFOpenLL(m_path.c_str(), "rb", &hooks);
        if (!m_dbf) {
            throw KelboError(failure("dBASE のテーブルとして読めません"
                                     + (g_shapelibError.empty() ? std::string() : " (" + g_shapelibError + ")")));
        }
    }

    static std::string decode(const Field& field, const char* p)
    {
        const std::string_view raw(p, static_cast<std::size_t>(field.width));
        switch (field.type) {
        case 'C':
            return std::string(logtable::trimRight(raw));
        case 'N':
        case 'F':
            return logtable::normalizeNumberText(raw);
        case 'D':
            return logtable::normalizeDateText(raw);
        case 'L':
            return logtable::normalizeLogicalText(raw);
        case 'I':
            return field.width == 4 ? logtable::formatInteger(le32(reinterpret_cast<const unsigned char*>(p))) : "";
        case 'O':
        case 'B':
            if (field.width == 8 && field.type == 'O') {
                double value = 0;
                std::memcpy(&value, p, 8);
                return logtable::formatNumber(value);
            }
            return ""; // a memo block number
        case 'T': {
            if (field.width != 8) {
                return "";
            }
            const auto* u = reinterpret_cast<const unsigned char*>(p);
            const std::int32_t day = le32(u);
            const std::int32_t ms = le32(u + 4);
            if (day <= 0 || ms < 0 || ms >= 86400000) {
                return "";
            }
            int year = 0, month = 0, dayOfMonth = 0;
            PX_SdnToGregorian(day, &year, &month, &dayOfMonth);
            return logtable::formatDateTime(year, month, dayOfMonth, ms);
        }
        case 'M':
        case 'G':
        case 'P':
        case '@':
        case 'Y':
        case '0':
            return ""; // memos, pictures and binary values have no text here
        default:
            return std::string(logtable::trimRight(raw));
        }
    }

    std::string m_path;
    off_t m_fileSize = 0;
    logtable::FileStamp m_stamp;
    int m_headerLength = 0;
    int m_recordLength = 0;
    long m_physicalCount = 0;
    long m_deletedCount = 0;
    std::vector<std::uint32_t> m_visible;
    std::vector<Field> m_fields;
    DBFHandle m_dbf = nullptr;
    logtable::BatchWriter m_batch;
    std::set<long> m_written; // records written in the running batch
    std::string m_recordBuffer;
};

} // namespace

std::unique_ptr<TableEngine> openDbaseTable(const std::string& path)
{
    return std::make_unique<DbaseEngine>(path);
}
