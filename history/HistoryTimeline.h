#pragma once
// How a line's history follows from what the journal wrote: its changes, the board's pictures and
// the events around them. A stretch the journal cannot vouch for (the monitor not running, the
// link down, changes not recorded, no board) is a gap, never the last state carried on.

#include "history/HistorySchema.h"

#include <cstdint>
#include <vector>

enum class HistoryGap : uint8_t {
    None,        // a state
    NotRunning,  // no monitor was recording
    NoBoard,     // recording, but no board had come from the server yet
    NotOnBoard,  // the board had fewer lines
    LinkDown,    // the link to the server was down: the board showed what it had before
    NotRecorded, // changes came faster than they could be written and were dropped
    NotRetained, // older than what the file keeps
};

// One stretch of one line: [from, until) in UTC ms, a state or a gap.
struct HistorySpan {
    int64_t from = 0;
    int64_t until = 0;
    HistoryGap gap = HistoryGap::NotRunning;
    int64_t state = kEmptyState; // when gap is None
    int64_t since = 0;           // when the state began as the monitor saw it (at most from); the gap's start
    int64_t notRecorded = 0;     // NotRecorded: how many changes were dropped

    bool SameAs(const HistorySpan& o) const { return gap == o.gap && (gap != HistoryGap::None || state == o.state); }
};

// What happened at one moment. At the same moment the kinds count in this order: a session's end
// is the first moment after it, a session starts before anything is written in it, a picture is
// taken after the changes it covers were dropped, a change comes after the picture (a line keeps
// one change per millisecond, its last, so a change at the picture's moment is the picture's own
// or one of a frame after it), a link goes down after the frame it last brought.
enum class HistoryFactKind : uint8_t { SessionEnd, SessionStart, Board, NotRecorded, Picture, Change, LinkDown };

struct HistoryFact {
    int64_t t = 0;
    HistoryFactKind kind = HistoryFactKind::Change;
    // Board: line count. Change: state. NotRecorded: how many. Picture: this line's state, or -1
    // when the pictured board had no such line.
    int64_t value = 0;
    // NotRecorded: the moment of the last change not recorded. Picture: since when the state held.
    int64_t extra = 0;

    bool operator<(const HistoryFact& o) const { return t != o.t ? t < o.t : kind < o.kind; }
};

// One line's state as facts (in order) come in.
class HistoryLineRun {
public:
    explicit HistoryLineRun(int line) : line_(line) {}
    // True when the line's span changed with f: Current() then starts at f.t.
    bool Apply(const HistoryFact& f);
    const HistorySpan& Current() const { return current_; }

private:
    // A state the same as the current one goes on unless fresh.
    bool Become(const HistorySpan& next, int64_t t, bool fresh = false);

    int line_;
    HistorySpan current_{INT64_MIN, INT64_MAX, HistoryGap::NotRunning, kEmptyState, INT64_MIN, 0};
    int64_t droppedUntil_ = INT64_MIN; // changes up to here may have been overtaken by dropped ones
};

// The spans of line over [from, until) from facts sorted by operator<; before retainedFrom
// everything is NotRetained. Spans of no length are left out.
std::vector<HistorySpan> LineSpans(int line, const std::vector<HistoryFact>& facts, int64_t from, int64_t until,
                                   int64_t retainedFrom);
