#include "board/Board.h"
#include "platform/WakeFlag.h"
#include "support/TestSupport.h"

#include <functional>
#include <gtest/gtest.h>

namespace {

// Records like RecordingView and lets a test look at the shared state while the layout runs.
class ProbingView : public RecordingView {
public:
    std::function<bool(TagMonitor&, WakeFlag&)> during;

    bool LayoutGrid(TagMonitor& board, WakeFlag& stop) override
    {
        RecordingView::LayoutGrid(board, stop);
        return during ? during(board, stop) : true;
    }
};

TagMonitor* Published()
{
    BoardLock lock(CurBoardLock);
    return CurBoard;
}

class EnsureBoardTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        DestroyBoard();
        BoardBusy.store(0);
    }
    void TearDown() override
    {
        DestroyBoard();
        BoardBusy.store(0);
    }
    WakeFlag stop;
};

} // namespace

TEST_F(EnsureBoardTest, FirstBoardIsPublishedOnlyAfterItsLayout)
{
    ProbingView view;
    TagMonitor* laidOut = nullptr;
    view.during = [&](TagMonitor& board, WakeFlag&) {
        EXPECT_EQ(Published(), nullptr);
        EXPECT_EQ(BoardBusy.load(), 0);
        laidOut = &board;
        return true;
    };
    ASSERT_TRUE(EnsureBoard(10, stop));
    ASSERT_NE(Published(), nullptr);
    EXPECT_EQ(Published(), laidOut);
    EXPECT_EQ(Published()->LineCount, 10);
    EXPECT_EQ(BoardBusy.load(), 0);
    EXPECT_EQ(view.calls(), std::vector<std::string>{"layout:10"});
}

TEST_F(EnsureBoardTest, SameCountKeepsTheBoard)
{
    ProbingView view;
    ASSERT_TRUE(EnsureBoard(12, stop));
    TagMonitor* first = Published();
    SetCell(*first, "kept", 3, 3, 1, 1);
    ASSERT_TRUE(EnsureBoard(12, stop));
    EXPECT_EQ(Published(), first);
    EXPECT_EQ(first->Rows[3].Cols[3].Text, "kept");
    EXPECT_EQ(view.calls(), std::vector<std::string>{"layout:12"});
}

TEST_F(EnsureBoardTest, ReplacementRaisesBoardBusyWhileItsLayoutRuns)
{
    ProbingView view;
    ASSERT_TRUE(EnsureBoard(12, stop));
    SetCell(*Published(), "old", 0, 0, 4, 9);
    view.during = [&](TagMonitor& board, WakeFlag&) {
        EXPECT_EQ(BoardBusy.load(), kBusyReplacing);
        EXPECT_EQ(Published(), &board);
        EXPECT_EQ(board.LineCount, 20);
        return true;
    };
    ASSERT_TRUE(EnsureBoard(20, stop));
    EXPECT_EQ(BoardBusy.load(), 0);
    ASSERT_EQ(Published()->LineCount, 20);
    // Nothing carries over from the old board.
    const TagLineCols& cell = Published()->Rows[0].Cols[0];
    EXPECT_TRUE(cell.Text.empty());
    EXPECT_FALSE(cell.Changed);
    EXPECT_EQ(cell.BackColor, 0xFFFFFFu);
    EXPECT_EQ(view.calls(), (std::vector<std::string>{"layout:12", "layout:20"}));
}

TEST_F(EnsureBoardTest, StopDuringReplacementStaysRaised)
{
    ProbingView view;
    ASSERT_TRUE(EnsureBoard(4, stop));
    // StopMonitor falls into the replacement: lowering the replacement's cause must not lower its.
    view.during = [&](TagMonitor&, WakeFlag&) {
        BoardBusy.fetch_or(kBusyStopped);
        return true;
    };
    ASSERT_TRUE(EnsureBoard(5, stop));
    EXPECT_EQ(BoardBusy.load(), kBusyStopped);
}

TEST_F(EnsureBoardTest, ZeroLinesGiveOneLineBoardReplacedByEveryZeroAnswer)
{
    ProbingView view;
    ASSERT_TRUE(EnsureBoard(0, stop));
    EXPECT_EQ(Published()->LineCount, 1);
    for (int answer = 0; answer < 3; ++answer) {
        SetCell(*Published(), "mark", 0, 0, 4, 4);
        ASSERT_TRUE(EnsureBoard(0, stop));
        EXPECT_EQ(Published()->LineCount, 1);
        EXPECT_TRUE(Published()->Rows[0].Cols[0].Text.empty()) << answer;
    }
    EXPECT_EQ(view.calls().size(), 4u);
    // An answer that announces one line matches the board.
    ASSERT_TRUE(EnsureBoard(1, stop));
    EXPECT_EQ(view.calls().size(), 4u);
}

TEST_F(EnsureBoardTest, StopBeforeFirstLayoutPublishesNothing)
{
    ProbingView view;
    view.during = [](TagMonitor&, WakeFlag& s) { return !s.IsSet(); };
    stop.Set();
    EXPECT_FALSE(EnsureBoard(10, stop));
    EXPECT_EQ(Published(), nullptr);
    EXPECT_EQ(BoardBusy.load(), 0);
}

TEST_F(EnsureBoardTest, StopDuringReplacementLeavesTheBoardToTheStop)
{
    ProbingView view;
    view.during = [](TagMonitor&, WakeFlag& s) { return !s.IsSet(); };
    ASSERT_TRUE(EnsureBoard(10, stop));
    stop.Set();
    EXPECT_FALSE(EnsureBoard(11, stop));
    // The board that was never laid out stays behind the raised flag until the stop frees it.
    EXPECT_NE(BoardBusy.load() & kBusyReplacing, 0);
    ASSERT_NE(Published(), nullptr);
    EXPECT_EQ(Published()->LineCount, 11);
    DestroyBoard();
    EXPECT_EQ(Published(), nullptr);
}

TEST_F(EnsureBoardTest, WithoutAViewTheBoardIsStillMade)
{
    ASSERT_EQ(CurView, nullptr);
    ASSERT_TRUE(EnsureBoard(3, stop));
    ASSERT_NE(Published(), nullptr);
    EXPECT_EQ(Published()->LineCount, 3);
    ASSERT_TRUE(EnsureBoard(6, stop));
    EXPECT_EQ(Published()->LineCount, 6);
    EXPECT_EQ(BoardBusy.load(), 0);
}
