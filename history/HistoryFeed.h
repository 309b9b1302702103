#pragma once
// The hand-over between the board's writer and the journal's writer thread: the HistorySink that
// CurHistory points at while a journal runs. Status changes go into a ring of fixed slots that the
// receive worker fills without a lock or an allocation once a slot's text has room; when the ring
// is full the change is counted, not waited for. Events (rare, from any thread) and the board's
// pictures go through a mutex.
//
// There is one feed per process and it is never destroyed, so a writer that read CurHistory just
// before a journal stopped still calls a live object.

#include "board/Board.h"
#include "common/HistorySink.h"
#include "history/HistorySchema.h"

#include <atomic>
#include <cstddef>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// One changed status as the journal's writer takes it.
struct HistoryChange {
    BoardTime at;
    int32_t line = 0;
    TColor fore = 0;
    TColor back = 0;
    std::string_view text; // GBK; valid until the slot is handed back
};

// A slot of the ring: one cache line. A status text is short and is copied into it; a longer one
// goes into a string kept beside the slot, which grows once and is reused.
struct alignas(64) HistoryChangeSlot {
    static constexpr size_t kShort = 40;
    BoardTime at;
    int32_t line = 0;
    TColor fore = 0;
    TColor back = 0;
    uint32_t length = 0;
    char shortText[kShort] = {};
};
static_assert(sizeof(HistoryChangeSlot) == 64, "a slot fills one cache line");

struct HistoryFeedEvent {
    BoardTime at;
    HistoryEventKind kind = HistoryEventKind::Board;
    int64_t value = 0;
    BoardTime until; // the last change not recorded; else at
};

// The status column of every line as the board showed it at one moment.
struct HistoryPicture {
    BoardTime at;
    struct Cell {
        std::string text; // GBK
        TColor fore = 0;
        TColor back = 0;
        BoardTime since;
    };
    std::vector<Cell> cells;
};

class HistoryFeed final : public HistorySink {
public:
    // The slots the ring holds at most; a journal may use fewer (HistoryOptions::queueSize).
    static constexpr size_t kRingSlots = size_t(1) << 16;

    static HistoryFeed& Instance();

    // The journal's side. Attach empties the ring, keeps at most capacity changes waiting, asks for
    // a picture of the board after the next frame and for one every pictureEvery after it, and
    // installs the feed in CurHistory. Detach clears CurHistory. False, with nothing changed, while
    // another journal is attached: the ring has one reader.
    bool Attach(size_t capacity, BoardTime::duration pictureEvery);
    void Detach();
    bool Attached() const { return CurHistory.load() == this; }

    // Hands at most max waiting changes, oldest first, to take (a callable taking const
    // HistoryChange&) and frees their slots; returns how many. Only the journal's writer calls it.
    template <class Take> size_t Consume(size_t max, Take&& take)
    {
        const size_t tail = tail_.load(std::memory_order_relaxed);
        const size_t head = head_.load(std::memory_order_acquire);
        size_t n = head - tail;
        if (n > max)
            n = max;
        for (size_t i = 0; i < n; ++i) {
            const size_t at = (tail + i) & (kRingSlots - 1);
            const HistoryChangeSlot& slot = ring_[at];
            const std::string_view text = slot.length <= HistoryChangeSlot::kShort
                                              ? std::string_view(slot.shortText, slot.length)
                                              : std::string_view(longTexts_[at]);
            take(HistoryChange{slot.at, slot.line, slot.fore, slot.back, text});
        }
        tail_.store(tail + n, std::memory_order_release);
        return n;
    }
    size_t Waiting() const { return head_.load(std::memory_order_acquire) - tail_.load(std::memory_order_relaxed); }
    void TakeEvents(std::vector<HistoryFeedEvent>& out);
    std::unique_ptr<HistoryPicture> TakePicture();

    // HistorySink: the board's side.
    void StatusChanged(int line, std::string_view text, uint32_t fore, uint32_t back, Moment at) override;
    void FrameApplied(const TagMonitor& board, Moment at) override;
    void BoardChanged(int lineCount) override;
    void LinkChanged(bool up) override;
    void AnswerOverdue(bool overdue) override;

private:
    HistoryFeed() = default;
    void Post(const HistoryFeedEvent& event);
    void ForgetEarlierJournal();

    std::unique_ptr<HistoryChangeSlot[]> ring_;
    std::unique_ptr<std::string[]> longTexts_;
    // Counts the attaches, so the board's writer forgets what it counted for an earlier journal.
    std::atomic<uint64_t> attaches_{0};
    std::atomic<bool> taken_{false};
    std::atomic<size_t> capacity_{0};
    std::atomic<int64_t> pictureEveryNs_{0};
    // head_ is written by the board's writer only, tail_ by the journal's writer only; each on a
    // cache line of its own so the two threads do not take the line from each other per change.
    alignas(64) std::atomic<size_t> head_{0};
    alignas(64) std::atomic<size_t> tail_{0};

    // The board's writer's own bookkeeping (one writer at a time, under the board's lock). The
    // consumer's position is read again only when the last one read says the ring is full.
    alignas(64) size_t seenTail_ = 0;
    uint64_t seenAttach_ = 0;
    uint64_t dropped_ = 0;
    BoardTime firstDrop_;
    BoardTime lastDrop_;
    BoardTime lastPicture_;
    std::atomic<bool> pictureWanted_{false};

    std::mutex mutex_;
    std::vector<HistoryFeedEvent> events_;
    std::unique_ptr<HistoryPicture> picture_;
    int linkUp_ = -1; // -1 not known since the attach
    bool overdue_ = false;
};
