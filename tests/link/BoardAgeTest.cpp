#include "link/BoardAge.h"

#include "link/Link.h"

#include <gtest/gtest.h>

namespace {

TEST(BoardAgeTest, SaysHowOldTheDataIsOnlyWhenItIsOld)
{
    const int64_t now = 10'000'000;
    const struct {
        const char* what;
        bool connected;
        AnswerWait wait;
        const char* text;
    } cases[] = {
        {"up, answering", true, {false, 800, now - 900}, ""},
        {"up, no poll waiting", true, {false, 0, now - 5'000}, ""},
        {"up, first answer awaited", true, {false, 2'000, 0}, ""},
        {"overdue", true, {true, 45'000, now - 46'500}, "Answer overdue (waited 45 s): data 46 s old"},
        {"overdue before any answer", true, {true, 31'000, 0}, "Answer overdue (waited 31 s): no answer yet"},
        {"down", false, {false, 0, now - 125'000}, "Link down: data 2 min 5 s old"},
        {"down before any answer", false, {false, 0, 0}, "Link down: no answer yet"},
        {"down, the answer read after now", false, {false, 0, now + 10}, "Link down: data 0 s old"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(BoardAgeText(c.connected, c.wait, now), c.text);
    }
}

// The link's own figures, as the overview reads them at a tick.
TEST(BoardAgeTest, FollowsTheLinksAnswerWatch)
{
    SharedConfig config;
    TagTcpConnection link{config, LinkTiming(), NoConnect{}};
    const int64_t now = 5'000'000;
    link.connected = true;
    link.lastAnswerAt = now - 40'000;
    link.pollSentAt = now - 35'000; // the program's 30 s: overdue
    EXPECT_EQ(BoardAgeText(link.connected, WatchAnswer(link, now), now), "Answer overdue (waited 35 s): data 40 s old");
    link.pollSentAt = now - 1'000;
    EXPECT_EQ(BoardAgeText(link.connected, WatchAnswer(link, now), now), "");
    link.connected = false;
    EXPECT_EQ(BoardAgeText(link.connected, WatchAnswer(link, now), now), "Link down: data 40 s old");
}

} // namespace
