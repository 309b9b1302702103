#include "alerts/NoticeSound.h"

#include <algorithm>

bool TNoticeSound::Rings(const TagNoticeCall& call, const std::vector<TagAlertRule>& rules, BoardTime now)
{
    if (call.Op == NoticeOp::Close) {
        shown_.erase(call.Key);
        return false;
    }
    const auto known = shown_.find(call.Key);
    const bool fresh = known == shown_.end() || call.Reminder;
    std::vector<std::string> names;
    bool rings = false;
    for (const int member : call.Members) {
        if (member < 0 || size_t(member) >= rules.size())
            continue;
        const TagAlertRule& rule = rules[size_t(member)];
        names.push_back(rule.Name);
        const bool joined =
            fresh || std::find(known->second.begin(), known->second.end(), rule.Name) == known->second.end();
        const bool chosen = rule.Severity == AlertSeverity::Critical ? choice_.Critical : choice_.Warning;
        rings = rings || (joined && chosen);
    }
    shown_[call.Key] = std::move(names);
    if (!rings || (rang_ && now - *rang_ < Quiet))
        return false;
    rang_ = now;
    return true;
}
