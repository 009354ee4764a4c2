#ifndef KELBO_CONVDEF_CONVDEFNULL_H
#define KELBO_CONVDEF_CONVDEFNULL_H

#include "convdef/ConvDefTable.h"

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
