// ConvertRecord over a whole record (field order, joins, the 64-field limit, the flag), SplitToken and
// ShiftToJst.
#include "RecordDump.h"
#include "convert/ConvertRecord.h"
#include "convert/DateTime.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

ConvDefTable defs(const std::vector<std::string>& expressions)
{
    ConvDefTable table;
    table.fill("NULL");
    for (std::size_t i = 0; i < expressions.size(); ++i) {
        table[i] = expressions[i];
    }
    return table;
}

CardRecord convertRow(const std::vector<std::string>& expressions, const std::vector<std::string>& row, int flagIn = 1,
                      int* flagOut = nullptr)
{
    const std::vector<std::string_view> texts(row.begin(), row.end());
    CardRecord record = sentinelRecord(); // ConvertRecord must clear it first
    const int flag
        = ConvertRecord(texts.data(), static_cast<int>(texts.size()), ConvDefPlan(defs(expressions)), record, flagIn);
    if (flagOut) {
        *flagOut = flag;
    }
    return record;
}

TEST(ConvertRecord, AllNullDefinitionGivesZeroRecordAndKeepsTheFlag)
{
    for (int flagIn : {0, 1}) {
        int flag = -1;
        const CardRecord r = convertRow({}, {"990512", "qx1abc", "599", "1234Z"}, flagIn, &flag);
        EXPECT_EQ(dump(r), dump(CardRecord()));
        EXPECT_EQ(flag, flagIn);
    }
}

TEST(ConvertRecord, FieldsWriteInTableOrder)
{
    struct Case
    {
        std::vector<std::string> expressions;
        std::vector<std::string> row;
        std::string call, rst, qsl;
    };
    const std::vector<Case> cases = {
        {{"CALL", "CALL"}, {"qx1abc", "p"}, "QX1ABC/P", "", ""},
        {{"CALL", "CALL"}, {"", "qx1abc"}, "QX1ABC", "", ""},
        {{"CALL", "CALL"}, {"qx1abc", ""}, "QX1ABC", "", ""},
        {{"CALL", "CALL", "CALL"}, {"abcdefghijkl", "mnopqrstuv", "wxyz"}, "ABCDEFGHIJKL/MNOPQRSTUV/", "", ""},
        {{"RST", "RST"}, {"599", ""}, "", "", ""},
        {{"RST", "RST"}, {"", "579"}, "", "579", ""},
        {{"QSL[VIA]", "QSL"}, {"QX1ABC", "buro"}, "", "", "buro"},
        {{"QSL", "QSL[VIA]"}, {"buro", "QX1ABC"}, "", "", "buro VIA[QX1ABC]"},
        {{"ADDQSL", "ADDQSL", "QSL(R)"}, {"", "tnx", "ok"}, "", "", "tnx R(ok)"},
        {{"ADDQSL", "ADDQSL"}, {"a", ""}, "", "", "a "},
    };
    for (const Case& c : cases) {
        const CardRecord r = convertRow(c.expressions, c.row);
        EXPECT_EQ(std::string(r.Call), c.call);
        EXPECT_EQ(std::string(r.Rst), c.rst);
        EXPECT_EQ(std::string(r.Qsl), c.qsl);
    }
    const CardRecord cut = convertRow({"CALL", "CALL", "CALL"}, {"abcdefghijkl", "mnopqrstuv", "wxyz"});
    EXPECT_EQ(std::string(cut.Call).size(), 24u);
}

TEST(ConvertRecord, LooksAtMost64Fields)
{
    std::vector<std::string> row(70, "7");
    std::vector<std::string> expressions(64, "NULL");
    expressions[63] = "ENV";
    EXPECT_EQ(convertRow(expressions, row).Env, 7u);
}

TEST(ConvertRecord, ZoneLetterDecidesTheFlagPerRecordAndLaterFieldsWin)
{
    int flag = -1;
    convertRow({"HHmmJ"}, {"1234J"}, 1, &flag);
    EXPECT_EQ(flag, 0);
    convertRow({"HHmmJ", "HHmmJ"}, {"1234J", "1234Z"}, 0, &flag);
    EXPECT_EQ(flag, 1);
    convertRow({"HHmmJ"}, {"1234"}, 0, &flag);
    EXPECT_EQ(flag, 0);
}

TEST(DateTime, SplitToken)
{
    struct Case
    {
        std::string text, token, rest;
    };
    const std::vector<Case> cases = {
        {"12 MAY '99", "12", "MAY '99"},
        {"12", "12", ""},
        {"", "", ""},
        {" 12", "", "12"},
        {"12  MAY", "12", " MAY"},
        {"12\tMAY 99", "12\tMAY", "99"},
        {"\"12 MAY\" 99", "12 MAY", "99"},
        {"\"12\"MAY 99", "\"12\"MAY", "99"},
        {"a\"b c\" d", "a\"b c\"", "d"},
        {"\"open quote", "\"open quote", ""},
        {"\"\" x", "", "x"},
        {"\"", "\"", ""},
        // 0x81 0x40 is the double-byte blank; its lead byte makes the next byte part of it.
        {"\x81\x40 x", "\x81\x40", "x"},
    };
    for (const Case& c : cases) {
        std::string_view rest = "unset";
        const std::string_view token = SplitToken(c.text, rest);
        EXPECT_EQ(std::string(token), c.token) << c.text;
        EXPECT_EQ(std::string(rest), c.rest) << c.text;
    }
}

TEST(DateTime, ReadMonth)
{
    const std::vector<std::pair<std::string, std::uint32_t>> cases = {
        {"jan", 1}, {"JAN", 1},  {"Jan.", 1},  {"jan.", 1},    {"June", 6},     {"JUNE", 6}, {"Sept.", 9},
        {"sep", 9}, {"Sept", 0}, {"DEC.", 12}, {"January", 0}, {"JAN 5", 0},    {"3", 3},    {"13", 13},
        {"05x", 5}, {" 5", 0},   {"", 0},      {"-5", 0},      {"\x82\x60", 0},
    };
    for (const auto& [text, month] : cases) {
        EXPECT_EQ(ReadMonth(text), month) << text;
    }
}

TEST(DateTime, ShiftToJst)
{
    struct Case
    {
        int y, m, d, h, mi;
        int ey, em, ed, eh;
    };
    const std::vector<Case> cases = {
        {99, 12, 31, 15, 0, 0, 1, 1, 0},
        {0, 2, 28, 20, 0, 0, 2, 29, 5},
        {1, 2, 28, 20, 0, 1, 3, 1, 5},
        {4, 2, 29, 20, 0, 4, 3, 1, 5},
        {99, 5, 12, 14, 59, 99, 5, 12, 23},
        {99, 5, 12, 24, 0, 99, 5, 13, 9},
        {99, 4, 30, 23, 30, 99, 5, 1, 8},
        {99, 4, 31, 10, 0, 99, 4, 31, 19}, // a day beyond the month stays while the
                                           // hour does not roll
        {99, 4, 31, 20, 0, 99, 5, 1, 5},
        {0, 0, 0, 15, 0, 0, 0, 1, 0}, // no date: day 1 of month 0
        {0, 0, 31, 15, 0, 0, 1, 1, 0}, // month 0 has 31 days
        {0, 0, 0, 1, 0, 0, 0, 0, 10},
        {99, 13, 30, 20, 0, 99, 13, 31, 5}, // a month above 12 counts 31 days
        {99, 13, 31, 20, 0, 0, 1, 1, 5},
        {150, 12, 31, 20, 0, 151, 1, 1, 5}, // only 100 wraps to 0
        {99, 5, 12, 99, 0, 99, 5, 13, 84}, // at most one day is added
    };
    for (const Case& c : cases) {
        CardRecord r;
        r.Year = static_cast<std::uint8_t>(c.y);
        r.Month = static_cast<std::uint8_t>(c.m);
        r.Day = static_cast<std::uint8_t>(c.d);
        r.Hour = static_cast<std::uint8_t>(c.h);
        r.Minute = static_cast<std::uint8_t>(c.mi);
        ShiftToJst(r);
        EXPECT_EQ(r.Year, c.ey) << c.y << "-" << c.m << "-" << c.d << " " << c.h;
        EXPECT_EQ(r.Month, c.em) << c.y << "-" << c.m << "-" << c.d << " " << c.h;
        EXPECT_EQ(r.Day, c.ed) << c.y << "-" << c.m << "-" << c.d << " " << c.h;
        EXPECT_EQ(r.Hour, c.eh) << c.y << "-" << c.m << "-" << c.d << " " << c.h;
        EXPECT_EQ(r.Minute, c.mi);
    }
}

} // namespace
