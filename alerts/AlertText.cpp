#include "alerts/AlertText.h"

#include <algorithm>

namespace {

std::string Lines(int count)
{
    return std::to_string(count) + (count == 1 ? " line" : " lines");
}

const char* Shows(int count)
{
    return count == 1 ? " shows " : " show ";
}

const char* SeverityTitle(AlertSeverity severity)
{
    return severity == AlertSeverity::Critical ? "Critical" : "Warning";
}

} // namespace

std::string DurationText(int seconds)
{
    if (seconds > 0 && seconds % 3600 == 0)
        return std::to_string(seconds / 3600) + " h";
    if (seconds > 0 && seconds % 60 == 0)
        return std::to_string(seconds / 60) + " min";
    return std::to_string(seconds) + " s";
}

std::string ConditionText(const TagAlertRule& rule, int lines, const TextDecoder& decode)
{
    const std::string over = " for more than " + DurationText(rule.Seconds);
    switch (rule.Kind) {
    case AlertKind::Stuck:
        return Lines(lines) + " " + decode(rule.Status) + over;
    case AlertKind::Above:
        return Lines(lines) + " " + decode(rule.Status) + ", more than " + std::to_string(rule.Count) + "," + over;
    case AlertKind::Below:
        return Lines(lines) + " " + decode(rule.Status) + ", fewer than " + std::to_string(rule.Count) + "," + over;
    case AlertKind::Link:
        return "Link down" + over;
    case AlertKind::Overdue:
        return "Answer overdue" + over;
    }
    return {};
}

std::string RuleText(const TagAlertRule& rule, const TextDecoder& decode)
{
    const std::string over = " for more than " + DurationText(rule.Seconds);
    switch (rule.Kind) {
    case AlertKind::Stuck:
        return "A line shows " + decode(rule.Status) + over;
    case AlertKind::Above:
        return "More than " + Lines(rule.Count) + Shows(rule.Count) + decode(rule.Status) + over;
    case AlertKind::Below:
        return "Fewer than " + Lines(rule.Count) + Shows(rule.Count) + decode(rule.Status) + over;
    case AlertKind::Link:
    case AlertKind::Overdue:
        return ConditionText(rule, 0, decode);
    }
    return {};
}

std::string LinesText(const std::vector<int>& lines, size_t shown)
{
    if (lines.empty())
        return {};
    std::string text = lines.size() == 1 ? "Line " : "Lines ";
    const size_t listed = std::min(lines.size(), std::max<size_t>(shown, 1));
    for (size_t i = 0; i < listed; ++i) {
        if (i > 0)
            text += i + 1 == lines.size() ? " and " : ", ";
        text += std::to_string(lines[i]);
    }
    if (listed < lines.size())
        text += " and " + std::to_string(lines.size() - listed) + " more";
    return text;
}

TagNoticeText NoticeText(const TagNoticeCall& call, const TAlertBook& book, const TextDecoder& decode)
{
    TagNoticeText text;
    std::vector<std::pair<const TagAlertRule*, const TagActiveAlert*>> members;
    for (const int rule : call.Members) {
        const TagActiveAlert* alert = book.Active(rule);
        if (!alert || size_t(rule) >= book.Rules().size())
            continue;
        const TagAlertRule& r = book.Rules()[size_t(rule)];
        members.emplace_back(&r, alert);
        if (r.Severity == AlertSeverity::Critical)
            text.Severity = AlertSeverity::Critical;
    }
    if (members.empty())
        return text;

    if (members.size() == 1) {
        const auto& [rule, alert] = members.front();
        text.Title = std::string(SeverityTitle(rule->Severity)) + ": " + decode(rule->Name);
        if (call.Reminder)
            text.Title += " (still active)";
        text.Body = ConditionText(*rule, int(alert->Lines.size()), decode);
        if (rule->Kind == AlertKind::Stuck)
            text.Body += "\n" + LinesText(alert->Lines);
        return text;
    }

    const auto critical = std::count_if(members.begin(), members.end(), [](const auto& member) {
        return member.first->Severity == AlertSeverity::Critical;
    });
    text.Title = std::to_string(members.size()) + (call.Reminder ? " alerts still active" : " alerts active");
    if (critical > 0)
        text.Title += " (" + std::to_string(critical) + " critical)";
    // The critical ones first, each group in rule order.
    std::stable_sort(members.begin(), members.end(), [](const auto& a, const auto& b) {
        return a.first->Severity == AlertSeverity::Critical && b.first->Severity != AlertSeverity::Critical;
    });
    constexpr size_t kListed = 8;
    for (size_t i = 0; i < members.size() && i < kListed; ++i) {
        const auto& [rule, alert] = members[i];
        if (i > 0)
            text.Body += "\n";
        text.Body += decode(rule->Name) + ": " + ConditionText(*rule, int(alert->Lines.size()), decode);
    }
    if (members.size() > kListed)
        text.Body += "\nand " + std::to_string(members.size() - kListed) + " more";
    return text;
}

std::string AlertStartLog(const TagAlertRule& rule, int lines)
{
    return "alert start: " + rule.Name + " (" + std::to_string(lines) + " lines)";
}

std::string AlertEndLog(const TagAlertRule& rule, int lines)
{
    return "alert end: " + rule.Name + " (" + std::to_string(lines) + " lines)";
}

std::string AlertAcknowledgeLog(const TagAlertRule& rule)
{
    return "alert acknowledge: " + rule.Name;
}

std::string AlertSnoozeLog(const TagAlertRule& rule, int minutes)
{
    return "alert snooze: " + rule.Name + " (" + std::to_string(minutes) + " min)";
}
