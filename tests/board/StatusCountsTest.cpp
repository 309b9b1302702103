#include "board/StatusCounts.h"
#include "support/TestSupport.h"

#include <cstring>
#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

// A board whose column 2 shows the given texts, one per line.
std::unique_ptr<TagMonitor> BoardShowing(const std::vector<std::string>& statuses, int column = 2)
{
    auto board = std::make_unique<TagMonitor>(int(statuses.size()));
    BoardLock lock(board->Lock);
    for (size_t i = 0; i < statuses.size(); ++i)
        board->SetCell(statuses[i].data(), statuses[i].size(), int(i), column, 0, 15);
    return board;
}

std::vector<std::pair<std::string, int>> Pairs(const TagStatusCounts& counts)
{
    std::vector<std::pair<std::string, int>> out;
    for (const TagStatusCount& s : counts.Statuses)
        out.emplace_back(s.Text, s.Lines);
    return out;
}

using P = std::vector<std::pair<std::string, int>>;

} // namespace

TEST(StatusCountsTest, MostFrequentFirstTiesInByteOrder)
{
    const struct {
        std::vector<std::string> lines;
        P expected;
    } cases[] = {
        {{"Idle"}, {{"Idle", 1}}},
        {{"Idle", "Talking", "Idle"}, {{"Idle", 2}, {"Talking", 1}}},
        // Ties: byte order, whatever order the lines show them in.
        {{"b", "a", "c"}, {{"a", 1}, {"b", 1}, {"c", 1}}},
        {{"c", "b", "a", "c", "b"}, {{"b", 2}, {"c", 2}, {"a", 1}}},
        // Bytes compare unsigned: GBK (0xB0..) after ASCII, upper case before lower case.
        {{"\xCD\xA8\xBB\xB0", "Zulu", "alpha"}, {{"Zulu", 1}, {"alpha", 1}, {"\xCD\xA8\xBB\xB0", 1}}},
        // Texts differ by a single byte or by length: never merged.
        {{"Idle", "Idle ", "idle", "Idle"}, {{"Idle", 2}, {"Idle ", 1}, {"idle", 1}}},
        // A line never written counts under the empty text.
        {{"", "Idle", ""}, {{"", 2}, {"Idle", 1}}},
    };
    for (const auto& c : cases) {
        auto board = BoardShowing(c.lines);
        BoardLock lock(board->Lock);
        const TagStatusCounts counts = CountStatuses(*board, 2);
        EXPECT_EQ(Pairs(counts), c.expected);
        EXPECT_EQ(counts.Total, int(c.lines.size()));
        EXPECT_EQ(counts.Longer, 0);
    }
}

TEST(StatusCountsTest, TheOrderDependsOnTheCountsAloneNotOnTheLines)
{
    auto a = BoardShowing({"x", "y", "z", "y", "x", "w"});
    auto b = BoardShowing({"w", "x", "x", "y", "y", "z"});
    std::scoped_lock lock(a->Lock, b->Lock);
    EXPECT_EQ(Pairs(CountStatuses(*a, 2)), Pairs(CountStatuses(*b, 2)));
    EXPECT_EQ(Pairs(CountStatuses(*a, 2)), (P{{"x", 2}, {"y", 2}, {"w", 1}, {"z", 1}}));
}

TEST(StatusCountsTest, AnyColumnCountsAndOneOutsideGivesOnlyTheTotal)
{
    auto board = BoardShowing({"s1", "s1", "s2"}, 5);
    BoardLock lock(board->Lock);
    EXPECT_EQ(Pairs(CountStatuses(*board, 5)), (P{{"s1", 2}, {"s2", 1}}));
    EXPECT_EQ(Pairs(CountStatuses(*board, 2)), (P{{"", 3}}));
    for (int column : {-1, 8, 100}) {
        const TagStatusCounts counts = CountStatuses(*board, column);
        EXPECT_TRUE(counts.Statuses.empty());
        EXPECT_EQ(counts.Total, 3);
    }
}

TEST(StatusCountsTest, LinesUnchangedForLongerThanTheThreshold)
{
    FakeBoardClock clock;
    TagMonitor board(5);
    const BoardTime t0 = FakeBoardClock::Now();
    const auto write = [&](int line, const char* text) {
        BoardLock lock(board.Lock);
        board.SetCell(text, std::strlen(text), line, 2, 0, 15);
    };
    write(0, "Talking"); // since t0
    write(1, "Talking");
    write(2, "Idle");
    FakeBoardClock::Advance(60s);
    write(1, "Talking"); // the same text: still since t0
    write(3, "Talking"); // since t0 + 60
    write(4, "Idle");

    BoardLock lock(board.Lock);
    const struct {
        std::chrono::seconds at; // after t0
        std::chrono::seconds over;
        int talkingLonger;
        int idleLonger;
    } cases[] = {
        {60s, 59s, 2, 1},  {60s, 60s, 0, 0}, // "longer than" is strict
        {121s, 60s, 3, 2}, {90s, 60s, 2, 1}, {200s, 0s, 3, 2}, {30s, 0s, 2, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.at.count());
        const TagStatusCounts counts = CountStatuses(board, 2, TagStuckTest{t0 + c.at, c.over});
        ASSERT_EQ(counts.Statuses.size(), 2u);
        EXPECT_EQ(counts.Statuses[0].Text, "Talking");
        EXPECT_EQ(counts.Statuses[0].Lines, 3);
        EXPECT_EQ(counts.Statuses[0].Longer, c.talkingLonger);
        EXPECT_EQ(counts.Statuses[1].Text, "Idle");
        EXPECT_EQ(counts.Statuses[1].Longer, c.idleLonger);
        EXPECT_EQ(counts.Longer, c.talkingLonger + c.idleLonger);
    }
}

TEST(StatusCountsTest, TheLargestBoard)
{
    TagMonitor board(kMaxLines);
    {
        BoardLock lock(board.Lock);
        for (int i = 0; i < kMaxLines; ++i) {
            const char* text = i % 4 == 0 ? "Talking" : (i % 4 == 1 ? "Ringing" : "Idle");
            board.SetCell(text, std::strlen(text), i, 2, 0, 15);
        }
    }
    BoardLock lock(board.Lock);
    const TagStatusCounts counts = CountStatuses(board, 2);
    EXPECT_EQ(Pairs(counts), (P{{"Idle", 1024}, {"Ringing", 512}, {"Talking", 512}}));
    EXPECT_EQ(counts.Total, kMaxLines);
}
