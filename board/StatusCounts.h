#pragma once
// How many lines show each text of one column: the counts per state that an overview, a check or a
// metric reports. Texts stay GBK bytes.

#include "board/Board.h"

#include <cstdint>
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
// the total. Without a stuck test Longer stays 0 everywhere. Caller holds board.Lock. Exact, and
// it copies every text: for the probe, not for a refresh under the lock on the GUI thread.
TagStatusCounts CountStatuses(const TagMonitor& board, int column, std::optional<TagStuckTest> stuck = std::nullopt);

// The lines that show one text, named by the first of them, so nothing is copied.
struct TagTextGroup {
    int FirstLine = 0;
    int Lines = 0;
    int Longer = 0;
    bool operator==(const TagTextGroup&) const = default;
};

struct TagStatusTally {
    std::vector<TagTextGroup> Groups;
    int Total = 0;
    int Longer = 0;
};

// Texts compared for the order of a tie: this many bytes at most.
inline constexpr size_t kTallyOrderBytes = 256;

// The counts of CountStatuses at a cost that does not grow with the texts' length: lines are grouped
// by the hash the board keeps of each text (TagLineCols::Hash, keyed, so a server cannot make two
// texts collide) and its length, and texts are compared for the order of ties over their first
// kTallyOrderBytes bytes only. The first `ordered` groups are in the order of CountStatuses (most
// lines first, ties in byte order), except that texts alike in all their first kTallyOrderBytes
// bytes tie-break by length and then by hash; the groups after them are in no particular order.
// Caller holds board.Lock.
TagStatusTally TallyStatuses(const TagMonitor& board, int column, std::optional<TagStuckTest> stuck = std::nullopt,
                             size_t ordered = SIZE_MAX);
