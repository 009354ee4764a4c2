// ADIF logs (.adi, .adif): tags <NAME:LENGTH[:TYPE]>value, an optional header ended by <EOH>, records ended by
// <EOR>, names case-blind, anything between fields ignored. Opening the log reads it once, through a mapping whose
// pages are let go behind the reading, and keeps only where each record starts, how long it is and how it reads;
// a record's tags are read again from the file when it is asked for. A write changes only the values it sets (and
// their tags' lengths), inserting a missing tag before the record's <EOR>, so every other byte of the file stays.
//
// Values are CP932 or UTF-8, decided once for the file when it is opened: a file that is valid UTF-8 and holds
// non-ASCII bytes is UTF-8, and its values reach the program as CP932. Lengths count bytes. Only in a UTF-8 file
// whose byte reading of a record does not fit (a value ends inside a character, or leaves the rest of one between
// fields) is the record read with lengths counted in characters, and only when that reading fits and takes no tag
// text into a value: some programs count characters.
#include "common/Ascii.h"
#include "common/CodePage.h"
#include "common/Cp932.h"
#include "common/FileWrite.h"
#include "common/KelboError.h"
#include "logtable/FileTableEngine.h"
#include "logtable/TableSupport.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>

namespace {

constexpr std::size_t kMaxNameLength = 64;
constexpr std::size_t kMaxFields = 4096;
constexpr std::uint64_t kMaxLength = 0xFFFFFFFFu;
constexpr std::uint64_t kMaxFileBytes = std::uint64_t{1} << 30;
constexpr std::uint16_t kDropped = 0xFFFF;
constexpr std::uint16_t kSentField = 0xFFFE; // the send mark and its date, numbered once every other field is known
constexpr std::size_t kBlock = std::size_t{1} << 20;

// A record's place in the index: its first byte, with two flags in the top bits.
constexpr std::uint64_t kCharLengths = std::uint64_t{1} << 63; // its lengths count UTF-8 characters
constexpr std::uint64_t kNoMark = std::uint64_t{1} << 62; // its lengths do not fit: it takes no mark
constexpr std::uint64_t kOffsetBits = kNoMark - 1;

bool isContinuation(unsigned char c)
{
    return (c & 0xC0) == 0x80;
}

bool hasNonAscii(std::string_view s)
{
    return std::any_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
}

bool isBlankText(std::string_view s)
{
    return std::all_of(s.begin(), s.end(), [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; });
}

/** Whether bytes fed in pieces are valid UTF-8 holding at least one non-ASCII character. */
class Utf8Guess
{
public:
    void feed(const char* data, std::size_t size)
    {
        const auto* p = reinterpret_cast<const unsigned char*>(data);
        std::size_t i = 0;
        while (i < size && m_valid) {
            if (m_pending > 0) {
                if (!isContinuation(p[i])) {
                    m_valid = false;
                    return;
                }
                --m_pending;
                ++i;
                continue;
            }
            std::uint64_t word = 0;
            if (i + 8 <= size && (std::memcpy(&word, p + i, 8), (word & 0x8080808080808080ULL) == 0)) {
                i += 8; // eight ASCII bytes at a time
                continue;
            }
            const unsigned char c = p[i++];
            if (c < 0x80) {
                continue;
            }
            m_nonAscii = true;
            if (c >= 0xC2 && c <= 0xDF) {
                m_pending = 1;
            } else if (c >= 0xE0 && c <= 0xEF) {
                m_pending = 2;
            } else if (c >= 0xF0 && c <= 0xF4) {
                m_pending = 3;
            } else {
                m_valid = false;
            }
        }
    }
    bool isUtf8() const { return m_valid && m_pending == 0 && m_nonAscii; }
    bool hasNonAscii() const { return m_nonAscii; }

private:
    bool m_valid = true;
    bool m_nonAscii = false;
    int m_pending = 0;
};

/** A fingerprint of bytes fed in pieces (the pieces' sizes do not matter): a write stops when the file no longer
 * has the bytes that were read. */
class Fingerprint
{
public:
    void feed(const char* data, std::size_t size)
    {
        m_total += size;
        if (m_carried > 0) {
            const std::size_t n = std::min(size, 8 - m_carried);
            std::memcpy(m_carry + m_carried, data, n);
            m_carried += n;
            data += n;
            size -= n;
            if (m_carried < 8) {
                return;
            }
            mixWord(m_carry);
            m_carried = 0;
        }
        for (; size >= 8; data += 8, size -= 8) {
            mixWord(data);
        }
        std::memcpy(m_carry, data, size);
        m_carried = size;
    }
    std::uint64_t value() const
    {
        Fingerprint last = *this;
        std::memset(last.m_carry + last.m_carried, 0, 8 - last.m_carried);
        last.mixWord(last.m_carry);
        return last.m_hash ^ (m_total * 0x9E3779B97F4A7C15ULL);
    }

private:
    void mixWord(const char* bytes)
    {
        std::uint64_t word = 0;
        std::memcpy(&word, bytes, 8);
        m_hash = (m_hash ^ word) * 0x9FB21C651E98DF25ULL;
        m_hash ^= m_hash >> 29;
    }
    std::uint64_t m_hash = 0x6A09E667F3BCC908ULL;
    std::uint64_t m_total = 0;
    char m_carry[8] = {};
    std::size_t m_carried = 0;
};

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

/** The bytes a tag name or data type is made of: printable ASCII but the tag's own punctuation. */
constexpr std::array<bool, 256> kNameBytes = [] {
    std::array<bool, 256> is{};
    for (int c = 0x21; c < 0x7F; ++c) {
        is[static_cast<std::size_t>(c)] = c != '<' && c != '>' && c != ':' && c != ',';
    }
    return is;
}();

bool isNameByte(char c)
{
    return kNameBytes[static_cast<unsigned char>(c)];
}

/** Reads the tag that begins at @p at (a '<'); Invalid when the bytes there are no tag. It never reads past the
 * next '<'. */
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

/** One reading of a record (or of the header), its lengths counted in bytes or in characters. */
struct Reading
{
    enum Ending
    {
        AtEor,
        AtEoh,
        AtEnd
    };
    std::vector<Entry> entries; // tagBegin counted from the start of the bytes read
    std::vector<std::string_view> names;
    std::size_t end = 0; // one past the <EOR> (or <EOH>), or the end of the bytes
    std::size_t insertAt = 0; // where a missing tag goes: before <EOR>, or after the last value
    Ending ending = AtEnd;
    bool misfit = false; // a value ends inside a UTF-8 character, or leaves non-ASCII bytes between fields
    bool takesTagText = false; // a value holds a whole tag
    bool swallows = false; // a value takes the start of a tag after it, or holds a tag and leaves text behind it
    bool swallowsEnd = false; // ... and that tag is <EOR> (two records read as one) or the send mark's or its date's
    bool pastEnd = false; // a length runs past the end of the file
    long strayTags = 0; // '<' that begins no tag, a tag without '>'

    void clear()
    {
        entries.clear();
        names.clear();
        end = insertAt = 0;
        ending = AtEnd;
        misfit = takesTagText = swallows = swallowsEnd = pastEnd = false;
        strayTags = 0;
    }
};

/** A tag whose loss moves a record's end or hides its send mark. */
bool endsOrMarks(const Tag& tag)
{
    return tag.kind == Tag::EndOfRecord || tag.kind == Tag::EndOfHeader
        || (tag.kind == Tag::Field
            && (cp932::equalsNoCase(tag.name, "QSL_SENT") || cp932::equalsNoCase(tag.name, "QSL_SDATE")));
}

/** Bytes of @p count characters from @p at in UTF-8 @p data (fewer at its end). */
std::size_t charBytes(std::string_view data, std::size_t at, std::uint64_t count)
{
    std::size_t i = at;
    const std::size_t n = data.size();
    for (std::uint64_t k = 0; k < count && i < n; ++k) {
        ++i;
        while (i < n && isContinuation(static_cast<unsigned char>(data[i]))) {
            ++i;
        }
    }
    return i - at;
}

std::uint64_t countChars(std::string_view s)
{
    return static_cast<std::uint64_t>(
        std::count_if(s.begin(), s.end(), [](char c) { return !isContinuation(static_cast<unsigned char>(c)); }));
}

/** Reads one record of @p data from @p at into @p r. @p utf8: the file is UTF-8; @p chars: lengths count its
 * characters; @p headerMayEnd: a <EOH> ends the reading (the file's first); @p judge: tell how well the lengths
 * fit (else only the fields are read). The reading never looks past its own end, so a record read again from its
 * own bytes reads the same. */
void readRecordAt(std::string_view data, std::size_t at, bool utf8, bool chars, bool headerMayEnd, bool judge,
                  Reading& r)
{
    r.clear();
    std::size_t p = at;
    std::size_t lastValueEnd = at;
    bool heldTag = false; // the value before held a whole tag
    bool heldEnd = false; // ... one that endsOrMarks
    while (true) {
        const std::size_t lt = data.find('<', p);
        const std::size_t gapEnd = lt == std::string_view::npos ? data.size() : lt;
        if (judge && !r.entries.empty()) {
            const std::string_view gap = data.substr(p, gapEnd - p);
            if (utf8 && hasNonAscii(gap)) {
                r.misfit = true; // a value's rest left between fields: the lengths count otherwise
            }
            if (heldTag && !isBlankText(gap)) {
                r.swallows = true; // the length took the next field's tag and left its value behind
                r.swallowsEnd = r.swallowsEnd || heldEnd;
            }
        }
        heldTag = heldEnd = false;
        if (lt == std::string_view::npos) {
            r.end = data.size();
            r.insertAt = lastValueEnd;
            r.ending = Reading::AtEnd;
            return;
        }
        const Tag tag = readTag(data, lt);
        if (tag.kind == Tag::EndOfRecord || (tag.kind == Tag::EndOfHeader && headerMayEnd)) {
            r.end = tag.end;
            r.insertAt = lt;
            r.ending = tag.kind == Tag::EndOfRecord ? Reading::AtEor : Reading::AtEoh;
            return;
        }
        if (tag.kind != Tag::Field) {
            ++r.strayTags;
            p = lt + 1;
            continue;
        }
        const std::size_t valueBegin = tag.end;
        const std::size_t bytes = chars
            ? charBytes(data, valueBegin, tag.length)
            : static_cast<std::size_t>(std::min<std::uint64_t>(tag.length, data.size() - valueBegin));
        const std::size_t valueEnd = valueBegin + bytes;
        const std::string_view value = data.substr(valueBegin, bytes);
        for (std::size_t k = judge ? value.find('<') : std::string_view::npos; k != std::string_view::npos;
             k = value.find('<', k + 1)) {
            const Tag inside = readTag(data, valueBegin + k);
            if (inside.kind == Tag::Invalid) {
                continue;
            }
            if (inside.end > valueEnd) {
                r.swallows = true; // the value ends inside a tag
                r.swallowsEnd = r.swallowsEnd || endsOrMarks(inside);
            } else {
                r.takesTagText = true;
                heldTag = true;
                heldEnd = heldEnd || endsOrMarks(inside);
            }
        }
        if (valueEnd == data.size() && tag.length > (chars ? countChars(value) : bytes)) {
            r.pastEnd = true;
        }
        if (utf8 && valueEnd < data.size() && isContinuation(static_cast<unsigned char>(data[valueEnd]))) {
            r.misfit = true;
        }
        Entry e;
        e.tagBegin = lt;
        e.tagLength = static_cast<std::uint16_t>(tag.end - lt);
        e.valueBytes = static_cast<std::uint32_t>(bytes);
        r.entries.push_back(e);
        r.names.push_back(tag.name);
        p = valueEnd;
        lastValueEnd = p;
    }
}

/** Reads a record both ways where it must: returns the reading taken (@p byBytes or @p byChars); @p chars tells
 * which, @p unclear that neither fits. */
const Reading& readEitherWay(std::string_view data, std::size_t at, bool utf8, bool headerMayEnd, Reading& byBytes,
                             Reading& byChars, bool& chars, bool& unclear)
{
    readRecordAt(data, at, utf8, false, headerMayEnd, true, byBytes);
    chars = false;
    unclear = false;
    if (utf8 && byBytes.misfit) {
        readRecordAt(data, at, utf8, true, headerMayEnd, true, byChars);
        if (!byChars.misfit && !byChars.takesTagText) {
            chars = true;
            return byChars;
        }
        unclear = true;
    }
    return byBytes;
}

/** What the reading of the file could not make sense of. */
struct Damage
{
    long strayTags = 0;
    bool pastEnd = false;
    bool openRecord = false; // fields after the last <EOR>
    long unclearLengths = 0; // records whose lengths fit neither bytes nor characters
    long swallowing = 0; // records with a length that takes a following tag
    std::vector<long> noMark; // the first records (1-based) that take no mark
    long noMarkCount = 0;
    long droppedFields = 0; // fields beyond the limit of distinct names
};

/** The file mapped for the one reading at open; the pages behind the reading are let go as it moves on. */
class MappedFile
{
public:
    MappedFile(int fd, std::size_t size)
        : m_size(size)
    {
        if (size == 0) {
            return;
        }
        void* at = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
        if (at == MAP_FAILED) {
            return;
        }
        m_data = static_cast<const char*>(at);
        ::madvise(const_cast<char*>(m_data), size, MADV_SEQUENTIAL);
    }
    ~MappedFile()
    {
        if (m_data) {
            ::munmap(const_cast<char*>(m_data), m_size);
        }
    }
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    bool ok() const { return m_data != nullptr || m_size == 0; }
    std::string_view bytes() const { return m_data ? std::string_view(m_data, m_size) : std::string_view(); }
    /** Lets go of the pages before @p offset (they are read again if touched). */
    void release(std::size_t offset)
    {
        static const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
        const std::size_t upTo = offset / page * page;
        if (m_data && upTo >= m_released + 2 * kBlock) {
            ::madvise(const_cast<char*>(m_data) + m_released, upTo - m_released, MADV_DONTNEED);
            m_released = upTo;
        }
    }

    /** Lets go of every page, for a second reading from the start. */
    void releaseAll()
    {
        if (m_data) {
            ::madvise(const_cast<char*>(m_data), m_size, MADV_DONTNEED);
        }
        m_released = 0;
    }

private:
    const char* m_data = nullptr;
    std::size_t m_size = 0;
    std::size_t m_released = 0;
};

class AdifEngine : public logtable::FileTableEngine
{
public:
    explicit AdifEngine(const std::string& path)
        : FileTableEngine(path)
    {
        m_fd = logtable::openForReading(path);
        try {
            m_stamp = logtable::stampOf(m_fd);
            index();
        } catch (...) {
            ::close(m_fd);
            throw;
        }
    }

    ~AdifEngine() override { ::close(m_fd); }

    int fieldCount() const override { return static_cast<int>(m_names.size()); }
    std::string fieldName(int field) const override { return present(m_names[static_cast<std::size_t>(field)]); }
    std::size_t fieldWidth(int) const override { return 0; }
    long recordCount() const override { return static_cast<long>(m_starts.size()); }

    void readRecord(long row, std::vector<std::string>& texts) override
    {
        texts.resize(m_names.size());
        for (std::string& text : texts) {
            text.clear(); // the strings keep their room for the next record
        }
        if (row < 0 || row >= recordCount()) {
            return;
        }
        const std::string_view bytes = load(row);
        // The first of two tags of one name counts: walk backwards so that it is written last.
        for (std::size_t k = m_entries.size(); k-- > 0;) {
            const Entry& e = m_entries[k];
            const std::string_view value = bytes.substr(e.tagBegin + e.tagLength, e.valueBytes);
            if (hasNonAscii(value) && m_utf8) {
                texts[e.field].clear();
                cp932::appendFromUtf8(value, texts[e.field]);
            } else if (hasNonAscii(value)) {
                texts[e.field] = present(value);
            } else {
                texts[e.field].assign(value.data(), value.size());
            }
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
        if (m_starts[static_cast<std::size_t>(row)] & kNoMark) {
            throw KelboError(writeError(noMarkReason(row)));
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
    /** The one reading at open: the encoding, the fingerprint, the fields and where each record starts. */
    void index()
    {
        struct stat st
        {
        };
        if (::fstat(m_fd, &st) != 0) {
            throw KelboError(openError(std::strerror(errno)));
        }
        if (static_cast<std::uint64_t>(st.st_size) > kMaxFileBytes) {
            throw KelboError(openError("ファイルが大きすぎます (1 GB まで)"));
        }
        m_fileSize = static_cast<std::size_t>(st.st_size);
        MappedFile mapped(m_fd, m_fileSize);
        if (!mapped.ok()) {
            throw KelboError(openError("読み込みに失敗しました"));
        }
        const std::string_view data = mapped.bytes();
        m_bom = data.substr(0, 3) == "\xEF\xBB\xBF";
        Utf8Guess guess;
        Fingerprint fingerprint;
        for (std::size_t at = 0; at < data.size(); at += kBlock) {
            const std::size_t n = std::min(kBlock, data.size() - at);
            guess.feed(data.data() + at, n);
            fingerprint.feed(data.data() + at, n);
            mapped.release(at);
        }
        m_utf8 = m_bom || guess.isUtf8();
        m_fingerprint = fingerprint.value();
        mapped.releaseAll();

        Damage damage;
        // The field of each spelling of a tag name met so far (the spellings are views into the mapped bytes).
        std::unordered_map<std::string_view, std::uint16_t> spelled;
        std::vector<std::pair<std::string_view, std::uint16_t>> lastNames;
        Reading byBytes;
        Reading byChars;
        std::size_t p = m_bom ? 3 : 0;
        bool first = true;
        bool headerOnly = false;
        while (p < data.size()) {
            mapped.release(p);
            bool chars = false;
            bool unclear = false;
            // The file's first reading is its header when <EOH> ends it; one that meets neither <EOH> nor <EOR>
            // is a header without its end (a report of no contacts), not a record, unless a length took its end.
            const Reading& r = readEitherWay(data, p, m_utf8, first, byBytes, byChars, chars, unclear);
            const std::size_t start = p;
            p = r.end;
            if (first) {
                first = false;
                if (r.ending == Reading::AtEoh) {
                    continue;
                }
                if (r.ending == Reading::AtEnd && !r.pastEnd && !r.swallows) {
                    headerOnly = true;
                    break;
                }
            }
            damage.strayTags += r.strayTags;
            if (r.entries.empty()) {
                continue; // text after the last record, or an empty record
            }
            damage.pastEnd = damage.pastEnd || r.pastEnd;
            damage.openRecord = damage.openRecord || r.ending != Reading::AtEor;
            damage.unclearLengths += unclear ? 1 : 0;
            damage.swallowing += r.swallows ? 1 : 0;
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
                damage.droppedFields += field == kDropped ? 1 : 0;
            }
            std::uint64_t place = start;
            place |= chars ? kCharLengths : 0;
            if (r.pastEnd || unclear || r.swallowsEnd) {
                place |= kNoMark;
                if (damage.noMark.size() < 10) {
                    damage.noMark.push_back(static_cast<long>(m_starts.size()) + 1);
                }
                ++damage.noMarkCount;
            }
            m_starts.push_back(place);
            m_lengths.push_back(static_cast<std::uint32_t>(p - start));
            if (m_starts.size() == 256 && p < data.size()) {
                // Room for the whole file at the rate of its first records, so that the index is seldom copied.
                const auto expected
                    = static_cast<std::size_t>(256.0 / static_cast<double>(p) * static_cast<double>(data.size()) * 1.1)
                    + 64;
                m_starts.reserve(expected);
                m_lengths.reserve(expected);
            }
        }
        // The send mark and its date are the last two fields, whether the log has them or not: the log can always
        // get its marks, and marking a record that comes before the first one with these tags moves no field.
        for (const char* name : {"QSL_SENT", "QSL_SDATE"}) {
            m_fieldOf.emplace(name, static_cast<std::uint16_t>(m_names.size()));
            m_names.emplace_back(name);
        }
        setNote(describe(damage));
        if (m_starts.empty()) {
            addNote("ADIF ファイル " + path() + " には QSO のレコードがありません"
                    + (headerOnly ? std::string(" (<EOH> も <EOR> もない, ヘッダーだけのファイルです)") : "") + ".");
        }
    }

    static std::string noMarkReason(long row)
    {
        return "レコード " + std::to_string(row + 1)
            + " は値がファイルの終わりや <EOR>, QSL_SENT, QSL_SDATE のタグにかかるか長さが合わないため, 書き込みません";
    }

    /** The field of a tag name (upper case), added at the end when new; the send mark and its date come last. */
    std::uint16_t fieldFor(const std::string& name)
    {
        if (name == "QSL_SENT" || name == "QSL_SDATE") {
            return kSentField;
        }
        const auto it = m_fieldOf.find(name);
        if (it != m_fieldOf.end()) {
            return it->second;
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
        if (d.swallowing > 0) {
            parts.push_back(std::to_string(d.swallowing) + " 件のレコードで値の長さが後ろのタグにかかっています");
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
        if (d.noMarkCount > 0) {
            note += ". 値がファイルの終わりや <EOR>, QSL_SENT, QSL_SDATE のタグにかかるか長さが合わないため, ";
            for (std::size_t i = 0; i < d.noMark.size(); ++i) {
                note += (i > 0 ? ", " : "") + std::to_string(d.noMark[i]);
            }
            note += d.noMarkCount > static_cast<long>(d.noMark.size())
                ? " ほか全 " + std::to_string(d.noMarkCount) + " 件のレコード"
                : " 件目のレコード";
            note += "には送信マークを書き込みません";
        }
        return note + ". 読めたところまでを表示します.";
    }

    /** Reads record @p row again from the file into m_entries (tags counted from the start of the returned
     * bytes, fields numbered) and m_insertAt. */
    std::string_view load(long row)
    {
        const std::uint64_t place = m_starts[static_cast<std::size_t>(row)];
        const std::uint64_t start = place & kOffsetBits;
        const std::size_t length = m_lengths[static_cast<std::size_t>(row)];
        if (start < m_windowStart || start + length > m_windowStart + m_window.size()) {
            const auto size = static_cast<std::size_t>(
                std::min<std::uint64_t>(std::max<std::size_t>(length, 64 * 1024), m_fileSize - start));
            m_window.resize(size);
            m_windowStart = start;
            if (size > 0 && !logtable::readAt(m_fd, m_window.data(), size, static_cast<off_t>(start))) {
                m_window.clear();
                throw KelboError(readError("読み込みに失敗しました"));
            }
        }
        const std::string_view bytes(m_window.data() + (start - m_windowStart), length);
        readRecordAt(bytes, 0, m_utf8, (place & kCharLengths) != 0, false, false, m_reading);
        m_entries.clear();
        m_insertAt = start + m_reading.insertAt;
        for (std::size_t k = 0; k < m_reading.entries.size(); ++k) {
            const std::uint16_t field = fieldOfName(k, m_reading.names[k]);
            if (field != kDropped) {
                Entry e = m_reading.entries[k];
                e.field = field;
                m_entries.push_back(e);
            }
        }
        return bytes;
    }

    /** The field of the @p k-th tag of a record, spelled @p name. */
    std::uint16_t fieldOfName(std::size_t k, std::string_view name)
    {
        if (k < m_lastNames.size() && m_lastNames[k].first == name) {
            return m_lastNames[k].second;
        }
        std::uint16_t field = kDropped;
        const auto met = std::find_if(m_lastNames.begin(), m_lastNames.end(),
                                      [name](const auto& known) { return known.first == name; });
        if (met != m_lastNames.end()) {
            field = met->second;
        } else if (const auto it = m_fieldOf.find(cp932::toUpperAscii(name)); it != m_fieldOf.end()) {
            field = it->second;
        }
        if (k >= m_lastNames.size()) {
            m_lastNames.resize(k + 1);
        }
        m_lastNames[k] = {std::string(name), field};
        return field;
    }

    std::string present(std::string_view v) const
    {
        if (!hasNonAscii(v)) {
            return std::string(v);
        }
        // A byte CP932 does not read as a character (a lone lead byte, an undefined code) is shown as '?'.
        return m_utf8 ? cp932::fromUtf8(v) : codepage::sanitizeCp932(v);
    }

    /** The value's bytes as stored in the file: UTF-8 in a UTF-8 file. */
    std::string stored(const std::string& text) const
    {
        return m_utf8 && hasNonAscii(text) ? cp932::toUtf8(text) : text;
    }

    /** A tag and its value as this file writes them: the tag's own spelling and type are kept. */
    std::string tagged(bool charLengths, std::string_view oldTag, const std::string& name,
                       const std::string& text) const
    {
        const std::string bytes = stored(text);
        const std::uint64_t length = charLengths ? countChars(bytes) : static_cast<std::uint64_t>(bytes.size());
        std::string spelled = name;
        std::string type;
        if (!oldTag.empty()) {
            const std::size_t colon = oldTag.find(':');
            spelled = std::string(oldTag.substr(1, colon - 1));
            const std::size_t second = oldTag.find(':', colon + 1);
            if (second != std::string_view::npos) {
                type = std::string(oldTag.substr(second, oldTag.size() - 1 - second));
            }
        }
        return "<" + spelled + ":" + std::to_string(length) + type + ">" + bytes;
    }

    struct Splice
    {
        std::uint64_t at = 0;
        std::uint64_t length = 0;
        std::string bytes;
    };

    /** Writes @p edits (by record): under the lock the file must still be what was read, and the new file must read
     * as this table does; the new file replaces the table (see rewriteFile), its new bytes are read back, and the
     * index moves with them: every other record reads as it did. */
    void commit(logtable::TableWriter& writer, const std::map<long, std::map<int, std::string>>& edits)
    {
        std::vector<Splice> splices;
        std::vector<std::pair<long, std::int64_t>> growth; // by record: its change of length
        for (const auto& [row, fields] : edits) {
            if (m_starts[static_cast<std::size_t>(row)] & kNoMark) {
                throw KelboError(writeError(noMarkReason(row)));
            }
            const std::string_view bytes = load(row);
            const std::uint64_t start = m_starts[static_cast<std::size_t>(row)] & kOffsetBits;
            const bool charLengths = (m_starts[static_cast<std::size_t>(row)] & kCharLengths) != 0;
            std::int64_t grown = 0;
            std::string inserted;
            for (const auto& [field, text] : fields) {
                const Entry* old = nullptr;
                for (const Entry& e : m_entries) {
                    if (e.field == field) {
                        old = &e;
                        break;
                    }
                }
                const std::string name = m_names[static_cast<std::size_t>(field)];
                if (old) {
                    if (present(bytes.substr(old->tagBegin + old->tagLength, old->valueBytes)) == text) {
                        continue;
                    }
                    if (text.empty()) {
                        // An empty value is no value: the tag goes, with the blank that follows it (as inserted).
                        std::uint64_t length = old->tagLength + static_cast<std::uint64_t>(old->valueBytes);
                        if (old->tagBegin + length < bytes.size() && bytes[old->tagBegin + length] == ' ') {
                            ++length;
                        }
                        grown -= static_cast<std::int64_t>(length);
                        splices.push_back({start + old->tagBegin, length, std::string()});
                        continue;
                    }
                    Splice s{start + old->tagBegin, old->tagLength + static_cast<std::uint64_t>(old->valueBytes),
                             tagged(charLengths, bytes.substr(old->tagBegin, old->tagLength), name, text)};
                    grown += static_cast<std::int64_t>(s.bytes.size()) - static_cast<std::int64_t>(s.length);
                    splices.push_back(std::move(s));
                } else if (!text.empty()) {
                    inserted += tagged(charLengths, {}, name, text) + " ";
                }
            }
            if (!inserted.empty()) {
                grown += static_cast<std::int64_t>(inserted.size());
                splices.push_back({m_insertAt, 0, std::move(inserted)});
            }
            if (grown != 0) {
                growth.emplace_back(row, grown);
            }
        }
        m_window.clear();
        m_windowStart = 0;
        if (splices.empty()) {
            return;
        }
        std::stable_sort(splices.begin(), splices.end(), [](const Splice& a, const Splice& b) { return a.at < b.at; });

        writer.expect(m_stamp);
        const std::uint64_t newFingerprint = checkAndForesee(writer, splices);
        std::vector<char> buffer(kBlock);
        const std::uint64_t oldSize = m_fileSize;
        const auto produce = [&](const filewrite::Put& put, off_t from) {
            auto copy = [&](std::uint64_t to) {
                while (static_cast<std::uint64_t>(from) < to) {
                    const auto n = static_cast<std::size_t>(
                        std::min<std::uint64_t>(buffer.size(), to - static_cast<std::uint64_t>(from)));
                    if (!logtable::readAt(writer.fd(), buffer.data(), n, from)) {
                        throw filewrite::Failure("読み込みに失敗しました");
                    }
                    put(buffer.data(), n);
                    from += static_cast<off_t>(n);
                }
            };
            for (const Splice& s : splices) {
                copy(s.at);
                put(s.bytes.data(), s.bytes.size());
                from = static_cast<off_t>(s.at + s.length);
            }
            copy(oldSize);
        };
        std::int64_t total = 0;
        for (const auto& g : growth) {
            total += g.second;
        }
        const bool inPlace = rewriteFile(writer, static_cast<off_t>(splices.front().at), produce) == Rewrite::InPlace;
        if (inPlace) {
            m_stamp = writer.stamp();
        } else {
            // Read on from the new file.
            const int fd = ::open(path().c_str(), O_RDONLY | O_CLOEXEC);
            if (fd < 0) {
                m_stamp = logtable::FileStamp();
                throw KelboError(writeError("書き込んだファイルを開けません"));
            }
            ::close(m_fd);
            m_fd = fd;
            m_stamp = logtable::stampOf(m_fd);
        }
        m_fingerprint = newFingerprint;
        m_fileSize = static_cast<std::size_t>(static_cast<std::int64_t>(m_fileSize) + total);
        // Each record after a grown one moves with it; the grown ones keep their start and reading.
        std::int64_t shift = 0;
        std::size_t next = 0;
        for (std::size_t i = 0; i < m_starts.size(); ++i) {
            const std::uint64_t flags = m_starts[i] & ~kOffsetBits;
            m_starts[i]
                = (static_cast<std::uint64_t>(static_cast<std::int64_t>(m_starts[i] & kOffsetBits) + shift)) | flags;
            if (next < growth.size() && growth[next].first == static_cast<long>(i)) {
                m_lengths[i]
                    = static_cast<std::uint32_t>(static_cast<std::int64_t>(m_lengths[i]) + growth[next].second);
                shift += growth[next++].second;
            }
        }
        if (!inPlace) {
            readBack(splices);
        }
    }

    /** Under the lock: the file must still hold the bytes that were read (else the write is refused), and the new
     * file must be told the encoding this table reads it with, or the rest of the log would read otherwise.
     * Returns the new file's fingerprint. */
    std::uint64_t checkAndForesee(logtable::TableWriter& writer, const std::vector<Splice>& splices)
    {
        Fingerprint before;
        Fingerprint after;
        Utf8Guess guess;
        const auto feedAfter = [&](const char* data, std::size_t size) {
            after.feed(data, size);
            guess.feed(data, size);
        };
        std::vector<char> buffer(kBlock);
        auto next = splices.begin();
        std::uint64_t done = 0; // the old bytes before it are kept in the new file or replaced by a splice
        for (std::uint64_t at = 0; at < m_fileSize; at += buffer.size()) {
            const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), m_fileSize - at));
            writer.readAt(buffer.data(), n, static_cast<off_t>(at));
            before.feed(buffer.data(), n);
            const std::uint64_t end = at + n;
            while (done < end) {
                if (next != splices.end() && next->at <= done) {
                    feedAfter(next->bytes.data(), next->bytes.size());
                    done = std::max(done, next->at + next->length);
                    ++next;
                    continue;
                }
                const std::uint64_t to = next != splices.end() ? std::min(end, next->at) : end;
                feedAfter(buffer.data() + (done - at), static_cast<std::size_t>(to - done));
                done = to;
            }
        }
        for (; next != splices.end(); ++next) { // inserted at the very end of the file
            feedAfter(next->bytes.data(), next->bytes.size());
        }
        if (before.value() != m_fingerprint) {
            writer.refuseChanged();
        }
        if (!m_bom && guess.isUtf8() != m_utf8 && guess.hasNonAscii()) {
            throw KelboError(writeError(std::string("書き込むとファイル全体の文字コードの判定 (")
                                        + (m_utf8 ? "UTF-8" : "CP932")
                                        + ") が変わり, ほかのレコードの読み方が変わるため書き込みません"));
        }
        return after.value();
    }

    /** After a replacement: the new bytes are read back from the file that now holds the table. */
    void readBack(const std::vector<Splice>& splices)
    {
        bool same = static_cast<std::uint64_t>(m_stamp.size) >= m_fileSize;
        std::int64_t shift = 0;
        for (const Splice& s : splices) {
            std::string back(s.bytes.size(), '\0');
            const auto at = static_cast<off_t>(static_cast<std::int64_t>(s.at) + shift);
            same = same && (back.empty() || logtable::readAt(m_fd, back.data(), back.size(), at)) && back == s.bytes;
            shift += static_cast<std::int64_t>(s.bytes.size()) - static_cast<std::int64_t>(s.length);
        }
        if (!same) {
            m_stamp = logtable::FileStamp();
            throw KelboError(writeError("書き込んだ内容を読み返せません"));
        }
        // Contacts another program appended meanwhile follow this table's bytes in the new file: they are not in its
        // view until it is opened again, and a later write of this table carries them on as they are.
    }

    int m_fd = -1;
    std::size_t m_fileSize = 0;
    bool m_bom = false;
    bool m_utf8 = false;
    std::uint64_t m_fingerprint = 0;
    std::vector<std::string> m_names;
    std::unordered_map<std::string, std::uint16_t> m_fieldOf;
    std::vector<std::uint64_t> m_starts; // by record: its first byte and flags
    std::vector<std::uint32_t> m_lengths; // by record: its bytes up to and with its <EOR>
    // The record read last.
    std::vector<char> m_window;
    std::uint64_t m_windowStart = 0;
    Reading m_reading;
    std::vector<Entry> m_entries;
    std::uint64_t m_insertAt = 0;
    std::vector<std::pair<std::string, std::uint16_t>> m_lastNames;
    std::map<long, std::map<int, std::string>> m_edits; // the running batch's edits, by record
};

} // namespace

std::unique_ptr<TableEngine> openAdifTable(const std::string& path)
{
    return std::make_unique<AdifEngine>(path);
}
