// How a line's spans follow from the journal's facts: states where the journal vouches for them,
// gaps everywhere else.

#include "history/HistoryTimeline.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace {

using K = HistoryFactKind;
using G = HistoryGap;

HistoryFact F(int64_t t, K kind, int64_t value = 0, int64_t extra = 0)
{
    return {t, kind, value, extra};
}

// A span as the cases spell it: from, until, and either a state (gap None) or a gap.
struct Want {
    int64_t from;
    int64_t until;
    G gap;
    int64_t state = 0;
    int64_t since = 0;
};

std::string Show(const std::vector<HistorySpan>& spans)
{
    std::string s;
    for (const HistorySpan& x : spans) {
        s += "[" + std::to_string(x.from) + "," + std::to_string(x.until) + ") gap " + std::to_string(int(x.gap)) +
             " state " + std::to_string(x.state) + " since " + std::to_string(x.since) + "\n";
    }
    return s;
}

void Expect(const std::vector<HistorySpan>& got, const std::vector<Want>& want)
{
    ASSERT_EQ(got.size(), want.size()) << Show(got);
    for (size_t i = 0; i < want.size(); ++i) {
        SCOPED_TRACE("span " + std::to_string(i) + "\n" + Show(got));
        EXPECT_EQ(got[i].from, want[i].from);
        EXPECT_EQ(got[i].until, want[i].until);
        EXPECT_EQ(got[i].gap, want[i].gap);
        if (want[i].gap == G::None) {
            EXPECT_EQ(got[i].state, want[i].state);
            EXPECT_EQ(got[i].since, want[i].since);
        }
    }
}

} // namespace

TEST(HistoryTimelineTest, SpansOfOneLine)
{
    const struct Case {
        const char* name;
        int line;
        std::vector<HistoryFact> facts;
        int64_t from, until, retainedFrom;
        std::vector<Want> want;
    } cases[] = {
        {"nothing recorded", 0, {}, 0, 100, 0, {{0, 100, G::NotRunning}}},
        {"a session, a board, two changes",
         1,
         {F(10, K::SessionStart), F(20, K::Board, 4), F(30, K::Change, 7), F(50, K::Change, 8), F(90, K::SessionEnd)},
         0,
         100,
         0,
         {{0, 10, G::NotRunning},
          {10, 20, G::NoBoard},
          {20, 30, G::None, kEmptyState, 20},
          {30, 50, G::None, 7, 30},
          {50, 90, G::None, 8, 50},
          {90, 100, G::NotRunning}}},
        {"a line the board does not have",
         5,
         {F(10, K::SessionStart), F(20, K::Board, 4), F(60, K::Board, 8), F(70, K::Change, 3)},
         0,
         100,
         0,
         {{0, 10, G::NotRunning},
          {10, 20, G::NoBoard},
          {20, 60, G::NotOnBoard},
          {60, 70, G::None, kEmptyState, 60},
          {70, 100, G::None, 3, 70}}},
        {"the link down until the picture after it came back",
         0,
         {F(0, K::SessionStart), F(0, K::Board, 2), F(10, K::Change, 5), F(40, K::LinkDown), F(60, K::Picture, 5, 10),
          F(80, K::Change, 6)},
         0,
         100,
         0,
         {{0, 10, G::None, kEmptyState, 0},
          {10, 40, G::None, 5, 10},
          {40, 60, G::LinkDown},
          {60, 80, G::None, 5, 10},
          {80, 100, G::None, 6, 80}}},
        {"a change written among dropped ones does not end the gap; the picture does",
         0,
         {F(0, K::SessionStart), F(0, K::Board, 2), F(20, K::NotRecorded, 3, 30), F(25, K::Change, 4),
          F(40, K::Picture, 9, 28)},
         0,
         100,
         0,
         {{0, 20, G::None, kEmptyState, 0}, {20, 40, G::NotRecorded}, {40, 100, G::None, 9, 28}}},
        {"a change after the dropped ones ends the gap for its line",
         0,
         {F(0, K::SessionStart), F(0, K::Board, 2), F(20, K::NotRecorded, 3, 30), F(31, K::Change, 4)},
         0,
         100,
         0,
         {{0, 20, G::None, kEmptyState, 0}, {20, 31, G::NotRecorded}, {31, 100, G::None, 4, 31}}},
        {"a picture of the same state goes on without a seam",
         0,
         {F(0, K::SessionStart), F(0, K::Board, 1), F(5, K::Change, 2), F(50, K::Picture, 2, 5)},
         0,
         100,
         0,
         {{0, 5, G::None, kEmptyState, 0}, {5, 100, G::None, 2, 5}}},
        {"at one moment: the frame's change, then the picture, then the link down",
         0,
         {F(0, K::SessionStart), F(0, K::Board, 1), F(30, K::LinkDown), F(30, K::Picture, 4, 30), F(30, K::Change, 4)},
         0,
         100,
         0,
         {{0, 30, G::None, kEmptyState, 0}, {30, 100, G::LinkDown}}},
        {"a session that ended, and the next one",
         0,
         {F(0, K::SessionStart), F(0, K::Board, 1), F(10, K::Change, 3), F(20, K::SessionEnd), F(50, K::SessionStart),
          F(55, K::Picture, 3, 52)},
         0,
         100,
         0,
         {{0, 10, G::None, kEmptyState, 0},
          {10, 20, G::None, 3, 10},
          {20, 50, G::NotRunning},
          {50, 55, G::NoBoard},
          {55, 100, G::None, 3, 52}}},
        {"only the asked stretch, and nothing before what is retained",
         0,
         {F(0, K::SessionStart), F(0, K::Board, 1), F(10, K::Change, 3), F(40, K::Picture, 3, 10), F(60, K::Change, 4)},
         20,
         80,
         40,
         {{20, 40, G::NotRetained}, {40, 60, G::None, 3, 10}, {60, 80, G::None, 4, 60}}},
        {"a killed session ends where the next one starts",
         0,
         {F(0, K::SessionStart), F(0, K::Board, 1), F(10, K::Change, 3), F(20, K::SessionEnd), F(20, K::SessionStart),
          F(25, K::Picture, 3, 10)},
         0,
         100,
         0,
         {{0, 10, G::None, kEmptyState, 0}, {10, 20, G::None, 3, 10}, {20, 25, G::NoBoard}, {25, 100, G::None, 3, 10}}},
        {"a board taken away",
         0,
         {F(0, K::SessionStart), F(0, K::Board, 1), F(30, K::Board, 0)},
         0,
         50,
         0,
         {{0, 30, G::None, kEmptyState, 0}, {30, 50, G::NoBoard}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<HistoryFact> facts = c.facts;
        std::stable_sort(facts.begin(), facts.end());
        Expect(LineSpans(c.line, facts, c.from, c.until, c.retainedFrom), c.want);
    }
}

TEST(HistoryTimelineTest, DroppedChangesAddUpInOneGap)
{
    std::vector<HistoryFact> facts = {F(0, K::SessionStart), F(0, K::Board, 1), F(10, K::NotRecorded, 2, 10),
                                      F(20, K::NotRecorded, 5, 20), F(30, K::Picture, 1, 25)};
    const std::vector<HistorySpan> spans = LineSpans(0, facts, 0, 40, 0);
    ASSERT_EQ(spans.size(), 3u) << Show(spans);
    EXPECT_EQ(spans[1].gap, G::NotRecorded);
    EXPECT_EQ(spans[1].notRecorded, 7);
    EXPECT_EQ(spans[1].from, 10);
    EXPECT_EQ(spans[1].until, 30);
}

TEST(HistoryTimelineTest, NeitherTheLinkNorDropsMatterWhereTheLineShowsNothing)
{
    for (const HistoryFact& before : {F(0, K::SessionStart), F(0, K::Board, 1)}) {
        std::vector<HistoryFact> facts = {F(0, K::SessionStart), before, F(10, K::LinkDown),
                                          F(20, K::NotRecorded, 4, 20)};
        std::stable_sort(facts.begin(), facts.end());
        // Line 3 of a one-line board, or of no board at all.
        const std::vector<HistorySpan> spans = LineSpans(3, facts, 0, 30, 0);
        ASSERT_EQ(spans.size(), 1u) << Show(spans);
        EXPECT_TRUE(spans[0].gap == G::NotOnBoard || spans[0].gap == G::NoBoard) << Show(spans);
    }
}

TEST(HistoryTimelineTest, AnEmptyStretchHasNoSpans)
{
    EXPECT_TRUE(LineSpans(0, {F(0, K::SessionStart)}, 50, 50, 0).empty());
    EXPECT_TRUE(LineSpans(0, {F(0, K::SessionStart)}, 60, 50, 0).empty());
}
