// What the line history window shows apart from its pixels: time marks, strip pieces, table rows
// and their texts.
#include "history/HistoryView.h"
#include "platform/System.h"

#include <gtest/gtest.h>

namespace {

constexpr int64_t kMin = int64_t(60) * 1000;
constexpr int64_t kHour = 60 * kMin;
constexpr int64_t kDay = 24 * kHour;
// 2026-12-09T00:00:00Z
constexpr int64_t kDay0 = 1796774400000;

int64_t Beijing(int64_t)
{
    return 8 * kHour;
}

HistorySpan State(int64_t from, int64_t until, int64_t state, int64_t since)
{
    return {from, until, HistoryGap::None, state, since, 0};
}

HistorySpan Gap(int64_t from, int64_t until, HistoryGap gap, int64_t notRecorded = 0)
{
    return {from, until, gap, kEmptyState, from, notRecorded};
}

struct MarkCase {
    const char* name;
    int64_t from;
    int64_t length;
    int width;
    int64_t step;           // expected distance between marks
    const char* firstLabel; // expected text of the first mark
};

class TimeMarks : public ::testing::TestWithParam<MarkCase> {};

TEST_P(TimeMarks, StepAndLabelsFollowTheWidth)
{
    const MarkCase& c = GetParam();
    const auto marks = HistoryTimeMarks(c.from, c.from + c.length, c.width, 60, &Beijing);
    ASSERT_GE(marks.size(), 2U);
    EXPECT_EQ(marks[0].label, c.firstLabel);
    for (size_t i = 1; i < marks.size(); ++i) {
        EXPECT_EQ(marks[i].t - marks[i - 1].t, c.step) << i;
        EXPECT_GE(marks[i].x - marks[i - 1].x, 59) << i; // rounding may take one pixel
    }
    for (const HistoryTimeMark& m : marks) {
        EXPECT_GE(m.t, c.from);
        EXPECT_LT(m.t, c.from + c.length);
        // A round local time: a whole multiple of the step in Beijing time.
        EXPECT_EQ((m.t + 8 * kHour) % c.step, 0) << m.label;
    }
}

// kDay0 is 08:00 in Beijing.
INSTANTIATE_TEST_SUITE_P(Ranges, TimeMarks,
                         ::testing::Values(MarkCase{"hour_wide", kDay0 + 7 * kMin, kHour, 600, 10 * kMin, "08:10"},
                                           MarkCase{"hour_narrow", kDay0 + 7 * kMin, kHour, 250, 15 * kMin, "08:15"},
                                           MarkCase{"eight_hours", kDay0 + kMin, 8 * kHour, 600, kHour, "09:00"},
                                           MarkCase{"day", kDay0 + kMin, kDay, 600, 3 * kHour, "09:00"},
                                           MarkCase{"week_at_midnight", kDay0 + kMin, 7 * kDay, 600, kDay, "12-10"}),
                         [](const ::testing::TestParamInfo<MarkCase>& p) { return std::string(p.param.name); });

TEST(TimeMarksTest, NothingForAnEmptyRangeOrStrip)
{
    EXPECT_TRUE(HistoryTimeMarks(kDay0, kDay0, 600, 60, &Beijing).empty());
    EXPECT_TRUE(HistoryTimeMarks(kDay0, kDay0 + kHour, 0, 60, &Beijing).empty());
}

TEST(TimeMarksTest, MarksAtTheirPlaceOnTheStrip)
{
    const auto marks = HistoryTimeMarks(kDay0, kDay0 + kHour, 600, 60, &Beijing);
    ASSERT_FALSE(marks.empty());
    EXPECT_EQ(marks[0].t, kDay0);
    EXPECT_EQ(marks[0].x, 0);
    EXPECT_EQ(marks[0].label, "08:00");
    EXPECT_EQ(marks[3].x, 300); // 30 min of 60 on 600 pixels
}

TEST(StripPiecesTest, SpansTakeTheirShareOfTheStrip)
{
    const int64_t from = kDay0;
    const std::vector<HistorySpan> spans{State(from, from + 15 * kMin, 1, from - kHour),
                                         Gap(from + 15 * kMin, from + 30 * kMin, HistoryGap::LinkDown),
                                         State(from + 30 * kMin, from + kHour, 2, from + 30 * kMin)};
    const auto pieces = HistoryStripPieces(spans, from, from + kHour, 400);
    ASSERT_EQ(pieces.size(), 3U);
    EXPECT_EQ(pieces[0].x0, 0);
    EXPECT_EQ(pieces[0].x1, 100);
    EXPECT_EQ(pieces[1].x0, 100);
    EXPECT_EQ(pieces[1].x1, 200);
    EXPECT_EQ(pieces[2].x1, 400);
    EXPECT_EQ(HistoryPieceAt(pieces, 150), 1);
    EXPECT_EQ(HistoryPieceAt(pieces, 399), 2);
    EXPECT_EQ(HistoryPieceAt(pieces, 400), -1);
}

TEST(StripPiecesTest, AShortGapStillShowsAndNothingOverlaps)
{
    const int64_t from = kDay0;
    const int64_t until = from + 7 * kDay;
    // Two seconds of link down in a week: far below a pixel.
    const std::vector<HistorySpan> spans{State(from, from + kDay, 1, from),
                                         Gap(from + kDay, from + kDay + 2000, HistoryGap::LinkDown),
                                         State(from + kDay + 2000, until, 1, from + kDay + 2000)};
    const auto pieces = HistoryStripPieces(spans, from, until, 700);
    ASSERT_EQ(pieces.size(), 3U);
    EXPECT_EQ(pieces[1].span, 1U);
    EXPECT_EQ(pieces[1].x1 - pieces[1].x0, 1);
    for (size_t i = 1; i < pieces.size(); ++i)
        EXPECT_EQ(pieces[i].x0, pieces[i - 1].x1);
}

TEST(StripPiecesTest, ClippedToTheRange)
{
    const std::vector<HistorySpan> spans{State(kDay0 - kHour, kDay0 + kHour, 1, kDay0 - kHour)};
    const auto pieces = HistoryStripPieces(spans, kDay0, kDay0 + 30 * kMin, 300);
    ASSERT_EQ(pieces.size(), 1U);
    EXPECT_EQ(pieces[0].x0, 0);
    EXPECT_EQ(pieces[0].x1, 300);
}

TEST(RowsTest, NewestFirstWithTheStatesOwnStartAndGapTexts)
{
    const int64_t now = kDay0 + kHour;
    const std::vector<HistorySpan> spans{State(kDay0, kDay0 + 10 * kMin, 3, kDay0 - 5 * kMin),
                                         Gap(kDay0 + 10 * kMin, kDay0 + 12 * kMin, HistoryGap::NotRecorded, 12),
                                         Gap(kDay0 + 12 * kMin, kDay0 + 12 * kMin, HistoryGap::LinkDown),
                                         State(kDay0 + 12 * kMin, now, 4, kDay0 + 12 * kMin)};
    const auto rows = HistoryRows(spans, now);
    ASSERT_EQ(rows.size(), 3U);
    EXPECT_EQ(rows[0].state, 4);
    EXPECT_TRUE(rows[0].current);
    EXPECT_EQ(rows[0].until, now);
    EXPECT_EQ(rows[1].gap, HistoryGap::NotRecorded);
    EXPECT_EQ(rows[1].gapText, "12 changes not recorded");
    EXPECT_FALSE(rows[1].current);
    EXPECT_EQ(rows[2].since, kDay0 - 5 * kMin);
    EXPECT_EQ(rows[2].until, kDay0 + 10 * kMin);
    EXPECT_TRUE(rows[2].gapText.empty());
}

struct DurationCase {
    int64_t ms;
    const char* text;
};

class DurationText : public ::testing::TestWithParam<DurationCase> {};

TEST_P(DurationText, Reads)
{
    EXPECT_EQ(HistoryDurationText(GetParam().ms), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Durations, DurationText,
                         ::testing::Values(DurationCase{-5, "0 s"}, DurationCase{999, "0 s"},
                                           DurationCase{45000, "45 s"}, DurationCase{60000, "1 min 0 s"},
                                           DurationCase{125000, "2 min 5 s"},
                                           DurationCase{3 * kHour + 7 * kMin + 59000, "3 h 07 min"},
                                           DurationCase{2 * kDay + 4 * kHour + 5 * kMin, "2 d 4 h"}));

TEST(MomentTextTest, LocalTimeOfTheOffset)
{
    EXPECT_EQ(HistoryMomentText(kDay0 + 3 * kHour + int64_t(27) * 1000 + 120, &Beijing), "2026-12-09 11:00:27");
    EXPECT_EQ(HistoryMomentText(kDay0 - 1000, [](int64_t) { return int64_t(0); }), "2026-12-08 23:59:59");
}

TEST(LocalOffsetTest, MatchesTheSystemsLocalTime)
{
    const int64_t t = kDay0 + 5 * kHour;
    const std::tm local = LocalTime(std::time_t(t / 1000));
    EXPECT_EQ(HistoryMomentText(t).substr(11, 2), (local.tm_hour < 10 ? "0" : "") + std::to_string(local.tm_hour));
}

} // namespace
