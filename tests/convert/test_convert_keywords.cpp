// ConvertField, one expression on one field text: what each keyword writes, what it leaves alone when the
// text does not fit, and the CP932 and capacity edges that matter.
#include "RecordDump.h"
#include "convert/ConvExpression.h"
#include "convert/ConvertRecord.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

using Change = std::function<void(CardRecord&)>;

struct Case
{
    std::string expr;
    std::string text;
    Change expect; // applied to the starting record to give the expected one; empty = nothing written
    bool fromZero = false; // start from an all-zero record instead of the sentinel record
    int flagIn = 1;
    int flagOut = -1; // -1: the flag must come back unchanged
};

Change date(int y, int m, int d)
{
    return [=](CardRecord& r) {
        r.Year = static_cast<std::uint8_t>(y);
        r.Month = static_cast<std::uint8_t>(m);
        r.Day = static_cast<std::uint8_t>(d);
    };
}

Change time(int h, int mi)
{
    return [=](CardRecord& r) {
        r.Hour = static_cast<std::uint8_t>(h);
        r.Minute = static_cast<std::uint8_t>(mi);
    };
}

Change both(Change a, Change b)
{
    return [=](CardRecord& r) {
        a(r);
        b(r);
    };
}

template <std::size_t N> Change text(char (CardRecord::*member)[N], std::string value)
{
    return [=](CardRecord& r) {
        ASSERT_LT(value.size(), N);
        std::memset(r.*member, 0, N);
        std::memcpy(r.*member, value.data(), value.size());
    };
}

Change member(std::uint8_t CardRecord::*m, int value)
{
    return [=](CardRecord& r) { r.*m = static_cast<std::uint8_t>(value); };
}

void run(const std::vector<Case>& cases)
{
    for (const Case& c : cases) {
        SCOPED_TRACE("expr <" + c.expr + "> text <" + c.text + ">");
        CardRecord start = c.fromZero ? CardRecord() : sentinelRecord();
        CardRecord expected = start;
        if (c.expect) {
            c.expect(expected);
        }
        const int flag = ConvertField(c.flagIn, start, c.expr, c.text);
        EXPECT_EQ(dump(start), dump(expected));
        EXPECT_EQ(flag, c.flagOut < 0 ? c.flagIn : c.flagOut);
    }
}

const std::string kLsquo = "\x81\x65"; // ‘ in CP932

TEST(ConvertKeywords, DatesWithSeparatorsOrPacked)
{
    run({
        {"YY.MM.DD", "99.5.12", date(99, 5, 12)},
        {"YY.MM.DD", "1999.05.12", date(99, 5, 12)},
        {"YY.MM.DD", " 99 .5.12", {}},
        {"YY.MM.DD", "99.5", {}},
        {"YY.MM.DD", "99/5/12", {}},
        {"YYMMDD", "990512", date(99, 5, 12)},
        {"YYMMDD", "20000512", date(0, 5, 12)},
        {"YYMMDD", "512", date(0, 5, 12)},
        {"YYMMDD", "  990512x", date(99, 5, 12)},
        {"YYMMDD", "abc", {}},
        {"YYDDMM", "991205", date(99, 5, 12)},
        {"YY/MM/DD", "1999/5/12", date(99, 5, 12)},
        {"YY/MM/DD", "99-05-12", {}},
        {"DD/MM/YY", "12/05/99", date(99, 5, 12)},
        {"DD/MM/YY", "12/05", {}},
        {"YY-MM-DD", "99-05-12", date(99, 5, 12)},
        {"YY-MM-DD", "'99-05-12", {}},
        {"YY-MM-DD", "99-13-40", date(99, 13, 40)},
        {"YY-MM-DD HH:mm", "'99-05-12 13:45", both(date(99, 5, 12), time(13, 45))},
        {"YY-MM-DD HH:mm", kLsquo + "99-05-12\t13:45", both(date(99, 5, 12), time(13, 45))},
        {"YY-MM-DD HH:mm", "99-05-1213:45", {}},
        {"YY-MM-DD HH:mm", "99-05-12", {}},
        {"YY-MM-DD HHmm", "99-05-12 0905", both(date(99, 5, 12), time(9, 5))},
        {"YY-MM-DD HHmm", "2000-05-12 2400", both(date(0, 5, 12), time(24, 0))},
        {"YY-MM-DD HHmm", "99-05-12", {}},
    });
}

TEST(ConvertKeywords, DatesWithMonthNames)
{
    run({
        {"DD MON 'YY", "12 MAY '99", date(99, 5, 12)},
        {"DD MON 'YY", "12 May " + kLsquo + "99", date(99, 5, 12)},
        {"DD MON 'YY", "12 Sept. 99", date(99, 9, 12)},
        {"DD MON 'YY", "12 XYZ 99", date(99, 0, 12)},
        {"DD MON 'YY", "12 \"may\" \"'99\"", date(99, 5, 12)},
        {"DD MON 'YY", "12  MAY '99", {}},
        {"DD MON 'YY", "12 MAY", {}},
        {"DD MON 'YY", "12\tMAY\t99", {}},
        {"'YY DD MON", "'99 12 may", date(99, 5, 12)},
        {"'YY DD MON", "2001 3 dec.", date(1, 12, 3)},
        {"'YY DD MON", "'99 12 may 5", date(99, 0, 12)},
        {"'YY DD MON", "'99 may 12", {}},
        {"DD MON", "12 may", both(member(&CardRecord::Day, 12), member(&CardRecord::Month, 5))},
        {"DD MON", "12   JUNE", both(member(&CardRecord::Day, 12), member(&CardRecord::Month, 6))},
        {"DD MON", "12 xyz", both(member(&CardRecord::Day, 12), member(&CardRecord::Month, 0))},
        {"DD MON", "x may", {}},
        {"MON DD", "Jul. 4", both(member(&CardRecord::Day, 4), member(&CardRecord::Month, 0))},
        {"MON DD", "July 4", both(member(&CardRecord::Day, 4), member(&CardRecord::Month, 7))},
        {"MON DD", "July", {}},
        {"MON", "Sept.", member(&CardRecord::Month, 9)},
        {"MON", "sep", member(&CardRecord::Month, 9)},
        {"MON", "Sept", member(&CardRecord::Month, 0)},
        {"MON", "13", member(&CardRecord::Month, 13)},
        {"MON", " 5", member(&CardRecord::Month, 0)},
        {"MON", "January", member(&CardRecord::Month, 0)},
        {"MON", "", member(&CardRecord::Month, 0)},
    });
}

TEST(ConvertKeywords, SingleNumbersAndYears)
{
    run({
        {"YY", "99", member(&CardRecord::Year, 99)},
        {"YY", "'99", {}},
        {"'YY", "'99", member(&CardRecord::Year, 99)},
        {"'YY", kLsquo + "99", member(&CardRecord::Year, 99)},
        {"'YY", "1999", member(&CardRecord::Year, 99)},
        {"'YY", "''99", {}},
        {"YYYY", "1999", member(&CardRecord::Year, 99)},
        {"YYYY", "2000", member(&CardRecord::Year, 0)},
        {"MM", "7", member(&CardRecord::Month, 7)},
        {"mm", "7", member(&CardRecord::Minute, 7)},
        {"DD", " 31", member(&CardRecord::Day, 31)},
        {"HH", "301", member(&CardRecord::Hour, 301 & 0xFF)},
        {"MM", "x", {}},
        {"DD", "", {}},
        {"HH", "-", {}},
        {"mm", "", {}},
    });
}

TEST(ConvertKeywords, TimesAndZoneLetter)
{
    run({
        {"HHmm", "1234", time(12, 34)},
        {"HHmm", "2400", time(24, 0)},
        {"HHmm", "12:34", time(0, 12)},
        {"HHmm", "x", {}},
        {"HH:mm", "9:5", time(9, 5)},
        {"HH:mm", "09 : 05", {}},
        {"HH:mm", "9", {}},
        {"HHmmJ", "1234J", time(12, 34), false, 1, 0},
        {"HHmmJ", "1234I", time(12, 34), false, 1, 0},
        {"HHmmJ", "0315Z", time(3, 15), false, 0, 1},
        {"HHmmJ", "0315U", time(3, 15), false, 0, 1},
        {"HHmmJ", "0315", time(3, 15), false, 0},
        {"HHmmJ", "0315", time(3, 15), false, 1},
        {"HHmmJ", "1234j", time(12, 34), false, 0},
        {"HHmmJ", "1234 X", time(12, 34), false, 1},
        // The zone letter is removed whatever precedes it; the flag changes even without a number.
        {"HHmmJ", "Z", {}, false, 0, 1},
        {"HHmmJ", "J", {}, false, 1, 0},
        {"HHmmJ", "", {}, false, 1},
        // 0x83 0x4A is one double-byte character whose second byte looks like 'J': no zone letter.
        {"HHmmJ", "1234\x83J", time(12, 34), false, 1},
    });
}

TEST(ConvertKeywords, TextKeywords)
{
    const std::string name50(50, 'n');
    run({
        {"CALL", "qx1abc", text(&CardRecord::Call, "QX1ABC"), true},
        {"CALL", "p", text(&CardRecord::Call, "OLD1CALL/P")},
        {"CALL", "", {}},
        {"CALL", "abcdefghijklmnopqrstuvwxyz", text(&CardRecord::Call, "OLD1CALL/ABCDEFGHIJKLMNO")},
        {"CALL", "jq1\x82\x60x", text(&CardRecord::Call, "JQ1\x82\x60X"), true},
        {"RST", "599", text(&CardRecord::Rst, "599")},
        {"RST", "", text(&CardRecord::Rst, "")},
        {"RST", std::string(30, '5'), text(&CardRecord::Rst, std::string(24, '5'))},
        {"MODE", "ssb", text(&CardRecord::Mode, "SSB")},
        {"MODE", "", text(&CardRecord::Mode, "")},
        {"POWER", "100W  long", text(&CardRecord::Power, "100W  lo")},
        {"NAME", "Taro", text(&CardRecord::Name, "Taro")},
        // 49 bytes then a double-byte character: the cut at 50 drops the whole character.
        {"NAME", std::string(49, 'n') + "\x95\x5C", text(&CardRecord::Name, std::string(49, 'n'))},
        {"QTH", name50 + "x", text(&CardRecord::Qth, name50)},
        {"SEND", "Y", [](CardRecord& r) { r.SendChar = 'Y'; }},
        {"SEND", "", [](CardRecord& r) { r.SendChar = 0; }},
        {"SEND", " F", [](CardRecord& r) { r.SendChar = ' '; }},
        {"RECV", "N", [](CardRecord& r) { r.RecvChar = 'N'; }},
        {"RECV", "", [](CardRecord& r) { r.RecvChar = 0; }},
        {"ENV", "12", [](CardRecord& r) { r.Env = 12; }},
        {"ENV", " 4294967295", [](CardRecord& r) { r.Env = 4294967295u; }},
        {"ENV", "x", {}},
        // A text is read only up to its first NUL byte, as a stored zero-terminated value would be.
        {"RST", std::string("59\0 9", 5), text(&CardRecord::Rst, "59")},
    });
}

TEST(ConvertKeywords, FrequencyKeywords)
{
    run({
        {"FREQ", "7.050MHz", text(&CardRecord::Freq, "7.050")},
        {"FREQ", "7.050 mhz", text(&CardRecord::Freq, "7.050")},
        {"FREQ", "  7.050 \tMHz", text(&CardRecord::Freq, "  7.050")},
        {"FREQ", "14.2", text(&CardRecord::Freq, "14.2")},
        {"FREQ", "14.2 khz ", text(&CardRecord::Freq, "14.2 KHZ ")},
        {"FREQ", "", text(&CardRecord::Freq, "")},
        {"FREQ", "123456789012345678901234567890 MHz", text(&CardRecord::Freq, "12345678901234567890")},
        // The unit is looked for in the first 31 bytes only.
        {"FREQ", "7.050" + std::string(26, ' ') + "MHz", text(&CardRecord::Freq, "7.050" + std::string(15, ' '))},
        // 'M' as the second byte of a double-byte character is no unit.
        {"FREQ", "\x83MHZ", text(&CardRecord::Freq, "\x83MHZ")},
        {"KHz", "7050", text(&CardRecord::Freq, "7.050")},
        {"KHz", "1850", text(&CardRecord::Freq, "1.850")},
        {"KHz", " 14025.7kHz", text(&CardRecord::Freq, "14.026")},
        {"KHz", "1.4e4", text(&CardRecord::Freq, "14.000")},
        {"KHz", "7050,5", text(&CardRecord::Freq, "7.050")},
        {"KHz", "abc", {}},
        {"KHz", "", {}},
        {"mBAND", "sat", text(&CardRecord::Freq, "SAT")},
        {"mBAND", "160m", text(&CardRecord::Freq, "1.8")},
        {"mBAND", " 40", text(&CardRecord::Freq, "7")},
        {"mBAND", "2m", text(&CardRecord::Freq, "144")},
        {"mBAND", "70", text(&CardRecord::Freq, "")},
        {"mBAND", "430", text(&CardRecord::Freq, "")},
        {"mBAND", "satellite", text(&CardRecord::Freq, "")},
        {"mBANDS", "20m", text(&CardRecord::Freq, "14")},
    });
}

TEST(ConvertKeywords, QslForms)
{
    const std::string q500(500, 'q');
    run({
        {"QSL", "via buro", text(&CardRecord::Qsl, "via buro")},
        {"QSL", "", text(&CardRecord::Qsl, "")},
        {"QSL", std::string(600, 'x'), text(&CardRecord::Qsl, std::string(512, 'x'))},
        {"ADDQSL", "abc", text(&CardRecord::Qsl, "q0 abc")},
        {"ADDQSL", "", text(&CardRecord::Qsl, "q0 ")},
        {"ADDQSL", "", {}, true},
        {"ADDQSL", "abc", text(&CardRecord::Qsl, "abc"), true},
        {"QSL[VIA]", "QX1ABC", text(&CardRecord::Qsl, "VIA[QX1ABC]"), true},
        {"QSL[VIA]", "QX1ABC", text(&CardRecord::Qsl, "q0 VIA[QX1ABC]")},
        {"QSL[VIA]", "", {}},
        {"QSL\xA2My\xA3", "599",
         text(&CardRecord::Qsl,
              "My\xA2"
              "599\xA3"),
         true},
        {"QSL{X}", "1", text(&CardRecord::Qsl, "X{1}"), true},
        {"QSL<X>", "1", text(&CardRecord::Qsl, "X<1>"), true},
        {"QSL(...)", "1", text(&CardRecord::Qsl, "...(1)"), true},
        {"QSL[VIA", "1", text(&CardRecord::Qsl, "VIA[1]"), true},
        {"QSL[A]B]", "1", text(&CardRecord::Qsl, "A[1]"), true},
        {"QSL[]", "1", text(&CardRecord::Qsl, "[1]"), true},
        // 0x81 0x5D is one character whose second byte is ']': it belongs to the label.
        {"QSL[\x81]x]", "1", text(&CardRecord::Qsl, "\x81]x[1]"), true},
        {"QSL", "ignored", text(&CardRecord::Qsl, "ignored")},
    });
    // The addition goes in whole or not at all: 500 + 3 + 7 + 2 = 512 is too much, 511 fits exactly.
    for (const auto& [value, expected] : std::vector<std::pair<std::string, std::string>>{
             {"1234567", q500}, {"123456", q500 + " VIA[123456]"}, {"12", q500 + " VIA[12]"}}) {
        CardRecord r;
        std::memcpy(r.Qsl, q500.data(), q500.size());
        ConvertField(1, r, "QSL[VIA]", value);
        EXPECT_EQ(std::string(r.Qsl), expected) << value;
        EXPECT_LE(std::strlen(r.Qsl), 512u);
    }
}

TEST(ConvertKeywords, NonKeywordsWriteNothing)
{
    // Other spellings are templates of plain literals; "NULL" and the empty expression contain no codes.
    run({
        {"NULL", "anything", {}},
        {"", "anything", {}},
        {"khz", "7050", {}},
        {"Call", "qx1abc", {}},
        {"call", "qx1abc", {}},
        {"QSL ", "x", {}},
        {"YYMMDD ", "990512", {}},
        {std::string("CALL\0X", 6), "qx1abc", text(&CardRecord::Call, "OLD1CALL/QX1ABC")},
    });
    EXPECT_TRUE(IsConversionKeyword("mBAND40"));
    EXPECT_TRUE(IsConversionKeyword("QSL<a>"));
    EXPECT_TRUE(IsConversionKeyword("YY-MM-DD HH:mm"));
    EXPECT_FALSE(IsConversionKeyword("QSL|"));
    EXPECT_FALSE(IsConversionKeyword("%y/%m/%d"));
    EXPECT_FALSE(IsConversionKeyword("NULL"));
}

TEST(ConvertKeywords, EveryOfferedExpressionButNullIsAKeyword)
{
    for (const ConvExpression& e : kConvExpressions) {
        if (!e.offered) {
            continue;
        }
        SCOPED_TRACE(std::string(e.text));
        EXPECT_EQ(IsConversionKeyword(e.text), e.text != "NULL");
    }
}

TEST(ConvertKeywords, LongFieldTextIsCutTo1023Bytes)
{
    CardRecord r;
    ConvertField(1, r, "ENV", std::string(1022, ' ') + "5");
    EXPECT_EQ(r.Env, 5u);
    r = CardRecord();
    ConvertField(1, r, "ENV", std::string(1023, ' ') + "5");
    EXPECT_EQ(r.Env, 0u);
    // The bracket form measures the cut text: 1023 bytes never fit, so nothing is added.
    r = CardRecord();
    ConvertField(1, r, "QSL[A]", std::string(5000, 'x'));
    EXPECT_EQ(std::string(r.Qsl), "");
}

} // namespace
