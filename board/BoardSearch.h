#pragma once
// Finding lines on the board: by their number or by what any of their eight cells says.

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

struct TagMonitor;

// Text a find reads in one slice before it lets the board go: a slice takes about a millisecond
// (docs/PERFORMANCE.md), so the receive worker and the grid's paint never wait long for the lock.
inline constexpr size_t kFindSliceBytes = size_t(1) << 20;

// A search of the board that runs in slices, each under the board's lock, so that the caller can
// let the board go between them: the lines, in line order, whose number (from 0, in decimal) or any
// of whose eight texts contains the query. ASCII letters match without regard to case; texts are
// matched as the GBK decoder reads them (Chinese characters whole, never half of one; broken bytes
// as U+FFFD), straight on their bytes, so no text is decoded or copied. An empty query matches
// nothing. Lines are read whole, each at the moment its slice runs.
// The query as a matcher: it reads a text once, character by character (Knuth-Morris-Pratt over
// the decoder's characters), so a text costs the same whatever the query and the text repeat.
class TGbkMatcher {
public:
    explicit TGbkMatcher(std::u16string_view query);
    // Whether the GBK text contains the query. An empty query is in no text.
    bool In(std::string_view gbk) const;

private:
    // Where, from `at` (a character's start), the next character that may be the query's first
    // begins: ASCII and whole pairs that cannot be are passed over a byte or a pair at a time.
    size_t NextCandidate(std::string_view gbk, size_t at) const;

    std::u16string query_;     // ASCII letters in lower case
    std::vector<size_t> back_; // per query position, how much of the query still matches after a mismatch
    bool startsAscii_ = false;
    std::array<bool, 128> firstAscii_{}; // the ASCII bytes that read as the query's first character
    // The pair that reads as the query's first character, when that is one (lead 0: any byte of 0x80
    // and above may start it: U+FFFD, the euro sign).
    unsigned char firstLead_ = 0;
    unsigned char firstTrail_ = 0;
};

class TBoardFind {
public:
    // Made before the board's lock is taken: the first in a process reads the decoder's table of
    // two-byte characters (a few milliseconds).
    explicit TBoardFind(std::u16string_view query);

    // Reads lines from where the last slice stopped, until the board's end or until budgetBytes of
    // text have been read (the line that passes the budget is finished). True when the search has
    // reached the end. A board of another line count than the last slice's starts the search again
    // from line 0. Caller holds board.Lock.
    bool Step(const TagMonitor& board, size_t budgetBytes = kFindSliceBytes);

    bool Done() const { return done_; }
    const std::vector<int>& Matches() const { return matches_; }
    // The line the next slice starts at.
    int NextLine() const { return next_; }

private:
    TGbkMatcher matcher_;
    bool empty_;
    std::vector<int> matches_;
    int next_ = 0;
    int lineCount_ = -1;
    bool done_ = false;
};

// The whole search in one call. Caller holds board.Lock for all of it: for a small board or a test.
std::vector<int> FindLines(const TagMonitor& board, std::u16string_view query);

// Of the matches (in line order), the one after `from` or before it, wrapping round; -1 when there
// are none. `from` need not be a match itself (-1: before the first line).
int NextMatch(const std::vector<int>& matches, int from, bool backwards);
