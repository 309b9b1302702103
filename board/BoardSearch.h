#pragma once
// Finding lines on the board: by their number or by what any of their eight cells says.

#include <string_view>
#include <vector>

struct TagMonitor;

// The lines, in line order, whose number (from 0, in decimal) or any of whose eight texts contains
// query. ASCII letters match without regard to case; GBK texts are decoded before they are
// compared, so a query never matches half of a Chinese character. An empty query matches nothing.
// Caller holds board.Lock.
std::vector<int> FindLines(const TagMonitor& board, std::u16string_view query);

// Of the matches (in line order), the one after `from` or before it, wrapping round; -1 when there
// are none. `from` need not be a match itself (-1: before the first line).
int NextMatch(const std::vector<int>& matches, int from, bool backwards);
