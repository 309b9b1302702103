#include "alerts/AlertRule.h"

#include "common/Ascii.h"
#include "settings/EventLog.h"

#include <array>
#include <charconv>
#include <set>

namespace {

struct KindName {
    AlertKind kind;
    const char* key;
};
constexpr std::array<KindName, 5> kKinds{{{AlertKind::Stuck, "stuck"},
                                          {AlertKind::Above, "above"},
                                          {AlertKind::Below, "below"},
                                          {AlertKind::Link, "link"},
                                          {AlertKind::Overdue, "overdue"}}};

std::string_view Trimmed(std::string_view text)
{
    while (!text.empty() && AsciiIsSpace(static_cast<unsigned char>(text.front())))
        text.remove_prefix(1);
    while (!text.empty() && AsciiIsSpace(static_cast<unsigned char>(text.back())))
        text.remove_suffix(1);
    return text;
}

bool SameWord(std::string_view text, std::string_view lowerWord)
{
    text = Trimmed(text);
    if (text.size() != lowerWord.size())
        return false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const char lower = c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
        if (lower != lowerWord[i])
            return false;
    }
    return true;
}

bool HasControlByte(std::string_view text)
{
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F)
            return true;
    }
    return false;
}

// Values reach the message quoted; a long or broken one is cut so the message stays readable.
std::string Quoted(std::string_view value)
{
    std::string out = "\"";
    for (const char c : value.substr(0, 40)) {
        const auto b = static_cast<unsigned char>(c);
        out += b < 0x20 || b == 0x7F ? '?' : c;
    }
    if (value.size() > 40)
        out += "...";
    return out + "\"";
}

const std::string* Find(const AlertRuleKeys& keys, std::string_view key)
{
    for (const auto& [k, v] : keys)
        if (k == key)
            return &v;
    return nullptr;
}

std::optional<int> WholeNumber(std::string_view text)
{
    text = Trimmed(text);
    int value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end)
        return std::nullopt;
    return value;
}

// Reads a whole number in [low, high] into out, or returns the message.
std::string ReadNumber(const AlertRuleKeys& keys, const char* key, int low, int high, int& out)
{
    const std::string* value = Find(keys, key);
    if (!value)
        return Format("the key \"%s\" is missing", key);
    const std::optional<int> number = WholeNumber(*value);
    if (!number || *number < low || *number > high)
        return Format("\"%s\" must be a whole number from %d to %d, not %s", key, low, high, Quoted(*value).c_str());
    out = *number;
    return {};
}

std::string ParseInto(const AlertRuleKeys& keys, TagAlertRule& rule)
{
    const std::string* name = Find(keys, "name");
    if (!name)
        return "the key \"name\" is missing";
    if (Trimmed(*name).empty())
        return "the name is empty";
    if (name->size() > kMaxAlertNameBytes)
        return Format("the name is longer than %zu bytes", kMaxAlertNameBytes);
    if (HasControlByte(*name))
        return "the name holds a control character";
    rule.Name = *name;

    const std::string* kind = Find(keys, "kind");
    if (!kind)
        return "the key \"kind\" is missing";
    bool known = false;
    for (const KindName& k : kKinds)
        if (SameWord(*kind, k.key)) {
            rule.Kind = k.kind;
            known = true;
        }
    if (!known)
        return Format("\"kind\" must be stuck, above, below, link or overdue, not %s", Quoted(*kind).c_str());

    if (JudgesBoard(rule.Kind)) {
        const std::string* status = Find(keys, "status");
        if (!status)
            return "the key \"status\" is missing";
        if (Trimmed(*status).empty())
            return "the status is empty";
        if (status->size() > kMaxAlertStatusBytes)
            return Format("the status is longer than %zu bytes", kMaxAlertStatusBytes);
        rule.Status = *status;
    }

    if (std::string error = ReadNumber(keys, "seconds", 0, kMaxAlertSeconds, rule.Seconds); !error.empty())
        return error;

    // A count no board can pass would make a rule that never fires.
    if (rule.Kind == AlertKind::Above) {
        if (std::string error = ReadNumber(keys, "count", 0, 2047, rule.Count); !error.empty())
            return error;
    } else if (rule.Kind == AlertKind::Below) {
        if (std::string error = ReadNumber(keys, "count", 1, 2048, rule.Count); !error.empty())
            return error;
    }

    const std::string* severity = Find(keys, "severity");
    if (!severity)
        return "the key \"severity\" is missing";
    if (SameWord(*severity, "warning"))
        rule.Severity = AlertSeverity::Warning;
    else if (SameWord(*severity, "critical"))
        rule.Severity = AlertSeverity::Critical;
    else
        return Format("\"severity\" must be warning or critical, not %s", Quoted(*severity).c_str());

    const std::string* enabled = Find(keys, "enabled");
    if (!enabled)
        return "the key \"enabled\" is missing";
    if (SameWord(*enabled, "true"))
        rule.Enabled = true;
    else if (SameWord(*enabled, "false"))
        rule.Enabled = false;
    else
        return Format("\"enabled\" must be true or false, not %s", Quoted(*enabled).c_str());
    return {};
}

} // namespace

TagRuleEntry ParseAlertRule(AlertRuleKeys keys)
{
    TagRuleEntry entry;
    entry.Keys = std::move(keys);
    TagAlertRule rule;
    entry.Error = ParseInto(entry.Keys, rule);
    if (entry.Error.empty())
        entry.Rule = std::move(rule);
    return entry;
}

std::vector<TagRuleEntry> ParseAlertRules(std::vector<AlertRuleKeys> elements)
{
    std::vector<TagRuleEntry> entries;
    entries.reserve(elements.size());
    std::set<std::string, std::less<>> names;
    for (AlertRuleKeys& keys : elements) {
        TagRuleEntry entry = ParseAlertRule(std::move(keys));
        if (entry.Rule && !names.insert(entry.Rule->Name).second) {
            entry.Error = "another rule has this name";
            entry.Rule.reset();
        }
        entries.push_back(std::move(entry));
    }
    return entries;
}

AlertRuleKeys WriteAlertRule(const TagAlertRule& rule)
{
    AlertRuleKeys keys;
    keys.emplace_back("name", rule.Name);
    keys.emplace_back("kind", AlertKindKey(rule.Kind));
    if (JudgesBoard(rule.Kind))
        keys.emplace_back("status", rule.Status);
    keys.emplace_back("seconds", std::to_string(rule.Seconds));
    if (rule.Kind == AlertKind::Above || rule.Kind == AlertKind::Below)
        keys.emplace_back("count", std::to_string(rule.Count));
    keys.emplace_back("severity", AlertSeverityKey(rule.Severity));
    keys.emplace_back("enabled", rule.Enabled ? "true" : "false");
    return keys;
}

const char* AlertKindKey(AlertKind kind)
{
    for (const KindName& k : kKinds)
        if (k.kind == kind)
            return k.key;
    return "";
}

const char* AlertSeverityKey(AlertSeverity severity)
{
    return severity == AlertSeverity::Critical ? "critical" : "warning";
}

TagOptionsEntry ParseAlertOptions(const std::optional<std::string>& reminderMinutes)
{
    TagOptionsEntry entry;
    if (!reminderMinutes)
        return entry;
    const std::optional<int> minutes = WholeNumber(*reminderMinutes);
    if (!minutes || *minutes < 0 || *minutes > kMaxReminderMinutes)
        entry.Error = Format("\"reminderMinutes\" must be a whole number from 0 to %d, not %s", kMaxReminderMinutes,
                             Quoted(*reminderMinutes).c_str());
    else
        entry.Options.ReminderMinutes = *minutes;
    return entry;
}
