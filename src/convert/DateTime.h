#ifndef KELBO_CONVERT_DATETIME_H
#define KELBO_CONVERT_DATETIME_H

#include "convert/CardRecord.h"

#include <array>
#include <cstdint>
#include <string_view>

/** @brief The two lists of English month names, indexed 1..12 (index 0 is unused and empty). A text names
 * month i when it equals either list's name i, ignoring the case of ASCII letters. */
struct MonthNames
{
    std::array<std::string_view, 13> first;
    std::array<std::string_view, 13> second;
};
inline constexpr MonthNames MonthTable = {
    {"", "JAN", "FEB", "MAR", "APR", "MAY", "JUN", "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"},
    {"", "Jan.", "Feb.", "Mar.", "Apr.", "May", "June", "July", "Aug.", "Sept.", "Oct.", "Nov.", "Dec."},
};

/** @brief The month named or numbered by @p text: 1..12 when the whole text is a name of MonthTable (ASCII
 * case ignored); otherwise the number read ("%u") when the text begins with a decimal digit (no range check:
 * "13" gives 13); otherwise 0. Leading blanks are not skipped. */
std::uint32_t ReadMonth(std::string_view text);

/** @brief Splits @p text at its first blank (0x20; a tab is no delimiter) that is not inside double quotes.
 *
 * Returns the token (the text before the blank, or the whole text) and sets @p rest to what follows the blank
 * (empty without a blank). A token that begins with a double quote and ends with the quote that closes it
 * loses both quotes. The trail byte of a CP932 double-byte character is never taken for a blank or a quote.
 * Two blanks in a row give an empty token. */
std::string_view SplitToken(std::string_view text, std::string_view& rest);

/** @brief @p text without one leading apostrophe: an ASCII "'" or the CP932 left single quotation mark
 * (0x81 0x65). */
std::string_view SkipApostrophe(std::string_view text);

/** @brief Days of month @p month (0..12; month 0, "not given", and months above 12 count as 31 days) in a
 * year whose two-digit number is @p year (a leap year when year mod 4 is 0). */
unsigned MonthLength(unsigned month, unsigned year);

/** @brief Moves a record's time on by nine hours (UTC to Japanese time), rolling over at most one day, and
 * with it the month and the year (99 rolls to 0). Members are 8-bit and are not validated: a day beyond its
 * month's length is left as it is unless the hour rolls over. */
void ShiftToJst(CardRecord& record);

#endif
