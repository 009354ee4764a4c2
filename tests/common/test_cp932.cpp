#include "common/Cp932.h"

#include <gtest/gtest.h>

namespace {

// "表" is 0x95 0x5C: its trail byte is a backslash, the classic trap.
const std::string kHyo = "\x95\x5C";

TEST(Cp932, CutNeverLeavesHalfACharacter)
{
    struct Case
    {
        std::string text;
        std::size_t capacity;
        std::string expected;
    };
    const Case cases[] = {
        {"ABCDEF", 4, "ABCD"},
        {"AB" + kHyo, 3, "AB"},
        {"AB" + kHyo, 4, "AB" + kHyo},
        {kHyo + kHyo, 3, kHyo},
        {"\xB1\xB2\xB3", 2, "\xB1\xB2"}, // half-width katakana are single bytes
        {"", 0, ""},
        {"A", 0, ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(cp932::cut(c.text, c.capacity), c.expected) << c.text << " / " << c.capacity;
    }
    char buf[4];
    EXPECT_EQ(cp932::copyTo(buf, sizeof buf, "A" + kHyo + "B"), 3u);
    EXPECT_STREQ(buf, ("A" + kHyo).c_str());
}

TEST(Cp932, UpperCasingAndComparisonTouchAsciiOnly)
{
    // 0x82 0x61 is a full-width letter whose trail byte is ASCII 'a': it must stay as it is.
    const std::string fullWidthA = "\x82\x61";
    EXPECT_EQ(cp932::toUpperAscii("ja1abc" + fullWidthA), "JA1ABC" + fullWidthA);
    EXPECT_EQ(cp932::toUpperAscii(kHyo + "x"), kHyo + "X");
    EXPECT_TRUE(cp932::equalsNoCase("Send", "SEND"));
    EXPECT_FALSE(cp932::equalsNoCase("\x82\x61", "\x82\x41"));
    EXPECT_LT(cp932::compareNoCase("ABC", "abd"), 0);
    EXPECT_GT(cp932::compareNoCase("abcd", "ABC"), 0);
}

TEST(Cp932, RoundTripKeepsWindowsExtensions)
{
    const QString text = QString::fromUtf8("｢｣‘表～－①ⅰ東京都");
    const std::string bytes = cp932::fromUnicode(text);
    EXPECT_EQ(cp932::toUnicode(bytes), text);
    EXPECT_EQ(cp932::fromUtf8(cp932::toUtf8(bytes)), bytes);
    EXPECT_EQ(bytes.substr(0, 2), "\xA2\xA3");
}

} // namespace
