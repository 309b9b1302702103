#include "AlertScene.h"

#include <gtest/gtest.h>

namespace {

constexpr auto kTick = 800ms;

// Ticks every 800 ms from the scene's moment until `until` (inclusive).
void RunUntil(AlertScene& scene, TAlertCenter& center, BoardTime until)
{
    for (; scene.now <= until; scene.now += kTick)
        scene.Tick(center);
    scene.now -= kTick;
}

struct Fixture : testing::Test {
    AlertScene scene;
    RecordingNotifier notifier;
    LogCapture log;
    TAlertCenter center{&notifier, &DecodeForTest};

    std::vector<RecordingNotifier::Call> Shows() const
    {
        std::vector<RecordingNotifier::Call> shows;
        for (const auto& call : notifier.calls)
            if (call.show)
                shows.push_back(call);
        return shows;
    }
};

using AlertCenterTest = Fixture;

TEST_F(AlertCenterTest, OneNotificationPerRuleWithItsLinesGrouped)
{
    scene.MakeBoard(64, "Idle");
    for (int line = 10; line < 47; ++line)
        scene.Set(line, "Talking");
    center.SetRules({Rule("Long calls", "stuck", "Talking", 300)});
    RunUntil(scene, center, kT0 + 10min);

    const auto shows = Shows();
    ASSERT_EQ(shows.size(), 1u);
    EXPECT_EQ(shows[0].text.Title, "Warning: Long calls");
    EXPECT_EQ(shows[0].text.Body,
              "37 lines Talking for more than 5 min\nLines 10, 11, 12, 13, 14, 15, 16, 17, 18, 19 and 27 more");
    EXPECT_EQ(log.Messages(), (std::vector<std::string>{"alert start: Long calls (37 lines)"}));
}

TEST_F(AlertCenterTest, AClearedAlertClosesItsNotificationAndLogsTheEnd)
{
    scene.MakeBoard(8, "Idle");
    scene.Set(2, "Talking");
    center.SetRules({Rule("Long calls", "stuck", "Talking", 300, 0, "critical")});
    RunUntil(scene, center, kT0 + 6min);
    ASSERT_EQ(notifier.calls.size(), 1u);
    EXPECT_EQ(notifier.calls[0].text.Severity, AlertSeverity::Critical);
    EXPECT_EQ(notifier.calls[0].text.Body, "1 line Talking for more than 5 min\nLine 2");
    scene.Set(2, "Idle");
    RunUntil(scene, center, scene.now + 2s);
    ASSERT_EQ(notifier.calls.size(), 2u);
    EXPECT_FALSE(notifier.calls[1].show);
    EXPECT_EQ(notifier.calls[1].key, notifier.calls[0].key);
    EXPECT_EQ(log.Messages(),
              (std::vector<std::string>{"alert start: Long calls (1 lines)", "alert end: Long calls (1 lines)"}));
}

struct ReminderCase {
    int minutes; // 0: none
    std::chrono::seconds run;
    int shows;
};

void PrintTo(const ReminderCase& c, std::ostream* os)
{
    *os << "every " << c.minutes << " min for " << c.run.count() << " s";
}

class Reminders : public Fixture, public testing::WithParamInterface<ReminderCase> {};

TEST_P(Reminders, AtMostOncePerInterval)
{
    const ReminderCase& c = GetParam();
    TagNoticeTiming timing;
    timing.Reminder = std::chrono::minutes(c.minutes);
    TAlertCenter reminding(&notifier, &DecodeForTest, timing);
    scene.MakeBoard(8, "Talking");
    reminding.SetRules({Rule("Long calls", "stuck", "Talking", 60)});
    RunUntil(scene, reminding, kT0 + c.run);
    const auto shows = Shows();
    ASSERT_EQ(int(shows.size()), c.shows);
    for (size_t i = 1; i < shows.size(); ++i) {
        EXPECT_EQ(shows[i].key, shows[0].key) << "replaced in place";
        EXPECT_EQ(shows[i].text.Title, "Warning: Long calls (still active)");
    }
    EXPECT_EQ(notifier.Closes(), 0);
}

// The alert starts at 60.8 s, the first tick past a minute; a reminder every interval from there.
INSTANTIATE_TEST_SUITE_P(Interval, Reminders,
                         testing::Values(ReminderCase{15, 16min, 1}, ReminderCase{15, 16min + 1s, 2},
                                         ReminderCase{15, 47min, 4}, ReminderCase{5, 21min, 4},
                                         ReminderCase{5, 21min + 1s, 5}, ReminderCase{0, 60min, 1}),
                         [](const testing::TestParamInfo<ReminderCase>& param) {
                             return "every_" + std::to_string(param.param.minutes) + "_min_for_" +
                                    std::to_string(param.param.run.count()) + "_s";
                         });

TEST_F(AlertCenterTest, ANewReminderIntervalCountsFromTheNextTick)
{
    scene.MakeBoard(8, "Talking");
    center.SetRules({Rule("Long calls", "stuck", "Talking", 60)});
    RunUntil(scene, center, kT0 + 5min);
    ASSERT_EQ(notifier.Shows(), 1);
    TagNoticeTiming timing = center.Plan().Timing();
    timing.Reminder = 0s;
    center.SetTiming(timing);
    RunUntil(scene, center, kT0 + 40min);
    EXPECT_EQ(notifier.Shows(), 1);
    timing.Reminder = 5min;
    center.SetTiming(timing);
    scene.now += kTick;
    scene.Tick(center);
    EXPECT_EQ(notifier.Shows(), 2) << "shown 39 minutes ago";
}

TEST_F(AlertCenterTest, AFlappingAlertIsHeldForAMinute)
{
    scene.MakeBoard(8, "Idle");
    center.SetRules({Rule("Busy", "above", "Talking", 0, 2)});
    scene.Tick(center);
    scene.now += kTick;
    scene.SetAll("Talking");
    RunUntil(scene, center, scene.now + 2s);
    ASSERT_EQ(notifier.Shows(), 1);
    const BoardTime firstEnd = scene.now + kTick;
    scene.SetAll("Idle");
    RunUntil(scene, center, firstEnd);
    ASSERT_EQ(notifier.Closes(), 1);

    // Back within the minute: active and logged, not told until the minute has passed.
    scene.now += kTick;
    scene.SetAll("Talking");
    RunUntil(scene, center, firstEnd + 59s);
    EXPECT_EQ(notifier.Shows(), 1);
    EXPECT_TRUE(center.Book().Active(0));
    RunUntil(scene, center, firstEnd + 61s);
    EXPECT_EQ(notifier.Shows(), 2);
    EXPECT_EQ(log.Messages().size(), 3u) << "start, end, start";
}

TEST_F(AlertCenterTest, AnAlertThatLastedAMinuteIsNotHeld)
{
    scene.MakeBoard(8, "Idle");
    center.SetRules({Rule("Busy", "above", "Talking", 0, 2)});
    scene.Tick(center);
    scene.now += kTick;
    scene.SetAll("Talking");
    RunUntil(scene, center, scene.now + 61s);
    scene.SetAll("Idle");
    RunUntil(scene, center, scene.now + 2s);
    scene.SetAll("Talking");
    RunUntil(scene, center, scene.now + 2s);
    EXPECT_EQ(notifier.Shows(), 2);
}

TEST_F(AlertCenterTest, AcknowledgeFromTheNotificationSilencesUntilItClears)
{
    scene.MakeBoard(8, "Talking");
    center.SetRules({Rule("Long calls", "stuck", "Talking", 60)});
    RunUntil(scene, center, kT0 + 2min);
    ASSERT_EQ(notifier.calls.size(), 1u);
    const int key = notifier.calls[0].key;
    notifier.Acknowledged(key);
    ASSERT_EQ(notifier.calls.size(), 2u);
    EXPECT_FALSE(notifier.calls[1].show);
    EXPECT_EQ(notifier.calls[1].key, key);
    EXPECT_TRUE(center.Book().Active(0)->Acknowledged);

    RunUntil(scene, center, kT0 + 1h);
    EXPECT_EQ(notifier.calls.size(), 2u) << "no reminder for an acknowledged alert";
    scene.SetAll("Idle");
    RunUntil(scene, center, scene.now + 2s);
    scene.SetAll("Talking");
    RunUntil(scene, center, scene.now + 62s);
    EXPECT_EQ(notifier.Shows(), 2) << "a new alert calls again";
    EXPECT_EQ(log.Messages(),
              (std::vector<std::string>{"alert start: Long calls (8 lines)", "alert acknowledge: Long calls",
                                        "alert end: Long calls (8 lines)", "alert start: Long calls (8 lines)"}));
}

TEST_F(AlertCenterTest, AcknowledgeFromTheWindowClosesAtTheNextTick)
{
    scene.MakeBoard(8, "Talking");
    center.SetRules({Rule("Long calls", "stuck", "Talking", 60)});
    RunUntil(scene, center, kT0 + 2min);
    EXPECT_TRUE(center.Acknowledge(0));
    EXPECT_FALSE(center.Acknowledge(0)) << "once";
    scene.now += kTick;
    scene.Tick(center);
    ASSERT_EQ(notifier.calls.size(), 2u);
    EXPECT_FALSE(notifier.calls[1].show);
}

TEST_F(AlertCenterTest, SnoozeClosesAndCallsAgainWhenItEnds)
{
    scene.MakeBoard(8, "Talking");
    center.SetRules({Rule("Long calls", "stuck", "Talking", 60), Rule("Down", "link", "", 5)});
    RunUntil(scene, center, kT0 + 2min);
    center.Snooze(0, 15min, scene.now);
    const BoardTime snoozed = scene.now;
    RunUntil(scene, center, snoozed + 15min - 1s);
    ASSERT_EQ(notifier.calls.size(), 2u);
    EXPECT_FALSE(notifier.calls[1].show);
    RunUntil(scene, center, snoozed + 15min + 1s);
    ASSERT_EQ(notifier.calls.size(), 3u);
    EXPECT_TRUE(notifier.calls[2].show);
    EXPECT_EQ(notifier.calls[2].text.Title, "Warning: Long calls");
    EXPECT_EQ(log.Messages()[1], "alert snooze: Long calls (15 min)");
}

TEST_F(AlertCenterTest, SnoozeAlsoCoversAnAlertThatStartsDuringIt)
{
    scene.MakeBoard(8, "Idle");
    center.SetRules({Rule("Long calls", "stuck", "Talking", 0)});
    scene.Tick(center);
    center.Snooze(0, 60min, scene.now);
    scene.SetAll("Talking");
    RunUntil(scene, center, kT0 + 59min);
    EXPECT_EQ(notifier.Shows(), 0);
    EXPECT_TRUE(center.Book().Active(0));
    RunUntil(scene, center, kT0 + 61min);
    EXPECT_EQ(notifier.Shows(), 1);
}

TEST_F(AlertCenterTest, ACountChangeReplacesInPlaceAtMostEveryFiveSeconds)
{
    scene.MakeBoard(64, "Idle");
    for (int line = 0; line < 10; ++line)
        scene.Set(line, "Talking");
    center.SetRules({Rule("Long calls", "stuck", "Talking", 10)});
    RunUntil(scene, center, kT0 + 11s);
    ASSERT_EQ(notifier.Shows(), 1);
    // A line more every tick for 30 ticks: 24 s.
    std::vector<BoardTime> shownAt{scene.now};
    for (int line = 10; line < 40; ++line) {
        scene.now += kTick;
        scene.Set(line, "Talking");
        scene.board->Rows[size_t(line)].Cols[2].Since = kT0; // as if it had been talking all along
        const int before = notifier.Shows();
        scene.Tick(center);
        if (notifier.Shows() > before)
            shownAt.push_back(scene.now);
    }
    EXPECT_GE(shownAt.size(), 4u);
    for (size_t i = 1; i < shownAt.size(); ++i)
        EXPECT_GE(shownAt[i] - shownAt[i - 1], 5s);
    const auto shows = Shows();
    for (const auto& show : shows)
        EXPECT_EQ(show.key, shows[0].key);
    EXPECT_EQ(notifier.Closes(), 0);
    EXPECT_NE(shows.back().text.Body, shows.front().text.Body);
}

TEST_F(AlertCenterTest, NotificationsDismissedOnTheDesktopWaitForTheReminder)
{
    scene.MakeBoard(8, "Talking");
    center.SetRules({Rule("Long calls", "stuck", "Talking", 60)});
    RunUntil(scene, center, kT0 + 2min);
    notifier.Closed(notifier.calls[0].key);
    RunUntil(scene, center, kT0 + 15min);
    EXPECT_EQ(notifier.calls.size(), 1u);
    RunUntil(scene, center, kT0 + 17min);
    EXPECT_EQ(notifier.calls.size(), 2u);
    EXPECT_NE(notifier.calls[1].key, notifier.calls[0].key) << "a new notification";
}

TEST_F(AlertCenterTest, AlertsFiringTogetherShareOneNotification)
{
    scene.MakeBoard(2048, "Talking");
    std::vector<TagAlertRule> rules;
    for (int i = 0; i < 20; ++i)
        rules.push_back(
            Rule("rule " + std::to_string(i), "stuck", "Talking", 30 + i % 2, 0, i % 5 == 0 ? "critical" : "warning"));
    center.SetRules(rules);
    RunUntil(scene, center, kT0 + 5min);
    const auto shows = Shows();
    ASSERT_EQ(shows.size(), 2u) << "shown, then replaced in place";
    EXPECT_EQ(shows[1].key, shows[0].key) << "the ten 31 s rules join the summary of the ten 30 s ones";
    EXPECT_EQ(notifier.Closes(), 0);
    EXPECT_EQ(shows[0].text.Title, "10 alerts active (2 critical)");
    EXPECT_EQ(shows[1].text.Title, "20 alerts active (4 critical)");
    EXPECT_EQ(shows[1].text.Severity, AlertSeverity::Critical);
    EXPECT_EQ(log.Messages().size(), 20u);
    EXPECT_EQ(log.Messages()[0], "alert start: rule 0 (2048 lines)");
}

TEST_F(AlertCenterTest, TwoRulesFiringAtOneTickLaterShareOneNotification)
{
    scene.MakeBoard(8, "Idle");
    center.SetRules(
        {Rule("Down", "link", "", 5), Rule("A", "stuck", "Talking", 10), Rule("B", "above", "Talking", 10, 2)});
    scene.LinkDown();
    RunUntil(scene, center, kT0 + 10s); // the start-up summary: the link alone
    scene.LinkUp();
    scene.Answer();
    RunUntil(scene, center, kT0 + 5min);
    const int before = notifier.Shows();
    scene.SetAll("Talking");
    RunUntil(scene, center, scene.now + 12s);
    EXPECT_EQ(notifier.Shows(), before + 1);
    EXPECT_EQ(Shows().back().text.Title, "2 alerts active");
    EXPECT_EQ(Shows().back().text.Body,
              "A: 8 lines Talking for more than 10 s\nB: 8 lines Talking, more than 2, for more than 10 s");
}

TEST_F(AlertCenterTest, AReconnectionGivesOneSummaryForWhateverIsActive)
{
    scene.MakeBoard(16, "Idle");
    for (int line = 0; line < 4; ++line)
        scene.Set(line, "Talking");
    scene.Set(5, "Held");
    center.SetRules({Rule("Long calls", "stuck", "Talking", 60), Rule("Held", "stuck", "Held", 120),
                     Rule("Down", "link", "", 30, 0, "critical")});
    RunUntil(scene, center, kT0 + 61s);
    RunUntil(scene, center, kT0 + 2min + 1s);
    EXPECT_EQ(notifier.Shows(), 2);
    const size_t before = notifier.calls.size();

    scene.LinkDown();
    RunUntil(scene, center, scene.now + 40s);
    EXPECT_EQ(notifier.Shows(), 3) << "the link";
    scene.LinkUp();
    scene.now += kTick;
    scene.Answer();
    RunUntil(scene, center, scene.now + 30s);

    std::vector<RecordingNotifier::Call> after(notifier.calls.begin() + long(before) + 1, notifier.calls.end());
    int shows = 0;
    int closes = 0;
    for (const auto& call : after) {
        shows += call.show ? 1 : 0;
        closes += call.show ? 0 : 1;
    }
    EXPECT_EQ(closes, 3) << "the two rules' and the link's notifications";
    ASSERT_EQ(shows, 1);
    EXPECT_EQ(Shows().back().text.Title, "2 alerts active");
}

TEST_F(AlertCenterTest, NewRulesEndTheAlertsOfRulesThatWentAndCloseTheirNotifications)
{
    scene.MakeBoard(8, "Talking");
    center.SetRules({Rule("A", "stuck", "Talking", 10), Rule("B", "stuck", "Talking", 100)});
    RunUntil(scene, center, kT0 + 101s); // B past the minute in which it would join A's notification
    ASSERT_EQ(notifier.Shows(), 2);
    ASSERT_NE(notifier.calls[1].key, notifier.calls[0].key);
    center.SetRules({Rule("B", "stuck", "Talking", 100)});
    scene.now += kTick;
    scene.Tick(center);
    ASSERT_EQ(notifier.calls.size(), 3u);
    EXPECT_FALSE(notifier.calls[2].show);
    EXPECT_EQ(notifier.calls[2].key, notifier.calls[0].key);
    EXPECT_EQ(log.Messages().back(), "alert end: A (8 lines)");
    EXPECT_TRUE(center.Book().Active(0));
}

TEST_F(AlertCenterTest, WithoutANotifierTheLogStillHasEveryLine)
{
    TAlertCenter quiet(nullptr, &DecodeForTest);
    scene.MakeBoard(8, "Talking");
    quiet.SetRules({Rule("A", "stuck", "Talking", 10)});
    RunUntil(scene, quiet, kT0 + 11s);
    EXPECT_TRUE(quiet.Acknowledge(0));
    quiet.Snooze(0, 60min, scene.now);
    EXPECT_EQ(log.Messages(), (std::vector<std::string>{"alert start: A (8 lines)", "alert acknowledge: A",
                                                        "alert snooze: A (60 min)"}));
}

TEST_F(AlertCenterTest, TheJournalGetsEveryLogLineAndThePlanIsHeardWithoutANotifier)
{
    TAlertCenter quiet(nullptr, &DecodeForTest);
    std::vector<std::string> journal;
    std::vector<TagNoticeCall> planned;
    quiet.Journal = [&](const std::string& line) { journal.push_back(line); };
    quiet.Planned = [&](const TagNoticeCall& call, BoardTime now) {
        EXPECT_EQ(now, scene.now);
        planned.push_back(call);
    };
    scene.MakeBoard(8, "Talking");
    quiet.SetRules({Rule("A", "stuck", "Talking", 10), Rule("B", "stuck", "Idle", 10)});
    RunUntil(scene, quiet, kT0 + 11s);
    ASSERT_EQ(planned.size(), 1u);
    EXPECT_EQ(planned[0].Op, NoticeOp::Show);
    EXPECT_EQ(planned[0].Members, std::vector<int>{0});
    EXPECT_TRUE(quiet.Acknowledge(0));
    quiet.Snooze(1, 15min, scene.now);
    quiet.SetRules({Rule("B", "stuck", "Idle", 10)});
    scene.Tick(quiet);
    ASSERT_EQ(planned.size(), 2u);
    EXPECT_EQ(planned[1].Op, NoticeOp::Close);
    EXPECT_EQ(planned[1].Key, planned[0].Key);
    EXPECT_EQ(journal, (std::vector<std::string>{"alert start: A (8 lines)", "alert acknowledge: A",
                                                 "alert snooze: B (15 min)", "alert end: A (8 lines)"}));
    EXPECT_EQ(journal, log.Messages());
}

TEST_F(AlertCenterTest, ANotifierSetLaterGetsTheCallsAndItsButtonsWork)
{
    TAlertCenter late(nullptr, &DecodeForTest);
    scene.MakeBoard(8, "Talking");
    late.SetRules({Rule("A", "stuck", "Talking", 10)});
    late.SetNotifier(&notifier);
    EXPECT_EQ(late.Notifier(), &notifier);
    RunUntil(scene, late, kT0 + 11s);
    ASSERT_EQ(notifier.Shows(), 1);
    ASSERT_TRUE(notifier.Acknowledged);
    notifier.Acknowledged(notifier.calls[0].key);
    EXPECT_TRUE(late.Book().Active(0)->Acknowledged);

    RecordingNotifier other;
    late.SetNotifier(&other);
    EXPECT_FALSE(notifier.Acknowledged) << "the old notifier is let go";
    EXPECT_FALSE(notifier.Closed);
    EXPECT_TRUE(other.Acknowledged);
    late.SetNotifier(nullptr);
    EXPECT_FALSE(other.Acknowledged);
}

} // namespace
