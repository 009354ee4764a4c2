#include "common/CodePage.h"

#include "common/Cp932.h"

#include <array>
#include <bitset>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <iconv.h>

namespace codepage {

namespace {

const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);

/** One iconv conversion, opened once. */
class Iconv
{
public:
    Iconv(const char* to, const char* from)
        : m_cd(::iconv_open(to, from))
    {
    }
    ~Iconv()
    {
        if (m_cd != kNoConverter) {
            ::iconv_close(m_cd);
        }
    }
    Iconv(const Iconv&) = delete;
    Iconv& operator=(const Iconv&) = delete;

    bool isValid() const { return m_cd != kNoConverter; }

    /** Converts @p in, appending to @p out. A byte the source does not hold is handed to @p bad (which may append
     * a replacement) and skipped; @p bad returning false stops the conversion, and then the result is false. */
    template <typename Bad> bool convert(std::string_view in, std::string& out, Bad bad) const
    {
        char* inPtr = const_cast<char*>(in.data()); // iconv takes char** but does not write through it
        std::size_t inLeft = in.size();
        while (inLeft > 0) {
            char buffer[4096];
            char* outPtr = buffer;
            std::size_t outLeft = sizeof buffer;
            const std::size_t r = ::iconv(m_cd, &inPtr, &inLeft, &outPtr, &outLeft);
            out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
            if (r == static_cast<std::size_t>(-1) && errno != E2BIG) {
                const int error = errno;
                ::iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
                errno = error;
                if (!bad(out)) {
                    return false;
                }
                ++inPtr;
                --inLeft;
            }
        }
        ::iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        return true;
    }

private:
    iconv_t m_cd;
};

bool isTrailByte(unsigned char c)
{
    return c >= 0x40 && c <= 0xFC && c != 0x7F;
}

/** Which single bytes and which double-byte codes CP932 defines, asked of glibc once. */
struct Cp932Codes
{
    std::bitset<256> single;
    std::bitset<65536> pair;

    Cp932Codes()
    {
        const Iconv decoder("UTF-8", "CP932");
        const auto defined = [&decoder](std::string_view code) {
            std::string out;
            return decoder.isValid() && decoder.convert(code, out, [](std::string&) { return false; });
        };
        for (int c = 0; c < 256; ++c) {
            const char byte = static_cast<char>(c);
            single[static_cast<std::size_t>(c)] = !cp932::isLeadByte(static_cast<unsigned char>(c))
                && (c < 0x80 || defined(std::string_view(&byte, 1)));
        }
        for (int lead = 0x81; lead <= 0xFC; ++lead) {
            if (!cp932::isLeadByte(static_cast<unsigned char>(lead))) {
                continue;
            }
            for (int trail = 0x40; trail <= 0xFC; ++trail) {
                const char code[2] = {static_cast<char>(lead), static_cast<char>(trail)};
                if (isTrailByte(static_cast<unsigned char>(trail)) && defined(std::string_view(code, 2))) {
                    pair[static_cast<std::size_t>(lead << 8 | trail)] = true;
                }
            }
        }
    }
};

const Cp932Codes& cp932Codes()
{
    static const Cp932Codes codes;
    return codes;
}

/** Walks @p s as CP932; @p take gets each character (1 or 2 bytes) and whether CP932 defines it. A lead byte not
 * followed by a trail byte is one undefined character of its own. */
template <typename Emit> void walkCp932(std::string_view s, Emit take)
{
    const Cp932Codes& codes = cp932Codes();
    for (std::size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) {
            take(s.substr(i, 1), true);
            ++i;
        } else if (cp932::isLeadByte(c)) {
            const bool whole = i + 1 < s.size() && isTrailByte(static_cast<unsigned char>(s[i + 1]));
            if (whole) {
                take(s.substr(i, 2),
                     codes.pair[static_cast<std::size_t>(c << 8 | static_cast<unsigned char>(s[i + 1]))]);
                i += 2;
            } else {
                take(s.substr(i, 1), false);
                ++i;
            }
        } else {
            take(s.substr(i, 1), static_cast<bool>(codes.single[c]));
            ++i;
        }
    }
}

bool isAscii(std::string_view s)
{
    for (const char c : s) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            return false;
        }
    }
    return true;
}

std::string upperAscii(std::string_view s)
{
    std::string out;
    for (const char c : s) {
        if (!std::isspace(static_cast<unsigned char>(c))) {
            out += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        }
    }
    return out;
}

/** The iconv name when glibc knows it, else nullopt. */
std::optional<std::string> known(const std::string& name)
{
    const Iconv probe("UTF-8", name.c_str());
    if (!probe.isValid()) {
        return std::nullopt;
    }
    return name;
}

/** Windows code page numbers under their iconv names. */
std::optional<std::string> windowsCodePage(int number)
{
    switch (number) {
    case 932:
    case 943:
        return std::string("CP932");
    case 10000:
        return std::string("MACINTOSH");
    case 10007:
        return std::string("MAC-CYRILLIC");
    case 10029:
        return std::string("MAC-CENTRALEUROPE");
    case 65001:
        return std::string("UTF-8");
    case 20127:
        return std::string("ASCII");
    default:
        break;
    }
    if (number >= 28591 && number <= 28606) {
        return known("ISO-8859-" + std::to_string(number - 28590));
    }
    if (number > 0 && number < 2000) {
        return known("CP" + std::to_string(number));
    }
    return std::nullopt;
}

} // namespace

struct CodePage::Converters
{
    explicit Converters(const std::string& name)
        : toUtf8("UTF-8", name.c_str())
        , fromUtf8(name.c_str(), "UTF-8")
        , cp932ToUtf8("UTF-8", "CP932")
    {
        if (name != "CP932" && name != "UTF-8" && toUtf8.isValid()) {
            tableOfBytes();
        }
    }

    /** A code page of one byte a character is read through a table of its 128 upper bytes, asked of iconv once:
     * no converter call per value. Left empty for a code page of longer characters. */
    void tableOfBytes()
    {
        std::array<std::string, 128> utf8;
        for (int c = 0x80; c < 0x100; ++c) {
            const char byte = static_cast<char>(c);
            std::string out;
            bool whole = true;
            toUtf8.convert(std::string_view(&byte, 1), out, [&whole](std::string& o) {
                whole = whole && errno == EILSEQ; // an incomplete character: a code page of longer characters
                o += "\xEF\xBF\xBD";
                return true;
            });
            if (!whole) {
                return;
            }
            utf8[static_cast<std::size_t>(c - 0x80)] = std::move(out);
        }
        upperUtf8 = std::move(utf8);
        for (std::size_t i = 0; i < upperUtf8.size(); ++i) {
            upperCp932[i] = cp932::fromUtf8(upperUtf8[i]);
        }
        singleByte = true;
    }

    Iconv toUtf8;
    Iconv fromUtf8;
    Iconv cp932ToUtf8;
    bool singleByte = false;
    std::array<std::string, 128> upperUtf8; // bytes 0x80-0xFF
    std::array<std::string, 128> upperCp932;
};

CodePage::CodePage()
    : CodePage(std::string("CP932"))
{
}

CodePage::CodePage(const std::string& iconvName)
    : m_name(iconvName)
    , m_cv(std::make_unique<Converters>(iconvName))
{
}

CodePage::~CodePage() = default;
CodePage::CodePage(CodePage&&) noexcept = default;
CodePage& CodePage::operator=(CodePage&&) noexcept = default;

bool CodePage::isValid() const
{
    return m_cv && m_cv->toUtf8.isValid() && m_cv->fromUtf8.isValid() && m_cv->cp932ToUtf8.isValid();
}

bool CodePage::isCp932() const
{
    return m_name == "CP932";
}

const std::string& CodePage::name() const
{
    return m_name;
}

std::string CodePage::toCp932(std::string_view raw) const
{
    if (isCp932() || isAscii(raw)) {
        return sanitizeCp932(raw);
    }
    if (m_cv && m_cv->singleByte) {
        std::string out;
        out.reserve(raw.size() * 2);
        for (const char c : raw) {
            const auto b = static_cast<unsigned char>(c);
            if (b < 0x80) {
                out += c;
            } else {
                out += m_cv->upperCp932[b - 0x80u];
            }
        }
        return out;
    }
    return cp932::fromUtf8(toUtf8(raw));
}

std::string CodePage::toUtf8(std::string_view raw) const
{
    if (isAscii(raw)) {
        return std::string(raw);
    }
    std::string out;
    out.reserve(raw.size() * 2);
    if (m_cv && m_cv->singleByte) {
        for (const char c : raw) {
            const auto b = static_cast<unsigned char>(c);
            if (b < 0x80) {
                out += c;
            } else {
                out += m_cv->upperUtf8[b - 0x80u];
            }
        }
        return out;
    }
    if (!isValid()) {
        return cp932::fromUtf8(raw); // never reached for a code page that opened; keeps the output well-formed
    }
    m_cv->toUtf8.convert(raw, out, [](std::string& o) {
        o += "\xEF\xBF\xBD";
        return true;
    });
    return out;
}

std::optional<std::string> CodePage::fromCp932(std::string_view text, std::size_t capacity) const
{
    if (!isWellFormedCp932(text)) {
        return std::nullopt;
    }
    if (isCp932()) {
        return cp932::cut(text, capacity);
    }
    if (!isValid()) {
        return std::nullopt;
    }
    // Character by character, so that a cut never leaves half of one.
    std::string out;
    bool fits = true;
    const auto fail = [](std::string&) { return false; };
    bool ok = true;
    walkCp932(text, [&](std::string_view ch, bool) {
        if (!ok) {
            return;
        }
        std::string utf8;
        std::string encoded;
        if (!m_cv->cp932ToUtf8.convert(ch, utf8, fail) || !m_cv->fromUtf8.convert(utf8, encoded, fail)) {
            ok = false;
            return;
        }
        if (fits && out.size() + encoded.size() <= capacity) {
            out += encoded;
        } else {
            fits = false; // the rest is cut, but must still be checked: a mark is refused, not half written
        }
    });
    if (!ok) {
        return std::nullopt;
    }
    return out;
}

std::optional<std::string> dbaseLanguageDriver(unsigned char ldid)
{
    // The language drivers' DOS and Windows code pages, as dBASE and FoxPro number them.
    static const std::array<std::pair<unsigned char, int>, 64> kDrivers{{
        {0x01, 437},  {0x02, 850},   {0x03, 1252},  {0x04, 10000}, {0x08, 865},  {0x09, 437},  {0x0A, 850},
        {0x0B, 437},  {0x0D, 437},   {0x0E, 850},   {0x0F, 437},   {0x10, 850},  {0x11, 437},  {0x12, 850},
        {0x13, 932},  {0x14, 850},   {0x15, 437},   {0x16, 850},   {0x17, 865},  {0x18, 437},  {0x19, 437},
        {0x1A, 850},  {0x1B, 437},   {0x1C, 863},   {0x1D, 850},   {0x1F, 852},  {0x22, 852},  {0x23, 852},
        {0x24, 860},  {0x25, 850},   {0x26, 866},   {0x37, 850},   {0x40, 852},  {0x4D, 936},  {0x4E, 949},
        {0x4F, 950},  {0x50, 874},   {0x57, 1252},  {0x58, 1252},  {0x59, 1252}, {0x64, 852},  {0x65, 866},
        {0x66, 865},  {0x67, 861},   {0x6A, 737},   {0x6B, 857},   {0x6C, 863},  {0x78, 950},  {0x79, 949},
        {0x7A, 936},  {0x7B, 932},   {0x7C, 874},   {0x7D, 1255},  {0x7E, 1256}, {0x86, 737},  {0x87, 852},
        {0x88, 857},  {0x96, 10007}, {0x97, 10029}, {0xC8, 1250},  {0xC9, 1251}, {0xCA, 1254}, {0xCB, 1253},
        {0xCC, 1257},
    }};
    if (ldid == 0) {
        return std::string();
    }
    for (const auto& entry : kDrivers) {
        if (entry.first == ldid) {
            return windowsCodePage(entry.second);
        }
    }
    return std::nullopt;
}

std::optional<std::string> cpgCodePage(std::string_view content)
{
    std::string name = upperAscii(content);
    if (name.empty()) {
        return std::string();
    }
    if (name == "UTF-8" || name == "UTF8") {
        return std::string("UTF-8");
    }
    if (name == "SJIS" || name == "SHIFT_JIS" || name == "SHIFT-JIS" || name == "CP932" || name == "MS932"
        || name == "WINDOWS-31J") {
        return std::string("CP932");
    }
    if (name.rfind("LDID/", 0) == 0) {
        const std::string digits = name.substr(5);
        if (!digits.empty() && digits.size() <= 3 && digits.find_first_not_of("0123456789") == std::string::npos) {
            const int ldid = std::stoi(digits);
            if (ldid > 0 && ldid < 256) {
                return dbaseLanguageDriver(static_cast<unsigned char>(ldid));
            }
        }
        return std::nullopt;
    }
    for (const char* prefix : {"ANSI", "OEM", "CP", "WINDOWS-"}) {
        const std::size_t n = std::strlen(prefix);
        if (name.size() > n && name.compare(0, n, prefix) == 0
            && name.find_first_not_of("0123456789", n) == std::string::npos && name.size() - n <= 5) {
            name = name.substr(n);
            break;
        }
    }
    if (name.find_first_not_of("0123456789") == std::string::npos && name.size() <= 5) {
        if (name.size() >= 5 && name.compare(0, 4, "8859") == 0) {
            return known("ISO-8859-" + name.substr(4));
        }
        return windowsCodePage(std::stoi(name));
    }
    if (name.rfind("ISO-8859-", 0) == 0 || name.rfind("ISO8859-", 0) == 0 || name.rfind("ISO_8859-", 0) == 0) {
        return known("ISO-8859-" + name.substr(name.rfind('-') + 1));
    }
    if (name == "LATIN1") {
        return std::string("ISO-8859-1");
    }
    if (name == "BIG5" || name == "GBK" || name == "GB2312" || name == "EUC-KR" || name == "KOI8-R"
        || name == "EUC-JP") {
        return known(name);
    }
    return std::nullopt;
}

std::optional<std::string> paradoxCodePage(int number)
{
    if (number == 0) {
        return std::string();
    }
    return windowsCodePage(number);
}

bool isWellFormedCp932(std::string_view s)
{
    bool good = true;
    if (isAscii(s)) {
        return true;
    }
    walkCp932(s, [&good](std::string_view, bool defined) { good = good && defined; });
    return good;
}

std::string sanitizeCp932(std::string_view s)
{
    if (isWellFormedCp932(s)) {
        return std::string(s);
    }
    std::string out;
    out.reserve(s.size());
    walkCp932(s, [&out](std::string_view ch, bool defined) {
        if (defined) {
            out += ch;
        } else {
            out += '?';
        }
    });
    return out;
}

} // namespace codepage
