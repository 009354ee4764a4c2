#include "convert/FieldTemplate.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <sstream>
#include <string>

namespace {

// "表" is 0x95 0x5C: its trail byte is a backslash.
const std::string kHyo = "\x95\x5C";

template <std::size_t N> void put(char (&dest)[N], std::string_view s)
{
    ASSERT_LT(s.size(), N);
    std::memcpy(dest, s.data(), s.size());
    dest[s.size()] = '\0';
}

std::string describe(const CardRecord& r, int flag)
{
    std::ostringstream out;
    out << "flag=" << flag << " date=" << int(r.Year) << '-' << int(r.Month) << '-' << int(r.Day)
        << " time=" << int(r.Hour) << ':' << int(r.Minute) << " Call=[" << r.Call << "] Rst=[" << r.Rst << "] Mode=["
        << r.Mode << "] Freq=[" << r.Freq << "] Power=[" << r.Power << "] Name=[" << r.Name << "] Qth=[" << r.Qth
        << "] Qsl=[" << r.Qsl << "] Send=" << int(r.SendChar) << " Recv=" << int(r.RecvChar) << " Env=" << r.Env;
    return out.str();
}

// Runs the walk over exact-size heap copies, so that ASan reports any read past the template or the text.
int runExact(int flag, CardRecord& record, const std::string& templ, const std::string& text)
{
    auto t = std::make_unique<char[]>(templ.size());
    auto x = std::make_unique<char[]>(text.size());
    std::memcpy(t.get(), templ.data(), templ.size());
    std::memcpy(x.get(), text.data(), text.size());
    return FieldTemplate(flag, record, std::string_view(t.get(), templ.size()), std::string_view(x.get(), text.size()));
}

using Edit = void (*)(CardRecord&);

struct Case
{
    std::string templ;
    std::string text;
    Edit expect; // what the walk writes, applied to the starting record
    Edit start = nullptr; // the record before the walk; all zero when absent
    int flagIn = 0;
    int flagOut = 0;
};

void nothing(CardRecord&) { }
void oldValues(CardRecord& r)
{
    r.Month = 7;
    put(r.Call, "OLD");
    put(r.Name, "Old");
    put(r.Freq, "7.000");
    r.SendChar = 'X';
}

TEST(FieldTemplate, ConvertsAsTheTableSays)
{
    const Case cases[] = {
        // The documented examples.
        {"%y/%m/%d", "99/05/12", [](CardRecord& r) { r.Year = 99, r.Month = 5, r.Day = 12; }},
        {"%2y%2m%2d %2h%2i", "990512 0930",
         [](CardRecord& r) { r.Year = 99, r.Month = 5, r.Day = 12, r.Hour = 9, r.Minute = 30; }},
        {"%C %O", "qx1abc ssb", [](CardRecord& r) { put(r.Call, "qx1abc"), put(r.Mode, "ssb"); }},
        {"%k", "QX1ABC P", [](CardRecord& r) { put(r.Call, "QX1ABC/P"); }},
        {"%B", "1234Z", [](CardRecord& r) { r.Hour = 12, r.Minute = 34; }, nullptr, 0, 1},
        {"%x", "20m", [](CardRecord& r) { put(r.Freq, "14"); }},
        {"%T", "99.5.12", [](CardRecord& r) { r.Year = 99, r.Month = 5, r.Day = 12; }},
        {"NULL", "NULL", nothing, nullptr, 1, 1},
        {"Call", "QX1ABC", nothing},

        // The walk ends quietly with the text; what was stored stays, what follows is never written.
        {"%y/%m/%d", "99/05", [](CardRecord& r) { r.Year = 99, r.Month = 5; }},
        {"%C,%N", "abc,", [](CardRecord& r) { put(r.Call, "abc"); }, oldValues},
        {"%y-%m", "9905", [](CardRecord& r) { r.Year = 5; }, oldValues},
        {"%S", "", nothing, oldValues},
        // A value runs to the text's end when its delimiter never comes.
        {"%C/%N", "qx1,Taro", [](CardRecord& r) { put(r.Call, "qx1,Taro"); }, oldValues},
        // A literal that does not match stops the walk; earlier values stay.
        {"%C,#%N", "qx1,Taro", [](CardRecord& r) { put(r.Call, "qx1"); }, oldValues},
        {"#%C", "qx1", nothing, oldValues},

        // "%%" and the escapes.
        {"100%% %C", "100% qx1", [](CardRecord& r) { put(r.Call, "qx1"); }},
        {"%%%C", "x%qx1", nothing},
        {"%C%%%N", "ab%cd", [](CardRecord& r) { put(r.Call, "ab"), put(r.Name, "cd"); }},
        // A code right after a code delimits by '%', so without one the first takes the whole rest.
        {"%C%N", "qx1 Taro", [](CardRecord& r) { put(r.Call, "qx1 Taro"); }, oldValues},
        {"\\M\\J%C", "\r\nqx1", [](CardRecord& r) { put(r.Call, "qx1"); }},
        {"\\M\\J%C", "\nqx1", nothing},
        {"\\\\%C\\x2C%N", "\\qx1,Taro", [](CardRecord& r) { put(r.Call, "qx1"), put(r.Name, "Taro"); }},
        {"\\x414%C", "A4qx1", [](CardRecord& r) { put(r.Call, "qx1"); }},
        {"\\q%C", "\\qqx1", [](CardRecord& r) { put(r.Call, "qx1"); }},
        {"\\[%C", "\x1Bqx1", [](CardRecord& r) { put(r.Call, "qx1"); }},
        {"%C\\x4", std::string("ab\x04", 3), [](CardRecord& r) { put(r.Call, "ab"); }},
        {"%\\IC", "\tqx1", [](CardRecord& r) { put(r.Call, "qx1"); }},
        // An escape after a code delimits by what it stands for: tab-separated fields.
        {"%C\\I%O\\I%N", "qx1\tssb\tTaro",
         [](CardRecord& r) { put(r.Call, "qx1"), put(r.Mode, "ssb"), put(r.Name, "Taro"); }},

        // Widths and shaping characters.
        {"%0C,%N", "abc,def", [](CardRecord& r) { put(r.Call, ""), put(r.Name, "def"); }, oldValues},
        {"%-3C%N", "abcdef", [](CardRecord& r) { put(r.Call, "abc"), put(r.Name, "def"); }},
        {"%123C", "abcdefghijklmnop", [](CardRecord& r) { put(r.Call, "abcdefghijkl"); }},
        {"%Z3C", "abcdef", [](CardRecord& r) { put(r.Call, "abcdef"); }},
        {"%--3C", "abcdef", [](CardRecord& r) { put(r.Call, "abcdef"); }},
        {"%GGGGGGGGGGGGGGGGGGGG2C", "abcdef", [](CardRecord& r) { put(r.Call, "abcdef"); }},
        {"%2C,%N", "abcd,ef", [](CardRecord& r) { put(r.Call, "ab"), put(r.Name, "ef"); }},
        {"%2C\\I%N", "ab\tcd", [](CardRecord& r) { put(r.Call, "ab"), put(r.Name, "cd"); }},
        {"%2C\\I%N", "abX\tcd", [](CardRecord& r) { put(r.Call, "ab"); }},
        {"%5C", "qx", [](CardRecord& r) { put(r.Call, "qx"); }},

        // Trimming: leading blanks and tabs only after a leading blank; trailing ones always.
        {"%C,%N,%Q", "  qx1 \t,\t Taro \t,   ",
         [](CardRecord& r) { put(r.Call, "qx1"), put(r.Name, "\t Taro"), put(r.Qth, ""); }},

        // Capacities: members cut to theirs, the rest passed over; the value buffer holds 127.
        {"%P,%N", "1234567890,Taro", [](CardRecord& r) { put(r.Power, "12345678"), put(r.Name, "Taro"); }},
        {"%C", std::string(30, 'c'), [](CardRecord& r) { put(r.Call, std::string(24, 'c')); }},
        {"%L", std::string(600, 'q'), [](CardRecord& r) { put(r.Qsl, std::string(512, 'q')); }},
        {"%S", std::string(130, ' ') + "X", [](CardRecord& r) { r.SendChar = 0; }, oldValues},
        {"%S", std::string(120, ' ') + "X", [](CardRecord& r) { r.SendChar = 'X'; }},
        {"%P", "1234567" + kHyo, [](CardRecord& r) { put(r.Power, "1234567"); }},

        // Double-byte characters are never split or mistaken for a backslash.
        {kHyo + "%C", kHyo + "qx1", [](CardRecord& r) { put(r.Call, "qx1"); }},
        {"%N\\\\%Q", kHyo + "x\\Tokyo", [](CardRecord& r) { put(r.Name, kHyo + "x"), put(r.Qth, "Tokyo"); }},
        {"%N" + kHyo + "%Q", "Taro" + kHyo + "Tokyo", [](CardRecord& r) { put(r.Name, "Taro"), put(r.Qth, "Tokyo"); }},
        {"%3N%Q", "ab" + kHyo + "c", [](CardRecord& r) { put(r.Name, "ab"), put(r.Qth, kHyo + "c"); }},

        // Digit values: every character counts with its low four bits; members keep the low eight bits.
        {"%V", "12", [](CardRecord& r) { r.Env = 12; }},
        {"%V", "4294967297", [](CardRecord& r) { r.Env = 1; }},
        {"%d", "1a", [](CardRecord& r) { r.Day = 11; }},
        {"%y %d %h %i", "1999 300 07 5", [](CardRecord& r) { r.Year = 99, r.Day = 44, r.Hour = 7, r.Minute = 5; }},

        // Months by name or number; 'o' drops blanks and does not match the character after it.
        {"%m %d", "may 5", [](CardRecord& r) { r.Month = 5, r.Day = 5; }},
        {"%m", "13", [](CardRecord& r) { r.Month = 13; }},
        {"%m", "January", [](CardRecord& r) { r.Month = 0; }, oldValues},
        {"%o#/%d", "Se pt./12", [](CardRecord& r) { r.Month = 9, r.Day = 12; }},
        {"%o", "J u n", [](CardRecord& r) { r.Month = 6; }},

        // The call-sign columns.
        {"%k%N", "QX1ABC P  Taro", [](CardRecord& r) { put(r.Call, "QX1ABC/P"), put(r.Name, "Taro"); }},
        {"%k", "QX1ABC    ", [](CardRecord& r) { put(r.Call, "QX1ABC"); }, oldValues},
        {"%k", "qx1a", [](CardRecord& r) { put(r.Call, "qx1a"); }},
        {"%k", "QX1ABCDEFGH", [](CardRecord& r) { put(r.Call, "QX1ABCD/EFG"); }},

        // Pattern codes: all numbers or a stop.
        {"%g", " 0315z", [](CardRecord& r) { r.Hour = 3, r.Minute = 15; }, nullptr, 0, 1},
        {"%B", "0315", [](CardRecord& r) { r.Hour = 3, r.Minute = 15; }, nullptr, 1, 1},
        {"%B", "0315", [](CardRecord& r) { r.Hour = 3, r.Minute = 15; }, nullptr, 0, 0},
        {"%B,%C", "now Z,qx1", nothing, nullptr, 0, 0},
        {"%f", "990512", [](CardRecord& r) { r.Year = 99, r.Month = 5, r.Day = 12; }},
        {"%f %C", "9905 qx1", nothing},
        {"%T", "1999.5.12", [](CardRecord& r) { r.Year = 207, r.Month = 5, r.Day = 12; }},
        {"%T %C", "99.5 qx1", nothing},
        {"%F", "5.12", [](CardRecord& r) { r.Month = 5, r.Day = 12; }},
        {"%F,%C", "5,qx1", nothing},

        // Bands.
        {"%x", "160m", [](CardRecord& r) { put(r.Freq, "1.8"); }},
        {"%x", "sat", [](CardRecord& r) { put(r.Freq, "SAT"); }},
        {"%x", "70", [](CardRecord& r) { put(r.Freq, ""); }, oldValues},

        // Every text code and its member; the later code wins.
        {"%A/%O/%P/%N/%Q/%L/%U", "7.050/ssb/100/Taro/Tokyo/via X/599",
         [](CardRecord& r) {
             put(r.Freq, "7.050"), put(r.Mode, "ssb"), put(r.Power, "100"), put(r.Name, "Taro");
             put(r.Qth, "Tokyo"), put(r.Qsl, "via X"), put(r.Rst, "599");
         }},
        {"%a,%b|%p,%l|%q", "1,2|3,4|5", [](CardRecord& r) { put(r.Freq, "5"), put(r.Rst, "4"); }},
        {"%S,%R", ",N", [](CardRecord& r) { r.SendChar = 0, r.RecvChar = 'N'; }, oldValues},

        // Codes that pass their value over, and codes that take nothing.
        {"%W,%Y,%w,%z,%s,%t,%u,%v,%C", "1,2,3,4,5,6,7,8,qx1", [](CardRecord& r) { put(r.Call, "qx1"); }},
        {"%D%E%K%M%c%n%C", "qx1", [](CardRecord& r) { put(r.Call, "qx1"); }},
    };

    for (const Case& c : cases) {
        CardRecord actual;
        if (c.start) {
            c.start(actual);
        }
        CardRecord expected = actual;
        c.expect(expected);
        const int flag = runExact(c.flagIn, actual, c.templ, c.text);
        EXPECT_EQ(describe(actual, flag), describe(expected, c.flagOut))
            << "template <" << c.templ << "> on <" << c.text << ">";
    }
}

TEST(FieldTemplate, CutTemplatesAndTextsAreSafe)
{
    // Every prefix of templates that end inside an escape, a code or a double-byte character, against
    // every prefix of a text that would match more: nothing is read past either end.
    const std::string templates[] = {
        "\\x4", "\\x", "\\", "%o", "%2", "%-", "%k", kHyo.substr(0, 1), "%C\\I%N", "%C" + kHyo + "%N", "%B%f%T%F",
    };
    const std::string text = "\x04\\x4\t" + kHyo + "1234.5.6%";
    for (const std::string& t : templates) {
        for (std::size_t tn = 0; tn <= t.size(); ++tn) {
            for (std::size_t xn = 0; xn <= text.size(); ++xn) {
                CardRecord r;
                runExact(0, r, t.substr(0, tn), text.substr(0, xn));
            }
        }
    }

    // A "\x" whose second digit is missing uses the digit that is there.
    CardRecord r;
    EXPECT_EQ(runExact(0, r, "\\x4%S", "\x04Y"), 0);
    EXPECT_EQ(r.SendChar, 'Y');
}

} // namespace
