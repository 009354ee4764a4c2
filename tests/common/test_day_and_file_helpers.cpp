#include "common/DayNumber.h"
#include "common/FileLookup.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

TEST(DayNumber, JulianDaysBecomeGregorianDates)
{
    struct Case
    {
        long long julianDay;
        int year, month, day;
    };
    const Case cases[] = {
        {1721426, 1, 1, 1}, // the first day a table can hold
        {2299160, 1582, 10, 14}, // the calendar is proleptic: no jump at the reform
        {2299161, 1582, 10, 15}, {2451545, 2000, 1, 1},   {2460370, 2024, 2, 29},
        {2460371, 2024, 3, 1},   {2415079, 1900, 2, 28}, // no 29th in 1900
        {2415080, 1900, 3, 1},   {5373484, 9999, 12, 31}, {0, 0, 0, 0}, // no date
        {-5, 0, 0, 0},
    };
    for (const Case& c : cases) {
        const daynumber::Date d = daynumber::dateOfJulianDay(c.julianDay);
        EXPECT_EQ((std::vector<int>{d.year, d.month, d.day}), (std::vector<int>{c.year, c.month, c.day}))
            << c.julianDay;
    }
}

TEST(FileLookup, SiblingIsFoundInAnyLetterCaseButOnlyAsARegularFile)
{
    QTemporaryDir tmp;
    const std::string dir = tmp.path().toStdString() + "/";
    for (const char* name : {"a.mb", "B.MB", "c.Mb", "e.sch"}) {
        QFile f(QString::fromStdString(dir + name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    ASSERT_TRUE(QDir(tmp.path()).mkdir("d.MB")); // a folder is no memo file
    struct Case
    {
        const char* table;
        std::initializer_list<const char*> extensions;
        const char* found;
    };
    const Case cases[] = {
        {"a.db", {".mb"}, "a.mb"}, {"B.DB", {".mb"}, "B.MB"},           {"c.db", {".mb"}, "c.Mb"},
        {"d.db", {".mb"}, ""},     {"e.txt", {".mb", ".sch"}, "e.sch"}, {"f.db", {".mb"}, ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(filelookup::siblingFile(dir + c.table, c.extensions), *c.found ? dir + c.found : "") << c.table;
    }
}

} // namespace
