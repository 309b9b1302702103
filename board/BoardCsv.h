#pragma once
// The whole board as CSV (RFC 4180: CR LF line ends, fields quoted when they hold a comma, a quote,
// CR or LF, quotes doubled), in UTF-8: the grid's eight headers, then when the status column's text
// last changed and for how many whole seconds it has shown it. The server's texts are untrusted:
// control characters become U+FFFD and a field a spreadsheet would run as a formula gets a leading
// ' (see SpreadsheetText), so the file differs from the grid there.

#include "board/Board.h"

#include <chrono>
#include <ctime>
#include <string>
#include <string_view>

struct TagRunCfg;

// The column that counts as a line's status unless the caller picks another ("Status" in the grid).
inline constexpr int kDefaultStatusColumn = 2;

// The titles of the two columns after the grid's eight.
inline constexpr char kCsvStatusSince[] = "Status since";
inline constexpr char kCsvSecondsInStatus[] = "Seconds in status";

// One moment on both clocks: the board's (for the time in state) and the wall clock (to print when
// the state began).
struct TagCsvClock {
    BoardTime Now;
    std::chrono::system_clock::time_point WallNow;
};
// The moment of the call, on board's clock and the system's.
TagCsvClock CsvClockNow(const TagMonitor& board);

// One field: neutralised as SpreadsheetText says, then as it is or in quotes with its quotes doubled.
std::string CsvField(std::string_view text);

// What the file starts with. Spreadsheets on Windows read a CSV without a byte order mark in the
// system's code page (936 on a Chinese desk) and show UTF-8 as mojibake; pipes and scripts want none.
enum class CsvStart { Plain, ByteOrderMark };
inline constexpr char kUtf8ByteOrderMark[] = "\xEF\xBB\xBF";

// ISO 8601 in local time with the offset from UTC, to the second: 2026-12-09T14:03:27+01:00
// (+00:00 for UTC, never "Z"). The offset is the one in force at that moment, daylight saving
// included.
std::string IsoLocalTime(std::chrono::system_clock::time_point t);
// The same from a broken-down local time and its offset east of UTC in seconds (cut to minutes).
std::string IsoTime(const std::tm& local, long utcOffsetSeconds);

// Header row, then one row per line, every row ending in CR LF. The board's GBK texts and the
// configured headers (HeaderTexts) are decoded to UTF-8. "Status since" and "Seconds in status"
// are those of statusColumn (0..7; outside it both fields stay empty). Caller holds board.Lock.
std::string BoardCsv(const TagMonitor& board, const TagRunCfg& cfg, const TagCsvClock& at,
                     int statusColumn = kDefaultStatusColumn, CsvStart start = CsvStart::Plain);
