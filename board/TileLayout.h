#pragma once
// The line overview's arithmetic: every line of the board as one tile, laid out to fill an area,
// row by row from the top left, as large as the area allows.

struct TagTileLayout {
    int Columns = 0;
    int Rows = 0;
    int TileWidth = 0; // the pitch: a tile and the gap after it
    int TileHeight = 0;
    int Count = 0;

    bool Empty() const { return Count == 0 || TileWidth == 0 || TileHeight == 0; }
    bool operator==(const TagTileLayout&) const = default;
};

struct TagTileRect {
    int X = 0;
    int Y = 0;
    int Width = 0;
    int Height = 0;
};

// The layout of count tiles in width x height pixels whose smaller side is largest; of layouts
// alike in that, the one with more area per tile. Empty when nothing fits (no tiles, no room).
TagTileLayout LayTiles(int count, int width, int height);

// The tile's rectangle, its gap of gap pixels to the right and below left out.
TagTileRect TileRect(const TagTileLayout& layout, int index, int gap = 1);

// The tile at a point, or -1 (a gap, past the last tile, outside).
int TileAt(const TagTileLayout& layout, int x, int y, int gap = 1);
