#include "board/TileLayout.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace {

TEST(TileLayoutTest, FillsTheAreaWithTheLargestTiles)
{
    const struct {
        int count, width, height;
        int columns, rows, tileWidth, tileHeight;
    } cases[] = {
        {2048, 1280, 720, 57, 36, 22, 20}, // every line of a full board on a small screen
        {2048, 1920, 1080, 61, 34, 31, 31}, {1, 300, 200, 1, 1, 300, 200},
        {10, 100, 100, 3, 4, 33, 25}, // as good as 4 x 3 of 25 x 33: the first found stays
        {3, 30, 10, 3, 1, 10, 10},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.count);
        const TagTileLayout l = LayTiles(c.count, c.width, c.height);
        EXPECT_EQ(l.Columns, c.columns);
        EXPECT_EQ(l.Rows, c.rows);
        EXPECT_EQ(l.TileWidth, c.tileWidth);
        EXPECT_EQ(l.TileHeight, c.tileHeight);
        // Every tile fits the area, and there is a tile for every line.
        EXPECT_GE(l.Columns * l.Rows, c.count);
        EXPECT_LE(l.Columns * l.TileWidth, c.width);
        EXPECT_LE(l.Rows * l.TileHeight, c.height);
        // No other number of columns gives a larger smaller side.
        const int side = std::min(l.TileWidth, l.TileHeight);
        for (int columns = 1; columns <= c.count; ++columns) {
            const int rows = (c.count + columns - 1) / columns;
            EXPECT_LE(std::min(c.width / columns, c.height / rows), side) << columns;
        }
    }
    // The yardstick: 2048 tiles of at least 12 x 12 in 1280 x 720.
    const TagTileLayout small = LayTiles(2048, 1280, 720);
    EXPECT_GE(std::min(small.TileWidth, small.TileHeight) - 1, 12);
}

TEST(TileLayoutTest, NothingFitsGivesAnEmptyLayout)
{
    EXPECT_TRUE(LayTiles(0, 100, 100).Empty());
    EXPECT_TRUE(LayTiles(10, 0, 100).Empty());
    EXPECT_TRUE(LayTiles(2048, 10, 10).Empty());
    EXPECT_EQ(TileAt(LayTiles(0, 100, 100), 5, 5), -1);
}

TEST(TileLayoutTest, PointsFindTheirTileAndGapsNone)
{
    const TagTileLayout l = LayTiles(10, 100, 100); // 3 columns of 33, 4 rows of 25
    const TagTileRect r = TileRect(l, 5);
    EXPECT_EQ(r.X, 66);
    EXPECT_EQ(r.Y, 25);
    EXPECT_EQ(r.Width, 32);
    EXPECT_EQ(r.Height, 24);
    const struct {
        int x, y, tile;
    } cases[] = {
        {0, 0, 0},
        {31, 23, 0},
        {33, 0, 1},
        {32, 0, -1} /* the gap */,
        {0, 24, -1},
        {67, 26, 5},
        {99, 99, -1} /* right of the last column */,
        {0, 75, 9},
        {33, 75, -1} /* past the last tile */,
        {-1, 5, -1},
        {5, 100, -1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TileAt(l, c.x, c.y), c.tile) << c.x << "," << c.y;
}

} // namespace
