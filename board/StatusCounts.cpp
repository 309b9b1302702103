#include "board/StatusCounts.h"

#include <algorithm>
#include <numeric>
#include <string_view>

TagStatusCounts CountStatuses(const TagMonitor& board, int column, std::optional<TagStuckTest> stuck)
{
    TagStatusCounts counts;
    counts.Total = board.LineCount;
    if (column < 0 || column >= kColsPerLine)
        return counts;

    // Sorting the lines by their text groups equal texts and puts the groups in byte order, which
    // is also the order of a tie once the groups are sorted by count without disturbing it.
    std::vector<int> lines(size_t(board.LineCount));
    std::iota(lines.begin(), lines.end(), 0);
    const auto text = [&](int line) -> std::string_view { return board.Rows[size_t(line)].Cols[column].Text; };
    std::sort(lines.begin(), lines.end(), [&](int a, int b) { return text(a) < text(b); });

    for (size_t i = 0; i < lines.size();) {
        TagStatusCount entry;
        entry.Text = std::string(text(lines[i]));
        for (; i < lines.size() && text(lines[i]) == entry.Text; ++i) {
            ++entry.Lines;
            const TagLineCols& cell = board.Rows[size_t(lines[i])].Cols[column];
            if (stuck && stuck->Now - cell.Since > stuck->Over)
                ++entry.Longer;
        }
        counts.Longer += entry.Longer;
        counts.Statuses.push_back(std::move(entry));
    }
    std::stable_sort(counts.Statuses.begin(), counts.Statuses.end(),
                     [](const TagStatusCount& a, const TagStatusCount& b) { return a.Lines > b.Lines; });
    return counts;
}
