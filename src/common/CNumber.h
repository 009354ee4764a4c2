#ifndef KELBO_COMMON_CNUMBER_H
#define KELBO_COMMON_CNUMBER_H

#include "common/Ascii.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

/** @brief Number reading and writing with the semantics of the C formatted-input and formatted-output
 * conversions ("%u", "%d", "%lf", "%u.%u.%u" and its kin, "%.3lf"), over bounded byte strings and
 * independent of the locale.
 *
 * Reading rules shared by every reader: white space before a number (blank, tab, LF, VT, FF, CR) is skipped;
 * an optional sign may follow; digits are taken as long as they come; the first character that does not fit
 * ends the number and is not consumed. A reader that finds no digit reads nothing. Unsigned and signed values
 * wrap modulo 2^32 when the digits run past the type's range, so every input gives a defined value. */
namespace cnum {

/** @brief True for the bytes the C "C" locale calls white space: blank, \t, \n, \v, \f, \r. */
inline bool isSpace(unsigned char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

using ascii::isDigit;

/** @brief "%u" (or "%Nu" with @p width > 0): reads an unsigned decimal number from the start of @p text.
 *
 * Leading white space is skipped (it does not count against the width); a '+' or '-' may precede the digits
 * ('-' negates modulo 2^32, as C does). Returns false, leaving @p value untouched, when no digit is read.
 * @p consumed (optional) receives the number of bytes used, white space included. */
bool readUnsigned(std::string_view text, std::uint32_t& value, std::size_t* consumed = nullptr, std::size_t width = 0);

/** @brief "%d": as readUnsigned, the value taken as a signed 32-bit number. */
bool readInt(std::string_view text, std::int32_t& value, std::size_t* consumed = nullptr);

/** @brief "%lf": reads a decimal floating-point number (sign, digits, an optional '.', an optional exponent
 * "e±digits") from the start of @p text, leading white space skipped. The decimal separator is always '.',
 * whatever the locale. The words inf and nan and hexadecimal forms are not numbers here. A value too large for
 * a double reads as infinity, one too small as zero. Returns false when no digit is read. */
bool readDouble(std::string_view text, double& value, std::size_t* consumed = nullptr);

/** @brief Matches @p text against a scanf-style @p pattern made only of "%u" / "%Nu" conversions, white
 * space and literal characters, storing each number read into @p values (at most @p maxValues).
 *
 * A white-space character in the pattern matches any run of white space in the text, also none; any other
 * pattern character must equal the next text byte. Returns the count of numbers read before the first
 * mismatch or the end of the text; what follows the last conversion is ignored. Callers decide success by the
 * count ("all or nothing"). */
int scanUnsigned(std::string_view text, std::string_view pattern, std::uint32_t* values, int maxValues);

/** @brief Writes @p value as "%.3lf" (exactly three decimals, correctly rounded, '.' whatever the locale)
 * into @p out (size @p size, zero-terminated, cut to fit); returns the length written. A buffer of 400 bytes
 * holds every finite double. */
std::size_t formatFixed3(double value, char* out, std::size_t size);

} // namespace cnum

#endif
