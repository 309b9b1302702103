// The overview's replay without pixels: the slider's positions and moments, the board of a moment
// as tiles and legend counts, and the texts it shows.

#include "history/HistoryReplay.h"
#include "support/LocalZone.h"

#include <gtest/gtest.h>
#include <map>

namespace {

// 2026-12-09T06:00:00Z
constexpr int64_t kSix = 1796796000000;

TEST(HistoryReplayTest, SliderPositionsMapToMomentsAndTheEndIsLive)
{
    const struct {
        int64_t first, last;
        int64_t step;
        int end;
    } scales[] = {
        {kSix, kSix, 1000, 1},                           // just started: one moment, then live
        {kSix, kSix + 999, 1000, 1},                     // less than a step
        {kSix, kSix + 1000, 1000, 2},                    // both ends a position of their own
        {kSix, kSix + 7LL * 86400 * 1000, 1000, 604801}, // a week
        {kSix, kSix - 5000, 1000, 1},                    // a span the wrong way round: nothing to go back to
        {0, 19'999'998'000, 2000, 10'000'000},           // too long for a second a position
    };
    for (const auto& c : scales) {
        SCOPED_TRACE(c.last - c.first);
        const ReplayScale s = ReplayScale::Over(c.first, c.last);
        EXPECT_EQ(s.first, c.first);
        EXPECT_EQ(s.step, c.step);
        EXPECT_EQ(s.end, c.end);
        EXPECT_TRUE(s.IsLive(s.end));
        EXPECT_FALSE(s.IsLive(s.end - 1));
        // Every position before the end is a moment of the span, and the last one the latest.
        EXPECT_EQ(s.TimeAt(0), c.first);
        EXPECT_LE(s.TimeAt(s.end - 1), std::max(c.first, c.last));
        EXPECT_GT(s.TimeAt(s.end - 1) + s.step, std::max(c.first, c.last));
    }

    const ReplayScale s = ReplayScale::Over(kSix, kSix + 3600'000);
    const struct {
        int64_t t;
        int position;
        int64_t shown; // the moment the position shows
    } moments[] = {
        {kSix - 1, 0, kSix}, // before the span: its start
        {kSix, 0, kSix},
        {kSix + 999, 0, kSix}, // a step holds its whole second
        {kSix + 1000, 1, kSix + 1000},
        {kSix + 1800'500, 1800, kSix + 1800'000},
        {kSix + 3600'000, 3600, kSix + 3600'000}, // the last moment, not live
        {kSix + 9999'000, 3600, kSix + 3600'000}, // later than the span: its last moment
    };
    for (const auto& m : moments) {
        SCOPED_TRACE(m.t - kSix);
        EXPECT_EQ(s.PositionOf(m.t), m.position);
        EXPECT_EQ(s.TimeAt(m.position), m.shown);
        EXPECT_FALSE(s.IsLive(s.PositionOf(m.t)));
    }
    EXPECT_EQ(s.TimeAt(-4), kSix);
    EXPECT_EQ(s.TimeAt(s.end + 7), kSix + 3600'000);
}

// The zones are POSIX TZ strings; Windows reads TZ by rules of its own.
#ifndef _WIN32
TEST(HistoryReplayTest, TheLabelIsTheLocalClockToTheSecond)
{
    const struct {
        const char* zone;
        int64_t t;
        const char* label;
    } cases[] = {
        {"CST-8", kSix + 3 * 60'000 + 27'000, "Replay: 14:03:27"},
        {"CST-8", kSix + 3 * 60'000 + 27'999, "Replay: 14:03:27"}, // the milliseconds dropped
        {"CST-8", kSix + 10 * 3600'000, "Replay: 00:00:00"},       // the next day
        {"UTC0", kSix + 59'000, "Replay: 06:00:59"},
        {"EST5", kSix + 1, "Replay: 01:00:00"},
        {"EST5", kSix - 1, "Replay: 00:59:59"}, // a moment before a whole second is in the one before
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.zone);
        const LocalZone zone(c.zone);
        EXPECT_EQ(ReplayLabelText(c.t), c.label);
        EXPECT_EQ(ReplayClockText(c.t), std::string(c.label).substr(8));
    }
}
#endif

// States of a small file: ids to texts and colours.
const std::map<int64_t, HistoryStateText> kStates = {
    {1, {"Idle", 0x008000, 0xFFFFFF}},
    {2, {"Talking", 0xFFFFFF, 0x800000}},
    {3, {"Ringing", 0x000000, 0x00FFFF}},
    {4, {"Talking", 0x000000, 0x0000FF}}, // the same text in other colours
};

const HistoryStateText* StateOf(int64_t id)
{
    const auto it = kStates.find(id);
    return it == kStates.end() ? nullptr : &it->second;
}

HistorySpan State(int64_t state, int64_t since)
{
    return {since, kSix, HistoryGap::None, state, since, 0};
}

HistorySpan Gap(HistoryGap gap, int64_t from, int64_t notRecorded = 0)
{
    return {from, kSix, gap, kEmptyState, from, notRecorded};
}

TEST(HistoryReplayTest, TilesTakeEachLinesStateColoursAndGapsAreGapTiles)
{
    const std::vector<HistorySpan> lines = {
        State(1, kSix - 5000),
        State(2, kSix - 600'000),
        Gap(HistoryGap::LinkDown, kSix - 40'000),
        State(4, kSix - 1000),
        State(kEmptyState, kSix - 1000),
        State(99, kSix - 1000), // a state the file no longer knows
        Gap(HistoryGap::NotRecorded, kSix - 3000, 12),
        Gap(HistoryGap::LinkDown, kSix - 40'000),
    };
    const ReplayPicture p = TakeReplay(lines, HistoryGap::None, 0, kSix, 0, &StateOf);
    EXPECT_EQ(p.at, kSix);
    const TagOverviewTile blank{0x000000, 0xFFFFFF, false, false};
    const TagOverviewTile gap{kReplayGapFore, kReplayGapBack, false, true};
    const std::vector<TagOverviewTile> tiles = {
        {0x008000, 0xFFFFFF, false, false},
        {0xFFFFFF, 0x800000, false, false},
        gap,
        {0x000000, 0x0000FF, false, false},
        blank,
        blank,
        gap,
        gap,
    };
    EXPECT_EQ(p.overview.Tiles, tiles);
    EXPECT_EQ(p.overview.Total, 8);
    EXPECT_EQ(p.overview.Column, 2);
    EXPECT_EQ(p.gaps, (std::vector<ReplayGapCount>{{HistoryGap::LinkDown, 2}, {HistoryGap::NotRecorded, 1}}));

    // The legend counts by text, as the live one: Talking in two colours is one entry, with the
    // colours of its first line; the blank and the unknown state are one blank entry.
    ASSERT_EQ(p.overview.Legend.size(), 3u);
    EXPECT_EQ(p.overview.Legend[0], (TagLegendEntry{"", 2, 0, 0x000000, 0xFFFFFF, 0}));
    EXPECT_EQ(p.overview.Legend[1], (TagLegendEntry{"Talking", 2, 0, 0xFFFFFF, 0x800000, 0}));
    EXPECT_EQ(p.overview.Legend[2], (TagLegendEntry{"Idle", 1, 0, 0x008000, 0xFFFFFF, 0}));
}

TEST(HistoryReplayTest, TheThresholdOutlinesStatesHeldLongerAtThatMoment)
{
    const std::vector<HistorySpan> lines = {
        State(2, kSix - 600'000),                   // 10 min
        State(2, kSix - 60'000),                    // exactly 1 min: not more
        State(2, kSix - 60'001),                    // a millisecond more
        State(1, kSix - 3600'000),                  // an hour
        Gap(HistoryGap::LinkDown, kSix - 3600'000), // a gap is never stuck
    };
    const struct {
        int minutes;
        std::vector<bool> stuck;
        int talkingLonger;
    } cases[] = {
        {0, {false, false, false, false, false}, 0}, {1, {true, false, true, true, false}, 2},
        {5, {true, false, false, true, false}, 1},   {60, {false, false, false, false, false}, 0},
        {7, {false, false, false, false, false}, 0}, // not a threshold the operator can pick: off
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.minutes);
        const ReplayPicture p = TakeReplay(lines, HistoryGap::None, 0, kSix, c.minutes, &StateOf);
        int longer = 0;
        for (size_t i = 0; i < lines.size(); ++i) {
            EXPECT_EQ(p.overview.Tiles[i].Stuck, c.stuck[i]) << i;
            longer += c.stuck[i] ? 1 : 0;
        }
        EXPECT_EQ(p.overview.Longer, longer);
        ASSERT_EQ(p.overview.Legend.size(), 2u);
        EXPECT_EQ(p.overview.Legend[0].Text, "Talking");
        EXPECT_EQ(p.overview.Legend[0].Longer, c.talkingLonger);
    }
}

TEST(HistoryReplayTest, TheLegendNamesTheMostCommonTextsAndGathersTheRest)
{
    // Text k on k + 1 lines, for 12 texts: the 8 commonest named, 4 gathered.
    std::map<int64_t, HistoryStateText> states;
    std::vector<HistorySpan> lines;
    for (int k = 0; k < 12; ++k) {
        states[k + 1] = {"S" + std::to_string(100 + k), 0, uint32_t(k)};
        for (int n = 0; n <= k; ++n)
            lines.push_back(State(k + 1, kSix));
    }
    const ReplayStateOf of = [&](int64_t id) { return &states.at(id); };
    const ReplayPicture p = TakeReplay(lines, HistoryGap::None, 0, kSix, 0, of);
    ASSERT_EQ(p.overview.Legend.size(), 9u);
    for (size_t i = 0; i < 8; ++i) {
        EXPECT_EQ(p.overview.Legend[i].Text, "S" + std::to_string(111 - i));
        EXPECT_EQ(p.overview.Legend[i].Lines, int(12 - i));
        EXPECT_EQ(p.overview.Legend[i].BackColor, TColor(11 - i));
    }
    EXPECT_EQ(p.overview.Legend[8].OtherTexts, 4);
    EXPECT_EQ(p.overview.Legend[8].Lines, 1 + 2 + 3 + 4);

    // Nine texts are all named; ties go in byte order.
    std::vector<HistorySpan> nine;
    for (int k = 9; k >= 1; --k)
        nine.push_back(State(k, kSix));
    const ReplayPicture q = TakeReplay(nine, HistoryGap::None, 0, kSix, 0, of);
    ASSERT_EQ(q.overview.Legend.size(), 9u);
    for (size_t i = 0; i < 9; ++i)
        EXPECT_EQ(q.overview.Legend[i].Text, "S" + std::to_string(100 + i));
}

TEST(HistoryReplayTest, WithoutABoardEveryTileIsAGapOfWhy)
{
    const struct {
        HistoryGap why;
        int lineCount;
        HistoryGap shown;
    } cases[] = {
        {HistoryGap::NotRunning, 2048, HistoryGap::NotRunning},
        {HistoryGap::NotRetained, 16, HistoryGap::NotRetained},
        {HistoryGap::NoBoard, 3, HistoryGap::NoBoard},
        {HistoryGap::None, 5, HistoryGap::NoBoard}, // no lines with no reason is still no board
        {HistoryGap::NotRunning, 0, HistoryGap::NotRunning},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(int(c.why));
        const ReplayPicture p = TakeReplay({}, c.why, c.lineCount, kSix, 1, &StateOf);
        ASSERT_EQ(p.overview.Tiles.size(), size_t(c.lineCount));
        for (const TagOverviewTile& tile : p.overview.Tiles)
            EXPECT_TRUE(tile.Gap);
        EXPECT_EQ(p.overview.Total, c.lineCount);
        EXPECT_TRUE(p.overview.Legend.empty());
        if (c.lineCount == 0)
            EXPECT_TRUE(p.gaps.empty());
        else
            EXPECT_EQ(p.gaps, (std::vector<ReplayGapCount>{{c.shown, c.lineCount}}));
    }
}

TEST(HistoryReplayTest, GapNamesAndHoverTexts)
{
    const struct {
        HistoryGap gap;
        const char* name;
    } names[] = {
        {HistoryGap::NotRunning, "(monitor not running)"},   {HistoryGap::NoBoard, "(no board)"},
        {HistoryGap::NotOnBoard, "(not on the board)"},      {HistoryGap::LinkDown, "(link down)"},
        {HistoryGap::NotRecorded, "(changes not recorded)"}, {HistoryGap::NotRetained, "(not retained)"},
    };
    for (const auto& n : names)
        EXPECT_EQ(ReplayGapName(n.gap), n.name);

#ifndef _WIN32
    const LocalZone zone("CST-8");
    const HistoryStateText talking{"Talking", 0, 0};
    const HistoryStateText chinese{"\xCD\xA8\xBB\xB0", 0, 0}; // GBK for 通话
    const struct {
        int line;
        HistorySpan span;
        const HistoryStateText* state;
        const char* tip;
    } tips[] = {
        {12, State(2, kSix - 185'000), &talking, "Line 12: Talking for 3 min 5 s\nReplay: 14:00:00"},
        {0, State(2, kSix - 4000), &chinese, "Line 0: \xE9\x80\x9A\xE8\xAF\x9D for 4 s\nReplay: 14:00:00"},
        {3, State(kEmptyState, kSix), nullptr, "Line 3:  for 0 s\nReplay: 14:00:00"},
        {7, Gap(HistoryGap::LinkDown, kSix - 40'000), nullptr, "Line 7: (link down) for 40 s\nReplay: 14:00:00"},
        {8, Gap(HistoryGap::NotRecorded, kSix - 2000, 12), nullptr,
         "Line 8: (12 changes not recorded) for 2 s\nReplay: 14:00:00"},
    };
    for (const auto& c : tips)
        EXPECT_EQ(ReplayLineTip(c.line, c.span, c.state, kSix), c.tip);
#endif
}

} // namespace
