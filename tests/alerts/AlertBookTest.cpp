#include "AlertScene.h"

#include <gtest/gtest.h>

#include <optional>

namespace {

struct RuleShape {
    const char* kind;
    int seconds;
    int count = 0;
};

// Eight lines, `talking` of them showing Talking from kT0 and the rest Idle; the book is judged at
// each tick's moment and the rule's alert is expected to be active or not.
struct EdgeCase {
    const char* what;
    RuleShape rule;
    int talking = 0;
    bool linkDown = false;
    std::optional<std::chrono::milliseconds> overdueBefore; // overdue since kT0 minus this
    std::vector<std::pair<std::chrono::milliseconds, bool>> ticks;
};

// Named by what it tries, not by its bytes, in gtest's and CTest's output.
void PrintTo(const EdgeCase& c, std::ostream* os)
{
    *os << c.what;
}

class EdgeTable : public testing::TestWithParam<EdgeCase> {};

TEST_P(EdgeTable, ActiveOnlyPastTheThreshold)
{
    const EdgeCase& c = GetParam();
    AlertScene scene;
    scene.MakeBoard(8, "Idle");
    for (int line = 0; line < c.talking; ++line)
        scene.Set(line, "Talking");
    if (c.linkDown)
        scene.LinkDown();
    if (c.overdueBefore)
        scene.link.OverdueSince = kT0 - *c.overdueBefore;
    TAlertBook book;
    book.SetRules({Rule("r", c.rule.kind, "Talking", c.rule.seconds, c.rule.count)});
    for (const auto& [at, active] : c.ticks) {
        scene.now = kT0 + at;
        scene.Evaluate(book);
        EXPECT_EQ(book.Active(0) != nullptr, active) << "at " << at.count() << " ms";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, EdgeTable,
    testing::Values(EdgeCase{"stuck", {"stuck", 300}, 1, false, {}, {{0ms, false}, {300s, false}, {300001ms, true}}},
                    EdgeCase{"stuck_zero", {"stuck", 0}, 1, false, {}, {{0ms, false}, {1ms, true}}},
                    EdgeCase{"stuck_no_line", {"stuck", 300}, 0, false, {}, {{0ms, false}, {301s, false}}},
                    EdgeCase{"above", {"above", 10, 3}, 4, false, {}, {{0ms, false}, {10s, false}, {10001ms, true}}},
                    EdgeCase{"above_at_count", {"above", 10, 4}, 4, false, {}, {{0ms, false}, {20s, false}}},
                    EdgeCase{"below", {"below", 10, 3}, 2, false, {}, {{0ms, false}, {10s, false}, {10001ms, true}}},
                    EdgeCase{"below_at_count", {"below", 10, 2}, 2, false, {}, {{0ms, false}, {20s, false}}},
                    EdgeCase{"below_none_at_all", {"below", 0, 1}, 0, false, {}, {{0ms, false}, {1ms, true}}},
                    EdgeCase{"link", {"link", 30}, 0, true, {}, {{0ms, false}, {30s, false}, {30001ms, true}}},
                    EdgeCase{"link_up", {"link", 30}, 0, false, {}, {{0ms, false}, {31s, false}}},
                    EdgeCase{"overdue", {"overdue", 60}, 0, false, 5s, {{0ms, false}, {55s, false}, {55001ms, true}}},
                    EdgeCase{"overdue_zero", {"overdue", 0}, 0, false, 0ms, {{0ms, false}, {1ms, true}}},
                    EdgeCase{"overdue_not", {"overdue", 0}, 0, false, {}, {{0ms, false}, {100s, false}}}),
    [](const testing::TestParamInfo<EdgeCase>& param) { return std::string(param.param.what); });

TEST(AlertBookTest, StuckAlertFollowsItsLinesAndEnds)
{
    AlertScene scene;
    scene.MakeBoard(8, "Idle");
    for (int line : {1, 3, 5})
        scene.Set(line, "Talking");
    TAlertBook book;
    book.SetRules({Rule("long", "stuck", "Talking", 300)});
    scene.Evaluate(book);

    scene.now = kT0 + 100s;
    scene.Set(6, "Talking"); // not long enough yet
    scene.Evaluate(book);
    EXPECT_TRUE(book.Changes().empty());
    scene.now = kT0 + 101s;
    scene.Set(7, "Talking");
    scene.Evaluate(book);

    scene.now = kT0 + 301s;
    scene.Evaluate(book);
    ASSERT_EQ(book.Changes().size(), 1u);
    EXPECT_EQ(book.Changes()[0].Event, AlertEvent::Start);
    EXPECT_EQ(book.Changes()[0].Lines, 3);
    ASSERT_TRUE(book.Active(0));
    EXPECT_EQ(book.Active(0)->Lines, (std::vector<int>{1, 3, 5}));
    EXPECT_EQ(book.Active(0)->Since, kT0 + 301s);

    scene.now = kT0 + 401s;
    scene.Evaluate(book);
    ASSERT_EQ(book.Changes().size(), 1u);
    EXPECT_EQ(book.Changes()[0].Event, AlertEvent::Change);
    EXPECT_EQ(book.Active(0)->Lines, (std::vector<int>{1, 3, 5, 6}));

    // The same number of lines, other lines: no event, the list follows.
    scene.now = kT0 + 402s;
    scene.Set(1, "Idle");
    scene.Evaluate(book);
    EXPECT_TRUE(book.Changes().empty());
    EXPECT_EQ(book.Active(0)->Lines, (std::vector<int>{3, 5, 6, 7}));
    scene.now = kT0 + 403s;
    for (int line : {3, 5, 6, 7})
        scene.Set(line, "Idle");
    scene.Evaluate(book);
    ASSERT_EQ(book.Changes().size(), 1u);
    EXPECT_EQ(book.Changes()[0].Event, AlertEvent::End);
    EXPECT_EQ(book.Changes()[0].StartedAt, kT0 + 301s);
    EXPECT_FALSE(book.Active(0));
}

TEST(AlertBookTest, CountRuleRestartsItsWaitWhenTheConditionBreaks)
{
    AlertScene scene;
    scene.MakeBoard(8, "Idle");
    for (int line = 0; line < 4; ++line)
        scene.Set(line, "Talking");
    TAlertBook book;
    book.SetRules({Rule("busy", "above", "Talking", 10, 3)});
    scene.Evaluate(book);
    scene.now = kT0 + 8s;
    scene.Set(0, "Idle");
    scene.Evaluate(book);
    scene.now = kT0 + 9s;
    scene.Set(0, "Talking");
    scene.Evaluate(book);
    scene.now = kT0 + 12s;
    scene.Evaluate(book);
    EXPECT_FALSE(book.Active(0)) << "held only 3 s since it broke";
    scene.now = kT0 + 19001ms;
    scene.Evaluate(book);
    ASSERT_TRUE(book.Active(0));
    EXPECT_EQ(book.Active(0)->Lines, (std::vector<int>{0, 1, 2, 3}));
}

TEST(AlertBookTest, BoardRulesWaitForFreshDataAfterTheLinkComesBack)
{
    AlertScene scene;
    scene.MakeBoard(8, "Idle");
    scene.Set(0, "Talking");
    TAlertBook book;
    book.SetRules({Rule("long", "stuck", "Talking", 300), Rule("down", "link", "", 10)});
    scene.Evaluate(book);
    scene.now = kT0 + 200s;
    scene.LinkDown();
    scene.Evaluate(book);
    scene.now = kT0 + 400s;
    scene.Evaluate(book);
    EXPECT_FALSE(book.Active(0)) << "old data is not judged";
    EXPECT_TRUE(book.Active(1));
    scene.now = kT0 + 500s;
    scene.LinkUp();
    scene.Evaluate(book);
    EXPECT_FALSE(book.Active(0)) << "no answer since the link came up";
    EXPECT_FALSE(book.Active(1));
    EXPECT_FALSE(book.Refreshed());
    scene.now = kT0 + 501s;
    scene.Answer();
    scene.Evaluate(book);
    EXPECT_TRUE(book.Active(0));
    EXPECT_TRUE(book.Refreshed());
    scene.now = kT0 + 502s;
    scene.Evaluate(book);
    EXPECT_FALSE(book.Refreshed()) << "once per reconnection";
}

TEST(AlertBookTest, AnAlertOutlastsTheLinkDown)
{
    AlertScene scene;
    scene.MakeBoard(8, "Idle");
    scene.Set(0, "Talking");
    TAlertBook book;
    book.SetRules({Rule("long", "stuck", "Talking", 300)});
    scene.Evaluate(book);
    scene.now = kT0 + 301s;
    scene.Evaluate(book);
    ASSERT_TRUE(book.Active(0));
    scene.now = kT0 + 302s;
    scene.LinkDown();
    scene.Set(0, "Idle"); // what the board shows is not judged while the link is down
    scene.Evaluate(book);
    EXPECT_TRUE(book.Changes().empty());
    EXPECT_TRUE(book.Active(0));
}

TEST(AlertBookTest, StartUpIsNotAReconnection)
{
    AlertScene scene;
    scene.MakeBoard(8, "Idle");
    TAlertBook book;
    book.SetRules({Rule("long", "stuck", "Talking", 300)});
    scene.Evaluate(book);
    EXPECT_FALSE(book.Refreshed());
}

// A replaced board writes its lines anew, which restarts its own Since; the book keeps the moment a
// line began to show the status when the new board shows the same.
TEST(AlertBookTest, BoardReplacementKeepsTimeInState)
{
    AlertScene scene;
    scene.MakeBoard(8, "Idle");
    scene.Set(3, "Talking");
    scene.Set(4, "Talking");
    TAlertBook book;
    book.SetRules({Rule("long", "stuck", "Talking", 300)});
    scene.Evaluate(book);

    scene.now = kT0 + 200s;
    scene.MakeBoard(16); // not written yet when the tick comes
    scene.Evaluate(book);
    scene.now = kT0 + 201s;
    scene.SetAll("Idle");
    scene.Set(3, "Talking");
    scene.Set(4, "Talking");
    scene.Set(12, "Talking");
    scene.Evaluate(book);
    scene.now = kT0 + 250s;
    scene.Set(4, "Idle");
    scene.Evaluate(book);
    scene.now = kT0 + 251s;
    scene.Set(4, "Talking");
    scene.Evaluate(book);

    scene.now = kT0 + 300001ms;
    scene.Evaluate(book);
    ASSERT_TRUE(book.Active(0));
    EXPECT_EQ(book.Active(0)->Lines, (std::vector<int>{3})) << "line 4 changed in between, line 12 is new";
}

TEST(AlertBookTest, AnActiveAlertSurvivesAReplacementOfTheBoard)
{
    AlertScene scene;
    scene.MakeBoard(8, "Talking");
    TAlertBook book;
    book.SetRules({Rule("long", "stuck", "Talking", 300)});
    scene.Evaluate(book);
    scene.now = kT0 + 301s;
    scene.Evaluate(book);
    ASSERT_TRUE(book.Active(0));

    scene.now = kT0 + 400s;
    scene.MakeBoard(4);
    scene.Evaluate(book);
    ASSERT_EQ(book.Changes().size(), 1u);
    EXPECT_EQ(book.Changes()[0].Event, AlertEvent::Change) << "four lines fewer, the alert goes on";
    scene.now = kT0 + 401s;
    scene.SetAll("Talking");
    scene.Evaluate(book);
    EXPECT_TRUE(book.Changes().empty());
    EXPECT_EQ(book.Active(0)->Lines, (std::vector<int>{0, 1, 2, 3}));
}

TEST(AlertBookTest, ALineTheNewBoardNeverWritesIsForgotten)
{
    AlertScene scene;
    scene.MakeBoard(8, "Talking");
    TAlertBook book;
    book.SetRules({Rule("long", "stuck", "Talking", 300)});
    scene.Evaluate(book);
    scene.now = kT0 + 400s;
    scene.MakeBoard(4);
    scene.Evaluate(book);
    scene.now = kT0 + 401s;
    scene.Evaluate(book);
    EXPECT_TRUE(book.Active(0));
    scene.now = kT0 + 431s;
    scene.Evaluate(book);
    EXPECT_FALSE(book.Active(0));
}

TEST(AlertBookTest, ANewSessionIsAReconnectionAndKeepsTheLines)
{
    AlertScene scene;
    scene.MakeBoard(8, "Talking");
    TAlertBook book;
    book.SetRules({Rule("long", "stuck", "Talking", 300)});
    scene.Evaluate(book);

    // Reconnect: the board goes with the old session; the new one connects and answers.
    scene.now = kT0 + 100s;
    scene.board.reset();
    scene.NewSession();
    scene.Evaluate(book);
    EXPECT_FALSE(book.Refreshed());
    scene.now = kT0 + 101s;
    scene.Answer();
    scene.MakeBoard(8, "Talking");
    scene.Evaluate(book);
    EXPECT_TRUE(book.Refreshed());
    scene.now = kT0 + 300001ms;
    scene.Evaluate(book);
    EXPECT_TRUE(book.Active(0));
}

TEST(AlertBookTest, AcknowledgeHoldsUntilTheAlertEnds)
{
    AlertScene scene;
    scene.MakeBoard(8, "Idle");
    scene.Set(0, "Talking");
    TAlertBook book;
    book.SetRules({Rule("long", "stuck", "Talking", 10)});
    EXPECT_FALSE(book.Acknowledge(0)) << "nothing to acknowledge";
    scene.Evaluate(book);
    scene.now = kT0 + 11s;
    scene.Evaluate(book);
    EXPECT_FALSE(book.Silenced(0, scene.now));
    EXPECT_TRUE(book.Acknowledge(0));
    EXPECT_TRUE(book.Silenced(0, scene.now));
    EXPECT_TRUE(book.Active(0)->Acknowledged);
    scene.now = kT0 + 12s;
    scene.Set(0, "Idle");
    scene.Evaluate(book);
    scene.Set(0, "Talking");
    scene.now = kT0 + 23s;
    scene.Evaluate(book);
    ASSERT_TRUE(book.Active(0));
    EXPECT_FALSE(book.Active(0)->Acknowledged) << "a new alert";
    EXPECT_FALSE(book.Silenced(0, scene.now));
}

TEST(AlertBookTest, SnoozeSilencesTheRuleForItsTime)
{
    AlertScene scene;
    scene.MakeBoard(8, "Idle");
    TAlertBook book;
    book.SetRules({Rule("long", "stuck", "Talking", 10)});
    book.Snooze(0, kT0 + 15min);
    EXPECT_TRUE(book.Silenced(0, kT0));
    EXPECT_TRUE(book.Silenced(0, kT0 + 15min - 1ms));
    EXPECT_FALSE(book.Silenced(0, kT0 + 15min));
    EXPECT_EQ(book.SnoozedUntil(0, kT0), kT0 + 15min);
    EXPECT_FALSE(book.SnoozedUntil(0, kT0 + 15min));
}

TEST(AlertBookTest, NewRulesKeepTheAlertsOfEqualOnes)
{
    AlertScene scene;
    scene.MakeBoard(8, "Talking");
    TAlertBook book;
    book.SetRules({Rule("a", "stuck", "Talking", 10), Rule("b", "stuck", "Talking", 10)});
    scene.Evaluate(book);
    scene.now = kT0 + 11s;
    scene.Evaluate(book);
    book.Acknowledge(1);
    const std::vector<int> oldToNew =
        book.SetRules({Rule("c", "stuck", "Idle", 10), Rule("b", "stuck", "Talking", 10), Rule("d", "link", "", 1)});
    EXPECT_EQ(oldToNew, (std::vector<int>{-1, 1}));
    EXPECT_FALSE(book.Active(0));
    ASSERT_TRUE(book.Active(1));
    EXPECT_TRUE(book.Active(1)->Acknowledged);
    EXPECT_EQ(book.Active(1)->Rule, 1);
    EXPECT_EQ(book.Statuses().Texts, (std::vector<std::string>{"Idle", "Talking"}));

    // The lines keep their moments under the new status numbers.
    scene.now = kT0 + 12s;
    scene.Evaluate(book);
    ASSERT_TRUE(book.Active(1));
    EXPECT_TRUE(book.Changes().empty());
}

TEST(AlertBookTest, ADisabledRuleNeverFires)
{
    AlertScene scene;
    scene.MakeBoard(8, "Talking");
    TagAlertRule rule = Rule("a", "stuck", "Talking", 0);
    rule.Enabled = false;
    TAlertBook book;
    book.SetRules({rule});
    scene.now = kT0 + 1h;
    scene.Evaluate(book);
    EXPECT_FALSE(book.Active(0));
}

TEST(AlertBookTest, StatusesAreComparedAsBytes)
{
    AlertScene scene;
    scene.MakeBoard(4, "Idle");
    scene.Set(0, "\xcd\xa8\xbb\xb0"); // GBK
    scene.Set(1, "talking");
    scene.Set(2, "Talking ");
    scene.Set(3, "Talking");
    TAlertBook book;
    book.SetRules({Rule("gbk", "stuck", "\xcd\xa8\xbb\xb0", 0), Rule("en", "stuck", "Talking", 0)});
    scene.Evaluate(book);
    scene.now = kT0 + 1s;
    scene.Evaluate(book);
    ASSERT_TRUE(book.Active(0));
    EXPECT_EQ(book.Active(0)->Lines, (std::vector<int>{0}));
    ASSERT_TRUE(book.Active(1));
    EXPECT_EQ(book.Active(1)->Lines, (std::vector<int>{3}));
}

} // namespace
