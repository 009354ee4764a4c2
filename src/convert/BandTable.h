#ifndef KELBO_CONVERT_BANDTABLE_H
#define KELBO_CONVERT_BANDTABLE_H

#include <string_view>

/** @brief The frequency in MHz, as text, of an amateur band named by its wavelength in metres.
 *
 * "SAT" in any case gives "SAT"; otherwise the unsigned number at the start of @p band ("%u", leading white
 * space skipped, so "40m" reads 40) is looked up: 2 "144", 6 "50", 10 "28", 12 "24", 15 "21", 17 "18", 20 "14",
 * 30 "10", 40 "7", 75 "3.8", 80 "3.5", 160 "1.8". Any other band, or no number, gives the empty text. The
 * result refers to static storage. */
std::string_view BandTable(std::string_view band);

#endif
