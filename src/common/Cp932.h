#ifndef KELBO_COMMON_CP932_H
#define KELBO_COMMON_CP932_H

#include <QString>
#include <cstddef>
#include <string>
#include <string_view>

/** @brief CP932 (Shift-JIS as Windows writes it) byte-string helpers. Every text KELBO owns is CP932 bytes. */
namespace cp932 {

/** @brief True for a lead byte of a double-byte character (0x81-0x9F, 0xE0-0xFC). */
inline bool isLeadByte(unsigned char c)
{
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

/** @brief Length in bytes of the longest prefix of @p s that holds at most @p capacity bytes and does not end
 * in half a double-byte character. */
std::size_t cutLength(std::string_view s, std::size_t capacity);

/** @brief @p s cut to at most @p capacity bytes without leaving half a double-byte character. */
std::string cut(std::string_view s, std::size_t capacity);

/** @brief Copies @p s into a zero-terminated buffer of @p size bytes (capacity size-1), never splitting a
 * double-byte character; returns the number of bytes copied. */
std::size_t copyTo(char* dest, std::size_t size, std::string_view s);

/** @brief ASCII-only upper-casing; the trail byte of a double-byte character is never touched. */
std::string toUpperAscii(std::string_view s);
void toUpperAsciiInPlace(char* s);

/** @brief ASCII case-blind comparison (<0, 0, >0); double-byte characters compare byte by byte. */
int compareNoCase(std::string_view a, std::string_view b);
inline bool equalsNoCase(std::string_view a, std::string_view b)
{
    return compareNoCase(a, b) == 0;
}

/** @brief Decodes CP932 bytes for display; undecodable bytes become U+FFFD. */
QString toUnicode(std::string_view s);

/** @brief Encodes for storage; characters CP932 cannot hold become '?'. */
std::string fromUnicode(const QString& s);

/** @brief True when @p s is well-formed UTF-8 (no overlong forms, surrogates or values past U+10FFFF). */
bool isValidUtf8(std::string_view s);

/** @brief Convenience: CP932 bytes to UTF-8 bytes (terminal output, messages). */
std::string toUtf8(std::string_view s);

/** @brief UTF-8 bytes to CP932 bytes. A character CP932 cannot hold, and each byte that is no part of a
 * well-formed UTF-8 character, becomes '?': the result never holds a broken or undefined CP932 character. The
 * JIS forms of the characters CP932 holds in its own form (U+301C WAVE DASH, U+2212 MINUS SIGN ...) map to
 * CP932's character. ASCII passes unchanged. */
std::string fromUtf8(std::string_view s);
/** @brief fromUtf8() of @p s appended to @p out (whose room is kept: a reader converting value after value
 * allocates nothing). */
void appendFromUtf8(std::string_view s, std::string& out);

} // namespace cp932

#endif
