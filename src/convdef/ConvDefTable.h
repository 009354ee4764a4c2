#ifndef KELBO_CONVDEF_CONVDEFTABLE_H
#define KELBO_CONVDEF_CONVDEFTABLE_H

#include <array>
#include <string>

/** @brief Number of conversion expressions: one per field position 0-63. */
inline constexpr int kConvDefCount = 64;

/** @brief The conversion definition: one expression (CP932 text, compared case-sensitively) per field position. */
using ConvDefTable = std::array<std::string, kConvDefCount>;

#endif
