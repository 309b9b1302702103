#pragma once
// The English texts of the alerts: the notifications' titles and bodies and the lines of
// Monitor.log. Rule names and statuses are GBK: the log takes them as they are, a notification
// through the decoder the caller gives (the GUI's, which turns GBK into UTF-8 for the screen).

#include "alerts/AlertBook.h"
#include "alerts/NoticePlan.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

// GBK in, UTF-8 out.
using TextDecoder = std::function<std::string(std::string_view gbk)>;

// "0 s", "90 s", "5 min", "2 h": the largest unit that divides the time.
std::string DurationText(int seconds);

// "37 lines Talking for more than 5 min", "Link down for more than 30 s", ... (UTF-8).
std::string ConditionText(const TagAlertRule& rule, int lines, const TextDecoder& decode);

// What a rule watches, for the alerts window (UTF-8): "A line shows Talking for more than 5 min",
// "More than 100 lines show Talking for more than 1 min", "Link down for more than 30 s", ...
std::string RuleText(const TagAlertRule& rule, const TextDecoder& decode);

// "Lines 3, 17 and 25", "Lines 3, 17, ... and 30 more": the board's line numbers, at most shown of them.
std::string LinesText(const std::vector<int>& lines, size_t shown = 10);

struct TagNoticeText {
    std::string Title; // UTF-8
    std::string Body;  // UTF-8; its lines end with '\n' between them
    AlertSeverity Severity = AlertSeverity::Warning;
};

// What a Show call of the plan says, from the book's rules and alerts.
TagNoticeText NoticeText(const TagNoticeCall& call, const TAlertBook& book, const TextDecoder& decode);

// Monitor.log (GBK): "alert start: <name> (<n> lines)", "alert end: <name> (<n> lines)",
// "alert acknowledge: <name>", "alert snooze: <name> (<minutes> min)".
std::string AlertStartLog(const TagAlertRule& rule, int lines);
std::string AlertEndLog(const TagAlertRule& rule, int lines);
std::string AlertAcknowledgeLog(const TagAlertRule& rule);
std::string AlertSnoozeLog(const TagAlertRule& rule, int minutes);
