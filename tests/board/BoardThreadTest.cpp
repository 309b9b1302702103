// The receive worker writes and replaces the board while the GUI thread refreshes and paints from
// it. Run under ThreadSanitizer as well: a missing lock shows up there even when the checks pass.

#include "board/Board.h"
#include "platform/WakeFlag.h"
#include "support/TestSupport.h"

#include <atomic>
#include <gtest/gtest.h>
#include <mutex>
#include <string>
#include <thread>

namespace {

// Lays the board out the way the grid would: remembers the board it was laid out for (the board
// and the moment it was made, so a new board at a freed one's address does not pass for it).
class LayingOutView : public RecordingView {
public:
    bool LayoutGrid(TagMonitor& board, WakeFlag&) override
    {
        std::lock_guard lock(mutex_);
        board_ = &board;
        created_ = board.Created;
        return true;
    }
    bool LaidOutFor(const TagMonitor& board) const
    {
        std::lock_guard lock(mutex_);
        return board_ == &board && created_ == board.Created;
    }

private:
    mutable std::mutex mutex_;
    const TagMonitor* board_ = nullptr;
    BoardTime created_{};
};

// Each text carries the number it was written with; the colours are derived from that number, so
// a reader that sees a text with colours of another write has caught a torn cell.
int ForeOf(int n)
{
    return n % 16;
}
int BackOf(int n)
{
    return (n / 16 + 3) % 16;
}

struct ReaderStats {
    int boardsRead = 0;
    int cellsCopied = 0;
    int notLaidOut = 0;
    int torn = 0;
};

// What the timer's refresh and the cell drawing do: the reference lock, BoardBusy, the board lock.
bool ReadLikeTheGrid(const LayingOutView& view, ReaderStats& stats)
{
    if (BoardBusy.load() != 0)
        return false;
    BoardLock boardRef(CurBoardLock);
    if (BoardBusy.load() != 0 || !CurBoard)
        return false;
    TagMonitor& board = *CurBoard;
    BoardLock cells(board.Lock);
    ++stats.boardsRead;
    if (!view.LaidOutFor(board))
        ++stats.notLaidOut;
    for (int i = 0; i < board.LineCount; ++i) {
        for (int k = 0; k < kColsPerLine; ++k) {
            TColor fore = 0;
            TColor back = 0;
            if (board.GetCellColors(i, k, fore, back) != 0) {
                ++stats.torn;
                continue;
            }
            TagLineCols& cell = board.Rows[size_t(i)].Cols[k];
            if (!cell.Changed)
                continue;
            cell.Changed = false;
            const int n = std::stoi(cell.Text);
            if (fore != LinePalette[ForeOf(n)] || back != LinePalette[BackOf(n)])
                ++stats.torn;
            ++stats.cellsCopied;
        }
    }
    return true;
}

} // namespace

TEST(BoardThreadTest, WorkerWritesAndReplacesWhileGuiReads)
{
    DestroyBoard();
    BoardBusy.store(0);
    LayingOutView view;
    WakeFlag stop;
    std::atomic<bool> writerDone{false};

    std::thread worker([&] {
        const int counts[] = {20, 7, 0, 33, 20, 1};
        int n = 0;
        for (int round = 0; round < 600; ++round) {
            EnsureBoard(counts[(round / 25) % 6], stop);
            // Only this thread replaces the board, so it may keep the pointer between frames.
            TagMonitor* board = CurBoard;
            BoardLock lock(board->Lock);
            for (int w = 0; w < 16; ++w, ++n) {
                const std::string text = std::to_string(n);
                board->SetCell(text.c_str(), text.size(), (n * 7) % board->LineCount, n % kColsPerLine, ForeOf(n),
                               BackOf(n));
            }
        }
        writerDone = true;
    });

    ReaderStats stats;
    // Reads go on until the worker has finished, and at least once after, when the last board is
    // published with BoardBusy down.
    bool readAfterDone = false;
    while (!readAfterDone) {
        const bool done = writerDone.load();
        if (ReadLikeTheGrid(view, stats) && done)
            readAfterDone = true;
        std::this_thread::yield();
    }
    worker.join();

    EXPECT_GT(stats.boardsRead, 0);
    EXPECT_GT(stats.cellsCopied, 0);
    EXPECT_EQ(stats.notLaidOut, 0);
    EXPECT_EQ(stats.torn, 0);
    EXPECT_EQ(BoardBusy.load(), 0);
    DestroyBoard();
}

TEST(BoardThreadTest, StopMidLayoutDoesNotDeadlock)
{
    DestroyBoard();
    BoardBusy.store(0);
    // A layout that waits for a GUI thread which never gets to it, as when the GUI is busy stopping.
    class StuckView : public RecordingView {
    public:
        std::atomic<bool> waiting{false};
        bool LayoutGrid(TagMonitor&, WakeFlag& stop) override
        {
            waiting = true;
            return stop.WaitUntil([] { return false; });
        }
    } view;
    WakeFlag stop;
    std::atomic<int> result{-1};
    std::thread worker([&] { result = EnsureBoard(8, stop) ? 1 : 0; });
    while (!view.waiting.load())
        std::this_thread::yield();
    stop.Set();
    worker.join();
    EXPECT_EQ(result.load(), 0);
    BoardLock lock(CurBoardLock);
    EXPECT_EQ(CurBoard, nullptr);
}
