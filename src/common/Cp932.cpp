#include "common/Cp932.h"

#include <QStringDecoder>
#include <QStringEncoder>
#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <iconv.h>
#include <memory>

namespace cp932 {

std::size_t cutLength(std::string_view s, std::size_t capacity)
{
    if (s.size() <= capacity) {
        // Still drop a lone lead byte at the very end only when the text itself ends in one: a text that
        // fits is kept as it stands.
        return s.size();
    }
    std::size_t i = 0;
    while (i < capacity) {
        const auto c = static_cast<unsigned char>(s[i]);
        const std::size_t width = isLeadByte(c) ? 2 : 1;
        if (i + width > capacity) {
            break;
        }
        i += width;
    }
    return i;
}

std::string cut(std::string_view s, std::size_t capacity)
{
    return std::string(s.substr(0, cutLength(s, capacity)));
}

std::size_t copyTo(char* dest, std::size_t size, std::string_view s)
{
    if (size == 0) {
        return 0;
    }
    const std::size_t n = cutLength(s, size - 1);
    if (n > 0) {
        std::memcpy(dest, s.data(), n);
    }
    dest[n] = '\0';
    return n;
}

std::string toUpperAscii(std::string_view s)
{
    std::string out(s);
    for (std::size_t i = 0; i < out.size(); ++i) {
        const auto c = static_cast<unsigned char>(out[i]);
        if (isLeadByte(c)) {
            ++i;
        } else if (c >= 'a' && c <= 'z') {
            out[i] = static_cast<char>(c - 'a' + 'A');
        }
    }
    return out;
}

void toUpperAsciiInPlace(char* s)
{
    for (; *s; ++s) {
        const auto c = static_cast<unsigned char>(*s);
        if (isLeadByte(c)) {
            if (!s[1]) {
                break;
            }
            ++s;
        } else if (c >= 'a' && c <= 'z') {
            *s = static_cast<char>(c - 'a' + 'A');
        }
    }
}

int compareNoCase(std::string_view a, std::string_view b)
{
    const std::size_t n = a.size() < b.size() ? a.size() : b.size();
    bool trail = false;
    for (std::size_t i = 0; i < n; ++i) {
        auto ca = static_cast<unsigned char>(a[i]);
        auto cb = static_cast<unsigned char>(b[i]);
        if (!trail) {
            if (ca >= 'a' && ca <= 'z') {
                ca = static_cast<unsigned char>(ca - 'a' + 'A');
            }
            if (cb >= 'a' && cb <= 'z') {
                cb = static_cast<unsigned char>(cb - 'a' + 'A');
            }
        }
        if (ca != cb) {
            return ca < cb ? -1 : 1;
        }
        trail = !trail && isLeadByte(ca);
    }
    if (a.size() == b.size()) {
        return 0;
    }
    return a.size() < b.size() ? -1 : 1;
}

QString toUnicode(std::string_view s)
{
    // Opened once per thread: finding a converter by its name costs more than most texts' decoding.
    static thread_local QStringDecoder decoder("Shift_JIS");
    if (!decoder.isValid()) {
        return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size()));
    }
    decoder.resetState();
    QString text = decoder.decode(QByteArrayView(s.data(), static_cast<qsizetype>(s.size())));
    // Some converters read 0x1A, 0x1C and 0x7F as IBM's control codes (U+001C, U+007F, U+001A); CP932 keeps every
    // ASCII byte as it is. Each of the three comes from one byte only, so the swap is undone where it happens.
    static const bool swapped = [] {
        QStringDecoder probe("Shift_JIS");
        return probe.isValid() && probe.decode(QByteArrayView("\x1A\x1C\x7F", 3)) == QStringLiteral("\x1C\x7F\x1A");
    }();
    if (swapped) {
        for (QChar& c : text) {
            const char16_t u = c.unicode();
            c = u == 0x1C ? QChar(0x1A) : u == 0x7F ? QChar(0x1C) : u == 0x1A ? QChar(0x7F) : c;
        }
    }
    return text;
}

std::string fromUnicode(const QString& s)
{
    const QByteArray utf8 = s.toUtf8();
    return fromUtf8(std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())));
}

namespace {

/** Length of the well-formed UTF-8 character at the start of @p s, 0 when there is none. */
std::size_t utf8Length(std::string_view s)
{
    const auto at = [&s](std::size_t i) { return static_cast<unsigned char>(s[i]); };
    const unsigned char c = at(0);
    if (c < 0x80) {
        return 1;
    }
    std::size_t n = 0;
    unsigned char low = 0x80, high = 0xBF; // range of the second byte
    if (c >= 0xC2 && c <= 0xDF) {
        n = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        n = 3;
        low = c == 0xE0 ? 0xA0 : 0x80; // no overlong forms
        high = c == 0xED ? 0x9F : 0xBF; // no surrogates
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4;
        low = c == 0xF0 ? 0x90 : 0x80;
        high = c == 0xF4 ? 0x8F : 0xBF; // nothing past U+10FFFF
    } else {
        return 0;
    }
    if (s.size() < n || at(1) < low || at(1) > high) {
        return 0;
    }
    for (std::size_t i = 2; i < n; ++i) {
        if (at(i) < 0x80 || at(i) > 0xBF) {
            return 0;
        }
    }
    return n;
}

/** glibc's UTF-8 to CP932 conversion, opened once per thread. */
class Utf8ToCp932
{
public:
    Utf8ToCp932()
        : m_cd(::iconv_open("CP932", "UTF-8"))
    {
    }
    ~Utf8ToCp932()
    {
        if (m_cd != reinterpret_cast<iconv_t>(-1)) {
            ::iconv_close(m_cd);
        }
    }
    Utf8ToCp932(const Utf8ToCp932&) = delete;
    Utf8ToCp932& operator=(const Utf8ToCp932&) = delete;

    /** Writes the CP932 form of @p one, a well-formed non-ASCII UTF-8 character, at @p to (room for its own
     * length: CP932 never takes more) and returns its length; a character CP932 cannot hold becomes '?'. No character
     * of the run becomes an ASCII byte (the converter gives '\\' for U+00A5 and
     * '~' for U+203E): such a byte could be taken for a separator or a quote, so it is '?' too. The conversion
     * holds no state between characters, so each character of the basic plane is converted once per thread and
     * looked up after that (a call of the converter per value cost more than the values' own reading). */
    std::size_t convert(std::string_view one, char* to)
    {
        const std::uint32_t code = codePoint(one);
        if (code >= 0x10000) {
            return put(convertOne(one), to);
        }
        if (!m_known) {
            m_known = std::make_unique<std::array<std::uint32_t, 0x10000>>();
            m_known->fill(0);
        }
        std::uint32_t& known = (*m_known)[code];
        if (known == 0) {
            const std::string bytes = convertOne(one);
            // The number of bytes in the top byte (3 for none: the converter drops U+FEFF), the bytes below.
            known = bytes.empty() ? 3u << 24
                : bytes.size() == 2
                ? (2u << 24) | (static_cast<unsigned char>(bytes[0]) << 8) | static_cast<unsigned char>(bytes[1])
                : (1u << 24) | static_cast<unsigned char>(bytes.size() == 1 ? bytes[0] : '?');
        }
        switch (known >> 24) {
        case 2:
            to[0] = static_cast<char>((known >> 8) & 0xFF);
            to[1] = static_cast<char>(known & 0xFF);
            return 2;
        case 1:
            to[0] = static_cast<char>(known & 0xFF);
            return 1;
        default:
            return 0;
        }
    }

private:
    /** The code point of @p one, a well-formed UTF-8 character. */
    static std::uint32_t codePoint(std::string_view one)
    {
        const auto at
            = [&one](std::size_t i) { return static_cast<std::uint32_t>(static_cast<unsigned char>(one[i])); };
        switch (one.size()) {
        case 2:
            return ((at(0) & 0x1F) << 6) | (at(1) & 0x3F);
        case 3:
            return ((at(0) & 0x0F) << 12) | ((at(1) & 0x3F) << 6) | (at(2) & 0x3F);
        case 4:
            return ((at(0) & 0x07) << 18) | ((at(1) & 0x3F) << 12) | ((at(2) & 0x3F) << 6) | (at(3) & 0x3F);
        default:
            return 0x10000; // not a character of the basic plane: converted each time
        }
    }

    /** @p bytes (one CP932 character, at most two bytes: else '?') written at @p to; how many. */
    static std::size_t put(const std::string& bytes, char* to)
    {
        if (bytes.size() > 2) {
            *to = '?';
            return 1;
        }
        std::copy(bytes.begin(), bytes.end(), to);
        return bytes.size();
    }

    /** The CP932 form of one character: '?' where it has none or where it would be an ASCII byte. */
    std::string convertOne(std::string_view one)
    {
        std::string bytes;
        convertRun(one, bytes);
        return bytes.size() == 1 && static_cast<unsigned char>(bytes[0]) < 0x80 ? std::string("?") : bytes;
    }

    void convertRun(std::string_view run, std::string& out)
    {
        char* inPtr = const_cast<char*>(run.data()); // iconv takes char** but does not write through it
        std::size_t inLeft = run.size();
        while (inLeft > 0) {
            if (m_cd == reinterpret_cast<iconv_t>(-1)) {
                out.append(static_cast<std::size_t>(
                               std::count_if(inPtr, inPtr + inLeft, [](char c) { return (c & 0xC0) != 0x80; })),
                           '?');
                return;
            }
            char buffer[1024];
            char* outPtr = buffer;
            std::size_t outLeft = sizeof buffer;
            const std::size_t r = ::iconv(m_cd, &inPtr, &inLeft, &outPtr, &outLeft);
            out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
            if (r == static_cast<std::size_t>(-1) && errno != E2BIG) {
                // The character at inPtr has no CP932 form (the run is well-formed, so nothing else stops it).
                ::iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
                const std::size_t n = std::max<std::size_t>(1, utf8Length(std::string_view(inPtr, inLeft)));
                out.push_back('?');
                inPtr += std::min(n, inLeft);
                inLeft -= std::min(n, inLeft);
            }
        }
    }

    iconv_t m_cd;
    std::unique_ptr<std::array<std::uint32_t, 0x10000>> m_known; // a character's CP932 bytes, 0 until converted
};

} // namespace

bool isValidUtf8(std::string_view s)
{
    std::size_t i = 0;
    while (i < s.size()) {
        if (static_cast<unsigned char>(s[i]) < 0x80) {
            ++i;
            continue;
        }
        const std::size_t n = utf8Length(s.substr(i));
        if (n == 0) {
            return false;
        }
        i += n;
    }
    return true;
}

std::string fromUtf8(std::string_view s)
{
    std::string out;
    out.reserve(s.size());
    appendFromUtf8(s, out);
    return out;
}

void appendFromUtf8(std::string_view s, std::string& out)
{
    static thread_local Utf8ToCp932 converter;
    // No character takes more bytes in CP932 than in UTF-8: the room is made once, what is left over cut off.
    const std::size_t base = out.size();
    out.resize(base + s.size());
    char* const begin = out.data() + base;
    char* to = begin;
    std::size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) {
            *to++ = static_cast<char>(c);
            ++i;
            continue;
        }
        const std::size_t n = utf8Length(s.substr(i));
        if (n == 0) {
            *to++ = '?'; // a byte that is no part of a well-formed character
            ++i;
            continue;
        }
        to += converter.convert(s.substr(i, n), to);
        i += n;
    }
    out.resize(base + static_cast<std::size_t>(to - begin));
}

std::string toUtf8(std::string_view s)
{
    return toUnicode(s).toStdString();
}

} // namespace cp932
