// The board's locks in checking builds: what a thread holds, and a second taking that stops the
// program with both places named instead of hanging it.
#include "board/BoardLock.h"
#include "board/Board.h"
#include "board/BoardRead.h"

#include <gtest/gtest.h>
#include <mutex>
#include <thread>

namespace {

#ifdef QUORVANE_LOCK_CHECKS

TEST(BoardLockTest, AThreadKnowsWhatItHoldsAndWhereItTookIt)
{
    TagMonitor board(4);
    EXPECT_FALSE(HoldsBoardLock());
    {
        BoardLock reference(CurBoardLock);
        const int line = __LINE__ - 1;
        {
            BoardLock cells(board.Lock);
            EXPECT_TRUE(HoldsBoardLock());
            const std::string held = BoardLocksHeldHere();
            EXPECT_NE(held.find("CurBoardLock (taken at tests/board/BoardLockTest.cpp:" + std::to_string(line)),
                      std::string::npos)
                << held;
            EXPECT_NE(held.find(", the board's Lock (taken at tests/board/BoardLockTest.cpp:"), std::string::npos)
                << held;

            // Another thread holds nothing and may wait for these locks as usual.
            bool otherHolds = true;
            std::thread([&] { otherHolds = HoldsBoardLock(); }).join();
            EXPECT_FALSE(otherHolds);
        }
        EXPECT_EQ(BoardLocksHeldHere().find("the board's Lock"), std::string::npos);
    }
    EXPECT_FALSE(HoldsBoardLock());
    EXPECT_EQ(BoardLocksHeldHere(), "");

    // Released in another order than taken, as std::unique_lock allows.
    std::unique_lock first(CurBoardLock);
    std::unique_lock second(board.Lock);
    first.unlock();
    EXPECT_EQ(BoardLocksHeldHere().find("CurBoardLock"), std::string::npos);
    EXPECT_NE(BoardLocksHeldHere().find("the board's Lock (taken at a place not recorded"), std::string::npos);
    second.unlock();
    EXPECT_FALSE(HoldsBoardLock());
}

// GoogleTest's own regular expressions (Windows) know \d but no brackets; POSIX ones the reverse.
#ifdef GTEST_USES_SIMPLE_RE
#define LINE_NUMBER "\\d+"
#else
#define LINE_NUMBER "[0-9]+"
#endif

TEST(BoardLockDeathTest, ASecondTakingByTheHolderStopsWithBothPlaces)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            BoardLock first(CurBoardLock);
            BoardLock second(CurBoardLock);
        },
        "CurBoardLock taken again at tests/board/BoardLockTest.cpp:" LINE_NUMBER ", in .* by the thread that already "
        "holds it since tests/board/BoardLockTest.cpp:" LINE_NUMBER);
    // The reader the GUI uses, called from inside itself: the nested read would hang.
    TagMonitor* board = new TagMonitor(2);
    {
        BoardLock reference(CurBoardLock);
        CurBoard = board;
    }
    BoardBusy.store(0);
    EXPECT_DEATH(ReadCurBoard([](TagMonitor&) { ReadCurBoard([](TagMonitor&) {}); }), "CurBoardLock taken again");
    DestroyBoard();
}

#endif

TEST(BoardReadTest, ReadsOnlyABoardThatIsThereAndNotBeingReplaced)
{
    struct Case {
        bool board;
        uint8_t busy;
        BoardState expected;
    };
    for (const Case& c : {Case{false, 0, BoardState::None}, Case{true, 0, BoardState::Read},
                          Case{true, kBusyStopped, BoardState::None}, Case{true, kBusyReplacing, BoardState::Replacing},
                          Case{true, kBusyStopped | kBusyReplacing, BoardState::None}}) {
        SCOPED_TRACE(int(c.busy) * 2 + int(c.board));
        if (c.board) {
            BoardLock reference(CurBoardLock);
            CurBoard = new TagMonitor(3);
        }
        BoardBusy.store(c.busy);
        int lines = 0;
        bool held = false;
        const auto read = [&](const TagMonitor& b) {
            lines = b.LineCount;
            held = BoardLocksHeldHere().find("CurBoardLock") != std::string::npos &&
                   BoardLocksHeldHere().find("the board's Lock") != std::string::npos;
        };
        EXPECT_EQ(ReadCurBoard(read), c.expected);
#ifdef QUORVANE_LOCK_CHECKS
        EXPECT_EQ(held, c.expected == BoardState::Read);
#endif
        EXPECT_EQ(lines, c.expected == BoardState::Read ? 3 : 0);
        EXPECT_FALSE(HoldsBoardLock());
        BoardBusy.store(0);
        DestroyBoard();
    }
}

} // namespace
