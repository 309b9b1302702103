#pragma once
// Which notifications ring, for the operator who chose a sound per severity: a notification that is
// new, a reminder, or one that a new alert joined, when one of those alerts has a chosen severity.
// A notification replaced because its line counts changed stays silent, and so does a close; and
// one sound at most every few seconds, so alerts that arrive together (a board that starts with
// every line past a threshold) ring once.

#include "alerts/AlertRule.h"
#include "alerts/NoticePlan.h"

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

struct TagSoundChoice {
    bool Warning = false;
    bool Critical = false;
    bool operator==(const TagSoundChoice&) const = default;
};

class TNoticeSound {
public:
    void SetChoice(TagSoundChoice choice) { choice_ = choice; }
    TagSoundChoice Choice() const { return choice_; }

    // Whether call (of the plan, over rules, the book's) rings at now. Every call of the plan goes
    // through here, the silent ones too, so the notifications' members are known.
    bool Rings(const TagNoticeCall& call, const std::vector<TagAlertRule>& rules, BoardTime now);

    // The least time between two sounds.
    std::chrono::seconds Quiet = std::chrono::seconds(10);

private:
    TagSoundChoice choice_;
    std::optional<BoardTime> rang_;
    // The rules each open notification tells of, by name: a replacement of the rules renumbers them.
    std::map<int, std::vector<std::string>> shown_;
};
