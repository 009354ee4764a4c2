#include "convdef/Guess.h"

#include <gtest/gtest.h>

namespace {

// CP932 spellings used below.
const std::string kHiduke = "\x93\xFA\x95\x74"; // 日付
const std::string kTokyo = "\x93\x8C\x8B\x9E\x93\x73"; // 東京都
const std::string kOsaka = "\x91\xE5\x8D\xE3"; // 大阪
const std::string kQuote = "\x81\x65"; // ‘

std::string label(const std::string& name)
{
    return "QSL\xA2" + name + "\xA3";
}

struct Field
{
    std::string name;
    std::string value;
    std::string expected;
};

// Runs one guess over the fields and checks every one of the 64 entries.
void expectGuess(const std::vector<Field>& fields)
{
    std::vector<std::string> names;
    std::vector<std::string> values;
    for (const auto& f : fields) {
        names.push_back(f.name);
        values.push_back(f.value);
    }
    const ConvDefTable got = GuessConvDef(names, values);
    for (std::size_t i = 0; i < got.size(); ++i) {
        const std::string expected = i < fields.size() ? fields[i].expected : "NULL";
        EXPECT_EQ(got[i], expected) << "position " << i << (i < fields.size() ? " " + fields[i].name : "");
    }
}

TEST(Guess, MatchValuePattern)
{
    const struct
    {
        std::string value;
        std::string pattern;
        bool expected;
    } cases[] = {
        {"7", "#", true},
        {"x", "#", false},
        {"", "#", false}, // an element that needs a byte fails at the end of the value
        {"29", "$#", true},
        {"39", "$#", false},
        {"59", "!#", true},
        {"69", "!#", false},
        {"19", "&#", true},
        {"09", "&#", false},
        {"12345678", "######", true}, // a pattern matches any value that begins with what it describes
        {"12345", "######", false},
        {"1 \t 2", "#_#", true},
        {"12", "#_#", false}, // "_" needs at least one blank
        {"2000-05-14   12:34", "%u-%u-%u_%u:!#", true},
        {"-5", "%u", false},
        {"cw", "CW", true}, // letters in either case
        {"CW", "cw", true},
        {"C", "CW", false},
        {"14MHz", "%uMHz", true},
        {"14 mhz", "%u_MHz", true},
        {"anything", "%f", true}, // an unknown code consumes nothing
        {"", "%f", true},
        {"", "%q#", false},
        {"7.05", "%b", true},
        {"14.025 MHz", "%b", true},
        {"1.2G", "%b", true},
        {"1/2", "%b", true},
        {"1.2g", "%b", false}, // only an upper-case G
        {"7x", "%b", false},
        {"MHz", "%b", false}, // must begin with a digit
        {"5" + std::string(30, 'x') + "MHz", "%b", false}, // "MHZ" counts only within the first 31 bytes
        {"5" + std::string(27, 'x') + "mhz", "%b", true},
        {"JA1ABC/P", "%c", true},
        {"JA-ABC", "%c", false}, // no digit
        {"123", "%c", false}, // no letter
        {"J1", "%c", false}, // too short
        {"JA1 ABC", "%c", false},
        {"40", "%d", true},
        {"sat", "%d", true},
        {"41", "%d", false},
        {"x" + kTokyo, "%k", true},
        {"\xB1\xB2\xB3", "%k", false}, // half-width katakana are single bytes
        {"may", "%m", true},
        {"Sept.", "%m", true},
        {"MAYBE", "%m", false},
        {"7may", "#%mX", true}, // the deciding codes end the walk: nothing after them is looked at
        {"59", "5%m9", false},
        {kQuote + "00", kQuote + "%u", true},
        {"\x81\x45"
         "00",
         kQuote + "%u", false}, // a trail byte 'e' is no letter to compare case-blind
        {"'00", "'%u", true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(MatchValuePattern(c.value, c.pattern), c.expected) << '"' << c.value << "\" ~ \"" << c.pattern << '"';
    }
}

TEST(Guess, TextTests)
{
    EXPECT_TRUE(IsCallSignLike("JA1/P"));
    EXPECT_TRUE(IsCallSignLike("---"));
    EXPECT_FALSE(IsCallSignLike("JA"));
    EXPECT_FALSE(IsCallSignLike("JA1" + kTokyo));

    EXPECT_EQ(MonthNumber("jan"), 1u);
    EXPECT_EQ(MonthNumber("MAY"), 5u);
    EXPECT_EQ(MonthNumber("june"), 6u);
    EXPECT_EQ(MonthNumber("Dec."), 12u);
    EXPECT_EQ(MonthNumber("Dec"), 12u);
    EXPECT_EQ(MonthNumber("JUNE "), 0u);
    EXPECT_EQ(MonthNumber(""), 0u);

    EXPECT_TRUE(ContainsMonthName("14 may 00"));
    EXPECT_TRUE(ContainsMonthName("xSept."));
    EXPECT_FALSE(ContainsMonthName("JA"));
    // "\x83\x4A" is a double-byte character whose trail byte is 'J': no month begins inside it.
    EXPECT_FALSE(ContainsMonthName("\x83"
                                   "JAN"));

    EXPECT_TRUE(IsAllDigits(""));
    EXPECT_TRUE(IsAllDigits("0123"));
    EXPECT_FALSE(IsAllDigits("12 "));
}

TEST(Guess, ByNameInAnyCase)
{
    expectGuess({
        {"date", "", "YYMMDD"},
        {"Time", "", "HHmm"},
        {"CALL", "", "CALL"},
        {"his", "", "RST"},
        {"My", "", label("My")},
        {"MODE", "", "MODE"},
        {"FREQ", "", "FREQ"},
        {"NAME", "", "NAME"},
        {"QTH", "", "QTH"},
        {"QSL", "", "QSL[VIA]"},
        {"REM", "", "QSL[REM]"},
        {"POWER", "", "POWER"},
        {"SEND", "", "SEND"},
        {"RECV", "", "RECV"},
        {"ENV", "", "ENV"},
        {"P", "", "CALL"},
        {"END", "", label("END")},
        {"via", "", "QSL[VIA]"}, // rules without kinds match any number of fields
        {"radio", "", label("radio")}, // the call-sign kind is taken: a remark named after the field
    });
}

TEST(Guess, DateAndTimeRefinements)
{
    const struct
    {
        const char* name;
        std::string value;
        const char* expected;
    } cases[] = {
        {"DATE", "2000/05/14", "YY/MM/DD"},
        {"DATE", "000514", "YYMMDD"},
        {"DATE", "00.05.14", "YY.MM.DD"},
        {"DATE", "2000-05-14 12:34", "YY-MM-DD HH:mm"},
        {"DATE", "2000-05-14 1234", "YY-MM-DD HHmm"},
        {"DATE", "May", "MON"},
        {"DATE", "'00", "'YY"},
        {"DATE", "14 May", "YYMMDD"}, // nothing fits: the name's expression stays
        {"TIME", "12:34", "HH:mm"},
        {"TIME", "2000-05-14 12:34", "YY-MM-DD HH:mm"},
        {"TIME", "1234", "HHmm"},
        {"TIME", "99:99", "HHmm"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " " + c.value);
        expectGuess({{c.name, c.value, c.expected}});
    }
    // The refinement ignores kinds taken before: the date kinds are taken when TIME is looked at.
    expectGuess({{"DATE", "", "YYMMDD"}, {"TIME", "2000-05-14 12:34", "YY-MM-DD HH:mm"}});
}

TEST(Guess, ByValueTheOrderDecides)
{
    const std::vector<std::vector<Field>> tables = {
        // The first report-like value is the report, the next one the own report.
        {{"A", "599", "RST"}, {"B", "579", label("My")}},
        {{"A", "cw", "MODE"}, {"B", "JA1ABC", "CALL"}, {"C", "14.025", "FREQ"}},
        // A call-sign-like frequency is the call sign while that kind is free.
        {{"A", "7MHz", "CALL"}, {"B", "JA1ABC", "FREQ"}},
        {{"A", "JA1ABC", "CALL"}, {"B", "7MHz", "FREQ"}},
        {{"A", "7MHz", "FREQ"}, {"CALL", "JA1ABC", "CALL"}},
        // Four digits that read as a time are the time before a date is considered.
        {{"A", "1234", "HHmm"}, {"B", "000514", "YYMMDD"}},
        {{"A", "000514", "HHmm"}, {"B", "000514", "YYMMDD"}},
        // Japanese text is a name, then a QTH, once the catch-all for the frequency is used up.
        {{"A", kTokyo, "FREQ"}, {"B", kTokyo, "NAME"}, {"C", kOsaka, "QTH"}, {"D", kOsaka, label("D")}},
        {{"A", "", label("A")}, {"B", "JAN", "MON"}, {"C", "jan", "FREQ"}},
        // Only the first 511 bytes of a value are looked at: the digit that makes a call sign is beyond them.
        {{"A", std::string(511, 'A') + "1", "FREQ"}},
        {{"A", std::string(510, 'A') + "1", "CALL"}},
    };
    for (const auto& t : tables) {
        SCOPED_TRACE(t.front().value.substr(0, 20));
        expectGuess(t);
    }
}

TEST(Guess, NamesDecideBeforeValues)
{
    // DATE takes the date kinds, so 日付 is no date any more.
    expectGuess({{"DATE", "000514", "YYMMDD"}, {kHiduke, "", label(kHiduke)}});
    expectGuess({{"DATE", "000514", "YYMMDD"}, {kHiduke, "2000/05/14", "HHmm"}});
    // Every name is decided before any value, whatever the positions.
    expectGuess({{"A", "599", label("My")}, {"HIS", "599", "RST"}});
}

TEST(Guess, RemainingNames)
{
    expectGuess({
        {"MISC", "", "ADDQSL"},
        {"misc", "", "ADDQSL"},
        {"myqth", "", label("MyQTH")},
        {"MYRIG", "", label("MyRIG")},
        {"RIG", "", label("RIG")},
        {"CONTEST", "", label("Contest")},
        {kTokyo, "", label(kTokyo)},
    });
}

TEST(Guess, FieldsWithoutNames)
{
    // The frequency kind is given by name: otherwise the catch-all takes the first value.
    expectGuess({
        {"FREQ", "7.05", "FREQ"},
        {"", "", "NULL"},
        {"", "00", "YY"},
        {"", "05", "MM"},
        {"", "1234", "HHmm"}, // by value, before the fields without names are looked at
        {"", "14", "DD"},
        {"", "100", "POWER"},
        {"", "3", "ENV"},
        {"", "8", "NULL"},
        {"", "ABC", "CALL"}, // no digit: no call sign by value, but call-sign-like
        {"", "Taro", "NAME"},
        {"", "Tokyo", "QTH"},
        {"", "x", "RECV"},
        {"", "y", "NULL"},
    });
    expectGuess({
        {"FREQ", "", "FREQ"},
        {"", "14 MAY 00", "DD MON 'YY"},
        {"", "5 JUN 01", "NAME"},
    });
    expectGuess({
        {"DATE", "", "YYMMDD"}, {"FREQ", "", "FREQ"}, {"", "14 MAY 00", "NAME"}, // the date kinds are taken
    });
}

TEST(Guess, TypicalLogOfTwelveFields)
{
    expectGuess({
        {"DATE", "2000/05/14", "YY/MM/DD"},
        {"TIME", "12:34", "HH:mm"},
        {"CALL", "JA1ABC", "CALL"},
        {"HIS", "599", "RST"},
        {"MY", "579", label("My")},
        {"FREQ", "7.05", "FREQ"},
        {"MODE", "CW", "MODE"},
        {"NAME", "Taro", "NAME"},
        {"QTH", kTokyo, "QTH"},
        {"QSL", "JARL", "QSL[VIA]"},
        {"SEND", "", "SEND"},
        {"RIG", "FT-991", label("RIG")},
    });
    // More than 64 fields: only the first 64 get an entry.
    std::vector<std::string> names(70, "X");
    names[65] = "CALL";
    const ConvDefTable t = GuessConvDef(names, {});
    EXPECT_EQ(t[63], label("X"));
}

} // namespace

namespace {

// Logs written by other programs, each checked field by field; expected values worked out by hand.
TEST(Guess, AdifAndEnglishExports)
{
    const std::vector<std::pair<const char*, std::vector<Field>>> tables = {
        {"ADIF as a logging program writes it",
         {
             {"QSO_DATE", "20240428", "YYMMDD"},
             {"TIME_ON", "123000", "%2h%2i"}, // HHMMSS: "HHmm" would read hour 1230
             {"CALL", "JA1ZQX", "CALL"},
             {"BAND", "40m", "NULL"}, // the frequency comes from FREQ
             {"FREQ", "7.045", "FREQ"},
             {"MODE", "SSB", "MODE"},
             {"SUBMODE", "USB", "NULL"},
             {"RST_SENT", "59", "RST"},
             {"RST_RCVD", "57", label("My")},
             {"NAME", kTokyo, "NAME"},
             {"QTH", kOsaka, "QTH"},
             {"COMMENT", "TNX", "QSL[REM]"},
             {"QSL_SENT", "N", "SEND"},
             {"QSL_SDATE", "", "NULL"},
             {"QSL_RCVD", "Y", "RECV"},
             {"QSL_VIA", "", "QSL[VIA]"},
             {"TX_PWR", "100", "POWER"},
             {"GRIDSQUARE", "PM95", label("GRIDSQUARE")},
         }},
        {"ADIF with four-digit times and no FREQ",
         {{"CALL", "K6LTE", "CALL"}, {"TIME_ON", "0455", "%2h%2i"}, {"BAND", "20m", "mBAND"}}},
        {"an English CSV export",
         {
             {"Date", "2024/04/28", "YY/MM/DD"},
             {"Time", "0012", "HHmm"},
             {"Call", "JA1ZQX", "CALL"},
             {"Band", "40m", "NULL"},
             {"Freq", "7.045", "FREQ"},
             {"Mode", "CW", "MODE"},
             {"RST Sent", "599", "RST"},
             {"RST Rcvd", "579", label("My")},
             {"Name", "Taro", "NAME"},
             {"QTH", "Tokyo", "QTH"},
             {"QSL Sent", "", "SEND"},
             {"QSL Rcvd", "", "RECV"},
             {"Comment", "", "QSL[REM]"},
             {"Power", "100", "POWER"},
         }},
        {"the Japanese sample: times with a zone letter",
         {
             {"DATE", "2024/04/28", "YY/MM/DD"},
             {"TIME", "0912J", "HHmmJ"},
             {"CALL", "JA1ZQX", "CALL"},
             {"HIS", "59", "RST"},
             {"MY", "59", label("My")},
             {"FREQ", "7.045", "FREQ"},
             {"MODE", "SSB", "MODE"},
             {"QSL", "JARL", "QSL[VIA]"},
             {"SEND", "F", "SEND"},
         }},
    };
    for (const auto& [what, fields] : tables) {
        SCOPED_TRACE(what);
        expectGuess(fields);
    }
}

TEST(Guess, TimesGetAnExpressionThatReadsEveryRecord)
{
    const struct
    {
        const char* name;
        const char* value;
        const char* expected;
    } cases[] = {
        // A zone letter after the digits: the keyword that reads it, by name and by value.
        {"TIME", "1208U", "HHmmJ"},
        {"TIME", "0455Z", "HHmmJ"},
        {"A", "1045J", "HHmmJ"},
        {"TIME_ON", "0912J", "HHmmJ"},
        {"TIME", "1234j", "HHmm"}, // a lower-case letter is no zone
        // A time field reads "H:mm:ss": "HH:mm" at any hour of the current record.
        {"TIME", "9:05:00", "HH:mm"},
        {"TIME", "12:34:00", "HH:mm"},
        {"A", "9:05:00", "HH:mm"},
        {"A", "12:34:00", "HH:mm"},
        {"TIME_ON", "9:05:00", "HH:mm"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " " + c.value);
        expectGuess({{"CALL", "JA1ZQX", "CALL"}, {c.name, c.value, c.expected}});
    }
}

} // namespace
