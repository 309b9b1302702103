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

    // The same test as the counts, so a tile is outlined exactly when the legend counts it.
    const TagStatusCounts counts = CountStatuses(board, o.Column, stuck);
    o.Total = counts.Total;
    o.Longer = counts.Longer;

    o.Tiles.resize(size_t(board.LineCount));
    for (int i = 0; i < board.LineCount; ++i) {
        const TagLineCols& cell = board.Rows[size_t(i)].Cols[o.Column];
        o.Tiles[size_t(i)] = {cell.ForeColor, cell.BackColor, stuck && now - cell.Since > stuck->Over};
    }

    const size_t named = counts.Statuses.size() <= legendTexts + 1 ? counts.Statuses.size() : legendTexts;
    for (size_t s = 0; s < named; ++s) {
        const TagStatusCount& c = counts.Statuses[s];
        o.Legend.push_back({c.Text, c.Lines, c.Longer, 0x000000, 0xFFFFFF, 0});
    }
    // One walk over the lines finds the first line of each named text: the legend holds a handful,
    // so the comparisons stay few whatever the board shows.
    std::vector<bool> found(named, false);
    size_t left = named;
    for (int i = 0; i < board.LineCount && left > 0; ++i) {
        const TagLineCols& cell = board.Rows[size_t(i)].Cols[o.Column];
        for (size_t s = 0; s < named; ++s) {
            if (!found[s] && o.Legend[s].Text == cell.Text) {
                o.Legend[s].ForeColor = cell.ForeColor;
                o.Legend[s].BackColor = cell.BackColor;
                found[s] = true;
                --left;
                break;
            }
        }
    }
    if (named < counts.Statuses.size()) {
        TagLegendEntry rest;
        for (size_t s = named; s < counts.Statuses.size(); ++s) {
            rest.Lines += counts.Statuses[s].Lines;
            rest.Longer += counts.Statuses[s].Longer;
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
