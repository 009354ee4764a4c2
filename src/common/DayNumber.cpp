#include "common/DayNumber.h"

namespace daynumber {

Date dateOfJulianDay(long long julianDay)
{
    if (julianDay < 1) {
        return {};
    }
    // Richards' conversion, in whole numbers.
    const long long f = julianDay + 1401 + (((4 * julianDay + 274277) / 146097) * 3) / 4 - 38;
    const long long e = 4 * f + 3;
    const long long g = (e % 1461) / 4;
    const long long h = 5 * g + 2;
    Date date;
    date.day = static_cast<int>((h % 153) / 5 + 1);
    date.month = static_cast<int>((h / 153 + 2) % 12 + 1);
    date.year = static_cast<int>(e / 1461 - 4716 + (12 + 2 - date.month) / 12);
    return date;
}

} // namespace daynumber
