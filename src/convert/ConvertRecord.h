#ifndef KELBO_CONVERT_CONVERTRECORD_H
#define KELBO_CONVERT_CONVERTRECORD_H

#include "convert/CardRecord.h"
#include "convert/ConvDefTable.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

/** @brief Most bytes of a field text the conversion looks at; a longer text is cut to this length (never
 * leaving half a double-byte character). */
inline constexpr std::size_t kFieldTextCapacity = 1023;

/** @brief A conversion definition read once: every entry's keyword looked up beforehand, so that converting
 * many records (a transfer, a preview) does not look the keywords up again for every field. Holds its own copy
 * of the expressions. */
class ConvDefPlan
{
public:
    explicit ConvDefPlan(const ConvDefTable& defs);

    /** @brief ConvertField with entry @p position of the definition. */
    int apply(std::size_t position, int flag, CardRecord& record, std::string_view text) const;

private:
    std::array<std::string, kConvDefCount> m_exprs;
    std::array<std::uint8_t, kConvDefCount> m_kinds{};
};

/** @brief Converts one record, given as its field texts @p texts[0 .. count-1], into @p record: zeroes the
 * record, then applies entry i of @p plan to text i for every field position below min(count, 64), in field
 * order.
 *
 * @p flag is the initial UtcFlag (1 when the "UTC→JST" box is checked); returns the final one. Never reports
 * an error. */
int ConvertRecord(const std::string_view* texts, int count, const ConvDefPlan& plan, CardRecord& record, int flag);

/** @brief Applies one conversion expression @p expr to one field text @p text, writing the members the
 * expression names into @p record; returns the possibly changed UtcFlag.
 *
 * Keywords are compared exactly and case-sensitively; an expression beginning with "QSL[", "QSL｢", "QSL{",
 * "QSL<", "QSL(" is a bracket form and one beginning with "mBAND" the band keyword; every other expression
 * ("NULL" and the empty one included) is a FieldTemplate. Both texts are CP932 and end at their first NUL byte;
 * the field text is cut to kFieldTextCapacity bytes. A text that does not fit its expression leaves the record
 * as it was. */
int ConvertField(int flag, CardRecord& record, std::string_view expr, std::string_view text);

/** @brief True when @p expr is a keyword of the engine (whole-word, a bracket form or an "mBAND" expression),
 * false when it would be handled as a template. */
bool IsConversionKeyword(std::string_view expr);

#endif
