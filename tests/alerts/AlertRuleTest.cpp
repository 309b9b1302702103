#include "alerts/AlertRule.h"

#include <gtest/gtest.h>

namespace {

// A valid stuck rule with one key replaced (or removed, for a null value).
AlertRuleKeys StuckWith(const std::string& key, const char* value)
{
    AlertRuleKeys keys{{"name", "Long calls"}, {"kind", "stuck"},       {"status", "Talking"},
                       {"seconds", "300"},     {"severity", "warning"}, {"enabled", "true"}};
    for (auto it = keys.begin(); it != keys.end(); ++it)
        if (it->first == key) {
            if (value)
                it->second = value;
            else
                keys.erase(it);
            return keys;
        }
    if (value)
        keys.emplace_back(key, value);
    return keys;
}

struct ParseCase {
    const char* what;
    AlertRuleKeys keys;
    const char* error; // nullptr: valid
};

// Named by what it tries, not by its bytes, in gtest's and CTest's output.
void PrintTo(const ParseCase& c, std::ostream* os)
{
    *os << c.what;
}

class ParseTable : public testing::TestWithParam<ParseCase> {};

TEST_P(ParseTable, ValidOrSaysWhy)
{
    const ParseCase& c = GetParam();
    const TagRuleEntry entry = ParseAlertRule(c.keys);
    if (!c.error) {
        EXPECT_TRUE(entry.Rule) << entry.Error;
        EXPECT_EQ(entry.Error, "");
    } else {
        EXPECT_FALSE(entry.Rule);
        EXPECT_EQ(entry.Error, c.error);
    }
    EXPECT_EQ(entry.Keys, c.keys) << "the stored keys are kept as they were";
}

const AlertRuleKeys kLink{
    {"name", "Link"}, {"kind", "link"}, {"seconds", "30"}, {"severity", "critical"}, {"enabled", "false"}};
const AlertRuleKeys kAbove{{"name", "Busy"},  {"kind", "above"},       {"status", "Talking"}, {"seconds", "60"},
                           {"count", "2047"}, {"severity", "warning"}, {"enabled", "true"}};
const AlertRuleKeys kBelow{{"name", "Idle"}, {"kind", "below"},       {"status", "Idle"}, {"seconds", "0"},
                           {"count", "1"},   {"severity", "warning"}, {"enabled", "true"}};

AlertRuleKeys With(AlertRuleKeys keys, const std::string& key, const char* value)
{
    for (auto it = keys.begin(); it != keys.end(); ++it)
        if (it->first == key) {
            if (value)
                it->second = value;
            else
                keys.erase(it);
            return keys;
        }
    if (value)
        keys.emplace_back(key, value);
    return keys;
}

INSTANTIATE_TEST_SUITE_P(
    Keys, ParseTable,
    testing::Values(
        ParseCase{"stuck", StuckWith("name", "Long calls"), nullptr},
        ParseCase{"link rule needs no status", kLink, nullptr},
        ParseCase{"above at its highest count", kAbove, nullptr},
        ParseCase{"below at its lowest count, zero seconds", kBelow, nullptr},
        ParseCase{"kind in capitals, spaces around", StuckWith("kind", " Stuck "), nullptr},
        ParseCase{"seconds at the top of the range", StuckWith("seconds", "86400"), nullptr},
        ParseCase{"unknown key ignored", StuckWith("colour", "red"), nullptr},
        ParseCase{"status of a link rule ignored", With(kLink, "status", ""), nullptr},
        ParseCase{"GBK status", StuckWith("status", "\xcd\xa8\xbb\xb0"), nullptr},
        ParseCase{"no name", StuckWith("name", nullptr), "the key \"name\" is missing"},
        ParseCase{"blank name", StuckWith("name", "  "), "the name is empty"},
        ParseCase{"name with a line feed", StuckWith("name", "a\nb"), "the name holds a control character"},
        ParseCase{"long name", StuckWith("name", std::string(81, 'x').c_str()), "the name is longer than 80 bytes"},
        ParseCase{"no kind", StuckWith("kind", nullptr), "the key \"kind\" is missing"},
        ParseCase{"unknown kind", StuckWith("kind", "slow"),
                  "\"kind\" must be stuck, above, below, link or overdue, not \"slow\""},
        ParseCase{"no status", StuckWith("status", nullptr), "the key \"status\" is missing"},
        ParseCase{"empty status", StuckWith("status", ""), "the status is empty"},
        ParseCase{"no seconds", StuckWith("seconds", nullptr), "the key \"seconds\" is missing"},
        ParseCase{"seconds past the range", StuckWith("seconds", "86401"),
                  "\"seconds\" must be a whole number from 0 to 86400, not \"86401\""},
        ParseCase{"negative seconds", StuckWith("seconds", "-1"),
                  "\"seconds\" must be a whole number from 0 to 86400, not \"-1\""},
        ParseCase{"seconds with a unit", StuckWith("seconds", "30s"),
                  "\"seconds\" must be a whole number from 0 to 86400, not \"30s\""},
        ParseCase{"seconds past int", StuckWith("seconds", "99999999999"),
                  "\"seconds\" must be a whole number from 0 to 86400, not \"99999999999\""},
        ParseCase{"above without count", With(kAbove, "count", nullptr), "the key \"count\" is missing"},
        ParseCase{"above no board can pass", With(kAbove, "count", "2048"),
                  "\"count\" must be a whole number from 0 to 2047, not \"2048\""},
        ParseCase{"below no board can fall under", With(kBelow, "count", "0"),
                  "\"count\" must be a whole number from 1 to 2048, not \"0\""},
        ParseCase{"no severity", StuckWith("severity", nullptr), "the key \"severity\" is missing"},
        ParseCase{"bad severity", StuckWith("severity", "high"),
                  "\"severity\" must be warning or critical, not \"high\""},
        ParseCase{"no enabled", StuckWith("enabled", nullptr), "the key \"enabled\" is missing"},
        ParseCase{"bad enabled", StuckWith("enabled", "yes"), "\"enabled\" must be true or false, not \"yes\""},
        ParseCase{"a long bad value is cut", StuckWith("severity", std::string(50, 'w').c_str()),
                  "\"severity\" must be warning or critical, not \"wwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwww...\""}),
    [](const testing::TestParamInfo<ParseCase>& param) {
        std::string name;
        for (const char c : std::string(param.param.what))
            name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
        return name;
    });

TEST(AlertRuleTest, ReadsEveryValue)
{
    const TagRuleEntry entry = ParseAlertRule(kAbove);
    ASSERT_TRUE(entry.Rule);
    const TagAlertRule& r = *entry.Rule;
    EXPECT_EQ(r.Name, "Busy");
    EXPECT_EQ(r.Kind, AlertKind::Above);
    EXPECT_EQ(r.Status, "Talking");
    EXPECT_EQ(r.Seconds, 60);
    EXPECT_EQ(r.Count, 2047);
    EXPECT_EQ(r.Severity, AlertSeverity::Warning);
    EXPECT_TRUE(r.Enabled);

    const TagRuleEntry link = ParseAlertRule(kLink);
    ASSERT_TRUE(link.Rule);
    EXPECT_EQ(link.Rule->Kind, AlertKind::Link);
    EXPECT_EQ(link.Rule->Severity, AlertSeverity::Critical);
    EXPECT_FALSE(link.Rule->Enabled);
}

TEST(AlertRuleTest, StatusBytesAreKeptExactly)
{
    const TagRuleEntry entry = ParseAlertRule(StuckWith("status", " Talking "));
    ASSERT_TRUE(entry.Rule);
    EXPECT_EQ(entry.Rule->Status, " Talking ") << "the board's bytes are compared as they are";
}

TEST(AlertRuleTest, WrittenKeysReadBackToTheSameRule)
{
    for (const AlertRuleKeys& keys : {kLink, kAbove, kBelow, StuckWith("status", "\xcd\xa8\xbb\xb0")}) {
        const TagRuleEntry entry = ParseAlertRule(keys);
        ASSERT_TRUE(entry.Rule) << entry.Error;
        const AlertRuleKeys written = WriteAlertRule(*entry.Rule);
        const TagRuleEntry again = ParseAlertRule(written);
        ASSERT_TRUE(again.Rule) << again.Error;
        EXPECT_EQ(*again.Rule, *entry.Rule);
    }
}

TEST(AlertRuleTest, WritesOnlyTheKeysItsKindReads)
{
    TagAlertRule link;
    link.Name = "Link";
    link.Kind = AlertKind::Link;
    link.Status = "left over";
    link.Count = 7;
    link.Seconds = 30;
    const AlertRuleKeys expected{
        {"name", "Link"}, {"kind", "link"}, {"seconds", "30"}, {"severity", "warning"}, {"enabled", "true"}};
    EXPECT_EQ(WriteAlertRule(link), expected);
}

TEST(AlertRuleTest, ASecondRuleOfTheSameNameIsInvalidTheOthersStay)
{
    const std::vector<TagRuleEntry> entries =
        ParseAlertRules({kAbove, StuckWith("kind", "slow"), kLink, With(kBelow, "name", "Busy"), kBelow});
    ASSERT_EQ(entries.size(), 5u);
    EXPECT_TRUE(entries[0].Rule);
    EXPECT_FALSE(entries[1].Rule);
    EXPECT_TRUE(entries[2].Rule);
    EXPECT_FALSE(entries[3].Rule);
    EXPECT_EQ(entries[3].Error, "another rule has this name");
    EXPECT_TRUE(entries[4].Rule);
}

TEST(AlertRuleTest, AnInvalidRuleDoesNotTakeItsNameFromALaterValidOne)
{
    const std::vector<TagRuleEntry> entries = ParseAlertRules({With(kAbove, "count", "x"), kAbove});
    EXPECT_FALSE(entries[0].Rule);
    EXPECT_TRUE(entries[1].Rule);
}

TEST(AlertRuleTest, ReminderMinutes)
{
    EXPECT_EQ(ParseAlertOptions(std::nullopt).Options.ReminderMinutes, 15);
    EXPECT_EQ(ParseAlertOptions(std::nullopt).Error, "");
    EXPECT_EQ(ParseAlertOptions("0").Options.ReminderMinutes, 0);
    EXPECT_EQ(ParseAlertOptions("1440").Options.ReminderMinutes, 1440);
    const TagOptionsEntry bad = ParseAlertOptions("1441");
    EXPECT_EQ(bad.Options.ReminderMinutes, 15);
    EXPECT_EQ(bad.Error, "\"reminderMinutes\" must be a whole number from 0 to 1440, not \"1441\"");
}

} // namespace
