#include "board/Board.h"
#include "support/TestSupport.h"

#include <climits>
#include <cstring>
#include <gtest/gtest.h>

namespace {

int ChangedCount(const TagMonitor& board)
{
    int n = 0;
    for (int i = 0; i < board.LineCount; ++i) {
        for (const TagLineCols& cell : board.Rows[size_t(i)].Cols)
            n += cell.Changed ? 1 : 0;
    }
    return n;
}

void ExpectFresh(const TagLineCols& cell)
{
    EXPECT_FALSE(cell.Changed);
    EXPECT_TRUE(cell.Text.empty());
    EXPECT_EQ(cell.ForeColor, 0x000000u);
    EXPECT_EQ(cell.BackColor, 0xFFFFFFu);
}

TColor Rgb(int r, int g, int b)
{
    return TColor(r) | TColor(g) << 8 | TColor(b) << 16;
}

} // namespace

TEST(BoardTest, ConstructionKeepsAtLeastOneLine)
{
    const struct {
        int requested;
        int lines;
    } cases[] = {{0, 1}, {-5, 1}, {INT_MIN, 1}, {1, 1}, {7, 7}, {kMaxLines, kMaxLines}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.requested);
        TagMonitor board(c.requested);
        EXPECT_EQ(board.LineCount, c.lines);
        for (int i = 0; i < board.LineCount; ++i) {
            for (const TagLineCols& cell : board.Rows[size_t(i)].Cols)
                ExpectFresh(cell);
        }
    }
}

TEST(BoardTest, PaletteHoldsTheSixteenColours)
{
    const TColor expected[16] = {
        Rgb(0, 0, 0),       Rgb(0, 0, 255),     Rgb(0, 128, 0),   Rgb(0, 255, 255),
        Rgb(255, 0, 0),     Rgb(255, 0, 255),   Rgb(128, 128, 0), Rgb(192, 192, 192),
        Rgb(128, 128, 128), Rgb(166, 202, 240), Rgb(0, 255, 64),  Rgb(128, 255, 255),
        Rgb(255, 0, 0),     Rgb(255, 0, 128),   Rgb(255, 255, 0), Rgb(255, 255, 255),
    };
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(LinePalette[i], expected[i]) << "index " << i;
        EXPECT_EQ(LinePalette[i] >> 24, 0u) << "index " << i;
    }
    EXPECT_EQ(LinePalette[12], LinePalette[4]);
    EXPECT_EQ(LinePalette[9], 0xF0CAA6u);
}

TEST(BoardTest, EverySixteenBitLineNumberIsDroppedOrKept)
{
    RecordingView view;
    TagMonitor board(10);
    for (int line = INT16_MIN; line <= INT16_MAX; ++line) {
        SetCell(board, "t", line, 3, 4, 9);
        if (line >= 0 && line < board.LineCount) {
            TagLineCols& cell = board.Rows[size_t(line)].Cols[3];
            ASSERT_TRUE(cell.Changed) << line;
            ASSERT_EQ(cell.Text, "t") << line;
            ASSERT_EQ(cell.ForeColor, LinePalette[4]) << line;
            ASSERT_EQ(cell.BackColor, LinePalette[9]) << line;
            ASSERT_EQ(ChangedCount(board), 1) << line;
            cell = TagLineCols();
        } else {
            ASSERT_EQ(ChangedCount(board), 0) << line;
        }
    }
    // Only line -1 reaches the top panel.
    EXPECT_EQ(view.calls(), std::vector<std::string>{"summary:t"});
}

TEST(BoardTest, EveryEightBitColumnIsDroppedOrKept)
{
    RecordingView view;
    TagMonitor board(3);
    for (int column = INT8_MIN; column <= INT8_MAX; ++column) {
        SetCell(board, "c", 2, column, 1, 2);
        if (column >= 0 && column < kColsPerLine) {
            TagLineCols& cell = board.Rows[2].Cols[column];
            ASSERT_TRUE(cell.Changed) << column;
            ASSERT_EQ(cell.Text, "c") << column;
            ASSERT_EQ(ChangedCount(board), 1) << column;
            cell = TagLineCols();
        } else {
            ASSERT_EQ(ChangedCount(board), 0) << column;
        }
    }
    EXPECT_TRUE(view.calls().empty());
}

TEST(BoardTest, EveryEightBitColourIndexSetsOrKeepsItsColour)
{
    TagMonitor board(1);
    TagLineCols& cell = board.Rows[0].Cols[5];
    for (int index = INT8_MIN; index <= INT8_MAX; ++index) {
        SCOPED_TRACE(index);
        const bool valid = index >= 0 && index <= 15;
        // Olive text on silver first, so a kept colour is told from a palette colour.
        SetCell(board, "f", 0, 5, 6, 7);
        cell.Changed = false;
        SetCell(board, "fore", 0, 5, index, -1);
        EXPECT_EQ(cell.ForeColor, valid ? LinePalette[index] : LinePalette[6]);
        EXPECT_EQ(cell.BackColor, LinePalette[7]);
        EXPECT_EQ(cell.Text, "fore");
        EXPECT_TRUE(cell.Changed);

        SetCell(board, "b", 0, 5, 6, 7);
        cell.Changed = false;
        SetCell(board, "back", 0, 5, 16, index);
        EXPECT_EQ(cell.ForeColor, LinePalette[6]);
        EXPECT_EQ(cell.BackColor, valid ? LinePalette[index] : LinePalette[7]);
        EXPECT_EQ(cell.Text, "back");
        EXPECT_TRUE(cell.Changed);
    }
}

TEST(BoardTest, ForegroundSixteenKeepsTextColourAndSetsGreenBackground)
{
    TagMonitor board(4);
    SetCell(board, "x", 1, 0, 16, 2);
    const TagLineCols& cell = board.Rows[1].Cols[0];
    EXPECT_EQ(cell.Text, "x");
    EXPECT_EQ(cell.ForeColor, 0x000000u);
    EXPECT_EQ(cell.BackColor, Rgb(0, 128, 0));
    EXPECT_TRUE(cell.Changed);
}

TEST(BoardTest, ColourByteFFKeepsTheColour)
{
    TagMonitor board(1);
    SetCell(board, "a", 0, 0, 13, 14);
    const int8_t ff = int8_t(0xFF);
    SetCell(board, "b", 0, 0, ff, ff);
    EXPECT_EQ(board.Rows[0].Cols[0].ForeColor, LinePalette[13]);
    EXPECT_EQ(board.Rows[0].Cols[0].BackColor, LinePalette[14]);
    EXPECT_EQ(board.Rows[0].Cols[0].Text, "b");
}

TEST(BoardTest, WritesOutsideTheBoardChangeNothing)
{
    RecordingView view;
    TagMonitor board(5);
    const struct {
        int line;
        int column;
    } outside[] = {{0, 8}, {5, 0}, {-2, 0}, {0, -1}, {4, 8}, {-1000, 3}};
    for (const auto& w : outside) {
        SetCell(board, "zzz", w.line, w.column, 4, 4);
        EXPECT_EQ(ChangedCount(board), 0) << w.line << "," << w.column;
    }
    EXPECT_TRUE(view.calls().empty());
}

TEST(BoardTest, LineMinusOneSetsTheSummaryWhateverTheColumn)
{
    RecordingView view;
    TagMonitor board(2);
    SetCell(board, "ready 12 lines", -1, 9, 4, 9);
    EXPECT_EQ(ChangedCount(board), 0);
    EXPECT_EQ(view.calls(), std::vector<std::string>{"summary:ready 12 lines"});
}

TEST(BoardTest, LineMinusOneWithoutAViewIsHarmless)
{
    ASSERT_EQ(CurView, nullptr);
    TagMonitor board(2);
    SetCell(board, "nobody listens", -1, 0, 0, 0);
    EXPECT_EQ(ChangedCount(board), 0);
}

TEST(BoardTest, RepeatedWriteSetsChangedAgainAndKeepsLastText)
{
    TagMonitor board(2);
    TagLineCols& cell = board.Rows[1].Cols[7];
    SetCell(board, "same", 1, 7, 2, 3);
    cell.Changed = false;
    SetCell(board, "same", 1, 7, 2, 3);
    EXPECT_TRUE(cell.Changed);
    SetCell(board, "last", 1, 7, 2, 3);
    EXPECT_EQ(cell.Text, "last");
}

TEST(BoardTest, TextBytesAreStoredAsGiven)
{
    TagMonitor board(1);
    const char gbk[] = "\xCF\xDF\xC2\xB7 7";
    SetCell(board, gbk, 0, 1, 0, 15);
    EXPECT_EQ(board.Rows[0].Cols[1].Text, gbk);
    // The length-taking form stores exactly the bytes it is given, NULs included.
    const char withNul[] = {'a', '\0', 'b'};
    {
        BoardLock lock(board.Lock);
        board.SetCell(withNul, sizeof withNul, 0, 2, 0, 15);
    }
    EXPECT_EQ(board.Rows[0].Cols[2].Text, std::string(withNul, sizeof withNul));
}

TEST(BoardTest, GetCellColorsInsideAndOutside)
{
    TagMonitor board(3);
    SetCell(board, "c", 2, 7, 10, 11);
    const struct {
        int line;
        int column;
        int result;
    } cases[] = {{2, 7, 0}, {0, 0, 0}, {-1, 0, -1}, {0, 8, -1}, {3, 0, -1}, {0, -1, -1}, {INT_MIN, 0, -1}};
    for (const auto& c : cases) {
        TColor fore = 0x123456;
        TColor back = 0x654321;
        EXPECT_EQ(board.GetCellColors(c.line, c.column, fore, back), c.result) << c.line << "," << c.column;
        if (c.result == -1) {
            EXPECT_EQ(fore, 0x123456u);
            EXPECT_EQ(back, 0x654321u);
        }
    }
    TColor fore = 0;
    TColor back = 0;
    ASSERT_EQ(board.GetCellColors(2, 7, fore, back), 0);
    EXPECT_EQ(fore, Rgb(0, 255, 64));
    EXPECT_EQ(back, Rgb(128, 255, 255));
    ASSERT_EQ(board.GetCellColors(0, 0, fore, back), 0);
    EXPECT_EQ(fore, 0x000000u);
    EXPECT_EQ(back, 0xFFFFFFu);
}
