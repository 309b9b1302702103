#pragma once
// The line overview's picture of the board: per line the colours of one column's cell and whether
// that cell has stood unchanged for longer than the operator's threshold, and the legend's counts per
// text. Taken under the board's lock at each refresh tick and compared with the last one, so the
// window repaints only what changed, and nothing when nothing did.

#include "board/Board.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The thresholds the operator picks from, in minutes; 0 is off.
inline constexpr int kOverviewThresholds[] = {0, 1, 2, 5, 10, 30, 60};
// A stored threshold that is not one of those is off.
int OverviewThreshold(int minutes);

// The legend names this many texts at most, then one entry for all the others (one text more is
// named instead): a column such as the line numbers has a text per line, and 2048 labels would say
// nothing at a glance.
inline constexpr size_t kLegendTexts = 8;

struct TagOverviewTile {
    TColor ForeColor = 0x000000;
    TColor BackColor = 0xFFFFFF;
    bool Stuck = false; // unchanged for longer than the threshold
    bool Gap = false;   // a replayed line whose state the history cannot vouch for: drawn hatched
    bool operator==(const TagOverviewTile&) const = default;
};

struct TagLegendEntry {
    std::string Text; // GBK; "" also for lines never written
    int Lines = 0;
    int Longer = 0; // of these, the stuck ones
    // The colours of the first line that shows the text, for a swatch beside it.
    TColor ForeColor = 0x000000;
    TColor BackColor = 0xFFFFFF;
    // The entry that stands for the texts not named: how many texts it gathers (0 for a named one).
    int OtherTexts = 0;
    bool operator==(const TagLegendEntry&) const = default;
};

struct TagOverview {
    int Column = 2;
    int ThresholdMinutes = 0;
    std::vector<TagOverviewTile> Tiles; // one per line, in line order
    // Most lines first, ties in byte order (as CountStatuses), the gathered rest last.
    std::vector<TagLegendEntry> Legend;
    int Total = 0;  // lines of the board
    int Longer = 0; // stuck lines of the board
    bool operator==(const TagOverview&) const = default;
};

// The picture of column (0..7; another value counts as the status column, 2) at now, the moment on
// the board's clock. A threshold of 0 marks nothing. Caller holds board.Lock.
TagOverview TakeOverview(const TagMonitor& board, int column, int thresholdMinutes, BoardTime now,
                         size_t legendTexts = kLegendTexts);

// The lines whose tile looks different in b than in a, in line order; every line of b when the
// boards have different line counts.
std::vector<int> ChangedTiles(const TagOverview& a, const TagOverview& b);

// What hovering over a line tells: its eight texts and how long the column's cell has shown its text.
struct TagOverviewLine {
    std::array<std::string, kColsPerLine> Texts; // GBK
    int64_t SecondsInState = 0;
};

// Nothing for a line outside the board. Caller holds board.Lock.
std::optional<TagOverviewLine> OverviewLine(const TagMonitor& board, int line, int column, BoardTime now);
