#pragma once
// The overview's replay of a past moment: where the time slider stands in the retained span, and
// the board of that moment as the overview draws it (tiles in each line's status colours, the
// legend's counts, the lines the journal cannot vouch for apart as gap tiles).

#include "board/OverviewPicture.h"
#include "history/HistoryReader.h"
#include "history/HistoryTimeline.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Whole seconds from the first retained moment: a slider of a week is 604,800 steps, more than
// any screen has pixels, so a drag lands on a second and the arrow keys move by one.
inline constexpr int64_t kReplayStepMs = 1000;
// A slider's positions are ints; a span longer than this many steps takes longer steps.
inline constexpr int kReplayMaxPositions = 10'000'000;

// The slider's positions over [first, last]: 0 is first, each position a step later, and the last
// position (End) is the live board, never a past moment.
struct ReplayScale {
    int64_t first = 0;
    int64_t step = kReplayStepMs;
    int end = 1; // the live position

    static ReplayScale Over(int64_t first, int64_t last);
    bool IsLive(int position) const { return position >= end; }
    // The moment of a position before the end (positions below 0 count as 0).
    int64_t TimeAt(int position) const;
    // The position that shows t: the step t falls in, never the live one.
    int PositionOf(int64_t t) const;
    bool operator==(const ReplayScale&) const = default;
};

// "14:03:27": utcMs as the local clock showed it, the milliseconds dropped.
std::string ReplayClockText(int64_t utcMs);
// "Replay: 14:03:27", what the overview says in place of "Live".
std::string ReplayLabelText(int64_t utcMs);

// Gap tiles: grey, hatched by the painter, their numbers dark.
inline constexpr TColor kReplayGapFore = 0x404040;
inline constexpr TColor kReplayGapBack = 0xD8D8D8;

struct ReplayGapCount {
    HistoryGap gap = HistoryGap::NotRunning;
    int lines = 0;
    bool operator==(const ReplayGapCount&) const = default;
};

struct ReplayPicture {
    int64_t at = 0;
    // The status column's tiles and legend as the live overview has them; gap tiles have Gap set
    // and count in Total but in no legend entry.
    TagOverview overview;
    // Gap tiles by kind, in the order of HistoryGap, only kinds with lines.
    std::vector<ReplayGapCount> gaps;
};

// The status of a state id; null when the file no longer knows it.
using ReplayStateOf = std::function<const HistoryStateText*(int64_t state)>;

// The board at t from BoardAt's lines. Without lines (no board then), lineCount tiles all in
// BoardAt's gap, so the picture keeps the board's shape. A line whose state is unknown shows as
// a line never written (blank, white), as the live board shows one.
ReplayPicture TakeReplay(const std::vector<HistorySpan>& lines, HistoryGap boardGap, int lineCount, int64_t t,
                         int thresholdMinutes, const ReplayStateOf& stateOf, size_t legendTexts = kLegendTexts);

// "(link down)": the legend's name of a kind of gap.
std::string ReplayGapName(HistoryGap gap);

// The hover text of a replayed line (UTF-8): "Line 12: Talking for 3 min 5 s" or "Line 12: (link
// down) for 40 s", and the moment on a line of its own.
std::string ReplayLineTip(int line, const HistorySpan& span, const HistoryStateText* state, int64_t t);
