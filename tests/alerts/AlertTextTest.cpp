#include "AlertScene.h"

#include <gtest/gtest.h>

namespace {

TEST(AlertTextTest, Durations)
{
    const std::vector<std::pair<int, std::string>> cases{{0, "0 s"},    {1, "1 s"},       {59, "59 s"},
                                                         {60, "1 min"}, {90, "90 s"},     {300, "5 min"},
                                                         {3600, "1 h"}, {5400, "90 min"}, {86400, "24 h"}};
    for (const auto& [seconds, text] : cases)
        EXPECT_EQ(DurationText(seconds), text) << seconds;
}

TEST(AlertTextTest, Lines)
{
    EXPECT_EQ(LinesText({}), "");
    EXPECT_EQ(LinesText({7}), "Line 7");
    EXPECT_EQ(LinesText({3, 17}), "Lines 3 and 17");
    EXPECT_EQ(LinesText({3, 17, 25}), "Lines 3, 17 and 25");
    EXPECT_EQ(LinesText({1, 2, 3, 4}, 3), "Lines 1, 2, 3 and 1 more");
}

TEST(AlertTextTest, ConditionOfEachKindWithTheStatusDecoded)
{
    EXPECT_EQ(ConditionText(Rule("a", "stuck", "\xcd\xa8\xbb\xb0", 300), 37, &DecodeForTest),
              "37 lines \xe9\x80\x9a\xe8\xaf\x9d for more than 5 min");
    EXPECT_EQ(ConditionText(Rule("a", "above", "Talking", 60, 30), 31, &DecodeForTest),
              "31 lines Talking, more than 30, for more than 1 min");
    EXPECT_EQ(ConditionText(Rule("a", "below", "Idle", 60, 10), 1, &DecodeForTest),
              "1 line Idle, fewer than 10, for more than 1 min");
    EXPECT_EQ(ConditionText(Rule("a", "link", "", 30), 0, &DecodeForTest), "Link down for more than 30 s");
    EXPECT_EQ(ConditionText(Rule("a", "overdue", "", 120), 0, &DecodeForTest), "Answer overdue for more than 2 min");
}

TEST(AlertTextTest, WhatEachKindOfRuleWatches)
{
    struct Case {
        TagAlertRule rule;
        const char* text;
    };
    const Case cases[] = {
        {Rule("a", "stuck", "\xcd\xa8\xbb\xb0", 300), "A line shows \xe9\x80\x9a\xe8\xaf\x9d for more than 5 min"},
        {Rule("a", "above", "Talking", 60, 100), "More than 100 lines show Talking for more than 1 min"},
        {Rule("a", "above", "Talking", 0, 1), "More than 1 line shows Talking for more than 0 s"},
        {Rule("a", "below", "Idle", 90, 3), "Fewer than 3 lines show Idle for more than 90 s"},
        {Rule("a", "link", "", 30), "Link down for more than 30 s"},
        {Rule("a", "overdue", "", 7200), "Answer overdue for more than 2 h"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(RuleText(c.rule, &DecodeForTest), c.text) << AlertKindKey(c.rule.Kind);
}

TEST(AlertTextTest, LogLinesKeepTheNameAsGbk)
{
    const TagAlertRule rule = Rule("\xb3\xa4\xcd\xa8\xbb\xb0", "stuck", "Talking", 1);
    EXPECT_EQ(AlertStartLog(rule, 37), "alert start: \xb3\xa4\xcd\xa8\xbb\xb0 (37 lines)");
    EXPECT_EQ(AlertEndLog(rule, 2), "alert end: \xb3\xa4\xcd\xa8\xbb\xb0 (2 lines)");
    EXPECT_EQ(AlertAcknowledgeLog(rule), "alert acknowledge: \xb3\xa4\xcd\xa8\xbb\xb0");
    EXPECT_EQ(AlertSnoozeLog(rule, 15), "alert snooze: \xb3\xa4\xcd\xa8\xbb\xb0 (15 min)");
}

TEST(AlertTextTest, ASummaryListsTheCriticalFirstAndCutsTheRest)
{
    AlertScene scene;
    scene.MakeBoard(4, "Talking");
    std::vector<TagAlertRule> rules;
    for (int i = 0; i < 10; ++i)
        rules.push_back(Rule("r" + std::to_string(i), "stuck", "Talking", 0, 0, i == 9 ? "critical" : "warning"));
    TAlertBook book;
    book.SetRules(rules);
    scene.Evaluate(book);
    scene.now += 1s;
    scene.Evaluate(book);
    TagNoticeCall call;
    for (int i = 0; i < 10; ++i)
        call.Members.push_back(i);
    const TagNoticeText text = NoticeText(call, book, &DecodeForTest);
    EXPECT_EQ(text.Title, "10 alerts active (1 critical)");
    EXPECT_EQ(text.Severity, AlertSeverity::Critical);
    EXPECT_EQ(text.Body.substr(0, text.Body.find('\n')), "r9: 4 lines Talking for more than 0 s");
    EXPECT_EQ(text.Body.substr(text.Body.rfind('\n') + 1), "and 2 more");
}

} // namespace
