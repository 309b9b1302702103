#include "board/StatusCounts.h"
#include "support/TestSupport.h"

#include <algorithm>
#include <cstring>
#include <gtest/gtest.h>
#include <set>
#include <tuple>

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

namespace {

// The tally as CountStatuses gives it: text of each group's first line, its lines and stuck lines.
std::vector<std::tuple<std::string, int, int>> Named(const TagMonitor& board, int column, const TagStatusTally& t)
{
    std::vector<std::tuple<std::string, int, int>> out;
    for (const TagTextGroup& g : t.Groups)
        out.emplace_back(board.Rows[size_t(g.FirstLine)].Cols[column].Text, g.Lines, g.Longer);
    return out;
}

std::vector<std::tuple<std::string, int, int>> Named(const TagStatusCounts& c)
{
    std::vector<std::tuple<std::string, int, int>> out;
    for (const TagStatusCount& s : c.Statuses)
        out.emplace_back(s.Text, s.Lines, s.Longer);
    return out;
}

} // namespace

TEST(StatusTallyTest, GivesTheCountsAndTheOrderOfCountStatuses)
{
    const std::vector<std::vector<std::string>> boards = {
        {"Idle"},
        {"b", "a", "c"},
        {"c", "b", "a", "c", "b"},
        {"\xCD\xA8\xBB\xB0", "Zulu", "alpha"},
        {"Idle", "Idle ", "idle", "Idle"},
        {"", "Idle", ""},
        {"ab", "a", "abc", "a", "ab"},
    };
    for (const auto& lines : boards) {
        auto board = BoardShowing(lines);
        BoardLock lock(board->Lock);
        const TagStatusTally tally = TallyStatuses(*board, 2);
        EXPECT_EQ(Named(*board, 2, tally), Named(CountStatuses(*board, 2))) << testing::PrintToString(lines);
        EXPECT_EQ(tally.Total, int(lines.size()));
    }

    // A busy board, its stuck lines too: the same as CountStatuses, group for group.
    FakeBoardClock clock;
    TagMonitor board(kMaxLines);
    uint32_t seed = 12345;
    const auto next = [&] { return seed = seed * 1103515245u + 12345u, (seed >> 16) & 0x7FFF; };
    for (int round = 0; round < 3; ++round) {
        BoardLock lock(board.Lock);
        for (int i = 0; i < kMaxLines; ++i) {
            const std::string text = "s" + std::to_string(next() % 40);
            board.SetCell(text.data(), text.size(), i, 2, 0, 15);
        }
        FakeBoardClock::Advance(60s);
    }
    BoardLock lock(board.Lock);
    const TagStuckTest stuck{FakeBoardClock::Now(), 90s};
    const TagStatusTally tally = TallyStatuses(board, 2, stuck);
    const TagStatusCounts counts = CountStatuses(board, 2, stuck);
    EXPECT_EQ(Named(board, 2, tally), Named(counts));
    EXPECT_EQ(tally.Longer, counts.Longer);
    EXPECT_GT(tally.Longer, 0);
}

TEST(StatusTallyTest, LongTextsAreGroupedWholeAndOrderedByTheirStart)
{
    // Texts of 30,000 bytes that agree in all but their last byte, and two that differ early.
    const std::string common(29990, 'x');
    std::vector<std::string> lines;
    for (int i = 0; i < 12; ++i)
        lines.push_back(common + char('a' + i % 6)); // six texts, two lines each
    lines.push_back("B" + common);
    lines.push_back("A" + common);
    lines.push_back(common); // shorter than the others, the same first bytes
    auto board = BoardShowing(lines);
    BoardLock lock(board->Lock);
    const TagStatusTally tally = TallyStatuses(*board, 2);
    ASSERT_EQ(tally.Groups.size(), 9u);
    int sum = 0;
    for (size_t g = 0; g < 6; ++g) {
        EXPECT_EQ(tally.Groups[g].Lines, 2);
        sum += tally.Groups[g].Lines;
    }
    // Ties that differ within the first bytes compared are in byte order; of those alike there,
    // the shorter first.
    EXPECT_EQ(board->Rows[size_t(tally.Groups[6].FirstLine)].Cols[2].Text, "A" + common);
    EXPECT_EQ(board->Rows[size_t(tally.Groups[7].FirstLine)].Cols[2].Text, "B" + common);
    EXPECT_EQ(board->Rows[size_t(tally.Groups[8].FirstLine)].Cols[2].Text, common);
    // Every line in exactly one group, a group's lines all showing its text.
    std::set<std::string> texts;
    for (const TagTextGroup& g : tally.Groups)
        EXPECT_TRUE(texts.insert(board->Rows[size_t(g.FirstLine)].Cols[2].Text).second);
    EXPECT_EQ(texts.size(), 9u);
    EXPECT_EQ(sum, 12);

    // The same texts on other lines give the same order.
    std::vector<std::string> reversed(lines.rbegin(), lines.rend());
    auto other = BoardShowing(reversed);
    BoardLock otherLock(other->Lock);
    const TagStatusTally again = TallyStatuses(*other, 2);
    ASSERT_EQ(again.Groups.size(), tally.Groups.size());
    for (size_t g = 0; g < tally.Groups.size(); ++g) {
        EXPECT_EQ(other->Rows[size_t(again.Groups[g].FirstLine)].Cols[2].Text,
                  board->Rows[size_t(tally.Groups[g].FirstLine)].Cols[2].Text)
            << g;
    }
}

TEST(StatusTallyTest, OnlyTheGroupsAskedForAreOrdered)
{
    std::vector<std::string> lines;
    for (int s = 0; s < 30; ++s) {
        for (int n = 0; n <= s % 7; ++n)
            lines.push_back("t" + std::to_string(s));
    }
    auto board = BoardShowing(lines);
    BoardLock lock(board->Lock);
    const auto all = Named(*board, 2, TallyStatuses(*board, 2));
    const auto first = Named(*board, 2, TallyStatuses(*board, 2, std::nullopt, 5));
    ASSERT_EQ(first.size(), all.size());
    EXPECT_TRUE(std::equal(all.begin(), all.begin() + 5, first.begin()));
    EXPECT_TRUE(std::is_permutation(all.begin(), all.end(), first.begin()));
    for (int column : {-1, 8}) {
        const TagStatusTally outside = TallyStatuses(*board, column);
        EXPECT_TRUE(outside.Groups.empty());
        EXPECT_EQ(outside.Total, int(lines.size()));
    }
}
