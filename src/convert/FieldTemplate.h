#ifndef KELBO_CONVERT_FIELDTEMPLATE_H
#define KELBO_CONVERT_FIELDTEMPLATE_H

#include "convert/CardRecord.h"

#include <string_view>

/** @brief Matches a free template against a field text, storing the values its codes take into @p record.
 *
 * The template is walked from left to right over CP932 bytes: literals must equal the text, "\" escapes stand
 * for a byte ("\\", "\xHH", "\A".."\_" as control bytes) or for the backslash and the next character, "%%"
 * matches one '%', and a '%' code (an optional '-', an optional width of one or two digits, other shaping
 * characters ignored, then a code letter) takes a value up to its delimiter (the template character after
 * it, or what an escape there stands for) or by its width, trims it and stores it. The walk ends with the
 * template, with the text, or at the first mismatch; what was stored stays stored. Double-byte characters are
 * never split and their trail bytes are never taken for a backslash, a '%' or a delimiter.
 * Returns the possibly changed UtcFlag (the codes B and g set it to 1 for a time ending in 'Z').
 * Safe for a template and a text of any length and any bytes; no heap allocation. */
int FieldTemplate(int flag, CardRecord& record, std::string_view templ, std::string_view text);

#endif
