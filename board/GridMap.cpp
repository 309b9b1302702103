#include "board/GridMap.h"

#include "board/Board.h"

int LayoutGroupCount(int colGroupNum)
{
    if (colGroupNum < 1)
        return 1;
    if (colGroupNum > 10)
        return 10;
    return colGroupNum;
}

int GridColumnCount(int groupCount)
{
    return kColsPerLine * groupCount;
}

int GridRowCount(int lineCount, int groupCount)
{
    return 1 + lineCount / groupCount + (lineCount % groupCount > 0 ? 1 : 0);
}

GridCell GridCellOf(int line, int column, int groupCount)
{
    return {(line % groupCount) * kColsPerLine + column, line / groupCount + 1};
}

BoardCell BoardCellAt(int col, int row, int groupCount, int lineCount)
{
    if (row < 1 || col < 0 || col >= kColsPerLine * groupCount)
        return {-1, -1};
    int line = (row - 1) * groupCount + col / kColsPerLine;
    if (line >= lineCount)
        return {-1, -1};
    return {line, col % kColsPerLine};
}
