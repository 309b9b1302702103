#pragma once
// What the core tells a journal of the board's history. The core never knows whether one listens:
// the board and the link report through CurHistory, and a journal (history/) installs itself there
// while the operator keeps line history.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string_view>

struct TagMonitor;

// The column whose text is a line's status, and the only one a journal keeps.
inline constexpr int kHistoryColumn = 2;

class HistorySink {
public:
    using Moment = std::chrono::steady_clock::time_point; // on the board's clock

    virtual ~HistorySink() = default;

    // The status text of line changed (not merely re-sent, not only recoloured). Called by the
    // board's writer with the board's lock held; one writer at a time. Must not wait.
    virtual void StatusChanged(int line, std::string_view text, uint32_t fore, uint32_t back, Moment at) = 0;
    // A frame has been applied to board; the caller holds its lock. The one moment the whole board
    // is consistent, so a journal may take its picture here.
    virtual void FrameApplied(const TagMonitor& board, Moment at) = 0;

    // Any thread, rare: a board of lineCount lines replaced the one before (0: the board is gone),
    // the link went up or down, the awaited answer became overdue or came.
    virtual void BoardChanged(int lineCount) = 0;
    virtual void LinkChanged(bool up) = 0;
    virtual void AnswerOverdue(bool overdue) = 0;
};

// The journal listening, or null. An installed sink stays a valid object for the rest of the
// process: a writer that read the pointer just before it was cleared may still call it.
extern std::atomic<HistorySink*> CurHistory;

inline HistorySink* History()
{
    return CurHistory.load(std::memory_order_acquire);
}
