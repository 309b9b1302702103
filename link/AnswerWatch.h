#pragma once
// Whether the server is late with its answer. The link has no answer time-out and keeps none: a
// slow server may be slow. But a server that is connected and never answers must not look like a
// quiet one, so the screen shows how long the answer has been awaited once it is overdue.

#include <cstdint>

struct TagTcpConnection;

struct AnswerWait {
    bool overdue = false;     // the link is up and the poll sent has waited longer than allowed
    int64_t waitedMs = 0;     // how long it has waited so far (0 when no poll waits)
    int64_t lastAnswerAt = 0; // SteadyMs() of the last complete answer; 0 when none came yet
};

// The state at nowMs (SteadyMs()).
AnswerWait WatchAnswer(const TagTcpConnection& link, int64_t nowMs);

// How old the board's data is, as a view of the board says it once it matters: a board that keeps
// showing its last answer while the link is down, or while the answer is overdue, must not look like
// a quiet one. The view words it.
struct TagBoardAge {
    enum class Why { Fresh, LinkDown, Overdue };
    Why why = Why::Fresh;      // Fresh: the link up and no answer overdue; nothing to say
    int64_t waitedSeconds = 0; // Overdue: how long the answer has been awaited
    int64_t ageSeconds = -1;   // since the last complete answer; -1 when none came yet

    bool operator==(const TagBoardAge&) const = default;
};

// The age at nowMs, on the clock of the wait (SteadyMs()).
TagBoardAge BoardAgeOf(bool connected, const AnswerWait& wait, int64_t nowMs);

// True exactly once per overdue answer: the caller then writes the log line. The next complete
// answer arms it again.
bool TakeOverdueReport(TagTcpConnection& link);
