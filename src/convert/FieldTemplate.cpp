#include "convert/FieldTemplate.h"

#include "common/Ascii.h"
#include "common/CNumber.h"
#include "common/Cp932.h"
#include "convert/BandTable.h"
#include "convert/DateTime.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <type_traits>
#include <utility>

namespace {

// A value that does not go straight into a text member is held in a buffer of this many bytes.
constexpr std::size_t kValueCapacity = 127;
// The code buffer holds the '%' and at most 15 shaping characters; only the first few ever matter.
constexpr std::size_t kCodeCapacity = 16;

inline unsigned char byteAt(std::string_view s, std::size_t i)
{
    return static_cast<unsigned char>(s[i]);
}

using ascii::hexValue;
using ascii::isDigit;

// Bytes of the character that starts at s[i]: a lead byte with a byte after it makes two.
inline std::size_t charLength(std::string_view s, std::size_t i)
{
    return (cp932::isLeadByte(byteAt(s, i)) && i + 1 < s.size()) ? 2 : 1;
}

// What an escape or a delimiter stands for: at most a backslash and one double-byte character.
struct Bytes
{
    char data[3] = {};
    std::size_t size = 0;

    std::string_view view() const { return {data, size}; }
    void set(std::string_view s)
    {
        size = s.size() < sizeof data ? s.size() : sizeof data;
        std::memcpy(data, s.data(), size);
    }
};

// Decodes the escape whose backslash is at templ[i] into @p out; returns the template index after it.
std::size_t decodeEscape(std::string_view templ, std::size_t i, Bytes& out)
{
    ++i;
    if (i >= templ.size()) {
        // A backslash that ends the template stands for itself.
        out.set("\\");
        return i;
    }
    const char c = templ[i];
    if (c == '\\') {
        out.set("\\");
        return i + 1;
    }
    if (c == 'x') {
        // Up to two hexadecimal digits; digits cut off by the template's end (or by a character that is
        // no digit) are absent, so "\x4" at the end is the byte 4 and a bare "\x" the byte 0.
        ++i;
        unsigned value = 0;
        for (int n = 0; n < 2 && i < templ.size() && hexValue(templ[i]) >= 0; ++n, ++i) {
            value = value * 16 + static_cast<unsigned>(hexValue(templ[i]));
        }
        const char byte = static_cast<char>(value);
        out.set(std::string_view(&byte, 1));
        return i;
    }
    if (c >= 'A' && c <= '_') {
        const char control = static_cast<char>(c - 64);
        out.set(std::string_view(&control, 1));
        return i + 1;
    }
    // Any other character stands for the backslash and itself (a double-byte character whole).
    const std::size_t len = charLength(templ, i);
    out.data[0] = '\\';
    std::memcpy(out.data + 1, templ.data() + i, len);
    out.size = 1 + len;
    return i + len;
}

inline bool matchesAt(std::string_view text, std::size_t pos, std::string_view bytes)
{
    return text.size() - pos >= bytes.size() && std::memcmp(text.data() + pos, bytes.data(), bytes.size()) == 0;
}

// Index of the first character at or after @p pos that begins with @p delim, or the text's end. The search
// steps over double-byte characters whole, so a trail byte is never taken for the delimiter.
std::size_t findDelimiter(std::string_view text, std::size_t pos, std::string_view delim)
{
    const auto first = static_cast<unsigned char>(delim[0]);
    if (delim.size() == 1 && first < 0x40) {
        // No trail byte lies below 0x40, so a plain byte search cannot land inside a character.
        const void* hit = std::memchr(text.data() + pos, first, text.size() - pos);
        return hit ? static_cast<std::size_t>(static_cast<const char*>(hit) - text.data()) : text.size();
    }
    while (pos < text.size()) {
        if (byteAt(text, pos) == first && matchesAt(text, pos, delim)) {
            return pos;
        }
        pos += charLength(text, pos);
    }
    return text.size();
}

// A value that begins with a blank loses its leading blanks and tabs; every value loses its trailing ones.
// No trail byte is a blank or a tab, so trimming never touches a double-byte character.
std::string_view trimValue(std::string_view v)
{
    if (!v.empty() && v.front() == ' ') {
        while (!v.empty() && ascii::isBlank(v.front())) {
            v.remove_prefix(1);
        }
    }
    while (!v.empty() && ascii::isBlank(v.back())) {
        v.remove_suffix(1);
    }
    return v;
}

// Every character counts as a digit worth its low four bits, so "1a" is 11.
std::uint32_t digitValue(std::string_view v)
{
    std::uint32_t value = 0;
    for (const char c : v) {
        value = value * 10u + (static_cast<unsigned char>(c) & 0x0Fu);
    }
    return value;
}

// Copies @p value into a text member of @p capacity bytes (its terminating NUL not counted), cut to that capacity
// without leaving half a double-byte character.
void storeText(char* dest, std::size_t capacity, std::string_view value)
{
    const std::size_t n = cp932::cutLength(value, capacity);
    if (n > 0) {
        std::memcpy(dest, value.data(), n);
    }
    dest[n] = '\0';
}

template <std::size_t N> void storeText(char (&dest)[N], std::string_view value)
{
    storeText(dest, N - 1, value);
}

// The value a code takes: cut to the destination's capacity (never half a character), then trimmed.
inline std::string_view shapeValue(std::string_view taken, std::size_t capacity)
{
    return trimValue(taken.substr(0, cp932::cutLength(taken, capacity)));
}

// ---- the codes ----

enum class Take : std::uint8_t
{
    Other, // not a code letter: a shaping character
    Nothing, // the code just ends
    Value, // a value taken up to the delimiter or by width
    Columns, // the 7 + 3 call-sign columns of 'k'
};

// What a code does with its value.
enum class Store : std::uint8_t
{
    Skip, // the value is passed over
    Year,
    Month,
    MonthPacked, // a month name with its blanks dropped
    Day,
    Hour,
    Minute,
    Time, // HHMM as one number, a final 'Z' meaning UTC
    DateDigits, // YYMMDD
    DateDots, // Y.M.D
    MonthDayDots, // M.D
    Text, // into a text member of the record
    Band, // a frequency as its band, into Freq
    SendMark,
    RecvMark,
    Envelope,
};

// A text member of CardRecord, with its capacity taken from the member's size.
struct TextMember
{
    char* (*of)(CardRecord&) = nullptr;
    std::size_t capacity = kValueCapacity;
};

template <auto M> constexpr TextMember member()
{
    using Array = std::remove_reference_t<decltype(std::declval<CardRecord&>().*M)>;
    return {[](CardRecord& r) -> char* { return r.*M; }, std::extent_v<Array> - 1};
}

struct CodeLetter
{
    char letter;
    Take take;
    Store store;
    TextMember text; // for Store::Text, and the capacity of Store::Band
};

// Every code letter of a field template: how its value is taken and where it goes. A value is cut to the
// capacity of the member it goes into; values that are read as numbers or passed over use the value buffer.
constexpr CodeLetter kCodeLetters[] = {
    {'y', Take::Value, Store::Year, {}},
    {'m', Take::Value, Store::Month, {}},
    {'o', Take::Value, Store::MonthPacked, {}},
    {'d', Take::Value, Store::Day, {}},
    {'h', Take::Value, Store::Hour, {}},
    {'i', Take::Value, Store::Minute, {}},
    {'B', Take::Value, Store::Time, {}},
    {'g', Take::Value, Store::Time, {}},
    {'f', Take::Value, Store::DateDigits, {}},
    {'T', Take::Value, Store::DateDots, {}},
    {'F', Take::Value, Store::MonthDayDots, {}},
    {'C', Take::Value, Store::Text, member<&CardRecord::Call>()},
    {'U', Take::Value, Store::Text, member<&CardRecord::Rst>()},
    {'b', Take::Value, Store::Text, member<&CardRecord::Rst>()},
    {'l', Take::Value, Store::Text, member<&CardRecord::Rst>()},
    {'A', Take::Value, Store::Text, member<&CardRecord::Freq>()},
    {'a', Take::Value, Store::Text, member<&CardRecord::Freq>()},
    {'p', Take::Value, Store::Text, member<&CardRecord::Freq>()},
    {'q', Take::Value, Store::Text, member<&CardRecord::Freq>()},
    {'x', Take::Value, Store::Band, {}},
    {'O', Take::Value, Store::Text, member<&CardRecord::Mode>()},
    {'P', Take::Value, Store::Text, member<&CardRecord::Power>()},
    {'N', Take::Value, Store::Text, member<&CardRecord::Name>()},
    {'Q', Take::Value, Store::Text, member<&CardRecord::Qth>()},
    {'L', Take::Value, Store::Text, member<&CardRecord::Qsl>()},
    {'S', Take::Value, Store::SendMark, {}},
    {'R', Take::Value, Store::RecvMark, {}},
    {'V', Take::Value, Store::Envelope, {}},
    {'W', Take::Value, Store::Skip, {}},
    {'Y', Take::Value, Store::Skip, {}},
    {'w', Take::Value, Store::Skip, {}},
    {'z', Take::Value, Store::Skip, {}},
    {'s', Take::Value, Store::Skip, {}},
    {'t', Take::Value, Store::Skip, {}},
    {'u', Take::Value, Store::Skip, {}},
    {'v', Take::Value, Store::Skip, {}},
    {'D', Take::Nothing, Store::Skip, {}},
    {'E', Take::Nothing, Store::Skip, {}},
    {'K', Take::Nothing, Store::Skip, {}},
    {'M', Take::Nothing, Store::Skip, {}},
    {'c', Take::Nothing, Store::Skip, {}},
    {'n', Take::Nothing, Store::Skip, {}},
    {'k', Take::Columns, Store::Skip, {}},
};

// The table's entry for each byte, looked up once per code.
struct CodeIndex
{
    std::int8_t entry[128];
};

constexpr CodeIndex makeCodeIndex()
{
    CodeIndex index{};
    for (std::int8_t& e : index.entry) {
        e = -1;
    }
    for (std::size_t i = 0; i < std::size(kCodeLetters); ++i) {
        index.entry[static_cast<unsigned char>(kCodeLetters[i].letter)] = static_cast<std::int8_t>(i);
    }
    return index;
}

constexpr CodeIndex kCodeIndex = makeCodeIndex();

const CodeLetter* codeLetter(char letter)
{
    const auto byte = static_cast<unsigned char>(letter);
    if (byte >= 128 || kCodeIndex.entry[byte] < 0) {
        return nullptr;
    }
    return &kCodeLetters[kCodeIndex.entry[byte]];
}

// The fixed width of a code: one or two digits right after the '%' or after a '-' that follows it.
int widthOf(const char* code, std::size_t len)
{
    std::size_t i = 1;
    if (i < len && code[i] == '-') {
        ++i;
    }
    if (i >= len || !isDigit(code[i])) {
        return -1;
    }
    int width = code[i] - '0';
    if (i + 1 < len && isDigit(code[i + 1])) {
        width = width * 10 + (code[i + 1] - '0');
    }
    return width;
}

// Stores a value under its code letter. False stops the walk (a pattern code without its numbers).
bool storeValue(const CodeLetter& code, std::string_view v, CardRecord& r, int& flag)
{
    switch (code.store) {
    case Store::Skip:
        return true;
    case Store::Year:
        r.Year = static_cast<std::uint8_t>(digitValue(v) % 100u);
        return true;
    case Store::Month:
        r.Month = static_cast<std::uint8_t>(ReadMonth(v));
        return true;
    case Store::MonthPacked: {
        char packed[kValueCapacity];
        std::size_t n = 0;
        for (const char c : v) {
            if (c != ' ') {
                packed[n++] = c;
            }
        }
        r.Month = static_cast<std::uint8_t>(ReadMonth(std::string_view(packed, n)));
        return true;
    }
    case Store::Day:
        r.Day = static_cast<std::uint8_t>(digitValue(v));
        return true;
    case Store::Hour:
        r.Hour = static_cast<std::uint8_t>(digitValue(v));
        return true;
    case Store::Minute:
        r.Minute = static_cast<std::uint8_t>(digitValue(v));
        return true;
    case Store::Time: {
        std::uint32_t t = 0;
        if (!cnum::readUnsigned(v, t)) {
            return false;
        }
        r.Hour = static_cast<std::uint8_t>(t / 100u);
        r.Minute = static_cast<std::uint8_t>(t % 100u);
        if (v.back() == 'Z' || v.back() == 'z') {
            flag = 1;
        }
        return true;
    }
    case Store::DateDigits: {
        std::uint32_t n[3] = {};
        if (cnum::scanUnsigned(v, "%2u%2u%2u", n, 3) < 3) {
            return false;
        }
        r.Year = static_cast<std::uint8_t>(n[0]);
        r.Month = static_cast<std::uint8_t>(n[1]);
        r.Day = static_cast<std::uint8_t>(n[2]);
        return true;
    }
    case Store::DateDots: {
        std::uint32_t n[3] = {};
        if (cnum::scanUnsigned(v, "%u.%u.%u", n, 3) < 3) {
            return false;
        }
        r.Year = static_cast<std::uint8_t>(n[0]);
        r.Month = static_cast<std::uint8_t>(n[1]);
        r.Day = static_cast<std::uint8_t>(n[2]);
        return true;
    }
    case Store::MonthDayDots: {
        std::uint32_t n[2] = {};
        if (cnum::scanUnsigned(v, "%u.%u", n, 2) < 2) {
            return false;
        }
        r.Month = static_cast<std::uint8_t>(n[0]);
        r.Day = static_cast<std::uint8_t>(n[1]);
        return true;
    }
    case Store::Text:
        storeText(code.text.of(r), code.text.capacity, v);
        return true;
    case Store::Band:
        storeText(r.Freq, BandTable(v));
        return true;
    case Store::SendMark:
        r.SendChar = v.empty() ? '\0' : v.front();
        return true;
    case Store::RecvMark:
        r.RecvChar = v.empty() ? '\0' : v.front();
        return true;
    case Store::Envelope:
        r.Env = digitValue(v);
        return true;
    }
    return true;
}

// Call sign in 7 columns and a portable suffix in the 3 after them; blanks in either are dropped.
std::size_t takeCallColumns(std::string_view text, std::size_t pos, CardRecord& r)
{
    std::string_view rest = text.substr(pos);
    const std::string_view call = rest.substr(0, cp932::cutLength(rest, 7));
    rest.remove_prefix(call.size());
    const std::string_view suffix = rest.substr(0, cp932::cutLength(rest, 3));

    char buf[7 + 1 + 3 + 1];
    std::size_t n = 0;
    for (const char c : call) {
        if (c != ' ') {
            buf[n++] = c;
        }
    }
    const std::size_t slash = n;
    buf[n++] = '/';
    for (const char c : suffix) {
        if (c != ' ') {
            buf[n++] = c;
        }
    }
    if (n == slash + 1) {
        n = slash;
    }
    storeText(r.Call, std::string_view(buf, n));
    return pos + call.size() + suffix.size();
}

} // namespace

int FieldTemplate(int flag, CardRecord& record, std::string_view templ, std::string_view text)
{
    std::size_t t = 0; // template position
    std::size_t x = 0; // text position, only ever moving forward
    bool inCode = false;
    char code[kCodeCapacity];
    std::size_t codeLen = 0;

    while (t < templ.size() && x < text.size()) {
        const char c = templ[t];

        if (c == '\\') {
            Bytes bytes;
            t = decodeEscape(templ, t, bytes);
            if (!matchesAt(text, x, bytes.view())) {
                return flag;
            }
            x += bytes.size;
            continue;
        }

        if (c == '%') {
            if (!inCode) {
                inCode = true;
                code[0] = '%';
                codeLen = 1;
            } else {
                // "%%" matches one percent sign.
                if (text[x] != '%') {
                    return flag;
                }
                ++x;
                inCode = false;
            }
            ++t;
            continue;
        }

        const std::size_t len = charLength(templ, t);
        if (!inCode) {
            if (!matchesAt(text, x, templ.substr(t, len))) {
                return flag;
            }
            x += len;
            t += len;
            continue;
        }

        const CodeLetter* letter = len == 1 ? codeLetter(c) : nullptr;
        const Take take = letter ? letter->take : Take::Other;
        if (take == Take::Other) {
            for (std::size_t k = 0; k < len && codeLen < kCodeCapacity; ++k) {
                code[codeLen++] = templ[t + k];
            }
            t += len;
            continue;
        }

        inCode = false;
        ++t;
        if (take == Take::Nothing) {
            continue;
        }
        if (take == Take::Columns) {
            x = takeCallColumns(text, x, record);
            continue;
        }

        if (c == 'o' && t < templ.size()) {
            // The character after 'o' belongs to the code and is not matched.
            t += charLength(templ, t);
        }

        // The delimiter: the template's next character, or what the escape there stands for.
        enum class Delim
        {
            End,
            Percent,
            Escape,
            Char
        } kind
            = Delim::End;
        Bytes delim;
        if (t >= templ.size()) {
            kind = Delim::End;
        } else if (templ[t] == '%') {
            kind = Delim::Percent;
            delim.set("%");
        } else if (templ[t] == '\\') {
            kind = Delim::Escape;
            decodeEscape(templ, t, delim);
        } else {
            kind = Delim::Char;
            delim.set(templ.substr(t, charLength(templ, t)));
        }

        const int width = widthOf(code, codeLen);
        std::size_t stop = text.size();
        std::size_t next = stop;
        if (width >= 0) {
            stop = x + cp932::cutLength(text.substr(x), static_cast<std::size_t>(width));
            next = kind == Delim::Char ? findDelimiter(text, stop, delim.view()) : stop;
        } else {
            if (kind != Delim::End) {
                stop = findDelimiter(text, x, delim.view());
            }
            next = stop;
        }

        const std::string_view value = shapeValue(text.substr(x, stop - x), letter->text.capacity);
        x = next;
        if (!storeValue(*letter, value, record, flag)) {
            return flag;
        }
    }
    return flag;
}
