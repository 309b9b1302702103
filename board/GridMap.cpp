#include "board/GridMap.h"

#include "board/Board.h"
#include "common/Texts.h"
#include "settings/Config.h"

#include <algorithm>

int LayoutGroupCount(int colGroupNum)
{
    return std::clamp(colGroupNum, kMinColGroups, kMaxColGroups);
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

std::array<std::string, 8> HeaderTexts(const TagRunCfg& cfg)
{
    const char* const* fixed = cfg.IsEnglish ? Texts::kHeadersEn : Texts::kHeadersZh;
    return {fixed[0], fixed[1], fixed[2], fixed[3], fixed[4], cfg.Title1, cfg.Title2, cfg.Title3};
}
