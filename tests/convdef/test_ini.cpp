#include "convdef/IniFile.h"

#include <gtest/gtest.h>

namespace {

TEST(IniFile, LookupRules)
{
    // "\x81\x5D" is a double-byte character whose trail byte is ']': it does not end the section name.
    const IniFile ini = IniFile::parse("k0=outside\r\n"
                                       "  [ Main ]  \r\n"
                                       "; Key=comment\r\n"
                                       "Key=first\r\n"
                                       "key=second\r\n"
                                       "Empty=\r\n"
                                       " Spaced \t= a = b \r\n"
                                       "noequals\n"
                                       "[MAIN]\n"
                                       "Other=in the second section of the same name\r"
                                       "[a\x81\x5D]\n"
                                       "x=dbcs\n");
    struct Case
    {
        const char* section;
        const char* key;
        std::optional<std::string> expected;
    };
    const Case cases[] = {
        {"main", "KEY", "first"},        {"Main", "Empty", ""},           {"Main", "Missing", std::nullopt},
        {"Main", "spaced", " a = b "},   {"Main", "; Key", std::nullopt}, {"Main", "noequals", std::nullopt},
        {"Main", "Other", std::nullopt}, {"", "k0", std::nullopt},        {"a\x81\x5D", "X", "dbcs"},
        {"Nope", "Key", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ini.value(c.section, c.key), c.expected) << c.section << "/" << c.key;
    }
}

TEST(IniFile, IntegerForms)
{
    const struct
    {
        const char* text;
        std::optional<int> expected;
    } cases[] = {
        {"0", 0},
        {"1", 1},
        {"-12", -12},
        {"+7", 7},
        {"  7", 7},
        {"0x10", 16},
        {"0X1f", 31},
        {"$1F", 31},
        {"$ffffffff", -1},
        {"2147483647", 2147483647},
        {"-2147483648", -2147483647 - 1},
        {"2147483648", std::nullopt},
        {"0x100000000", std::nullopt},
        {"yes", std::nullopt},
        {"", std::nullopt},
        {"7 ", std::nullopt},
        {"12abc", std::nullopt},
        {"0x", std::nullopt},
        {"$", std::nullopt},
        {"-", std::nullopt},
        {"0x1G", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IniFile::parseInteger(c.text), c.expected) << '"' << c.text << '"';
    }
    const IniFile ini = IniFile::parse("[S]\nA=yes\nB=0x10\n");
    EXPECT_EQ(ini.readInteger("S", "A", 5), 5);
    EXPECT_EQ(ini.readInteger("S", "B", 5), 16);
    EXPECT_EQ(ini.readInteger("S", "C", 5), 5);
}

TEST(IniFile, WritingPlacesKeysAndKeepsOtherLines)
{
    IniFile ini = IniFile::parse("[A]\nx=1\n\n[B]\ny=2\n");
    ini.writeString("a", "X", "new"); // replaced in place, written with the caller's spelling
    ini.writeString("A", "z", "3"); // after the section's last entry, before the blank line
    ini.writeString("C", "w", "4\r\nInjected=1"); // a new section at the end; nothing after a line break
    EXPECT_EQ(ini.text(), "[A]\r\nX=new\r\nz=3\r\n\r\n[B]\r\ny=2\r\n[C]\r\nw=4\r\n");
    EXPECT_EQ(IniFile::parse(ini.text()).value("C", "Injected"), std::nullopt);

    IniFile empty = IniFile::parse("");
    empty.writeInteger("S", "K", -3);
    EXPECT_EQ(empty.text(), "[S]\r\nK=-3\r\n");
}

TEST(IniFile, ByteOrderMarkIsPassedOverAndKept)
{
    IniFile ini = IniFile::parse("\xEF\xBB\xBF[S]\nK=v\n");
    EXPECT_EQ(ini.value("S", "K"), "v");
    ini.writeString("S", "K", "w");
    EXPECT_EQ(ini.text(), "\xEF\xBB\xBF[S]\r\nK=w\r\n");
}

TEST(IniFile, ReadingCutsLongValuesWhole)
{
    // 1022 single bytes and a double-byte character: the character does not fit into 1023 bytes.
    const std::string longValue = std::string(1022, 'a') + "\x95\x5C";
    const IniFile ini = IniFile::parse("[S]\nK=" + longValue + "\n");
    EXPECT_EQ(ini.readString("S", "K", "d"), std::string(1022, 'a'));
    EXPECT_EQ(ini.readString("S", "K", "d", 2000), longValue);
    EXPECT_EQ(ini.readString("S", "Missing", "d"), "d");
}

} // namespace
