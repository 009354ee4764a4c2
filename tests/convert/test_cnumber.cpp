// The C-style number readers and writers: white space, signs, widths, the count that decides, and output that
// matches the C library's own "%.3lf" in the "C" locale.
#include "common/CNumber.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace {

TEST(CNumber, ReadUnsigned)
{
    struct Case
    {
        std::string text;
        std::size_t width;
        bool ok;
        std::uint32_t value;
        std::size_t consumed;
    };
    const std::vector<Case> cases = {
        {"12ab", 0, true, 12, 2},
        {" \t\n\r\v\f7", 0, true, 7, 7},
        {"+5", 0, true, 5, 2},
        {"-1", 0, true, 4294967295u, 2},
        {"- 1", 0, false, 0, 0},
        {"", 0, false, 0, 0},
        {"   ", 0, false, 0, 0},
        {"x12", 0, false, 0, 0},
        {"4294967295", 0, true, 4294967295u, 10},
        {"4294967296", 0, true, 0, 10},
        {"000000000000000000042", 0, true, 42, 21},
        {"990512", 2, true, 99, 2},
        {"  990512", 2, true, 99, 4},
        {"-12", 2, true, 4294967295u, 2},
        {"7", 2, true, 7, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("<" + c.text + "> width " + std::to_string(c.width));
        std::uint32_t value = 12345;
        std::size_t consumed = 999;
        EXPECT_EQ(cnum::readUnsigned(c.text, value, &consumed, c.width), c.ok);
        EXPECT_EQ(value, c.ok ? c.value : 12345u);
        if (c.ok) {
            EXPECT_EQ(consumed, c.consumed);
        }
    }
    std::int32_t signedValue = 0;
    EXPECT_TRUE(cnum::readInt(" -17x", signedValue));
    EXPECT_EQ(signedValue, -17);
}

TEST(CNumber, ReadDouble)
{
    struct Case
    {
        std::string text;
        bool ok;
        double value;
        std::size_t consumed;
    };
    const std::vector<Case> cases = {
        {"7050", true, 7050.0, 4},   {" 1.5e3x", true, 1500.0, 6}, {".5", true, 0.5, 2},     {"5.", true, 5.0, 2},
        {"-0.25", true, -0.25, 5},   {"+2E-1", true, 0.2, 5},      {"1e", true, 1.0, 1},     {"1e+", true, 1.0, 1},
        {"7050,5", true, 7050.0, 4}, {"1e400", true, HUGE_VAL, 5}, {"1e-400", true, 0.0, 6}, {".", false, 0, 0},
        {"-", false, 0, 0},          {"abc", false, 0, 0},         {"inf", false, 0, 0},     {"nan", false, 0, 0},
        {"", false, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("<" + c.text + ">");
        double value = -99.0;
        std::size_t consumed = 999;
        EXPECT_EQ(cnum::readDouble(c.text, value, &consumed), c.ok);
        if (c.ok) {
            EXPECT_EQ(value, c.value);
            EXPECT_EQ(consumed, c.consumed);
        } else {
            EXPECT_EQ(value, -99.0);
        }
    }
}

TEST(CNumber, ScanPatternsCountWhatWasRead)
{
    struct Case
    {
        std::string text;
        std::string pattern;
        int count;
        std::vector<std::uint32_t> values;
    };
    const std::vector<Case> cases = {
        {"99.05.12", "%u.%u.%u", 3, {99, 5, 12}},
        {" 99. 5. 12 tail", "%u.%u.%u", 3, {99, 5, 12}},
        {"99 .5.12", "%u.%u.%u", 1, {99}},
        {"99-05-12", "%u.%u.%u", 1, {99}},
        {"99.05", "%u.%u.%u", 2, {99, 5}},
        {"", "%u.%u.%u", 0, {}},
        {"99.5.12 13:45", "%u.%u.%u %u:%u", 5, {99, 5, 12, 13, 45}},
        {"99.5.12\t\n13:45", "%u.%u.%u %u:%u", 5, {99, 5, 12, 13, 45}},
        {"99.5.12:45", "%u.%u.%u %u:%u", 3, {99, 5, 12}},
        {"99.5.12 0905", "%u.%u.%u %u", 4, {99, 5, 12, 905}},
        {"990512", "%2u%2u%2u", 3, {99, 5, 12}},
        {"99051", "%2u%2u%2u", 3, {99, 5, 1}},
        {"9 0512", "%2u%2u%2u", 3, {9, 5, 12}},
        {"9:5", "%u:%u", 2, {9, 5}},
        {"50%", "%u%%", 1, {50}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("<" + c.text + "> against <" + c.pattern + ">");
        std::uint32_t values[5] = {};
        ASSERT_EQ(cnum::scanUnsigned(c.text, c.pattern, values, 5), c.count);
        for (std::size_t i = 0; i < c.values.size(); ++i) {
            EXPECT_EQ(values[i], c.values[i]) << i;
        }
    }
    std::uint32_t one[1] = {};
    EXPECT_EQ(cnum::scanUnsigned("1.2", "%u.%u", one, 1), 1) << "never more values than the caller has room for";
}

TEST(CNumber, FormatFixed3MatchesTheCLibrary)
{
    ASSERT_NE(std::setlocale(LC_NUMERIC, "C"), nullptr);
    for (double v : {7.05, 0.0005, 0.0015, 1.8505, 14.0255, -0.0, -3.25, 1e27, 123456789.123456789, 1e-9, 7050.5}) {
        char expected[512];
        std::snprintf(expected, sizeof expected, "%.3f", v);
        char out[400];
        cnum::formatFixed3(v, out, sizeof out);
        EXPECT_STREQ(out, expected) << v;
    }
    char inf[400];
    cnum::formatFixed3(HUGE_VAL, inf, sizeof inf);
    EXPECT_STREQ(inf, "inf");
    char small[8];
    EXPECT_EQ(cnum::formatFixed3(123456.789, small, sizeof small), 7u);
    EXPECT_STREQ(small, "123456.");
}

} // namespace
