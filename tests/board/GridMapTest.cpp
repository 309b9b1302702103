#include "board/GridMap.h"
#include "board/Board.h"

#include <climits>
#include <gtest/gtest.h>
#include <set>
#include <string>
#include <utility>

TEST(GridMapTest, LayoutGroupCountStaysWithinOneToTen)
{
    const std::pair<int, int> cases[] = {{INT_MIN, 1}, {-3, 1},  {0, 1},   {1, 1},
                                         {5, 5},       {10, 10}, {11, 10}, {INT_MAX, 10}};
    for (auto [configured, used] : cases)
        EXPECT_EQ(LayoutGroupCount(configured), used) << configured;
}

struct ShapeCase {
    int lines;
    int groups;
    int columns;
    int rows;
};

class GridShapeTest : public ::testing::TestWithParam<ShapeCase> {};

TEST_P(GridShapeTest, ColumnsRowsAndEveryLineHasItsOwnCells)
{
    const ShapeCase s = GetParam();
    EXPECT_EQ(GridColumnCount(s.groups), s.columns);
    EXPECT_EQ(GridRowCount(s.lines, s.groups), s.rows);

    // Lines and grid cells correspond one to one, and every cell lies inside the grid.
    std::set<std::pair<int, int>> used;
    for (int i = 0; i < s.lines; ++i) {
        for (int k = 0; k < kColsPerLine; ++k) {
            const GridCell cell = GridCellOf(i, k, s.groups);
            ASSERT_GE(cell.row, 1);
            ASSERT_LT(cell.row, s.rows);
            ASSERT_GE(cell.col, 0);
            ASSERT_LT(cell.col, s.columns);
            ASSERT_TRUE(used.insert({cell.col, cell.row}).second);
            const BoardCell back = BoardCellAt(cell.col, cell.row, s.groups, s.lines);
            ASSERT_EQ(back.line, i);
            ASSERT_EQ(back.column, k);
        }
    }
    int shown = 0;
    for (int r = 0; r < s.rows; ++r) {
        for (int c = 0; c < s.columns; ++c) {
            const BoardCell at = BoardCellAt(c, r, s.groups, s.lines);
            if (at.line >= 0)
                ++shown;
            else
                EXPECT_EQ(used.count({c, r}), 0u) << c << "," << r;
        }
    }
    EXPECT_EQ(shown, s.lines * kColsPerLine);
}

INSTANTIATE_TEST_SUITE_P(Layouts, GridShapeTest,
                         ::testing::Values(ShapeCase{10, 1, 8, 11}, ShapeCase{10, 3, 24, 5},
                                           ShapeCase{2048, 10, 80, 206}, ShapeCase{1, 4, 32, 2},
                                           ShapeCase{2048, 1, 8, 2049}, ShapeCase{9, 3, 24, 4}, ShapeCase{1, 1, 8, 2}),
                         [](const ::testing::TestParamInfo<ShapeCase>& p) {
                             return "Lines" + std::to_string(p.param.lines) + "Groups" + std::to_string(p.param.groups);
                         });

TEST(GridMapTest, TenLinesInOneGroup)
{
    for (int k = 0; k < kColsPerLine; ++k) {
        const GridCell cell = GridCellOf(9, k, 1);
        EXPECT_EQ(cell.row, 10);
        EXPECT_EQ(cell.col, k);
    }
}

TEST(GridMapTest, TenLinesInThreeGroups)
{
    // Lines fill the rows left to right: 0, 1, 2 in row 1, 3, 4, 5 in row 2.
    EXPECT_EQ(GridCellOf(1, 0, 3).row, 1);
    EXPECT_EQ(GridCellOf(1, 0, 3).col, 8);
    EXPECT_EQ(GridCellOf(5, 7, 3).row, 2);
    EXPECT_EQ(GridCellOf(5, 7, 3).col, 23);
    EXPECT_EQ(GridCellOf(9, 0, 3).row, 4);
    EXPECT_EQ(GridCellOf(9, 0, 3).col, 0);
    for (int c = 0; c < 8; ++c)
        EXPECT_EQ(BoardCellAt(c, 4, 3, 10).line, 9) << c;
    for (int c = 8; c < 24; ++c)
        EXPECT_EQ(BoardCellAt(c, 4, 3, 10).line, -1) << c;
}

TEST(GridMapTest, OneLineInFourGroups)
{
    for (int c = 0; c < 32; ++c) {
        const BoardCell at = BoardCellAt(c, 1, 4, 1);
        EXPECT_EQ(at.line, c < 8 ? 0 : -1) << c;
        if (c < 8) {
            EXPECT_EQ(at.column, c);
        }
    }
}

TEST(GridMapTest, HeaderRowAndCellsOutsideTheGridShowNoLine)
{
    const GridCell outside[] = {{0, 0}, {5, 0}, {-1, 1}, {8, 1}, {0, -3}, {0, 12}};
    for (GridCell c : outside)
        EXPECT_EQ(BoardCellAt(c.col, c.row, 1, 10).line, -1) << c.col << "," << c.row;
}

TEST(GridMapTest, WindowBoundsAreBothIncluded)
{
    const GridWindow w{3, 7, 2, 9};
    EXPECT_TRUE(w.Contains({2, 3}));
    EXPECT_TRUE(w.Contains({9, 7}));
    EXPECT_FALSE(w.Contains({1, 3}));
    EXPECT_FALSE(w.Contains({10, 7}));
    EXPECT_FALSE(w.Contains({2, 2}));
    EXPECT_FALSE(w.Contains({2, 8}));
}
