#ifndef KELBO_CONVERT_CONVDEFTABLE_H
#define KELBO_CONVERT_CONVDEFTABLE_H

#include <array>
#include <string>

/** @brief Number of conversion expressions: one per field position 0-63. */
inline constexpr int kConvDefCount = 64;

/** @brief The conversion definition: one expression (CP932 text, compared case-sensitively) per field position. */
using ConvDefTable = std::array<std::string, kConvDefCount>;

/** @brief The expression that converts nothing: the default of every entry. */
inline constexpr const char* kNullConvExpr = "NULL";

/** @brief A table whose 64 entries are all "NULL". */
inline ConvDefTable NullConvDefTable()
{
    ConvDefTable t;
    t.fill(kNullConvExpr);
    return t;
}

#endif
