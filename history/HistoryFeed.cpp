#include "history/HistoryFeed.h"

#include <algorithm>
#include <cstring>

namespace {

// Events are rare (a link that flaps, a board replaced); a journal that stopped taking them must
// not let them grow without end.
constexpr size_t kMaxEvents = 100000;

BoardTime Now()
{
    return BoardClock.load()();
}

} // namespace

HistoryFeed& HistoryFeed::Instance()
{
    // Never destroyed: a writer may still hold the pointer when the process ends.
    static HistoryFeed* const feed = new HistoryFeed();
    return *feed;
}

bool HistoryFeed::Attach(size_t capacity, BoardTime::duration pictureEvery)
{
    if (taken_.exchange(true))
        return false;
    {
        std::lock_guard lock(mutex_);
        // Allocated once: no writer can hold a slot of an earlier ring.
        if (!ring_) {
            ring_ = std::make_unique<HistoryChangeSlot[]>(kRingSlots);
            longTexts_ = std::make_unique<std::string[]>(kRingSlots);
        }
        events_.clear();
        picture_.reset();
        linkUp_ = -1;
        overdue_ = false;
    }
    tail_.store(head_.load(std::memory_order_acquire), std::memory_order_release);
    capacity_.store(std::clamp<size_t>(capacity, 1, kRingSlots), std::memory_order_relaxed);
    pictureEveryNs_.store(std::chrono::duration_cast<std::chrono::nanoseconds>(pictureEvery).count(),
                          std::memory_order_relaxed);
    pictureWanted_.store(true);
    attaches_.fetch_add(1, std::memory_order_relaxed);
    CurHistory.store(this, std::memory_order_release);
    return true;
}

void HistoryFeed::Detach()
{
    HistorySink* expected = this;
    if (CurHistory.compare_exchange_strong(expected, nullptr))
        taken_.store(false);
}

void HistoryFeed::TakeEvents(std::vector<HistoryFeedEvent>& out)
{
    std::lock_guard lock(mutex_);
    out.insert(out.end(), events_.begin(), events_.end());
    events_.clear();
}

std::unique_ptr<HistoryPicture> HistoryFeed::TakePicture()
{
    std::lock_guard lock(mutex_);
    return std::move(picture_);
}

void HistoryFeed::StatusChanged(int line, std::string_view text, uint32_t fore, uint32_t back, Moment at)
{
    const size_t head = head_.load(std::memory_order_relaxed);
    const size_t capacity = capacity_.load(std::memory_order_relaxed);
    if (head - seenTail_ >= capacity) {
        seenTail_ = tail_.load(std::memory_order_acquire);
        if (head - seenTail_ >= capacity) {
            // The journal's writer is behind: the worker does not wait for it.
            ForgetEarlierJournal();
            if (dropped_++ == 0)
                firstDrop_ = at;
            lastDrop_ = at;
            return;
        }
    }
    const size_t index = head & (kRingSlots - 1);
    HistoryChangeSlot& slot = ring_[index];
    slot.at = at;
    slot.line = int32_t(line);
    slot.fore = fore;
    slot.back = back;
    slot.length = uint32_t(text.size());
    if (text.size() <= HistoryChangeSlot::kShort)
        std::memcpy(slot.shortText, text.data(), text.size());
    else
        longTexts_[index].assign(text);
    head_.store(head + 1, std::memory_order_release);
}

void HistoryFeed::ForgetEarlierJournal()
{
    const uint64_t attaches = attaches_.load(std::memory_order_relaxed);
    if (attaches != seenAttach_) {
        seenAttach_ = attaches;
        dropped_ = 0;
        lastPicture_ = {};
    }
}

void HistoryFeed::FrameApplied(const TagMonitor& board, Moment at)
{
    ForgetEarlierJournal();
    if (dropped_ > 0) {
        // The board is whole again at the end of this frame: the journal learns what it missed
        // and gets a picture to go on from.
        Post({firstDrop_, HistoryEventKind::NotRecorded, int64_t(dropped_), lastDrop_});
        dropped_ = 0;
        pictureWanted_.store(true);
    }
    const auto every = std::chrono::nanoseconds(pictureEveryNs_.load(std::memory_order_relaxed));
    const bool due = every.count() > 0 && at - lastPicture_ >= every;
    if (!pictureWanted_.exchange(false) && !due)
        return;
    lastPicture_ = at;
    auto picture = std::make_unique<HistoryPicture>();
    picture->at = at;
    picture->cells.resize(size_t(board.LineCount));
    for (int i = 0; i < board.LineCount; ++i) {
        const TagLineCols& cell = board.Rows[size_t(i)].Cols[kHistoryColumn];
        picture->cells[size_t(i)] = {cell.Text, cell.ForeColor, cell.BackColor, cell.Since};
    }
    std::lock_guard lock(mutex_);
    picture_ = std::move(picture);
}

void HistoryFeed::BoardChanged(int lineCount)
{
    const BoardTime at = Now();
    Post({at, HistoryEventKind::Board, lineCount, at});
}

void HistoryFeed::LinkChanged(bool up)
{
    const BoardTime at = Now();
    std::lock_guard lock(mutex_);
    // The worker reports the link down on every failed reconnection; the journal keeps one event.
    if (linkUp_ == int(up))
        return;
    linkUp_ = int(up);
    if (!up)
        overdue_ = false; // a link that went down waits for no answer
    if (events_.size() < kMaxEvents)
        events_.push_back({at, up ? HistoryEventKind::LinkUp : HistoryEventKind::LinkDown, 0, at});
    // The server sends its board again after a reconnection; its first frame is what the
    // journal goes on from.
    if (up)
        pictureWanted_.store(true);
}

void HistoryFeed::AnswerOverdue(bool overdue)
{
    const BoardTime at = Now();
    std::lock_guard lock(mutex_);
    if (overdue_ == overdue)
        return;
    overdue_ = overdue;
    if (events_.size() < kMaxEvents)
        events_.push_back({at, overdue ? HistoryEventKind::OverdueStart : HistoryEventKind::OverdueEnd, 0, at});
}

void HistoryFeed::Post(const HistoryFeedEvent& event)
{
    std::lock_guard lock(mutex_);
    if (events_.size() < kMaxEvents)
        events_.push_back(event);
}
