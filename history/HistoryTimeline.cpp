#include "history/HistoryTimeline.h"

#include <algorithm>

namespace {

HistorySpan Gap(HistoryGap gap, int64_t t)
{
    HistorySpan s;
    s.gap = gap;
    s.since = t;
    return s;
}

HistorySpan State(int64_t state, int64_t since)
{
    HistorySpan s;
    s.gap = HistoryGap::None;
    s.state = state;
    s.since = since;
    return s;
}

// Gaps in which the line shows nothing at all, so neither the link nor dropped changes matter.
bool Absent(HistoryGap gap)
{
    return gap == HistoryGap::NotRunning || gap == HistoryGap::NoBoard || gap == HistoryGap::NotOnBoard;
}

} // namespace

bool HistoryLineRun::Become(const HistorySpan& next, int64_t t, bool fresh)
{
    if (!fresh && next.SameAs(current_))
        return false;
    current_ = next;
    current_.from = t;
    current_.until = INT64_MAX;
    return true;
}

bool HistoryLineRun::Apply(const HistoryFact& f)
{
    switch (f.kind) {
    case HistoryFactKind::SessionStart:
        droppedUntil_ = INT64_MIN;
        return Become(Gap(HistoryGap::NoBoard, f.t), f.t);
    case HistoryFactKind::SessionEnd:
        return Become(Gap(HistoryGap::NotRunning, f.t), f.t);
    case HistoryFactKind::Board:
        droppedUntil_ = INT64_MIN;
        if (line_ < f.value)
            return Become(State(kEmptyState, f.t), f.t, true); // a new cell, even if the old one was empty
        return Become(Gap(f.value == 0 ? HistoryGap::NoBoard : HistoryGap::NotOnBoard, f.t), f.t);
    case HistoryFactKind::Change:
        // A change written while others were being dropped may have been followed by a dropped
        // one of the same line.
        if (f.t <= droppedUntil_)
            return false;
        // Only a new text is written, so a change starts a state even where the one before looks
        // the same: what lay between them was left out of the question.
        return Become(State(f.value, f.t), f.t, true);
    case HistoryFactKind::NotRecorded:
        droppedUntil_ = std::max(droppedUntil_, f.extra);
        if (Absent(current_.gap))
            return false;
        if (current_.gap == HistoryGap::NotRecorded) {
            current_.notRecorded += f.value;
            return false;
        }
        if (Become(Gap(HistoryGap::NotRecorded, f.t), f.t)) {
            current_.notRecorded = f.value;
            return true;
        }
        return false;
    case HistoryFactKind::Picture:
        droppedUntil_ = std::min(droppedUntil_, f.t - 1); // what comes at its moment is after it
        if (f.value < 0)
            return Become(Gap(HistoryGap::NotOnBoard, f.t), f.t);
        return Become(State(f.value, std::min(f.extra, f.t)), f.t);
    case HistoryFactKind::LinkDown:
        if (Absent(current_.gap))
            return false;
        return Become(Gap(HistoryGap::LinkDown, f.t), f.t);
    }
    return false;
}

std::vector<HistorySpan> LineSpans(int line, const std::vector<HistoryFact>& facts, int64_t from, int64_t until,
                                   int64_t retainedFrom)
{
    std::vector<HistorySpan> spans;
    if (until <= from)
        return spans;
    const auto emit = [&](HistorySpan span) {
        span.from = std::max(span.from, from);
        span.until = std::min(span.until, until);
        if (span.until <= span.from)
            return;
        if (span.from < retainedFrom) {
            HistorySpan old = Gap(HistoryGap::NotRetained, span.from);
            old.from = span.from;
            old.until = std::min(span.until, retainedFrom);
            if (!spans.empty() && spans.back().gap == HistoryGap::NotRetained)
                spans.back().until = old.until;
            else
                spans.push_back(old);
            span.from = retainedFrom;
            if (span.until <= span.from)
                return;
        }
        spans.push_back(span);
    };

    HistoryLineRun run(line);
    for (const HistoryFact& f : facts) {
        if (f.t >= until)
            break;
        HistorySpan before = run.Current();
        if (run.Apply(f)) {
            before.until = f.t;
            emit(before);
        }
    }
    HistorySpan last = run.Current();
    last.until = until;
    emit(last);
    return spans;
}
