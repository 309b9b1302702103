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

TagStatusTally TallyStatuses(const TagMonitor& board, int column, std::optional<TagStuckTest> stuck, size_t ordered)
{
    TagStatusTally tally;
    tally.Total = board.LineCount;
    if (column < 0 || column >= kColsPerLine)
        return tally;
    const auto cell = [&](int line) -> const TagLineCols& { return board.Rows[size_t(line)].Cols[column]; };

    // Grouping by (hash, length) needs no look at the texts: sort the lines by it, lines ascending
    // within a group, so a group's first entry is its first line.
    struct Key {
        uint64_t Hash;
        size_t Size;
        int Line;
    };
    std::vector<Key> keys(size_t(board.LineCount));
    for (int i = 0; i < board.LineCount; ++i)
        keys[size_t(i)] = {cell(i).Hash, cell(i).Text.size(), i};
    std::sort(keys.begin(), keys.end(), [](const Key& a, const Key& b) {
        return a.Hash != b.Hash ? a.Hash < b.Hash : (a.Size != b.Size ? a.Size < b.Size : a.Line < b.Line);
    });
    for (size_t i = 0; i < keys.size();) {
        TagTextGroup group;
        group.FirstLine = keys[i].Line;
        for (const Key& first = keys[i]; i < keys.size() && keys[i].Hash == first.Hash && keys[i].Size == first.Size;
             ++i) {
            ++group.Lines;
            if (stuck && stuck->Now - cell(keys[i].Line).Since > stuck->Over)
                ++group.Longer;
        }
        tally.Longer += group.Longer;
        tally.Groups.push_back(group);
    }

    const auto before = [&](const TagTextGroup& a, const TagTextGroup& b) {
        if (a.Lines != b.Lines)
            return a.Lines > b.Lines;
        const TagLineCols& x = cell(a.FirstLine);
        const TagLineCols& y = cell(b.FirstLine);
        const std::string_view xs(x.Text), ys(y.Text);
        const int c = xs.substr(0, kTallyOrderBytes).compare(ys.substr(0, kTallyOrderBytes));
        if (c != 0)
            return c < 0;
        if (xs.size() != ys.size())
            return xs.size() < ys.size(); // byte order too where the shorter is all in the prefix
        return x.Hash < y.Hash;
    };
    const size_t n = std::min(ordered, tally.Groups.size());
    std::partial_sort(tally.Groups.begin(), tally.Groups.begin() + std::ptrdiff_t(n), tally.Groups.end(), before);
    return tally;
}
