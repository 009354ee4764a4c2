#include "convert/FieldTemplate.h"

int FieldTemplate(int flag, CardRecord& record, std::string_view templ, std::string_view text)
{
    (void)record;
    (void)templ;
    (void)text;
    return flag;
}
