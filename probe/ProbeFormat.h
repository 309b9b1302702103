#pragma once
// What one round of the probe learnt, and the four ways of printing it plus the check line.

#include "board/BoardCsv.h"
#include "probe/ProbeOptions.h"

#include <array>
#include <string>
#include <string_view>
#include <vector>

struct TagRunCfg;

struct ProbeCell {
    std::string text; // UTF-8
    TColor fore = 0;
    TColor back = 0;
};

// One text of the status column. Texts that decode to the same UTF-8 (broken bytes do) are one
// status: a monitoring system can tell them apart no better than a person can.
struct ProbeStatus {
    std::string text;             // UTF-8
    std::vector<std::string> gbk; // the board's texts it stands for
    int lines = 0;
};

// A copy of the board in UTF-8, taken under its lock, so printing needs no lock.
struct ProbeBoard {
    int lineCount = 0;
    int column = kDefaultStatusColumn;
    std::string summary; // UTF-8
    std::array<std::string, 8> headers;
    std::vector<std::array<ProbeCell, 8>> lines;
    std::vector<long long> secondsInStatus;
    // Most lines first; equal counts in byte order of the UTF-8 text (code point order).
    std::vector<ProbeStatus> statuses;
    std::string csv;
    int cellsReceived = 0; // cells written at least once since the board was made
    int answers = 0;
    double answerSeconds = 0; // the slowest answer of the round, poll to last byte

    bool Complete() const { return cellsReceived == lineCount * kColsPerLine; }
};

// Caller holds board.Lock. A cell counts as received once it has been written (its Changed flag:
// nothing in the probe clears it).
ProbeBoard TakeSnapshot(const TagMonitor& board, const TagRunCfg& cfg, const std::string& summaryGbk, int column,
                        const TagCsvClock& at);

struct ProbeRound {
    bool ok = false;
    std::string reason; // UTF-8, when not ok
    ProbeBoard board;   // when ok
};

std::string FormatTable(const ProbeBoard& board);
std::string FormatJson(const ProbeBoard& board);
// A failed round is still an exposition: quorvane_link_up 0, so a stale file is not mistaken for a
// healthy server.
std::string FormatPrometheus(const ProbeRound& round);

// Nagios plugin states and exit codes.
enum ProbeState { kProbeOk = 0, kProbeWarning = 1, kProbeCritical = 2, kProbeUnknown = 3 };
struct ProbeCheck {
    ProbeState state = kProbeUnknown;
    std::string line; // without the line end
};
ProbeCheck FormatCheck(const ProbeRound& round, const ProbeOptions& options);
// The line of a check that could not start (bad command line, settings file).
std::string UnknownCheckLine(const std::string& reason);

// Bounds on what a server's texts can make of the output (the --help text and the README say them).
// Statuses the check line names at most; the --status one is always named.
inline constexpr size_t kCheckStatusesShown = 10;
// A status's name in the check line and its performance data label, in characters (code points).
inline constexpr size_t kCheckNameChars = 40;
// The whole check line in bytes (NRPE 2 keeps 1024 bytes of a plugin's output).
inline constexpr size_t kCheckLineBytes = 1024;
// Series of quorvane_lines_by_status: the largest statuses; the others are summed in one series
// with the label kPrometheusOther.
inline constexpr size_t kPrometheusStatuses = 50;
inline constexpr char kPrometheusOther[] = "(other)";
// A label value, in characters.
inline constexpr size_t kPrometheusLabelChars = 128;
// A column of the table, in display columns; the summary line above it, no wider than the table.
inline constexpr int kTableColumnWidth = 60;
inline constexpr int kTableSummaryWidth = 8 * kTableColumnWidth + 7 * 2;

// The pieces, for the tests.
std::string JsonString(std::string_view utf8);
std::string PrometheusLabelValue(std::string_view utf8);
std::string ColorHex(TColor color);
// A status's performance data label, before it is made unique: cut, without '=', quoted if needed.
std::string PerfLabel(std::string_view utf8);
