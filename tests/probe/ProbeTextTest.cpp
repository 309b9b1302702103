#include "probe/ProbeText.h"

#include <gtest/gtest.h>

TEST(ProbeText, WidthCountsWideCharactersTwiceAndMarksNotAtAll)
{
    const struct {
        const char* text;
        int width;
    } cases[] = {
        {"", 0},
        {"Idle", 4},
        {"通话", 4},
        {"线路 2048", 9},
        {"ｆｕｌｌ", 8}, // fullwidth forms
        {"한국", 4},     // Hangul syllables
        {"カタカナ", 8},
        {"e\xCC\x81", 1}, // e + combining acute
        {"a\xE2\x80\x8B"
         "b",
         2},                      // zero width space
        {"\xEF\xBF\xBD", 1},      // U+FFFD
        {"\xF0\x9F\x98\x80", 2},  // an emoji
        {"\xF0\xA0\x80\x80", 2},  // CJK extension B
        {"\xC3\xA9t\xC3\xA9", 3}, // Latin-1 letters
        {"\xFF\xFE", 2},          // not UTF-8: one each
        {"\xE9\x80", 2},          // cut off: each byte on its own
    };
    for (const auto& c : cases)
        EXPECT_EQ(DisplayWidth(c.text), c.width) << c.text;
}

TEST(ProbeText, ControlCharactersCannotSteerTheTerminal)
{
    const std::string R = "\xEF\xBF\xBD";
    const struct {
        std::string in;
        std::string out;
    } cases[] = {
        {"plain text", "plain text"},
        {"通话", "通话"},
        {"\x1B[2J\x1B]0;title\x07", R + "[2J" + R + "]0;title" + R},
        {"a\tb\r\nc", "a" + R + "b" + R + R + "c"},
        {std::string("nul\0x", 5), "nul" + R + "x"},
        {"del\x7F", "del" + R},
        {"c1\xC2\x9B"
         "1m",
         "c1" + R + "1m"}, // U+009B, the one-byte CSI
        {"\xE2\x80\xAE"
         "evil",
         R + "evil"},                               // right-to-left override
        {"\xE2\x81\xA6x\xE2\x81\xA9", R + "x" + R}, // isolates
        {"\xFF", R},                                // not UTF-8
    };
    for (const auto& c : cases)
        EXPECT_EQ(TerminalSafe(c.in), c.out);
}

TEST(ProbeText, PaddingByColumnsNotBytes)
{
    EXPECT_EQ(PadTo("ab", 4), "ab  ");
    EXPECT_EQ(PadTo("通话", 6), "通话  ");
    EXPECT_EQ(PadTo("通话", 4), "通话");
    EXPECT_EQ(PadTo("toolong", 3), "toolong");
}

TEST(ProbeText, CodePointsAndMalformedSequences)
{
    const struct {
        std::string text;
        std::vector<char32_t> points;
    } cases[] = {
        {"A\xC3\xA9\xE9\x80\x9A\xF0\x9F\x98\x80", {0x41, 0xE9, 0x901A, 0x1F600}},
        {"\xC0\xAF", {0xFFFD, 0xFFFD}},                         // overlong
        {"\xE0\x80\xAF", {0xFFFD, 0xFFFD, 0xFFFD}},             // overlong, three bytes
        {"\xED\xA0\x80", {0xFFFD, 0xFFFD, 0xFFFD}},             // a surrogate
        {"\xF4\x90\x80\x80", {0xFFFD, 0xFFFD, 0xFFFD, 0xFFFD}}, // past U+10FFFF
        {"\xE9\x80", {0xFFFD, 0xFFFD}},                         // cut off
        {"\x80x", {0xFFFD, 'x'}},                               // a stray trail byte
    };
    for (const auto& c : cases) {
        std::vector<char32_t> got;
        for (size_t i = 0; i < c.text.size();)
            got.push_back(NextCodePoint(c.text, i));
        EXPECT_EQ(got, c.points);
    }
}

TEST(ProbeText, CutsEndInAnEllipsisWithinTheBound)
{
    const std::string E = kEllipsis;
    const struct {
        std::string text;
        size_t chars;
        std::string cut;
    } byChars[] = {
        {"", 3, ""},    {"abc", 3, "abc"}, {"abcd", 3, "ab" + E}, {"通话中了", 3, "通话" + E}, {"通话中", 3, "通话中"},
        {"abcd", 1, E}, {"abcd", 0, ""},
    };
    for (const auto& c : byChars)
        EXPECT_EQ(CutToChars(c.text, c.chars), c.cut) << c.text << " " << c.chars;

    const struct {
        std::string text;
        int columns;
        std::string cut;
    } byWidth[] = {
        {"abcdef", 6, "abcdef"},       {"abcdefg", 6, "abcde" + E}, {"通话中了", 8, "通话中了"},
        {"通话中了", 7, "通话中" + E}, {"通话中了", 6, "通话" + E}, {"a通话", 4, "a通" + E},
    };
    for (const auto& c : byWidth) {
        EXPECT_EQ(CutToWidth(c.text, c.columns), c.cut) << c.text << " " << c.columns;
        EXPECT_LE(DisplayWidth(CutToWidth(c.text, c.columns)), c.columns);
    }

    EXPECT_EQ(CutToBytes("abcdef", 6), "abcdef");
    EXPECT_EQ(CutToBytes("abcdefg", 6), "abc" + E);
    EXPECT_EQ(CutToBytes("通话中", 8), "通" + E) << "never half a character";
    EXPECT_EQ(CutToBytes("通话中", 9), "通话中");
    EXPECT_EQ(CutToBytes("通话中了", 9), "通话" + E);
}
