#include "board/OverviewPicture.h"

#include "board/StatusCounts.h"

#include <algorithm>
#include <chrono>

namespace {

int ColumnOrStatus(int column)
{
    return column >= 0 && column < kColsPerLine ? column : 2;
}

} // namespace

int OverviewThreshold(int minutes)
{
    for (int m : kOverviewThresholds) {
        if (m == minutes)
            return m;
    }
    return 0;
}

TagOverview TakeOverview(const TagMonitor& board, int column, int thresholdMinutes, BoardTime now, size_t legendTexts)
{
    TagOverview o;
    o.Column = ColumnOrStatus(column);
    o.ThresholdMinutes = OverviewThreshold(thresholdMinutes);
    std::optional<TagStuckTest> stuck;
    if (o.ThresholdMinutes > 0)
        stuck = TagStuckTest{now, std::chrono::minutes(o.ThresholdMinutes)};

    // The same test as the counts, so a tile is outlined exactly when the legend counts it. The
    // tally groups lines by the hash the board keeps of each text and orders only the groups the
    // legend names: no text is copied or compared whole under the lock, however long.
    const TagStatusTally tally = TallyStatuses(board, o.Column, stuck, legendTexts + 1);
    o.Total = tally.Total;
    o.Longer = tally.Longer;

    o.Tiles.resize(size_t(board.LineCount));
    for (int i = 0; i < board.LineCount; ++i) {
        const TagLineCols& cell = board.Rows[size_t(i)].Cols[o.Column];
        o.Tiles[size_t(i)] = {cell.ForeColor, cell.BackColor, stuck && now - cell.Since > stuck->Over};
    }

    const size_t named = tally.Groups.size() <= legendTexts + 1 ? tally.Groups.size() : legendTexts;
    for (size_t s = 0; s < named; ++s) {
        // The colours of the first line that shows the text, for a swatch beside it.
        const TagTextGroup& g = tally.Groups[s];
        const TagLineCols& cell = board.Rows[size_t(g.FirstLine)].Cols[o.Column];
        o.Legend.push_back({cell.Text, g.Lines, g.Longer, cell.ForeColor, cell.BackColor, 0});
    }
    if (named < tally.Groups.size()) {
        TagLegendEntry rest;
        for (size_t s = named; s < tally.Groups.size(); ++s) {
            rest.Lines += tally.Groups[s].Lines;
            rest.Longer += tally.Groups[s].Longer;
            ++rest.OtherTexts;
        }
        o.Legend.push_back(std::move(rest));
    }
    return o;
}

std::vector<int> ChangedTiles(const TagOverview& a, const TagOverview& b)
{
    std::vector<int> lines;
    const bool sameCount = a.Tiles.size() == b.Tiles.size();
    for (size_t i = 0; i < b.Tiles.size(); ++i) {
        if (!sameCount || !(a.Tiles[i] == b.Tiles[i]))
            lines.push_back(int(i));
    }
    return lines;
}

std::optional<TagOverviewLine> OverviewLine(const TagMonitor& board, int line, int column, BoardTime now)
{
    if (line < 0 || line >= board.LineCount)
        return std::nullopt;
    TagOverviewLine info;
    const TagLineRec& row = board.Rows[size_t(line)];
    for (int k = 0; k < kColsPerLine; ++k)
        info.Texts[size_t(k)] = row.Cols[k].Text;
    const auto since = row.Cols[ColumnOrStatus(column)].Since;
    info.SecondsInState = std::max<int64_t>(0, std::chrono::duration_cast<std::chrono::seconds>(now - since).count());
    return info;
}
