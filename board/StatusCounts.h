#pragma once
// How many lines show each text of one column: the counts per state that an overview, a check or a
// metric reports. Texts stay GBK bytes.

#include "board/Board.h"

#include <optional>
#include <string>
#include <vector>

struct TagStatusCount {
    std::string Text; // GBK, as the board holds it; lines never written count under ""
    int Lines = 0;
    int Longer = 0; // of these, the lines whose cell is unchanged for longer than the threshold
};

struct TagStatusCounts {
    // Most lines first; texts with the same count in ascending byte order (unsigned bytes, as
    // std::string compares), so the order depends on the counts alone, never on which lines show
    // the texts or on the order they were written in.
    std::vector<TagStatusCount> Statuses;
    int Total = 0;  // lines of the board
    int Longer = 0; // all lines whose cell is unchanged for longer than the threshold
};

// The threshold for Longer: a cell counts when now - Since is greater than Over.
struct TagStuckTest {
    BoardTime Now;
    std::chrono::steady_clock::duration Over;
};

// Counts column (0..7) of every line; a column outside the board's eight gives no statuses, only
// the total. Without a stuck test Longer stays 0 everywhere. Caller holds board.Lock.
TagStatusCounts CountStatuses(const TagMonitor& board, int column, std::optional<TagStuckTest> stuck = std::nullopt);
