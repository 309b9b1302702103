#pragma once
// The arithmetic between board lines and grid cells: lines fill the grid row by row, G line groups
// of eight columns side by side, below one header row. And the header texts of that row.

#include <array>
#include <string>

struct TagRunCfg;

struct GridCell {
    int col;
    int row;
};

// The group count a layout uses: the configured one brought into kMinColGroups..kMaxColGroups (the
// grid divides by it).
int LayoutGroupCount(int colGroupNum);

int GridColumnCount(int groupCount);
int GridRowCount(int lineCount, int groupCount); // header row included

// Grid cell of cell column k of line i.
GridCell GridCellOf(int line, int column, int groupCount);

// Board line and cell column shown in grid cell (col, row); line is -1 for the header row and for
// cells past the last line.
struct BoardCell {
    int line;
    int column;
};
BoardCell BoardCellAt(int col, int row, int groupCount, int lineCount);

// The part of the grid RefreshGrid writes into: rows top..bottom and columns left..right,
// both bounds included (the partly visible last row and column count).
struct GridWindow {
    int top;
    int bottom;
    int left;
    int right;
    bool Contains(GridCell c) const { return c.row >= top && c.row <= bottom && c.col >= left && c.col <= right; }
};

// The eight header texts of every line group, GBK: the fixed five in the configured language, then
// the three titles.
std::array<std::string, 8> HeaderTexts(const TagRunCfg& cfg);
