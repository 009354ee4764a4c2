// The line handed to the card program and the pass rule.
#include "cardlink/CardLogLine.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

CardRecord exampleRecord()
{
    CardRecord r;
    r.Year = 0;
    r.Month = 5;
    r.Day = 3;
    r.Hour = 21;
    r.Minute = 34;
    std::strcpy(r.Call, "ABC");
    std::strcpy(r.Rst, "599");
    std::strcpy(r.Freq, "7.025");
    std::strcpy(r.Mode, "CW");
    return r;
}

TEST(CardLogLine, FieldsFormsAndQuoting)
{
    EXPECT_EQ(BuildCardLogLine(exampleRecord()), "00.05.03,2134,ABC,599,7.025,CW,,\"\",\"\",\"\",,,0");

    CardRecord onlyDateTimeCall;
    onlyDateTimeCall.Year = 99;
    onlyDateTimeCall.Month = 12;
    onlyDateTimeCall.Day = 31;
    std::strcpy(onlyDateTimeCall.Call, "QX1ABC");
    EXPECT_EQ(BuildCardLogLine(onlyDateTimeCall), "99.12.31,0000,QX1ABC,,,,,\"\",\"\",\"\",,,0");

    // Nothing inside a field is escaped or doubled; marks and the signed ENV.
    CardRecord full = exampleRecord();
    std::strcpy(full.Power, "10W");
    std::strcpy(full.Name, "Taro \"T\" Yamada");
    std::strcpy(full.Qth, "Tokyo, \x93\x8c\x8b\x9e");
    std::strcpy(full.Qsl, "VIA[QX1ABC] \"x\",y");
    full.SendChar = 'F';
    full.RecvChar = ' ';
    full.Env = 4294967295u;
    EXPECT_EQ(BuildCardLogLine(full),
              "00.05.03,2134,ABC,599,7.025,CW,10W,\"Taro \"T\" Yamada\",\"Tokyo, "
              "\x93\x8c\x8b\x9e\",\"VIA[QX1ABC] \"x\",y\",F, ,-1");

    CardRecord wide;
    wide.Year = 255;
    wide.Month = 13;
    wide.Day = 40;
    wide.Hour = 24;
    wide.Minute = 100;
    wide.Env = 2147483648u;
    EXPECT_EQ(BuildCardLogLine(wide), "255.13.40,24100,,,,,,\"\",\"\",\"\",,,-2147483648");
}

TEST(CardLogLine, MarkThatIsHalfACharacterIsLeftOut)
{
    // "済" is 0x8D 0xCF: a one-byte mark field can hold only its lead byte, which must not reach the line.
    struct Case
    {
        char send;
        char recv;
        const char* tail;
    } cases[] = {
        {'\x8d', '\xe0', ",,0"}, // lead bytes of double-byte characters
        {'\xb1', 'R', "\xb1,R,0"}, // a half-width katakana is a whole character
        {'F', '\x81', "F,,0"},
    };
    for (const Case& c : cases) {
        CardRecord r = exampleRecord();
        r.SendChar = c.send;
        r.RecvChar = c.recv;
        EXPECT_EQ(BuildCardLogLine(r), std::string("00.05.03,2134,ABC,599,7.025,CW,,\"\",\"\",\"\",") + c.tail);
    }
}

TEST(CardLogLine, ControlBytesInValuesBecomeBlanks)
{
    // A line end inside a value would split the line in two at the card program.
    CardRecord r = exampleRecord();
    std::strcpy(r.Call, "AB\rC");
    std::strcpy(r.Mode, "C\tW");
    std::strcpy(r.Name, "Taro\r\nYamada");
    std::strcpy(r.Qth, "\x93\x8c\x0a\x8b\x9e");
    std::strcpy(r.Qsl, "line1\nline2\x1f");
    r.SendChar = '\n';
    r.RecvChar = '\x01';
    EXPECT_EQ(BuildCardLogLine(r),
              "00.05.03,2134,AB C,599,7.025,C W,,\"Taro  Yamada\",\"\x93\x8c \x8b\x9e\",\"line1 line2 \", , ,0");
}

TEST(CardLogLine, LongestLineHoldsEveryMemberWhole)
{
    CardRecord r;
    std::memset(r.Call, 'C', 24);
    std::memset(r.Rst, 'R', 24);
    std::memset(r.Mode, 'M', 20);
    std::memset(r.Freq, 'F', 20);
    std::memset(r.Power, 'P', 8);
    std::memset(r.Name, 'N', 50);
    std::memset(r.Qth, 'Q', 50);
    std::memset(r.Qsl, 'S', 512);
    r.SendChar = 'F';
    r.RecvChar = 'R';
    r.Env = 2147483648u;
    const std::string line = BuildCardLogLine(r);
    EXPECT_EQ(line.size(), 751u);
    std::string appended = "prefix:";
    AppendCardLogLine(r, appended);
    EXPECT_EQ(appended, "prefix:" + line);
}

TEST(CardLogLine, PassRule)
{
    struct Case
    {
        const char* call;
        char send;
        bool allSend;
        bool passed;
    };
    const std::vector<Case> cases = {
        {"QX1ABC", 0, false, true},  {"QX1ABC", ' ', false, true},  {"QX1ABC", 'F', false, false},
        {"QX1ABC", 'F', true, true}, {"QX1ABC", 'f', false, false}, {"", 0, false, false},
        {"", 0, true, false},        {"", 'F', true, false},
    };
    for (const Case& c : cases) {
        CardRecord r;
        std::strcpy(r.Call, c.call);
        r.SendChar = c.send;
        EXPECT_EQ(IsRecordPassed(r, c.allSend), c.passed) << c.call << " '" << c.send << "' " << c.allSend;
    }
    // A log format's own "not yet sent" (ADIF: N, R, Q); its "Y" and anything else is sent.
    const SendMarkRule adif{"NRQ", "Y", "QSL_SDATE", "NRI"};
    const struct
    {
        char send;
        bool adifPassed;
        bool ownPassed;
    } marks[] = {{0, true, true},    {' ', true, true},   {'N', true, false},  {'n', true, false}, {'R', true, false},
                 {'Q', true, false}, {'Y', false, false}, {'I', false, false}, {'F', false, false}};
    for (const auto& m : marks) {
        CardRecord r;
        std::strcpy(r.Call, "QX1ABC");
        r.SendChar = m.send;
        EXPECT_EQ(IsRecordPassed(r, false, adif), m.adifPassed) << "'" << m.send << "'";
        EXPECT_EQ(IsRecordPassed(r, false), m.ownPassed) << "'" << m.send << "'";
    }
}

} // namespace
