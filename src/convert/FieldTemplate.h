#ifndef KELBO_CONVERT_FIELDTEMPLATE_H
#define KELBO_CONVERT_FIELDTEMPLATE_H

#include "convert/CardRecord.h"

#include <string_view>

/** @brief Matches a free template against a field text, storing the values its codes take into @p record.
 * Returns the possibly changed UtcFlag. Safe for a template and a text of any length and any bytes. */
int FieldTemplate(int flag, CardRecord& record, std::string_view templ, std::string_view text);

#endif
