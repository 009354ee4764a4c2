#ifndef KELBO_EXPORT_ADIFVALUES_H
#define KELBO_EXPORT_ADIFVALUES_H

#include <optional>
#include <string>
#include <string_view>

/** @brief The pieces of an ADIF record that are made from single card values: the mode and its submode, the band of
 * a frequency, the power's number, routes and managers. Pure functions over ASCII/CP932 texts. */
namespace adifvalues {

/** @brief An ADIF mode with its submode (either may be empty). */
struct Mode
{
    std::string mode;
    std::string submode;
};

/** @brief The ADIF mode (and submode) of the card's mode text: "SSB", "CW", "FT8" stay; "USB"/"LSB" become SSB
 * with that submode, "FT4"/"JS8"/"Q65"... MFSK with that submode, "PSK31"... PSK with it, the Japanese emission
 * designators (A1A, J3E / A3J, A3E, F3E, F1B...) their mode. Nothing when the text names no ADIF mode. */
std::optional<Mode> modeOf(std::string_view cardMode);

/** @brief The ADIF band ("40m", "70cm") whose edges hold @p mhz; "" outside every amateur band. */
std::string bandOfFrequency(double mhz);

/** @brief The frequency text of the card in MHz as a number: blanks around it allowed, nothing else. */
std::optional<double> frequencyOf(std::string_view cardFreq);

/** @brief The power's number in watts from a text such as "100", "100W", " 50 w", "0.5W"; nothing for other texts. */
std::optional<std::string> powerOf(std::string_view cardPower);

/** @brief How a card goes, when a remark names a route rather than a person: 'B' bureau, 'D' direct, 'E'
 * electronic (LoTW, eQSL), 'N' no card; 0 when the text is no route. */
char routeOf(std::string_view remark);

/** @brief True when @p text is a call sign ADIF takes: letters, digits and '/', at least one digit and one letter,
 * beginning and ending with a letter or digit. */
bool isCallSign(std::string_view text);

/** @brief The manager's call in a remark "VIA JA1XYZ", "MGR JA1XYZ" (or, when @p bareCall, "JA1XYZ" alone); "" when
 * the remark names no call sign. Upper case. */
std::string managerOf(std::string_view remark, bool bareCall);

/** @brief True when @p text looks like a signal report: two or three digits, optionally followed by a letter or '+'
 * and digits ("59", "599", "579K", "59+20"). */
bool isReport(std::string_view text);

} // namespace adifvalues

#endif
