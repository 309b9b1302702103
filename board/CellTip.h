#pragma once
// What hovering a data cell tells: the line, the board's whole text of the cell (a narrow column
// shows only its start) and how long the cell has shown it.

#include "board/BoardCsv.h"
#include "platform/Utf8.h" // kTipChars

#include <string>

// "Line 1500", the cell's text, and "since 14:03:27 (for 4 min 12 s)", one per line, in UTF-8; the
// clock time is local. The text is cut, ending in an ellipsis, so the whole is at most kTipChars
// characters. Empty for a cell outside the board. Caller holds board.Lock.
std::string CellTip(const TagMonitor& board, int line, int column, const TagCsvClock& at);
