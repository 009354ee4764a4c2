#include "logtable/TextSplitter.h"

#include "common/Cp932.h"

#include <cstring>

namespace textsplit {

namespace {

int utf8TrailCount(unsigned char first)
{
    return first >= 0xC2 && first <= 0xDF ? 1
        : first >= 0xE0 && first <= 0xEF  ? 2
        : first >= 0xF0 && first <= 0xF4  ? 3
                                          : 0;
}

bool utf8IsTrail(unsigned char byte)
{
    return byte >= 0x80 && byte <= 0xBF;
}

bool cp932IsTrail(unsigned char byte)
{
    return (byte >= 0x40 && byte <= 0x7E) || (byte >= 0x80 && byte <= 0xFC);
}

Encoding makeCp932()
{
    Encoding e{};
    for (int c = 0; c < 256; ++c) {
        const auto b = static_cast<unsigned char>(c);
        e.trails[c] = cp932::isLeadByte(b) ? 1 : 0;
        e.trail[c] = cp932IsTrail(b);
    }
    return e;
}

Encoding makeUtf8()
{
    Encoding e{};
    for (int c = 0; c < 256; ++c) {
        const auto b = static_cast<unsigned char>(c);
        e.trails[c] = static_cast<std::uint8_t>(utf8TrailCount(b));
        e.trail[c] = utf8IsTrail(b);
    }
    return e;
}

/** Characters a text table may well hold: Latin, Greek and Cyrillic letters with their signs, general
 * punctuation and symbols, CJK punctuation, kana, enclosed and compatibility signs, ideographs, full- and
 * half-width forms. */
bool plausibleCharacter(char32_t c)
{
    return (c >= 0xA0 && c <= 0x52F) || (c >= 0x2000 && c <= 0x2BFF) || (c >= 0x3000 && c <= 0x33FF)
        || (c >= 0x3400 && c <= 0x4DBF) || (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0xF900 && c <= 0xFAFF)
        || (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFFEF) || (c >= 0x1F000 && c <= 0x1FAFF)
        || (c >= 0x20000 && c <= 0x2FA1F);
}

/** Lead bytes of the CP932 rows that hold characters (symbols, kana, Greek and Cyrillic, NEC signs, kanji,
 * NEC-selected and IBM extensions); 0x85, 0x86, 0xEB, 0xEC and 0xEF-0xF9 (user-defined) hold none. */
bool cp932DefinedLead(unsigned char c)
{
    return (c >= 0x81 && c <= 0x84) || (c >= 0x87 && c <= 0x9F) || (c >= 0xE0 && c <= 0xEA) || c == 0xED || c == 0xEE
        || (c >= 0xFA && c <= 0xFC);
}

/** Length of the character at @p i: its trail bytes when they all follow, else 1. */
inline std::size_t charLength(std::string_view s, std::size_t i, const Encoding& e)
{
    const int trails = e.trailCount(static_cast<unsigned char>(s[i]));
    if (trails == 0 || i + static_cast<std::size_t>(trails) >= s.size()) {
        return 1;
    }
    for (int k = 1; k <= trails; ++k) {
        if (!e.isTrail(static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]))) {
            return 1;
        }
    }
    return 1 + static_cast<std::size_t>(trails);
}

/** True when @p c is never part of a character of several bytes in @p e. */
bool standsAlone(char c, const Encoding& e)
{
    const auto b = static_cast<unsigned char>(c);
    return e.trailCount(b) == 0 && !e.isTrail(b);
}

} // namespace

const Encoding& cp932()
{
    static const Encoding e = makeCp932();
    return e;
}

const Encoding& utf8()
{
    static const Encoding e = makeUtf8();
    return e;
}

void EncodingGuess::feed(const char* data, std::size_t size)
{
    for (std::size_t i = 0; i < size; ++i) {
        const auto c = static_cast<unsigned char>(data[i]);
        if (c < 0x80 && m_utf8Left == 0 && m_cp932Lead == 0) {
            continue; // plain ASCII between characters
        }
        m_nonAscii = true;
        if (m_utf8Valid) {
            takeUtf8(c);
        }
        if (m_cp932Valid) {
            takeCp932(c);
        }
        if (!m_utf8Valid) {
            return; // CP932: nothing more to learn
        }
    }
}

bool EncodingGuess::isUtf8() const
{
    // A file that ends inside a character is no UTF-8: it would be once a mark is appended after that byte.
    if (!m_nonAscii || !m_utf8Valid || m_utf8Left > 0) {
        return false;
    }
    return !(m_utf8Odd && m_cp932Valid && m_cp932Lead == 0);
}

void EncodingGuess::takeUtf8(unsigned char c)
{
    if (m_utf8Left > 0) {
        if (c < m_utf8Low || c > m_utf8High) {
            m_utf8Valid = false;
            return;
        }
        m_utf8Low = 0x80;
        m_utf8High = 0xBF;
        m_codePoint = (m_codePoint << 6) | (c & 0x3F);
        if (--m_utf8Left == 0 && !plausibleCharacter(m_codePoint)) {
            m_utf8Odd = true;
        }
        return;
    }
    if (c < 0x80) {
        return;
    }
    m_utf8Left = utf8TrailCount(c);
    if (m_utf8Left == 0) {
        m_utf8Valid = false;
        return;
    }
    m_codePoint = c & (0x3F >> m_utf8Left);
    // No overlong forms, surrogates or values past U+10FFFF.
    m_utf8Low = c == 0xE0 ? 0xA0 : c == 0xF0 ? 0x90 : 0x80;
    m_utf8High = c == 0xED ? 0x9F : c == 0xF4 ? 0x8F : 0xBF;
}

void EncodingGuess::takeCp932(unsigned char c)
{
    if (m_cp932Lead != 0) {
        m_cp932Lead = 0;
        if (!cp932IsTrail(c)) {
            m_cp932Valid = false;
        }
        return;
    }
    if (c < 0x80 || (c >= 0xA1 && c <= 0xDF)) {
        return;
    }
    if (!cp932DefinedLead(c)) {
        m_cp932Valid = false; // 0x80, 0xA0, 0xFD-0xFF or a row without characters
        return;
    }
    m_cp932Lead = c;
}

namespace {

/** The one walk over a record's fields: calls @p onField(span, value) for each field, the value a view into the
 * record, or into @p unquoted for a value whose quotes were undone or that goes on after its closing quote. */
template <typename OnField>
Split walkFields(std::string_view record, const Dialect& dialect, std::string& unquoted, OnField&& onField)
{
    Split result;
    const char* const data = record.data();
    const std::size_t n = record.size();
    const char sep = dialect.separator;
    const char quote = dialect.quote;
    const Encoding& e = *dialect.encoding;
    // Bytes that are neither the start of a character of several bytes, nor the separator, nor the quote, are one
    // character each and never end a value: they are passed over without the full look. When neither the separator
    // nor the quote can be part of a character of several bytes, such characters need no look at all.
    const bool bytewise = standsAlone(sep, e) && (quote == 0 || standsAlone(quote, e));
    const auto plain = [&e, sep, quote, bytewise](char c) {
        return (bytewise || e.trailCount(static_cast<unsigned char>(c)) == 0) && c != sep && c != quote;
    };
    bool unquotedReady = false;
    std::size_t i = 0;
    while (true) {
        Span span;
        span.begin = i;
        std::size_t valueBegin = i;
        std::size_t valueEnd = i;
        bool copied = false; // the value is being built in unquoted
        std::size_t copyFrom = 0;
        if (quote != 0 && i < n && data[i] == quote) {
            ++i;
            valueBegin = i;
            bool closed = false;
            while (i < n) {
                if (bytewise) {
                    const void* next = std::memchr(data + i, quote, n - i);
                    if (!next) {
                        i = n;
                        break;
                    }
                    i = static_cast<std::size_t>(static_cast<const char*>(next) - data);
                } else if (plain(data[i])) {
                    ++i;
                    continue;
                }
                const std::size_t len = charLength(record, i, e);
                if (len == 1 && data[i] == quote) {
                    if (i + 1 < n && data[i + 1] == quote) {
                        // A doubled quote is one quote: the value is built apart from here on.
                        if (!unquotedReady) {
                            unquoted.clear();
                            unquoted.reserve(n);
                            unquotedReady = true;
                        }
                        if (!copied) {
                            copied = true;
                            copyFrom = unquoted.size();
                            unquoted.append(data + valueBegin, i + 1 - valueBegin);
                        } else {
                            unquoted.append(data + valueEnd, i + 1 - valueEnd);
                        }
                        i += 2;
                        valueEnd = i;
                        continue;
                    }
                    closed = true;
                    break;
                }
                i += len;
            }
            const std::size_t contentEnd = i;
            if (closed) {
                ++i;
            }
            if (copied) {
                unquoted.append(data + valueEnd, contentEnd - valueEnd);
            } else {
                valueEnd = contentEnd;
            }
            if (!closed && result.doubt.empty()) {
                result.doubt = "引用符が閉じていません";
            }
            if (i < n && data[i] != sep && result.doubt.empty()) {
                result.doubt = "引用符の後に区切り文字がありません";
            }
        }
        const std::size_t restBegin = i;
        while (i < n) {
            if (plain(data[i])) {
                ++i;
                continue;
            }
            const std::size_t len = charLength(record, i, e);
            if (len == 1 && data[i] == sep) {
                break;
            }
            if (quote != 0 && len == 1 && data[i] == quote && result.doubt.empty()) {
                // Another reader may take it for the end of a quoted value begun on an earlier line, so that this
                // line and the ones before it read as one record.
                result.doubt = "引用符で始まらない値に引用符があります";
            }
            i += len;
        }
        span.end = i;
        std::string_view value;
        if (restBegin == valueBegin) {
            value = std::string_view(data + restBegin, i - restBegin); // an unquoted value: its bytes as they are
        } else if (!copied && i == restBegin) {
            value = std::string_view(data + valueBegin, valueEnd - valueBegin); // a quoted value and nothing after
        } else {
            // Bytes after the closing quote belong to the value too (the record is doubtful then).
            if (!unquotedReady) {
                unquoted.clear();
                unquoted.reserve(n);
                unquotedReady = true;
            }
            if (!copied) {
                copyFrom = unquoted.size();
                unquoted.append(data + valueBegin, valueEnd - valueBegin);
            }
            unquoted.append(data + restBegin, i - restBegin);
            value = std::string_view(unquoted.data() + copyFrom, unquoted.size() - copyFrom);
        }
        onField(span, value);
        if (i >= n) {
            break;
        }
        ++i; // the separator
    }
    return result;
}

} // namespace

Split splitRecord(std::string_view record, const Dialect& dialect, std::vector<Span>* spans,
                  std::vector<std::string>* values)
{
    std::string unquoted;
    return walkFields(record, dialect, unquoted, [spans, values](const Span& span, std::string_view value) {
        if (spans) {
            spans->push_back(span);
        }
        if (values) {
            values->emplace_back(value);
        }
    });
}

Split splitValues(std::string_view record, const Dialect& dialect, std::vector<std::string_view>& values,
                  std::string& unquoted)
{
    values.clear();
    return walkFields(record, dialect, unquoted,
                      [&values](const Span&, std::string_view value) { values.push_back(value); });
}

RecordFinder::RecordFinder(const Dialect& dialect, bool quoting, std::uint64_t start)
    : m_dialect(dialect)
    , m_quoting(quoting && dialect.quote != 0)
    , m_offset(start)
    , m_lineStart(start)
{
    // Every other byte is plain text: it only marks the line as holding something. Line ends and EOF marks are never
    // part of a character of several bytes; when the separator and the quote never are either (and differ), the
    // characters of several bytes need no look (their bytes are plain text).
    const bool bytewise = dialect.separator != dialect.quote && standsAlone(dialect.separator, *dialect.encoding)
        && (dialect.quote == 0 || standsAlone(dialect.quote, *dialect.encoding));
    for (int c = 0; c < 256; ++c) {
        const auto b = static_cast<unsigned char>(c);
        const bool lead = !bytewise && dialect.encoding->trailCount(b) > 0;
        m_special[c] = b == '\r' || b == '\n' || b == 0x1A
            || (m_quoting
                && (lead || b == static_cast<unsigned char>(dialect.quote)
                    || b == static_cast<unsigned char>(dialect.separator)));
        m_specialQuoted[c] = b == '\r' || b == '\n' || lead || b == static_cast<unsigned char>(dialect.quote);
    }
}

void RecordFinder::endLine(std::uint64_t at)
{
    if (m_lineHasText) {
        if (m_recordSpans) {
            spanning.emplace_back(starts.size(), at);
        }
        starts.push_back(m_lineStart);
    }
    m_recordSpans = false;
    m_lineStart = at + 1;
    m_lineHasText = false;
    m_fieldStart = true;
    m_inQuotes = false;
    m_afterQuote = false;
    m_trailsLeft = 0;
    m_pendingCr = false;
    m_spanning = false;
}

void RecordFinder::goBack()
{
    const std::uint64_t end = m_spanEnd;
    m_lineHasText = true;
    endLine(end);
    m_offset = end + 1;
}

bool RecordFinder::take(unsigned char c, std::uint64_t at)
{
    if (m_pendingCr) {
        m_pendingCr = false;
        if (c == '\n') {
            if (m_lineEnds == LineEnds::Unknown) {
                m_lineEnds = LineEnds::Lf;
            }
            endLine(at);
            return true;
        }
        if (m_lineEnds == LineEnds::Unknown) {
            m_lineEnds = LineEnds::Cr;
        }
        if (m_lineEnds == LineEnds::Cr) {
            endLine(at - 1);
        }
        // In a file of LF line ends a lone CR is data.
    }
    if (m_trailsLeft > 0) {
        if (m_dialect.encoding->isTrail(c)) {
            --m_trailsLeft;
            return true;
        }
        m_trailsLeft = 0;
    }
    if (m_afterQuote) {
        m_afterQuote = false;
        if (c == static_cast<unsigned char>(m_dialect.quote)) {
            return true; // a doubled quote inside a quoted value
        }
        m_inQuotes = false;
        if (m_spanning) {
            if (c != static_cast<unsigned char>(m_dialect.separator) && c != '\r' && c != '\n') {
                goBack();
                return false;
            }
            m_spanning = false;
            m_recordSpans = true;
        }
    }
    if (m_inQuotes) {
        m_lineHasText = true;
        if (c == static_cast<unsigned char>(m_dialect.quote)) {
            m_afterQuote = true;
        } else if (c == '\n' || (c == '\r' && m_lineEnds == LineEnds::Cr)) {
            if (!m_spanning) {
                m_spanning = true;
                m_spanEnd = at;
                m_spanLines = 0;
            }
            if (++m_spanLines > kMaxSpanLines) {
                goBack();
                return false;
            }
        } else {
            m_trailsLeft = m_dialect.encoding->trailCount(c);
        }
        if (m_spanning && at - m_spanEnd > kMaxSpan) {
            goBack();
            return false;
        }
        return true;
    }
    if (c == '\r') {
        if (m_lineEnds == LineEnds::Cr) {
            endLine(at);
        } else {
            m_pendingCr = true;
        }
        return true;
    }
    if (c == '\n') {
        if (m_lineEnds == LineEnds::Unknown) {
            m_lineEnds = LineEnds::Lf;
        }
        endLine(at);
        return true;
    }
    if (c == 0x1A) {
        return true;
    }
    m_lineHasText = true;
    if (!m_quoting) {
        return true;
    }
    if (m_fieldStart && c == static_cast<unsigned char>(m_dialect.quote)) {
        m_inQuotes = true;
        m_fieldStart = false;
        return true;
    }
    m_fieldStart = false;
    if (c == static_cast<unsigned char>(m_dialect.separator)) {
        m_fieldStart = true;
        return true;
    }
    m_trailsLeft = m_dialect.encoding->trailCount(c);
    return true;
}

std::uint64_t RecordFinder::feed(const char* data, std::size_t size)
{
    const std::uint64_t base = m_offset;
    std::size_t i = 0;
    while (i < size) {
        // Runs of plain bytes are passed over in a tight loop; only the others go through take().
        if (!m_inQuotes && !m_pendingCr && m_trailsLeft == 0 && !m_afterQuote) {
            const std::size_t from = i;
            const Encoding& e = *m_dialect.encoding;
            while (i < size) {
                const auto b = static_cast<unsigned char>(data[i]);
                if (!m_special[b]) {
                    ++i;
                } else if (e.trails[b] == 1 && i + 1 < size && e.trail[static_cast<unsigned char>(data[i + 1])]) {
                    i += 2; // a double-byte character, taken whole as take() would
                } else {
                    break;
                }
            }
            if (i > from) {
                m_lineHasText = true;
                m_fieldStart = false;
            }
        } else if (m_inQuotes && !m_afterQuote && m_trailsLeft == 0 && !m_spanning) {
            const Encoding& e = *m_dialect.encoding;
            while (i < size) {
                const auto b = static_cast<unsigned char>(data[i]);
                if (!m_specialQuoted[b]) {
                    ++i;
                } else if (e.trails[b] == 1 && i + 1 < size && e.trail[static_cast<unsigned char>(data[i + 1])]) {
                    i += 2; // a double-byte character, taken whole as take() would
                } else {
                    break;
                }
            }
        }
        if (i == size) {
            break;
        }
        // The usual steps between fields, without the full look of take().
        const char c = data[i];
        if (m_quoting && !m_pendingCr && m_trailsLeft == 0) {
            if (m_inQuotes && !m_afterQuote && c == m_dialect.quote) {
                m_afterQuote = true;
                ++i;
                continue;
            }
            if (m_afterQuote && !m_spanning && c == m_dialect.separator) {
                m_afterQuote = false;
                m_inQuotes = false;
                m_fieldStart = true;
                ++i;
                continue;
            }
            if (!m_inQuotes && !m_afterQuote && (c == m_dialect.separator || (m_fieldStart && c == m_dialect.quote))) {
                m_lineHasText = true;
                m_inQuotes = c == m_dialect.quote;
                m_fieldStart = !m_inQuotes;
                ++i;
                continue;
            }
        }
        if (!take(static_cast<unsigned char>(data[i]), base + i)) {
            return m_offset;
        }
        ++i;
    }
    m_offset = base + size;
    return m_offset;
}

bool RecordFinder::finish()
{
    if (m_spanning && (m_inQuotes || m_trailsLeft > 0) && !m_afterQuote) {
        goBack(); // the quote never closes
        return false;
    }
    if (m_spanning) {
        m_recordSpans = true; // closed by the last byte of the file
    }
    if (m_pendingCr) {
        m_pendingCr = false;
        if (m_lineEnds != LineEnds::Lf) {
            endLine(m_offset - 1);
        }
    }
    if (m_lineHasText) {
        if (m_recordSpans) {
            spanning.emplace_back(starts.size(), m_offset);
        }
        starts.push_back(m_lineStart);
        m_lineHasText = false;
    }
    return true;
}

} // namespace textsplit
