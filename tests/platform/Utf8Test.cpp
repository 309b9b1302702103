#include "platform/Utf8.h"
#include "common/Texts.h"

#include <gtest/gtest.h>

TEST(Utf8, EncodesEveryLengthAndPairsSurrogates)
{
    const struct {
        std::u16string in;
        std::string out;
    } cases[] = {
        {u"", ""},
        {u"Idle", "Idle"},
        {std::u16string(1, u'\0'), std::string(1, '\0')},
        {u"\x7F\x80", "\x7F\xC2\x80"},
        {u"\x07FF\x0800", "\xDF\xBF\xE0\xA0\x80"},
        {u"通话", "\xE9\x80\x9A\xE8\xAF\x9D"},
        {u"\xFFFF", "\xEF\xBF\xBF"},
        {u"\xD83D\xDE00", "\xF0\x9F\x98\x80"}, // U+1F600
        {u"\xDBFF\xDFFF", "\xF4\x8F\xBF\xBF"}, // U+10FFFF
        // Lone surrogates, either half, at either end or reversed: U+FFFD each.
        {u"\xD800", "\xEF\xBF\xBD"},
        {u"a\xDC00", "a\xEF\xBF\xBD"},
        {u"\xDC00\xD800", "\xEF\xBF\xBD\xEF\xBF\xBD"},
        {u"\xD800x", "\xEF\xBF\xBDx"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Utf16ToUtf8(c.in), c.out);
}

TEST(Utf8, GbkTextsBecomeUtf8)
{
    EXPECT_EQ(GbkToUtf8(""), "");
    EXPECT_EQ(GbkToUtf8("Talking 12"), "Talking 12");
    EXPECT_EQ(GbkToUtf8(Texts::kReconnected), "已经重新连接上.");
    EXPECT_EQ(GbkToUtf8(Texts::kHeadersZh[2]), "状态");
    EXPECT_EQ(GbkToUtf8("\x80"), "\xE2\x82\xAC");           // the euro sign, as on Windows
    EXPECT_EQ(GbkToUtf8("A\x81"), "A\xEF\xBF\xBD");         // a lead byte without its trail
    EXPECT_EQ(GbkToUtf8("\xCD\xA8\x0A"), "\xE9\x80\x9A\n"); // ASCII after a character stays itself
}

TEST(Utf8, CutsBetweenCharactersWithAnEllipsis)
{
    const std::string E = kEllipsis;
    EXPECT_EQ(CutToChars("abcdef", 6), "abcdef");
    EXPECT_EQ(CutToChars("abcdefg", 6), "abcde" + E);
    EXPECT_EQ(CutToChars("\xE9\x80\x9A\xE8\xAF\x9D\xE4\xB8\xAD", 2), "\xE9\x80\x9A" + E);
    EXPECT_EQ(CutToChars("\xF0\x9F\x98\x80x", 1), E);
    EXPECT_EQ(CutToChars("\xE9\x80"
                         "ab",
                         2),
              "\xE9\x80" + E)
        << "a broken sequence counts as the character it starts";
    EXPECT_EQ(CutToChars("", 0), "");
    EXPECT_EQ(CutToChars("a", 0), "");
}
