#pragma once
// The line history as CSV, by the board export's rules (RFC 4180, CR LF, UTF-8 without a byte
// order mark), and neutral for spreadsheets: no field is taken for a formula.

#include "history/HistoryReader.h"

#include <functional>
#include <string>
#include <string_view>

// A field as the board's export writes one: control characters (a server's TAB, CR, LF among them)
// become U+FFFD, a field that starts with = + - @ gets a ' in front, so a spreadsheet shows it as
// text instead of running it, and a field is in quotes with its quotes doubled where it needs them.
std::string NeutralCsvField(std::string_view text);

// What a gap is called in the exports and the probe: "link down", "12 changes not recorded", ...
std::string HistoryGapText(const HistorySpan& span);

// Header "Time,Line,Status,Seconds,Gap", then the spans of line (every line of the span's boards
// with -1) over [from, until), one line after another, each oldest first. Time is local with the
// offset and milliseconds, Seconds how long the row lasted (to until for the last). Gaps leave
// Status empty and say what they are in Gap; a line's time off the board is left out. out gets the
// text piece by piece and returns false to stop.
bool HistoryCsv(HistoryReader& reader, int line, int64_t from, int64_t until,
                const std::function<bool(std::string_view)>& out, std::string& error);

// Header "Line,Status,Since,Gap", then every line (or only line) of a board as BoardAt gives it.
std::string HistoryAtCsv(HistoryReader& reader, const std::vector<HistorySpan>& lines, int line = -1);

// HistoryCsv into the file path, whole or not at all: written beside it and renamed over it once
// complete and flushed to disk. False, with the file as it was, on any failure.
bool SaveHistoryCsv(HistoryReader& reader, int line, int64_t from, int64_t until, const std::string& path,
                    std::string& error);
