#include "common/SpanText.h"

#include <gtest/gtest.h>

namespace {

TEST(SpanTextTest, LargestTwoUnitsAndNoZeroTail)
{
    const struct {
        int64_t seconds;
        const char* text;
    } cases[] = {
        {-3, "0 s"},         {0, "0 s"},
        {59, "59 s"},        {60, "1 min"},
        {252, "4 min 12 s"}, {3599, "59 min 59 s"},
        {3600, "1 h"},       {3660, "1 h 1 min"},
        {3725, "1 h 2 min"}, {86399, "23 h 59 min"},
        {86400, "1 d"},      {2 * 86400 + 5 * 3600 + 59, "2 d 5 h"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SpanText(c.seconds), c.text) << c.seconds;
}

} // namespace
