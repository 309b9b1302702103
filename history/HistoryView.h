#pragma once
// What the line history window shows, apart from its pixels: the ranges it offers, the time marks
// under its strip, where each span falls on the strip, and the rows of its table with their texts.

#include "history/HistoryTimeline.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct HistoryRange {
    const char* label;
    int64_t ms;
};
inline constexpr std::array<HistoryRange, 4> kHistoryRanges{{
    {"1 hour", int64_t(3600) * 1000},
    {"8 hours", int64_t(8 * 3600) * 1000},
    {"1 day", int64_t(24 * 3600) * 1000},
    {"1 week", int64_t(7 * 24 * 3600) * 1000},
}};

// Milliseconds east of UTC of the local time at utcMs.
using LocalOffsetFn = std::function<int64_t(int64_t utcMs)>;
int64_t LocalOffsetMs(int64_t utcMs);

// A mark under the strip: the moment, its x in [0, width], and what it says ("14:00", or the date
// "12-09" at midnight).
struct HistoryTimeMark {
    int64_t t = 0;
    int x = 0;
    std::string label;
};
// Marks at round local times over [from, until) drawn width pixels wide, at least minSpacing pixels
// apart, the step the smallest of 1, 5, 10, 15, 30 minutes, 1, 2, 3, 6, 12 hours or a day that keeps
// them so.
std::vector<HistoryTimeMark> HistoryTimeMarks(int64_t from, int64_t until, int width, int minSpacing,
                                              const LocalOffsetFn& offset = LocalOffsetMs);

// Where span (an index into the spans) falls on a strip width pixels wide: [x0, x1). A gap keeps at
// least a pixel however short it was, so a strip never hides one; pieces never overlap.
struct HistoryStripPiece {
    int x0 = 0;
    int x1 = 0;
    size_t span = 0;
};
std::vector<HistoryStripPiece> HistoryStripPieces(const std::vector<HistorySpan>& spans, int64_t from, int64_t until,
                                                  int width);
// The x of moment t on a strip width pixels wide over [from, until), clamped to the strip.
int HistoryXOf(int64_t t, int64_t from, int64_t until, int width);
// The span index shown at pixel x, or -1.
int HistoryPieceAt(const std::vector<HistoryStripPiece>& pieces, int x);

// A row of the table: a state or a gap from since until until; current while it still lasts at now.
struct HistoryRow {
    int64_t since = 0;
    int64_t until = 0;
    bool current = false;
    HistoryGap gap = HistoryGap::None;
    int64_t state = 0;
    std::string gapText; // what the gap is, "link down", ...; empty for a state
};
// The spans of one line as rows, newest first. A state's row starts when the state began, which may
// be before the first span; spans of no length are left out.
std::vector<HistoryRow> HistoryRows(const std::vector<HistorySpan>& spans, int64_t now);

// "45 s", "2 min 5 s", "3 h 07 min", "2 d 4 h"; "0 s" for anything below a second.
std::string HistoryDurationText(int64_t ms);
// The local time of utcMs as the table shows it: "2026-12-09 14:03:27".
std::string HistoryMomentText(int64_t utcMs, const LocalOffsetFn& offset = LocalOffsetMs);
