#ifndef KELBO_COMMON_ASCII_H
#define KELBO_COMMON_ASCII_H

#include <string_view>

/** @brief Tests of single ASCII bytes. No trail byte of a CP932 character is a digit, a blank or a tab, so these
 * never split a double-byte character; letters are another matter (see cp932). */
namespace ascii {

inline bool isDigit(unsigned char c)
{
    return c >= '0' && c <= '9';
}

/** @brief A blank or a tab. */
inline bool isBlank(unsigned char c)
{
    return c == ' ' || c == '\t';
}

/** @brief The value of a hexadecimal digit (either case); -1 for any other byte. */
inline int hexValue(unsigned char c)
{
    if (isDigit(c)) {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

/** @brief @p s without its leading and trailing blanks and tabs. */
inline std::string_view trimBlanks(std::string_view s)
{
    while (!s.empty() && isBlank(static_cast<unsigned char>(s.front()))) {
        s.remove_prefix(1);
    }
    while (!s.empty() && isBlank(static_cast<unsigned char>(s.back()))) {
        s.remove_suffix(1);
    }
    return s;
}

} // namespace ascii

#endif
