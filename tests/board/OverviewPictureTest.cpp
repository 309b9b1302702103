// The line overview's picture of the board: tiles, stuck marks, the legend, what changed.

#include "board/OverviewPicture.h"
#include "support/TestSupport.h"

#include <cstring>
#include <gtest/gtest.h>
#include <string>

using namespace std::chrono_literals;

namespace {

void Write(TagMonitor& board, const std::string& text, int line, int column, int fore, int back)
{
    BoardLock lock(board.Lock);
    board.SetCell(text.data(), text.size(), line, column, fore, back);
}

void WriteAt(TagMonitor& board, const std::string& text, int line, int column, BoardTime at)
{
    BoardLock lock(board.Lock);
    board.SetCell(text.data(), text.size(), line, column, 0, 15, at);
}

TagOverview Take(const TagMonitor& board, int column, int threshold, BoardTime now, size_t legendTexts = kLegendTexts)
{
    BoardLock lock(board.Lock);
    return TakeOverview(board, column, threshold, now, legendTexts);
}

std::vector<std::pair<std::string, int>> Named(const TagOverview& o)
{
    std::vector<std::pair<std::string, int>> out;
    for (const TagLegendEntry& e : o.Legend)
        out.emplace_back(e.OtherTexts > 0 ? "<" + std::to_string(e.OtherTexts) + " others>" : e.Text, e.Lines);
    return out;
}

using P = std::vector<std::pair<std::string, int>>;

} // namespace

TEST(OverviewTest, TilesTakeTheChosenColumnsColoursInLineOrder)
{
    TagMonitor board(4);
    const int status[4][2] = {{2, 15}, {15, 1}, {0, 14}, {15, 4}}; // fore, back palette indexes
    for (int i = 0; i < 4; ++i) {
        Write(board, "s" + std::to_string(i), i, 2, status[i][0], status[i][1]);
        Write(board, "r" + std::to_string(i), i, 4, status[3 - i][0], status[3 - i][1]);
    }
    const BoardTime now = board.Created;
    const TagOverview o = Take(board, 2, 0, now);
    ASSERT_EQ(o.Tiles.size(), 4u);
    EXPECT_EQ(o.Column, 2);
    EXPECT_EQ(o.Total, 4);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(o.Tiles[size_t(i)].ForeColor, LinePalette[status[i][0]]) << i;
        EXPECT_EQ(o.Tiles[size_t(i)].BackColor, LinePalette[status[i][1]]) << i;
        EXPECT_FALSE(o.Tiles[size_t(i)].Stuck);
    }
    const TagOverview run = Take(board, 4, 0, now);
    EXPECT_EQ(run.Column, 4);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(run.Tiles[size_t(i)].BackColor, LinePalette[status[3 - i][1]]) << i;
    // A column outside the eight (a stored choice gone bad) shows the status column.
    for (int column : {-1, 8, 99}) {
        const TagOverview other = Take(board, column, 0, now);
        EXPECT_EQ(other.Column, 2);
        EXPECT_EQ(other.Tiles, o.Tiles);
    }
    // A line never written keeps a fresh cell's colours.
    TagMonitor fresh(1);
    const TagOverview blank = Take(fresh, 2, 0, fresh.Created);
    EXPECT_EQ(blank.Tiles[0], (TagOverviewTile{0x000000, 0xFFFFFF, false}));
    EXPECT_EQ(Named(blank), (P{{"", 1}}));
}

TEST(OverviewTest, StuckMarksFollowTheThresholdAndTheLegendCountsThem)
{
    FakeBoardClock clock;
    TagMonitor board(7);
    const BoardTime now = FakeBoardClock::Now() + 3h;
    // How long each line's status has stood at `now`; line 6 is never written (since construction).
    const std::chrono::seconds ages[] = {0s, 59s, 60s, 61s, 5min + 1s, 2h};
    for (int i = 0; i < 6; ++i)
        WriteAt(board, i % 2 ? "Talking" : "Idle", i, 2, now - ages[i]);
    const struct {
        int minutes;
        std::vector<bool> stuck;
    } cases[] = {
        {0, {false, false, false, false, false, false, false}},
        {1, {false, false, false, true, true, true, true}}, // exactly one minute is not more than one
        {5, {false, false, false, false, true, true, true}},
        {60, {false, false, false, false, false, true, true}},
        {3, {false, false, false, false, false, false, false}}, // not a threshold offered: off
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.minutes);
        const TagOverview o = Take(board, 2, c.minutes, now);
        int marked = 0;
        for (size_t i = 0; i < c.stuck.size(); ++i) {
            EXPECT_EQ(o.Tiles[i].Stuck, c.stuck[i]) << i;
            marked += o.Tiles[i].Stuck ? 1 : 0;
        }
        EXPECT_EQ(o.Longer, marked);
        int perText = 0;
        for (const TagLegendEntry& e : o.Legend)
            perText += e.Longer;
        EXPECT_EQ(perText, marked);
    }
    // Per text: Talking on lines 1, 3, 5 (59 s, 61 s, 2 h), Idle on 0, 2, 4, the blank line 6.
    const TagOverview o = Take(board, 2, 1, now);
    ASSERT_EQ(Named(o), (P{{"Idle", 3}, {"Talking", 3}, {"", 1}}));
    EXPECT_EQ(o.Legend[0].Longer, 1);
    EXPECT_EQ(o.Legend[1].Longer, 2);
    EXPECT_EQ(o.Legend[2].Longer, 1);
    EXPECT_EQ(o.ThresholdMinutes, 1);
}

TEST(OverviewTest, TheLegendNamesTheMostFrequentTextsAndGathersTheRest)
{
    TagMonitor board(9);
    // Talking first appears on line 1 in blue, later in red: the swatch is the first line's.
    const struct {
        const char* text;
        int back;
    } lines[] = {{"Idle", 15},   {"Talking", 1}, {"Idle", 15},     {"Talking", 4},         {"Ringing", 14},
                 {"Talking", 1}, {"Hang-up", 7}, {"Recording", 4}, {"\xCD\xA8\xBB\xB0", 9}};
    for (int i = 0; i < 9; ++i)
        Write(board, lines[i].text, i, 2, 0, lines[i].back);
    const BoardTime now = board.Created;

    const TagOverview all = Take(board, 2, 0, now);
    EXPECT_EQ(
        Named(all),
        (P{{"Talking", 3}, {"Idle", 2}, {"Hang-up", 1}, {"Recording", 1}, {"Ringing", 1}, {"\xCD\xA8\xBB\xB0", 1}}));
    EXPECT_EQ(all.Legend[0].BackColor, LinePalette[1]);
    EXPECT_EQ(all.Legend[4].BackColor, LinePalette[14]);
    EXPECT_EQ(all.Legend[5].BackColor, LinePalette[9]);

    const struct {
        size_t legendTexts;
        P expected;
    } cases[] = {
        {2, {{"Talking", 3}, {"Idle", 2}, {"<4 others>", 4}}},
        {4, {{"Talking", 3}, {"Idle", 2}, {"Hang-up", 1}, {"Recording", 1}, {"<2 others>", 2}}},
        // One text more than the legend names is named rather than gathered.
        {5, {{"Talking", 3}, {"Idle", 2}, {"Hang-up", 1}, {"Recording", 1}, {"Ringing", 1}, {"\xCD\xA8\xBB\xB0", 1}}},
        {6, Named(all)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.legendTexts);
        const TagOverview o = Take(board, 2, 0, now, c.legendTexts);
        EXPECT_EQ(Named(o), c.expected);
        int counted = 0;
        for (const TagLegendEntry& e : o.Legend)
            counted += e.Lines;
        EXPECT_EQ(counted, o.Total);
    }

    // The line-number column of a full board: a text per line, eight named and the rest gathered.
    TagMonitor full(kMaxLines);
    for (int i = 0; i < kMaxLines; ++i)
        Write(full, std::to_string(i), i, 0, 0, 7);
    const TagOverview numbers = Take(full, 0, 0, full.Created);
    ASSERT_EQ(numbers.Legend.size(), kLegendTexts + 1);
    EXPECT_EQ(numbers.Legend.back().OtherTexts, kMaxLines - int(kLegendTexts));
    EXPECT_EQ(numbers.Legend.back().Lines, kMaxLines - int(kLegendTexts));
    EXPECT_EQ(Named(numbers).front(), (std::pair<std::string, int>{"0", 1})); // ties in byte order
}

TEST(OverviewTest, ChangedTilesAreExactlyTheLinesThatLookDifferent)
{
    FakeBoardClock clock;
    TagMonitor board(6);
    for (int i = 0; i < 6; ++i)
        Write(board, "Idle", i, 2, 2, 15);
    const BoardTime now = FakeBoardClock::Now();
    const TagOverview before = Take(board, 2, 5, now);

    const struct {
        const char* what;
        std::function<void()> change;
        BoardTime at;
        std::vector<int> tiles;
        bool same; // the whole picture, legend included
    } cases[] = {
        {"nothing", [] {}, now, {}, true},
        {"the same text and colours again", [&] { Write(board, "Idle", 3, 2, 2, 15); }, now, {}, true},
        {"another column", [&] { Write(board, "x", 3, 4, 4, 1); }, now, {}, true},
        {"a colour", [&] { Write(board, "Idle", 3, 2, 2, 14); }, now, {3}, false},
        // The legend changes, no tile does: the window updates its labels and repaints no tile.
        {"a text in the same colours", [&] { Write(board, "Idle ", 4, 2, 2, 15); }, now, {}, false},
        {"time passing the threshold", [] {}, now + 5min + 1s, {0, 1, 2, 3, 4, 5}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        c.change();
        const TagOverview after = Take(board, 2, 5, c.at);
        EXPECT_EQ(ChangedTiles(before, after), c.tiles);
        EXPECT_EQ(before == after, c.same);
        // Undo for the next case.
        Write(board, "Idle", 3, 2, 2, 15);
        Write(board, "Idle", 4, 2, 2, 15);
    }
    // A line whose text changed a minute later is a minute younger: only it stays unmarked.
    FakeBoardClock::Advance(1min);
    Write(board, "Talking", 4, 2, 2, 15);
    Write(board, "Idle", 4, 2, 2, 15);
    const TagOverview later = Take(board, 2, 5, now + 5min + 1s);
    EXPECT_EQ(ChangedTiles(before, later), (std::vector<int>{0, 1, 2, 3, 5}));

    // Another line count: every line of the new picture.
    TagMonitor other(3);
    EXPECT_EQ(ChangedTiles(before, Take(other, 2, 5, now)), (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(ChangedTiles(TagOverview(), before).size(), 6u);
}

TEST(OverviewTest, ALineTellsItsEightTextsAndItsTimeInState)
{
    FakeBoardClock clock;
    TagMonitor board(3);
    const BoardTime t0 = FakeBoardClock::Now();
    for (int k = 0; k < kColsPerLine; ++k)
        WriteAt(board, "c" + std::to_string(k), 1, k, t0 + std::chrono::seconds(k));
    const BoardTime now = t0 + 4min + 12s;
    const struct {
        int column;
        int64_t seconds;
    } cases[] = {{2, 250}, {0, 252}, {7, 245}, {-1, 250} /* the status column */};
    for (const auto& c : cases) {
        BoardLock lock(board.Lock);
        const std::optional<TagOverviewLine> info = OverviewLine(board, 1, c.column, now);
        ASSERT_TRUE(info);
        for (int k = 0; k < kColsPerLine; ++k)
            EXPECT_EQ(info->Texts[size_t(k)], "c" + std::to_string(k));
        EXPECT_EQ(info->SecondsInState, c.seconds) << c.column;
    }
    BoardLock lock(board.Lock);
    EXPECT_EQ(OverviewLine(board, 0, 2, now)->SecondsInState, 252); // never written: since construction
    EXPECT_EQ(OverviewLine(board, 0, 2, t0 - 1s)->SecondsInState, 0);
    EXPECT_FALSE(OverviewLine(board, -1, 2, now));
    EXPECT_FALSE(OverviewLine(board, 3, 2, now));
}

TEST(OverviewTest, OnlyTheOfferedThresholdsAreKept)
{
    for (int m : kOverviewThresholds)
        EXPECT_EQ(OverviewThreshold(m), m);
    for (int m : {-1, 3, 4, 15, 61, 1000})
        EXPECT_EQ(OverviewThreshold(m), 0) << m;
}
