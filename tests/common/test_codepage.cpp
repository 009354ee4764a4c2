#include "common/CodePage.h"
#include "common/Cp932.h"

#include <gtest/gtest.h>

namespace {

// What the tables write to declare their code page, as the program names it for the converter.
TEST(CodePage, DeclarationsNameTheirCodePage)
{
    struct Case
    {
        std::string cpg;
        std::optional<std::string> name;
    };
    const Case cases[] = {
        {"UTF-8", "UTF-8"},
        {"utf8\n", "UTF-8"},
        {"ANSI 1250", "CP1250"},
        {"1252", "CP1252"},
        {"88591", "ISO-8859-1"},
        {"CP1251", "CP1251"},
        {"SJIS", "CP932"},
        {"932", "CP932"},
        {"LDID/87", "CP1252"},
        {"", ""},
        {"  \r\n", ""},
        {"NO SUCH PAGE", std::nullopt},
        {"ISO-8859-5", "ISO-8859-5"},
        {"99999", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(codepage::cpgCodePage(c.cpg), c.name) << c.cpg;
    }
    EXPECT_EQ(codepage::dbaseLanguageDriver(0x00), std::string());
    EXPECT_EQ(codepage::dbaseLanguageDriver(0x13), std::string("CP932"));
    EXPECT_EQ(codepage::dbaseLanguageDriver(0x7B), std::string("CP932"));
    EXPECT_EQ(codepage::dbaseLanguageDriver(0xC9), std::string("CP1251"));
    EXPECT_EQ(codepage::dbaseLanguageDriver(0xFE), std::nullopt);
    EXPECT_EQ(codepage::paradoxCodePage(0), std::string());
    EXPECT_EQ(codepage::paradoxCodePage(437), std::string("CP437"));
    EXPECT_EQ(codepage::paradoxCodePage(12345), std::nullopt);
}

// One rule: whatever CP932 cannot hold, or what is no character at all, becomes one '?'; never FC FC or U+FFFD.
TEST(CodePage, WhatCp932CannotHoldBecomesAQuestionMark)
{
    struct Case
    {
        const char* page;
        std::string raw;
        std::string cp932;
    };
    const Case cases[] = {
        {"CP932", "JA1" + cp932::fromUtf8("表"), "JA1" + cp932::fromUtf8("表")},
        {"CP932", "A\x82", "A?"}, // a lead byte with nothing after it
        {"CP932", "\x82 A", "? A"}, // a lead byte before no trail byte: the next byte stays
        {"CP932", "\xFC\xFC", "?"}, // FC FC is no character of CP932
        {"CP932", "\x80\xA0\xFD", "???"},
        {"CP932", "\x85\x40", "?"}, // an empty row
        {"CP932", "\xB1\xB2", "\xB1\xB2"}, // half-width katakana
        {"CP1252", "San Jos\xE9", "San Jos?"}, // the last byte is no lead byte here
        {"CP1252", "\xD7", cp932::fromUtf8("×")},
        {"CP1251", "\xC6", cp932::fromUtf8("Ж")},
        {"UTF-8", "\xE3\x80\x9C", cp932::fromUtf8("〜")}, // the JIS form reaches CP932's character
        {"UTF-8", "\xF0\x9F\x92\xA9", "?"},
        {"UTF-8", "a\xFF", "a?"},
    };
    for (const auto& c : cases) {
        const codepage::CodePage page(c.page);
        ASSERT_TRUE(page.isValid()) << c.page;
        const std::string text = page.toCp932(c.raw);
        EXPECT_EQ(text, c.cp932) << c.page << " " << c.raw;
        EXPECT_TRUE(codepage::isWellFormedCp932(text)) << c.raw;
        EXPECT_EQ(text.find("\xFC\xFC"), std::string::npos);
        EXPECT_TRUE(cp932::isValidUtf8(page.toUtf8(c.raw)));
    }
    EXPECT_EQ(codepage::CodePage("CP1252").toUtf8("San Jos\xE9"), "San José");
    EXPECT_EQ(codepage::CodePage("CP1252").toUtf8("\x81"), "\xEF\xBF\xBD"); // no character of CP1252
}

TEST(CodePage, MarksAreStoredInTheCodePageOrRefused)
{
    const codepage::CodePage cyrillic("CP1251");
    EXPECT_EQ(cyrillic.fromCp932("F", 1), std::string("F"));
    EXPECT_EQ(cyrillic.fromCp932(cp932::fromUtf8("Жд"), 1), std::string("\xC6")); // cut to the width
    EXPECT_EQ(cyrillic.fromCp932(cp932::fromUtf8("済"), 4), std::nullopt);
    EXPECT_EQ(cyrillic.fromCp932(cp932::fromUtf8("Ж済"), 1), std::nullopt); // refused even where it is cut
    const codepage::CodePage utf8("UTF-8");
    EXPECT_EQ(utf8.fromCp932(cp932::fromUtf8("済済"), 4), std::string("済"));
    const codepage::CodePage sjis;
    EXPECT_EQ(sjis.fromCp932(cp932::fromUtf8("済済"), 3), cp932::fromUtf8("済"));
    EXPECT_EQ(sjis.fromCp932("\xFC\xFC", 4), std::nullopt);
}

} // namespace
