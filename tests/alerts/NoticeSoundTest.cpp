// Which notifications ring: new ones, reminders and those a new alert joined, for the severities the
// operator chose; replacements for a count and closes never.
#include "alerts/NoticeSound.h"
#include "AlertScene.h"

#include <gtest/gtest.h>

namespace {

const std::vector<TagAlertRule> kRules{Rule("Long calls", "stuck", "Talking", 60),
                                       Rule("Link lost", "link", "", 30, 0, "critical"),
                                       Rule("Queue", "above", "Ringing", 60, 10)};

TagNoticeCall Show(int key, std::vector<int> members, bool reminder = false)
{
    return {NoticeOp::Show, key, std::move(members), reminder, false};
}

TagNoticeCall Close(int key)
{
    return {NoticeOp::Close, key, {}, false, false};
}

struct Step {
    TagNoticeCall call;
    bool rings;
    const char* why;
    std::chrono::seconds after = 20s; // since the step before
};

struct Case {
    const char* name;
    TagSoundChoice choice;
    std::vector<Step> steps;
};

TEST(NoticeSoundTest, RingsForWhatIsNewToTheOperator)
{
    const TagSoundChoice both{true, true};
    const TagSoundChoice critical{false, true};
    const TagSoundChoice warning{true, false};
    const Case cases[] = {
        {"nothing chosen", {}, {{Show(1, {0, 1}), false, "no sound chosen"}}},
        {"warning",
         warning,
         {{Show(1, {0}), true, "a new notification"},
          {Show(1, {0}), false, "replaced for a count"},
          {Show(1, {0}, true), true, "a reminder"},
          {Close(1), false, "a close"},
          {Show(2, {1}), false, "a critical one, not chosen"},
          {Show(2, {1, 2}), true, "a warning joined"},
          {Show(2, {1}), false, "a member left"}}},
        {"critical",
         critical,
         {{Show(1, {0, 2}), false, "warnings only"},
          {Show(1, {0, 1, 2}), true, "a critical alert joined the summary"},
          {Show(1, {0, 1, 2}, true), true, "a reminder with a critical member"}}},
        {"closed and shown again",
         both,
         {{Show(3, {0}), true, "new"}, {Close(3), false, "closed"}, {Show(3, {0}), true, "the key is new again"}}},
        {"unknown members", both, {{Show(4, {7}), false, "no such rule"}}},
        {"together",
         both,
         {{Show(1, {0}), true, "new"},
          {Show(1, {0, 1}), false, "a member joined at the next tick", 1s},
          {Show(2, {2}), false, "another notification 9 s after the sound", 8s},
          {Show(2, {2}, true), true, "10 s after it", 1s}}},
    };
    for (const Case& c : cases) {
        TNoticeSound sound;
        sound.SetChoice(c.choice);
        BoardTime now = kT0;
        for (const Step& step : c.steps) {
            now += step.after;
            EXPECT_EQ(sound.Rings(step.call, kRules, now), step.rings) << c.name << ": " << step.why;
        }
    }
}

TEST(NoticeSoundTest, MembersAreKnownByNameAcrossANewSetOfRules)
{
    TNoticeSound sound;
    sound.SetChoice({true, true});
    ASSERT_TRUE(sound.Rings(Show(1, {2}), kRules, kT0));
    // "Queue" is rule 0 once the others are removed: still the same member, no sound.
    const std::vector<TagAlertRule> fewer{kRules[2]};
    EXPECT_FALSE(sound.Rings(Show(1, {0}), fewer, kT0 + 1min));
    EXPECT_TRUE(sound.Rings(Show(1, {0, 1}), kRules, kT0 + 2min)) << "a new member";
}

} // namespace
