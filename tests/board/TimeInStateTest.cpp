// Time in state: every cell remembers when its text last changed, on the board's own clock.

#include "board/Board.h"
#include "link/Protocol.h"
#include "support/Frames.h"
#include "support/TestSupport.h"

#include <cstring>
#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

void Write(TagMonitor& board, const char* text, int line, int column, int fore = 0, int back = 15)
{
    BoardLock lock(board.Lock);
    board.SetCell(text, std::strlen(text), line, column, fore, back);
}

BoardTime SinceOf(const TagMonitor& board, int line, int column)
{
    BoardLock lock(board.Lock);
    return board.Rows[size_t(line)].Cols[column].Since;
}

} // namespace

TEST(TimeInStateTest, EveryCellOfAFreshBoardIsSinceItsConstruction)
{
    FakeBoardClock clock;
    const BoardTime built = FakeBoardClock::Now();
    TagMonitor board(3);
    FakeBoardClock::Advance(5s);
    EXPECT_EQ(board.Created, built);
    for (int i = 0; i < board.LineCount; ++i) {
        for (const TagLineCols& cell : board.Rows[size_t(i)].Cols)
            EXPECT_EQ(cell.Since, built);
    }
}

TEST(TimeInStateTest, OnlyAChangedTextRestartsTheCell)
{
    FakeBoardClock clock;
    TagMonitor board(2);
    const BoardTime t0 = FakeBoardClock::Now();

    // Each step: advance the clock, write, and say which moment the cell must then be "since".
    const struct {
        std::chrono::seconds advance;
        const char* text;
        int fore;
        int back;
        int sinceStep; // -1: the board's construction
    } steps[] = {
        {1s, "Idle", 2, 15, 0},      // first text
        {1s, "Idle", 2, 15, 0},      // the same text again
        {1s, "Idle", 4, 1, 0},       // new colours alone
        {1s, "Talking", 4, 1, 3},    // a new text
        {1s, "Talkin", 4, 1, 4},     // a prefix of the old text is a change too
        {1s, "Talking!", 4, 1, 5},   // so is a longer one
        {1s, "Talking!", -1, 99, 5}, // colours kept, text the same
        {1s, "", 4, 1, 7},           // emptied
        {1s, "", 4, 1, 7},
    };
    BoardTime at[std::size(steps)];
    for (size_t i = 0; i < std::size(steps); ++i) {
        SCOPED_TRACE(i);
        FakeBoardClock::Advance(steps[i].advance);
        at[i] = FakeBoardClock::Now();
        Write(board, steps[i].text, 1, 2, steps[i].fore, steps[i].back);
        const BoardTime expected = steps[i].sinceStep < 0 ? t0 : at[steps[i].sinceStep];
        EXPECT_EQ(SinceOf(board, 1, 2), expected);
        BoardLock lock(board.Lock);
        EXPECT_EQ(board.Rows[1].Cols[2].Text, steps[i].text);
        EXPECT_TRUE(board.Rows[1].Cols[2].Changed);
    }
    // The other cells were never touched.
    EXPECT_EQ(SinceOf(board, 0, 2), t0);
    EXPECT_EQ(SinceOf(board, 1, 1), t0);
}

TEST(TimeInStateTest, AGivenMomentIsUsedAndTheClockIsNotRead)
{
    FakeBoardClock clock;
    TagMonitor board(1);
    const BoardTime given = FakeBoardClock::Now() + 1h;
    {
        BoardLock lock(board.Lock);
        board.SetCell("Ringing", 7, 0, 2, 0, 14, given);
        board.SetCell("Ringing", 7, 0, 2, 0, 14, given + 1h); // same text: keeps the first moment
    }
    EXPECT_EQ(SinceOf(board, 0, 2), given);
}

TEST(TimeInStateTest, ABoardTakesTheClockItIsGiven)
{
    static BoardTime fixed = BoardTime(12345s);
    TagMonitor board(1, [] { return fixed; });
    EXPECT_EQ(board.Created, fixed);
    fixed += 10s;
    Write(board, "Idle", 0, 0);
    EXPECT_EQ(SinceOf(board, 0, 0), BoardTime(12355s));
}

TEST(TimeInStateTest, AFrameStampsItsCellsWithOneMomentAndAReplacedBoardStartsAfresh)
{
    FakeBoardClock clock;
    ScratchDir dir;
    RecordingView view;
    SharedConfig cfg;
    TagTcpConnection link(cfg, ShortTiming(), NoConnect{});
    const auto feed = [&](const std::string& frame) {
        std::memcpy(link.recvBuf + link.size, frame.data(), frame.size());
        link.size += int32_t(frame.size());
        ASSERT_TRUE(FrameReady(link));
        ASSERT_EQ(ParseFrame(link), WireOutcome::Done);
    };

    feed(Frame(2, Record(0, 2, 2, 15, "Idle") + Record(1, 2, 2, 15, "Idle")));
    const BoardTime first = FakeBoardClock::Now();
    ASSERT_NE(CurBoard, nullptr);
    EXPECT_EQ(SinceOf(*CurBoard, 0, 2), first);

    FakeBoardClock::Advance(30s);
    feed(Frame(2, Record(0, 2, 2, 15, "Idle") + Record(1, 2, 15, 1, "Talking")));
    EXPECT_EQ(SinceOf(*CurBoard, 0, 2), first) << "the same text again keeps its moment";
    EXPECT_EQ(SinceOf(*CurBoard, 1, 2), first + 30s);

    // Another line count: a new board, nothing carried over, every cell since the replacement.
    FakeBoardClock::Advance(30s);
    feed(Frame(3, Record(0, 2, 2, 15, "Idle")));
    EXPECT_EQ(CurBoard->Created, first + 60s);
    EXPECT_EQ(SinceOf(*CurBoard, 0, 2), first + 60s);
    EXPECT_EQ(SinceOf(*CurBoard, 1, 2), first + 60s);
    DestroyBoard();
}
