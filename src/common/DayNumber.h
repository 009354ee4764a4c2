#ifndef KELBO_COMMON_DAYNUMBER_H
#define KELBO_COMMON_DAYNUMBER_H

/** @brief Dates counted as days. */
namespace daynumber {

/** @brief The Julian day number of the day before 0001/01/01 (proleptic Gregorian calendar): a count of days in
 * which 0001/01/01 is day 1 becomes a Julian day number by adding it. */
constexpr long kDayBeforeYearOne = 1721425;

struct Date
{
    int year = 0;
    int month = 0;
    int day = 0;
};

/** @brief The proleptic Gregorian date of the Julian day number @p julianDay (2460655 is 2024/12/10); year 0 and
 * below for days before 0001/01/01, {0, 0, 0} for a day number below 1. */
Date dateOfJulianDay(long long julianDay);

} // namespace daynumber

#endif
