#include "common/Cp932.h"

#include <QString>
#include <gtest/gtest.h>
#include <iconv.h>

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
    // Control bytes stay as they are (not IBM's swapped control codes).
    EXPECT_EQ(cp932::toUtf8("\x1A\x1C\x7F\x95\x5C"), "\x1A\x1C\x7F表");
    EXPECT_EQ(cp932::fromUtf8("\x1A\x1C\x7F表"), "\x1A\x1C\x7F\x95\x5C");
}

// Text from UTF-8 files and from the screen: what CP932 cannot hold becomes '?', never a broken or undefined
// character; the JIS forms of characters CP932 holds in its own form map to them.
TEST(Cp932, FromUtf8NeverYieldsABrokenCharacter)
{
    const struct
    {
        const char* utf8;
        const char* cp932;
    } cases[] = {
        {"JA1AA 599", "JA1AA 599"},
        {"山田ｱｲ", "\x8E\x52\x93\x63\xB1\xB2"},
        {"J\xC3\xBCrgen", "J?rgen"}, // U+00FC
        {"\xF0\xA0\xAE\xB7\xE7\x94\xB0", "?\x93\x63"}, // U+20BB7 (outside the BMP) then 田
        {"\xF0\x9F\x98\x80!", "?!"}, // an emoji
        {"a\xFF\xC3"
         "b\xE3\x81",
         "a??b??"}, // bytes that are no well-formed character
        {"\xED\xA0\x80", "???"}, // an encoded surrogate
        {"\xE3\x80\x9C\xE2\x88\x92\xE2\x80\x94\xE2\x80\x96", "\x81\x60\x81\x7C\x81\x5C\x81\x61"}, // 〜−—‖
        {"\xEF\xBD\x9E\xEF\xBC\x8D", "\x81\x60\x81\x7C"}, // ～－, CP932's own forms
        {"\xC2\xA5\xE2\x80\xBE\xE6\x9D\xB1", "??\x93\x8C"}, // ¥‾ never become '\\' or '~'; 東
    };
    for (const auto& c : cases) {
        EXPECT_EQ(cp932::fromUtf8(c.utf8), c.cp932) << c.utf8;
    }
    EXPECT_EQ(cp932::fromUnicode(QString::fromUtf8("D\xC3\xA9j\xC3\xA0 \xE2\x98\xBA")), "D?j? ?");
    EXPECT_EQ(cp932::fromUtf8(std::string(5000, '\xE3') + "x"), std::string(5000, '?') + "x");
    const std::string many = [] {
        std::string s;
        for (int i = 0; i < 2000; ++i) {
            s += "\xE6\x9D\xB1\xC4\x89"; // 東 and U+0109, a long run through the converter
        }
        return s;
    }();
    std::string expected;
    for (int i = 0; i < 2000; ++i) {
        expected += "\x93\x8C?";
    }
    EXPECT_EQ(cp932::fromUtf8(many), expected);
}

TEST(Cp932, IsValidUtf8)
{
    for (const char* ok : {"", "abc", "\xE6\x9D\xB1", "\xF0\xA0\xAE\xB7", "\xC2\x80", "\xEF\xBB\xBF"}) {
        EXPECT_TRUE(cp932::isValidUtf8(ok)) << ok;
    }
    for (const char* bad :
         {"\x80", "\xC0\xAF", "\xE0\x80\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xE6\x9D", "\x93\x8C"}) {
        EXPECT_FALSE(cp932::isValidUtf8(bad)) << bad;
    }
}

} // namespace

TEST(Cp932, EveryCharacterConvertsAsTheConverterDoesAloneAndInARun)
{
    // The converter itself, opened here: a character it gives no CP932 form, or an ASCII byte, reads '?'; one it
    // drops (U+FEFF) is dropped.
    iconv_t cd = ::iconv_open("CP932", "UTF-8");
    ASSERT_NE(cd, reinterpret_cast<iconv_t>(-1));
    const auto byConverter = [cd](const std::string& utf8) {
        char* in = const_cast<char*>(utf8.data());
        std::size_t inLeft = utf8.size();
        char buffer[8];
        char* out = buffer;
        std::size_t outLeft = sizeof buffer;
        ::iconv(cd, nullptr, nullptr, nullptr, nullptr);
        const std::size_t r = ::iconv(cd, &in, &inLeft, &out, &outLeft);
        const std::string bytes(buffer, static_cast<std::size_t>(out - buffer));
        return r == static_cast<std::size_t>(-1) || (bytes.size() == 1 && static_cast<unsigned char>(bytes[0]) < 0x80)
            ? std::string("?")
            : bytes;
    };
    std::string run;
    std::string expected;
    for (char32_t c = 0x80; c < 0x10000; ++c) {
        if (c >= 0xD800 && c <= 0xDFFF) {
            continue;
        }
        const std::string utf8 = QString::fromUcs4(&c, 1).toStdString();
        const std::string want = byConverter(utf8);
        ASSERT_EQ(cp932::fromUtf8(utf8), want) << "U+" << std::hex << static_cast<unsigned>(c);
        ASSERT_EQ(cp932::fromUtf8(utf8), want) << "again, from what the first conversion kept";
        run += utf8;
        expected += want;
        if (c % 97 == 0) {
            run += "a,";
            expected += "a,";
        }
    }
    ::iconv_close(cd);
    EXPECT_EQ(cp932::fromUtf8(run), expected);
    EXPECT_EQ(cp932::fromUtf8("\xF0\x9F\x93\xBB 7MHz"), "? 7MHz") << "outside the basic plane";
}
