#pragma once
// An alert rule as a site deploys it: the per-user store's array `rules` of the group `Alerts`, one
// element per rule, each key a plain text. The GUI reads the store and hands the keys over as GBK
// bytes (the texts are compared with the board's bytes and written to Monitor.log as they are).

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

enum class AlertKind {
    Stuck,   // a line shows the status for more than `seconds`
    Above,   // more than `count` lines show the status, for more than `seconds`
    Below,   // fewer than `count` lines show the status, for more than `seconds`
    Link,    // the link is down for more than `seconds`
    Overdue, // the server's answer is overdue for more than `seconds`
};

enum class AlertSeverity { Warning, Critical };

// Whether the rule judges the board's lines (and so has a status) or the link.
constexpr bool JudgesBoard(AlertKind kind)
{
    return kind == AlertKind::Stuck || kind == AlertKind::Above || kind == AlertKind::Below;
}

struct TagAlertRule {
    std::string Name; // GBK
    AlertKind Kind = AlertKind::Stuck;
    std::string Status; // GBK; the board rules only
    int Seconds = 0;
    int Count = 0; // Above and Below only
    AlertSeverity Severity = AlertSeverity::Warning;
    bool Enabled = true;

    bool operator==(const TagAlertRule&) const = default;
};

// The limits a rule's numbers are held to.
inline constexpr int kMaxAlertSeconds = 86400;
inline constexpr size_t kMaxAlertNameBytes = 80;
inline constexpr size_t kMaxAlertStatusBytes = 255;

// One element of the array as it was stored: the keys in store order.
using AlertRuleKeys = std::vector<std::pair<std::string, std::string>>;

// A stored rule and what became of it. An invalid rule keeps its keys, so saving the others back
// leaves it as the site wrote it; it is never evaluated.
struct TagRuleEntry {
    AlertRuleKeys Keys;
    std::optional<TagAlertRule> Rule; // set when valid
    std::string Error;                // why not, for the alerts window; empty when valid
};

// Every key that applies to the rule's kind must be there and hold a value of its range; keys that do
// not apply (a status for a link rule) and unknown keys are ignored.
TagRuleEntry ParseAlertRule(AlertRuleKeys keys);

// The whole array: each element on its own, and a name already taken by an earlier valid rule makes
// the later one invalid (the log and the notifications name rules).
std::vector<TagRuleEntry> ParseAlertRules(std::vector<AlertRuleKeys> elements);

// The keys to store for a valid rule, in a fixed order; only the keys its kind reads.
AlertRuleKeys WriteAlertRule(const TagAlertRule& rule);

// The value texts of the kinds and severities, as stored.
const char* AlertKindKey(AlertKind kind);
const char* AlertSeverityKey(AlertSeverity severity);

// The group's own settings beside the array.
struct TagAlertOptions {
    int ReminderMinutes = 15; // 0: no reminders while an alert stays active
    bool operator==(const TagAlertOptions&) const = default;
};
inline constexpr int kMaxReminderMinutes = 1440;

// A missing or bad value keeps the default; Error says so (empty when all is well).
struct TagOptionsEntry {
    TagAlertOptions Options;
    std::string Error;
};
TagOptionsEntry ParseAlertOptions(const std::optional<std::string>& reminderMinutes);
