#ifndef KELBO_CONVDEF_GUESS_H
#define KELBO_CONVDEF_GUESS_H

#include "convert/ConvDefTable.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class LogTable;

/** @brief A set of kinds of record value, one bit each; a guess gives each kind to one field at most. */
using GuessKind = std::uint32_t;

namespace guesskind {
inline constexpr GuessKind Year = 0x1;
inline constexpr GuessKind Month = 0x2;
inline constexpr GuessKind Day = 0x4;
inline constexpr GuessKind Time = 0x18; // two bits, always given and tested together
inline constexpr GuessKind Call = 0x20;
inline constexpr GuessKind Report = 0x40;
inline constexpr GuessKind Freq = 0x80;
inline constexpr GuessKind Mode = 0x100;
inline constexpr GuessKind Name = 0x200;
inline constexpr GuessKind Qth = 0x400;
inline constexpr GuessKind Send = 0x800;
inline constexpr GuessKind Recv = 0x1000;
inline constexpr GuessKind Env = 0x2000;
inline constexpr GuessKind Power = 0x4000;
inline constexpr GuessKind MyReport = 0x8000;
inline constexpr GuessKind Portable = 0x10000;
inline constexpr GuessKind Date = Year | Month | Day;
} // namespace guesskind

/** @brief A field name rule: any of the comma-separated keywords (ASCII case ignored) gives the expression. */
struct NameRule
{
    std::string_view keywords;
    std::string_view expression;
    GuessKind kinds;
};

/** @brief A value rule: a value that begins with what the pattern describes gives the expression. */
struct ValueRule
{
    std::string_view pattern;
    std::string_view expression;
    GuessKind kinds;
};

/** @brief The name rules, tried in this order. Texts are CP932. */
extern const std::array<NameRule, 17> NameRules;

/** @brief The name rules of ADIF and of English exports, tried for the fields that no rule of NameRules explains,
 * in this order. */
extern const std::array<NameRule, 16> EnglishNameRules;

/** @brief The value rules, tried in this order. Texts are CP932. */
extern const std::array<ValueRule, 32> ValueRules;

/** @brief True when @p value begins with what @p pattern describes.
 *
 * Elements: "#" a digit, "$" a digit 0-2, "!" a digit 0-5, "&" a digit 1-9, "_" one or more blanks or tabs,
 * "%u" one or more digits; "%b" (a frequency), "%c" (a call sign), "%d" (a band in metres), "%k" (a double-byte
 * character somewhere) and "%m" (a month name) decide on the rest of the value and end the walk; "%" with any
 * other byte consumes nothing. Any other byte matches itself, ASCII letters in either case; a double-byte
 * character of the pattern matches the same two bytes. */
bool MatchValuePattern(std::string_view value, std::string_view pattern);

/** @brief At least 3 bytes, each an ASCII letter, a digit, "/" or "-". */
bool IsCallSignLike(std::string_view text);

/** @brief 1-12 when the whole text is a month name of MonthTable (ASCII case ignored), else 0. */
unsigned MonthNumber(std::string_view text);

/** @brief True when a month name of MonthTable begins at some character of the text (ASCII case ignored). */
bool ContainsMonthName(std::string_view text);

/** @brief True when every byte is an ASCII digit (also for the empty text). */
bool IsAllDigits(std::string_view text);

/** @brief Proposes a whole definition from the field names and the current record's values.
 *
 * @p fieldNames gives the field count (only the first 64 count); a value missing from @p values is empty.
 * Every position from the field count on is "NULL". */
ConvDefTable GuessConvDef(const std::vector<std::string>& fieldNames, const std::vector<std::string>& values);

/** @brief The guess over an open table's field names and its current record. */
ConvDefTable GuessConvDef(const LogTable& table);

#endif
