#include "probe/ProbeRange.h"

#include <gtest/gtest.h>

#include <vector>

TEST(ProbeRange, AlertsAsTheGuidelinesSay)
{
    // For each range, the values that alert and the values that do not.
    const struct {
        const char* range;
        std::vector<double> alert;
        std::vector<double> quiet;
    } cases[] = {
        {"10", {-1, 10.5, 11, 2048}, {0, 5, 10}},
        {"0", {-0.5, 1}, {0}},
        {"10:", {-1, 0, 9, 9.99}, {10, 11, 2048}},
        {"~:10", {10.01, 11, 2048}, {-1000, 0, 10}},
        {"10:20", {9, 21, 0}, {10, 15, 20}},
        {"@10:20", {10, 15, 20}, {9, 21, 0}},
        {"@10", {0, 5, 10}, {-1, 11}},
        {"@~:10", {-5, 10}, {11}},
        {"@10:", {10, 2048}, {9}},
        {":10", {-1, 11}, {0, 10}},
        {"~:", {}, {-1e9, 0, 1e9}},
        {"-5:-1", {0, -6}, {-5, -1, -3}},
        {"1.5:2.5", {1, 3}, {1.5, 2, 2.5}},
        {"+3", {4}, {0, 3}},
        {"10:10", {9, 11}, {10}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.range);
        ProbeRange r;
        ASSERT_TRUE(ParseRange(c.range, r));
        for (double v : c.alert)
            EXPECT_TRUE(r.Alerts(v)) << v;
        for (double v : c.quiet)
            EXPECT_FALSE(r.Alerts(v)) << v;
    }
}

TEST(ProbeRange, WhatIsNotARangeIsRefusedAndLeavesTheRangeAlone)
{
    for (const char* text : {"",    "@",   "~",   "abc", "10x",   "x:10", "10:x", "20:10", "@20:10", "1e3",  "0x10",
                             "inf", "nan", " 10", "10 ", "1:2:3", "--1",  ".",    "1..2",  "~10",    "@@10", "10:~"}) {
        ProbeRange r;
        r.start = 7;
        r.end = 8;
        EXPECT_FALSE(ParseRange(text, r)) << "'" << text << "'";
        EXPECT_EQ(r.start, 7);
        EXPECT_EQ(r.end, 8);
    }
}
