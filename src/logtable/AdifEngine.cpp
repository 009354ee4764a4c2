// ADIF logs (.adi, .adif): tags <NAME:LENGTH[:TYPE]>value, an optional header ended by <EOH>, records ended by
// <EOR>, names case-blind, anything between fields ignored. The whole file is held in memory with the byte span of
// every field; a write changes only the values it sets (and their tags' lengths), inserting a missing tag before
// the record's <EOR>, so every other byte of the file stays as it was.
//
// Values are CP932 or UTF-8. A file that is valid UTF-8 and holds non-ASCII bytes is UTF-8: its values reach the
// program as CP932, and its lengths may count bytes or characters depending on the program that wrote it, so each
// record is read both ways and the reading that parses is taken.
#include "common/Ascii.h"
#include "common/Cp932.h"
#include "common/FileWrite.h"
#include "common/KelboError.h"
#include "logtable/FileTableEngine.h"
#include "logtable/TableSupport.h"

#include <QStringDecoder>
#include <QStringEncoder>
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>

namespace {

constexpr std::size_t kMaxNameLength = 64;
constexpr std::size_t kMaxFields = 4096;
constexpr std::uint64_t kMaxLength = 0xFFFFFFFFu;
constexpr std::uint64_t kMaxFileBytes = std::uint64_t{1} << 30;
constexpr std::uint16_t kDropped = 0xFFFF;
constexpr std::uint16_t kSentField = 0xFFFE; // provisional numbers while a log is first read
constexpr std::uint16_t kDateField = 0xFFFD;

bool isContinuation(unsigned char c)
{
    return (c & 0xC0) == 0x80;
}

/** Valid UTF-8 with at least one non-ASCII character. */
bool looksUtf8(std::string_view s)
{
    bool multi = false;
    std::size_t i = 0;
    while (i < s.size()) {
        // Eight ASCII bytes at a time.
        std::uint64_t word = 0;
        if (i + 8 <= s.size() && (std::memcpy(&word, s.data() + i, 8), (word & 0x8080808080808080ULL) == 0)) {
            i += 8;
            continue;
        }
        const auto c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) {
            ++i;
            continue;
        }
        std::size_t extra = 0;
        if (c >= 0xC2 && c <= 0xDF) {
            extra = 1;
        } else if (c >= 0xE0 && c <= 0xEF) {
            extra = 2;
        } else if (c >= 0xF0 && c <= 0xF4) {
            extra = 3;
        } else {
            return false;
        }
        if (i + extra >= s.size()) {
            return false;
        }
        for (std::size_t k = 1; k <= extra; ++k) {
            if (!isContinuation(static_cast<unsigned char>(s[i + k]))) {
                return false;
            }
        }
        multi = true;
        i += extra + 1;
    }
    return multi;
}

bool hasNonAscii(std::string_view s)
{
    return std::any_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
}

/** One tag as found in the file. */
struct Tag
{
    enum Kind
    {
        Invalid,
        Field,
        EndOfRecord,
        EndOfHeader
    } kind
        = Invalid;
    std::size_t end = 0; // one past '>'
    std::string_view name;
    std::uint64_t length = 0;
};

bool isNameByte(char c)
{
    const auto u = static_cast<unsigned char>(c);
    return u > 0x20 && u < 0x7F && c != '<' && c != '>' && c != ':' && c != ',';
}

/** Reads the tag that begins at @p at (a '<'); Invalid when the bytes there are no tag. */
Tag readTag(std::string_view data, std::size_t at)
{
    Tag tag;
    std::size_t i = at + 1;
    const std::size_t nameStart = i;
    while (i < data.size() && i - nameStart <= kMaxNameLength && isNameByte(data[i])) {
        ++i;
    }
    if (i >= data.size() || i == nameStart || i - nameStart > kMaxNameLength) {
        return tag;
    }
    const std::string_view name = data.substr(nameStart, i - nameStart);
    if (data[i] == '>') {
        if (cp932::equalsNoCase(name, "EOR")) {
            tag.kind = Tag::EndOfRecord;
        } else if (cp932::equalsNoCase(name, "EOH")) {
            tag.kind = Tag::EndOfHeader;
        } else {
            return tag;
        }
        tag.end = i + 1;
        return tag;
    }
    if (data[i] != ':') {
        return tag;
    }
    ++i;
    const std::size_t digits = i;
    std::uint64_t length = 0;
    while (i < data.size() && ascii::isDigit(static_cast<unsigned char>(data[i])) && i - digits < 12) {
        length = length * 10 + static_cast<std::uint64_t>(data[i] - '0');
        ++i;
    }
    if (i == digits || i >= data.size()) {
        return tag;
    }
    if (data[i] == ':') { // a data type indicator
        ++i;
        const std::size_t type = i;
        while (i < data.size() && i - type < 8 && isNameByte(data[i])) {
            ++i;
        }
        if (i == type) {
            return tag;
        }
    }
    if (i >= data.size() || data[i] != '>' || length > kMaxLength) {
        return tag;
    }
    tag.kind = Tag::Field;
    tag.name = name;
    tag.length = length;
    tag.end = i + 1;
    return tag;
}

/** One field of one record: where its tag begins, how long the tag is and how many bytes its value has. */
struct Entry
{
    std::uint64_t tagBegin = 0;
    std::uint32_t valueBytes = 0;
    std::uint16_t tagLength = 0;
    std::uint16_t field = 0;
};

struct Record
{
    std::size_t firstEntry = 0;
    std::size_t entryCount = 0;
    std::uint64_t insertAt = 0; // where a missing tag goes: before <EOR>, or after the last value
    bool charLengths = false; // its lengths count UTF-8 characters
};

/** What a reading of the file could not make sense of. */
struct Damage
{
    long strayTags = 0; // '<' that begins no tag, a tag without '>'
    bool pastEnd = false; // a length that runs past the end of the file
    bool openRecord = false; // fields after the last <EOR>
    long unclearLengths = 0; // records whose lengths fit neither bytes nor characters
    long droppedFields = 0; // fields beyond the limit of distinct names
};

class AdifEngine : public logtable::FileTableEngine
{
public:
    explicit AdifEngine(const std::string& path)
        : FileTableEngine(path)
    {
        const int fd = logtable::openForReading(path);
        try {
            m_stamp = logtable::stampOf(fd);
            m_data = readAll(fd);
        } catch (...) {
            ::close(fd);
            throw;
        }
        ::close(fd);
        parse();
    }

    int fieldCount() const override { return static_cast<int>(m_names.size()); }
    std::string fieldName(int field) const override { return m_names[static_cast<std::size_t>(field)]; }
    std::size_t fieldWidth(int) const override { return 0; }
    long recordCount() const override { return static_cast<long>(m_records.size()); }

    void readRecord(long row, std::vector<std::string>& texts) override
    {
        texts.assign(m_names.size(), std::string());
        if (row < 0 || row >= recordCount()) {
            return;
        }
        const Record& r = m_records[static_cast<std::size_t>(row)];
        // The first of two tags of one name counts: walk backwards so that it is written last.
        for (std::size_t k = r.entryCount; k-- > 0;) {
            const Entry& e = m_entries[r.firstEntry + k];
            texts[e.field] = present(value(e));
        }
        const auto edited = m_edits.find(row);
        if (edited != m_edits.end()) {
            for (const auto& [field, text] : edited->second) {
                texts[static_cast<std::size_t>(field)] = text;
            }
        }
    }

    void writeRecord(long row, const std::vector<std::pair<int, std::string>>& changes) override
    {
        if (row < 0 || row >= recordCount()) {
            throw KelboError(writeError("レコードがありません"));
        }
        std::map<int, std::string> edit;
        if (const auto it = m_edits.find(row); it != m_edits.end()) {
            edit = it->second;
        }
        for (const auto& [field, text] : changes) {
            edit[field] = text;
        }
        if (inBatch()) {
            batchWriter(); // the file is opened and locked at the batch's first edit
            m_edits[row] = std::move(edit);
            return;
        }
        logtable::TableWriter writer(path(), m_stamp);
        std::map<long, std::map<int, std::string>> edits;
        edits.emplace(row, std::move(edit));
        commit(writer, edits);
    }

    /** ADIF's own terms: QSL_SENT N (no), R (requested) and Q (queued) are not yet sent; the update sets Y and the
     * day in QSL_SDATE. A QSL_RCVD of N (no), R (requested) or I (ignore) is no card received. */
    SendMarkRule sendMarkRule() const override { return SendMarkRule{"NRQ", "Y", "QSL_SDATE", "NRI", "QSL_SENT"}; }

protected:
    void commitBatch(logtable::TableWriter& writer) override
    {
        std::map<long, std::map<int, std::string>> edits = std::move(m_edits);
        m_edits.clear();
        commit(writer, edits);
    }

private:
    std::string readAll(int fd) const
    {
        struct stat st
        {
        };
        if (::fstat(fd, &st) != 0) {
            throw KelboError(openError(std::strerror(errno)));
        }
        // The whole log is held in memory; a log of a million contacts is some 300 MB.
        if (static_cast<std::uint64_t>(st.st_size) > kMaxFileBytes) {
            throw KelboError(openError("ファイルが大きすぎます (1 GB まで)"));
        }
        std::string data(static_cast<std::size_t>(st.st_size), '\0');
        if (!data.empty() && !logtable::readAt(fd, data.data(), data.size(), 0)) {
            throw KelboError(openError("読み込みに失敗しました"));
        }
        return data;
    }

    std::string_view value(const Entry& e) const
    {
        return std::string_view(m_data).substr(e.tagBegin + e.tagLength, e.valueBytes);
    }

    std::string present(std::string_view v) const
    {
        if (!m_utf8 || !hasNonAscii(v)) {
            return std::string(v);
        }
        // One encoder for the table: making one per value costs more than the conversion.
        const QByteArray bytes = m_toCp932.encode(QString::fromUtf8(v.data(), static_cast<qsizetype>(v.size())));
        return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    }

    /** The value's bytes as stored in the file: UTF-8 in a UTF-8 file. */
    std::string stored(const std::string& text) const
    {
        return m_utf8 && hasNonAscii(text) ? cp932::toUtf8(text) : text;
    }

    /** Bytes of @p count characters from @p at in the UTF-8 file (fewer at the end of the file). */
    std::size_t charBytes(std::size_t at, std::uint64_t count) const
    {
        std::size_t i = at;
        const std::size_t n = m_data.size();
        for (std::uint64_t k = 0; k < count && i < n; ++k) {
            ++i;
            while (i < n && isContinuation(static_cast<unsigned char>(m_data[i]))) {
                ++i;
            }
        }
        return i - at;
    }

    struct Reading
    {
        std::vector<Entry> entries;
        std::vector<std::string_view> names;
        std::size_t end = 0; // one past the record's <EOR>, or the end of the file
        std::uint64_t insertAt = 0;
        bool closed = false; // ended by <EOR>
        bool fits = true;
        Damage damage;
    };

    /** Reads one record from @p at into @p r, its lengths counted in bytes or in characters. */
    void readOne(std::size_t at, bool chars, Reading& r) const
    {
        r.entries.clear();
        r.names.clear();
        r.end = 0;
        r.insertAt = 0;
        r.closed = false;
        r.fits = true;
        r.damage = Damage();
        const std::string_view data(m_data);
        std::size_t p = at;
        std::size_t lastValueEnd = at;
        while (true) {
            const std::size_t lt = data.find('<', p);
            const std::size_t gapEnd = lt == std::string_view::npos ? data.size() : lt;
            if (m_utf8 && !r.entries.empty() && hasNonAscii(data.substr(p, gapEnd - p))) {
                r.fits = false; // a value's rest left between fields: the lengths count otherwise
            }
            if (lt == std::string_view::npos) {
                r.end = data.size();
                r.insertAt = lastValueEnd;
                return;
            }
            const Tag tag = readTag(data, lt);
            if (tag.kind == Tag::EndOfRecord) {
                r.end = tag.end;
                r.insertAt = lt;
                r.closed = true;
                return;
            }
            if (tag.kind != Tag::Field) {
                ++r.damage.strayTags;
                p = lt + 1;
                continue;
            }
            const std::size_t valueBegin = tag.end;
            std::size_t bytes = 0;
            if (chars) {
                bytes = charBytes(valueBegin, tag.length);
            } else {
                bytes = static_cast<std::size_t>(std::min<std::uint64_t>(tag.length, data.size() - valueBegin));
            }
            if (valueBegin + bytes == data.size() && tag.length > (chars ? countChars(valueBegin, bytes) : bytes)) {
                r.damage.pastEnd = true;
            }
            const std::string_view v = data.substr(valueBegin, bytes);
            if (m_utf8 && !fitsValue(v, valueBegin + bytes)) {
                r.fits = false;
            }
            Entry e;
            e.tagBegin = lt;
            e.tagLength = static_cast<std::uint16_t>(tag.end - lt);
            e.valueBytes = static_cast<std::uint32_t>(bytes);
            r.entries.push_back(e);
            r.names.push_back(tag.name);
            p = valueBegin + bytes;
            lastValueEnd = p;
        }
    }

    std::uint64_t countChars(std::size_t at, std::size_t bytes) const
    {
        std::uint64_t n = 0;
        for (std::size_t i = at; i < at + bytes; ++i) {
            n += isContinuation(static_cast<unsigned char>(m_data[i])) ? 0 : 1;
        }
        return n;
    }

    /** A value read with the right lengths ends on a character and holds no tag of the record after it. */
    bool fitsValue(std::string_view v, std::size_t end) const
    {
        if (end < m_data.size() && isContinuation(static_cast<unsigned char>(m_data[end]))) {
            return false;
        }
        for (std::size_t lt = v.find('<'); lt != std::string_view::npos; lt = v.find('<', lt + 1)) {
            const Tag tag = readTag(v, lt);
            if (tag.kind != Tag::Invalid) {
                return false;
            }
        }
        return true;
    }

    void parse()
    {
        const std::string_view data(m_data);
        std::size_t p = 0;
        if (data.substr(0, 3) == "\xEF\xBB\xBF") {
            p = 3;
            m_utf8 = true;
        }
        m_utf8 = m_utf8 || looksUtf8(data);
        // A header ends with <EOH>. It should not begin with '<', but some programs begin it with a tag: a <EOH>
        // found before any <EOR> ends the header either way.
        for (std::size_t lt = data.find('<', p); lt != std::string_view::npos; lt = data.find('<', lt + 1)) {
            const Tag tag = readTag(data, lt);
            if (tag.kind == Tag::EndOfHeader) {
                p = tag.end;
                break;
            }
            if (tag.kind == Tag::EndOfRecord) {
                break;
            }
            if (tag.kind == Tag::Field) {
                lt = static_cast<std::size_t>(std::min<std::uint64_t>(tag.end + tag.length, data.size())) - 1;
            }
        }
        Damage damage;
        auto& fieldOf = m_fieldOf;
        // The field of each spelling of a tag name met so far (the spellings are views into the file's bytes).
        std::unordered_map<std::string_view, std::uint16_t> spelled;
        std::vector<std::pair<std::string_view, std::uint16_t>> lastNames;
        Reading byBytes;
        Reading byChars;
        while (p < data.size()) {
            readOne(p, false, byBytes);
            bool chars = false;
            if (m_utf8 && !byBytes.fits) {
                readOne(p, true, byChars);
                if (byChars.fits) {
                    chars = true;
                } else {
                    ++damage.unclearLengths;
                }
            }
            const Reading& r = chars ? byChars : byBytes;
            damage.strayTags += r.damage.strayTags;
            damage.pastEnd = damage.pastEnd || r.damage.pastEnd;
            p = r.end;
            if (r.entries.empty()) {
                continue; // text after the last record, or an empty record
            }
            if (!r.closed) {
                damage.openRecord = true;
            }
            Record record;
            record.firstEntry = m_entries.size();
            record.insertAt = r.insertAt;
            record.charLengths = chars;
            for (std::size_t k = 0; k < r.entries.size(); ++k) {
                // Most records repeat the tags of the one before in the same order and spelling.
                std::uint16_t field = kDropped;
                if (k < lastNames.size() && lastNames[k].first == r.names[k]) {
                    field = lastNames[k].second;
                } else {
                    auto known = spelled.find(r.names[k]);
                    if (known == spelled.end()) {
                        known = spelled.emplace(r.names[k], fieldFor(cp932::toUpperAscii(r.names[k]))).first;
                    }
                    field = known->second;
                    if (k < lastNames.size()) {
                        lastNames[k] = {r.names[k], field};
                    } else {
                        lastNames.emplace_back(r.names[k], field);
                    }
                }
                if (field == kDropped) {
                    ++damage.droppedFields;
                    continue;
                }
                Entry e = r.entries[k];
                e.field = field;
                m_entries.push_back(e);
                ++record.entryCount;
            }
            m_records.push_back(record);
            if (m_records.size() == 256 && p < data.size()) {
                // Room for the whole file at the rate of its first records, so that the index is seldom copied.
                const double perByte = static_cast<double>(m_entries.size()) / static_cast<double>(p);
                m_entries.reserve(static_cast<std::size_t>(perByte * static_cast<double>(data.size()) * 1.1) + 64);
                m_records.reserve(static_cast<std::size_t>(256.0 / static_cast<double>(p) * data.size() * 1.1) + 64);
            }
        }
        // The send mark and its date are the last two fields, whether the log has them or not: the log can always
        // get its marks, and marking a record that comes before the first one with these tags moves no field.
        if (fieldOf.find("QSL_SENT") == fieldOf.end()) {
            for (const char* name : {"QSL_SENT", "QSL_SDATE"}) {
                fieldOf.emplace(name, static_cast<std::uint16_t>(m_names.size()));
                m_names.emplace_back(name);
            }
            const auto sent = static_cast<std::uint16_t>(m_names.size() - 2);
            for (Entry& e : m_entries) {
                if (e.field == kSentField || e.field == kDateField) {
                    e.field = static_cast<std::uint16_t>(sent + (e.field == kDateField ? 1 : 0));
                }
            }
        }
        setNote(describe(damage));
    }

    /** The field of a tag name (upper case), added at the end when new; the send mark and its date get a
     * provisional number until every other field is known. */
    std::uint16_t fieldFor(const std::string& name)
    {
        const auto it = m_fieldOf.find(name);
        if (it != m_fieldOf.end()) {
            return it->second;
        }
        if (name == "QSL_SENT") {
            return kSentField;
        }
        if (name == "QSL_SDATE") {
            return kDateField;
        }
        if (m_names.size() + 2 >= kMaxFields) {
            return kDropped;
        }
        m_names.push_back(name);
        return m_fieldOf.emplace(name, static_cast<std::uint16_t>(m_names.size() - 1)).first->second;
    }

    std::string describe(const Damage& d) const
    {
        std::vector<std::string> parts;
        if (d.strayTags > 0) {
            parts.push_back("タグになっていない「<」" + std::to_string(d.strayTags) + " 個を読み飛ばしました");
        }
        if (d.pastEnd) {
            parts.emplace_back("長さがファイルの終わりを越える値をファイルの終わりまで読みました");
        }
        if (d.openRecord) {
            parts.emplace_back("最後のレコードに <EOR> がありません");
        }
        if (d.unclearLengths > 0) {
            parts.push_back(std::to_string(d.unclearLengths) + " 件のレコードで値の長さが合いません");
        }
        if (d.droppedFields > 0) {
            parts.push_back("フィールドが多すぎるため " + std::to_string(d.droppedFields)
                            + " 個の値を読み飛ばしました");
        }
        if (parts.empty()) {
            return {};
        }
        std::string note = "ADIF ファイル " + path() + " は壊れています: ";
        for (std::size_t i = 0; i < parts.size(); ++i) {
            note += (i > 0 ? ", " : "") + parts[i];
        }
        return note + ". 読めたところまでを表示します.";
    }

    /** A tag and its value as this file writes them: the tag's own spelling and type are kept. */
    std::string tagged(const Record& record, const Entry* old, const std::string& name, const std::string& text) const
    {
        const std::string bytes = stored(text);
        const std::uint64_t length
            = record.charLengths ? countCharsOf(bytes) : static_cast<std::uint64_t>(bytes.size());
        std::string spelled = name;
        std::string type;
        if (old) {
            const std::string_view tag = std::string_view(m_data).substr(old->tagBegin, old->tagLength);
            const std::size_t colon = tag.find(':');
            spelled = std::string(tag.substr(1, colon - 1));
            const std::size_t second = tag.find(':', colon + 1);
            if (second != std::string_view::npos) {
                type = std::string(tag.substr(second, tag.size() - 1 - second));
            }
        }
        return "<" + spelled + ":" + std::to_string(length) + type + ">" + bytes;
    }

    static std::uint64_t countCharsOf(std::string_view s)
    {
        return static_cast<std::uint64_t>(
            std::count_if(s.begin(), s.end(), [](char c) { return !isContinuation(static_cast<unsigned char>(c)); }));
    }

    struct Splice
    {
        std::uint64_t at = 0;
        std::uint64_t length = 0;
        std::string bytes;
    };

    /** Writes @p edits (by record): under the lock the file must still be what was read; the new file is made in
     * memory and replaces the table (see rewriteFile), then is read back. */
    void commit(logtable::TableWriter& writer, const std::map<long, std::map<int, std::string>>& edits)
    {
        std::vector<Splice> splices;
        for (const auto& [row, fields] : edits) {
            const Record& record = m_records[static_cast<std::size_t>(row)];
            std::string inserted;
            for (const auto& [field, text] : fields) {
                const Entry* old = nullptr;
                for (std::size_t k = 0; k < record.entryCount && !old; ++k) {
                    const Entry& e = m_entries[record.firstEntry + k];
                    if (e.field == field) {
                        old = &e;
                    }
                }
                const std::string name = m_names[static_cast<std::size_t>(field)];
                if (old) {
                    if (present(value(*old)) == text) {
                        continue;
                    }
                    if (text.empty()) {
                        // An empty value is no value: the tag goes, with the blank that follows it (as inserted).
                        std::uint64_t length = old->tagLength + static_cast<std::uint64_t>(old->valueBytes);
                        if (old->tagBegin + length < m_data.size() && m_data[old->tagBegin + length] == ' ') {
                            ++length;
                        }
                        splices.push_back({old->tagBegin, length, std::string()});
                        continue;
                    }
                    splices.push_back({old->tagBegin, old->tagLength + static_cast<std::uint64_t>(old->valueBytes),
                                       tagged(record, old, name, text)});
                } else if (!text.empty()) {
                    inserted += tagged(record, nullptr, name, text) + " ";
                }
            }
            if (!inserted.empty()) {
                splices.push_back({record.insertAt, 0, std::move(inserted)});
            }
        }
        if (splices.empty()) {
            return;
        }
        std::stable_sort(splices.begin(), splices.end(), [](const Splice& a, const Splice& b) { return a.at < b.at; });

        std::string onDisk(m_data.size(), '\0');
        writer.expect(m_stamp);
        if (!onDisk.empty()) {
            writer.readAt(onDisk.data(), onDisk.size(), 0);
        }
        if (onDisk != m_data) {
            writer.refuseChanged();
        }
        std::string out;
        out.reserve(m_data.size() + 64 * splices.size());
        std::uint64_t from = 0;
        for (const Splice& s : splices) {
            out.append(m_data, from, s.at - from);
            out += s.bytes;
            from = s.at + s.length;
        }
        out.append(m_data, from, std::string::npos);
        write(writer, splices.front().at, out);
        m_data = std::move(out);
        // Read again; the fields keep their positions, whatever the new tags' places in the file.
        m_entries.clear();
        m_records.clear();
        parse();
    }

    /** The table rewritten with @p content, whose first @p firstChange bytes are those the file has; the new file
     * is read back before the write counts as done. */
    void write(logtable::TableWriter& writer, std::uint64_t firstChange, const std::string& content)
    {
        const auto produce = [&content](const filewrite::Put& put, off_t from) {
            put(content.data() + from, content.size() - static_cast<std::size_t>(from));
        };
        if (rewriteFile(writer, static_cast<off_t>(firstChange), produce) == Rewrite::InPlace) {
            m_stamp = writer.stamp();
            return;
        }
        const int fd = ::open(path().c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            throw KelboError(writeError("書き込んだファイルを開けません"));
        }
        std::string back(content.size(), '\0');
        const bool same = (back.empty() || logtable::readAt(fd, back.data(), back.size(), 0)) && back == content
            && logtable::stampOf(fd).size == static_cast<off_t>(content.size());
        m_stamp = logtable::stampOf(fd);
        ::close(fd);
        if (!same) {
            m_stamp = logtable::FileStamp();
            throw KelboError(writeError("書き込んだ内容を読み返せません"));
        }
    }

    std::string m_data;
    bool m_utf8 = false;
    std::vector<std::string> m_names;
    std::unordered_map<std::string, std::uint16_t> m_fieldOf;
    std::vector<Entry> m_entries;
    std::vector<Record> m_records;
    mutable QStringEncoder m_toCp932{"Shift_JIS"};
    std::map<long, std::map<int, std::string>> m_edits; // the running batch's edits, by record
};

} // namespace

std::unique_ptr<TableEngine> openAdifTable(const std::string& path)
{
    return std::make_unique<AdifEngine>(path);
}
