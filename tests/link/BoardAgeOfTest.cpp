#include "link/AnswerWatch.h"

#include "link/Link.h"

#include <gtest/gtest.h>

// Readable in a failure message.
void PrintTo(const TagBoardAge& a, std::ostream* os)
{
    *os << "{why " << int(a.why) << ", waited " << a.waitedSeconds << " s, age " << a.ageSeconds << " s}";
}

namespace {

using Why = TagBoardAge::Why;

TEST(BoardAgeOfTest, SaysHowOldTheDataIsOnlyWhenItIsOld)
{
    const int64_t now = 10'000'000;
    const struct {
        const char* what;
        bool connected;
        AnswerWait wait;
        TagBoardAge age;
    } cases[] = {
        {"up, answering", true, {false, 800, now - 900}, {Why::Fresh, 0, -1}},
        {"up, no poll waiting", true, {false, 0, now - 5'000}, {Why::Fresh, 0, -1}},
        {"up, first answer awaited", true, {false, 2'000, 0}, {Why::Fresh, 0, -1}},
        {"overdue", true, {true, 45'000, now - 46'500}, {Why::Overdue, 45, 46}},
        {"overdue before any answer", true, {true, 31'000, 0}, {Why::Overdue, 31, -1}},
        {"down", false, {false, 0, now - 125'000}, {Why::LinkDown, 0, 125}},
        {"down before any answer", false, {false, 0, 0}, {Why::LinkDown, 0, -1}},
        {"down, the answer read after now", false, {false, 0, now + 10}, {Why::LinkDown, 0, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(BoardAgeOf(c.connected, c.wait, now), c.age);
    }
}

// The link's own figures, as the overview reads them at a tick.
TEST(BoardAgeOfTest, FollowsTheLinksAnswerWatch)
{
    SharedConfig config;
    TagTcpConnection link{config, LinkTiming(), NoConnect{}};
    const int64_t now = 5'000'000;
    link.connected = true;
    link.lastAnswerAt = now - 40'000;
    link.pollSentAt = now - 35'000; // the program's 30 s: overdue
    EXPECT_EQ(BoardAgeOf(link.connected, WatchAnswer(link, now), now), (TagBoardAge{Why::Overdue, 35, 40}));
    link.pollSentAt = now - 1'000;
    EXPECT_EQ(BoardAgeOf(link.connected, WatchAnswer(link, now), now), TagBoardAge{});
    link.connected = false;
    EXPECT_EQ(BoardAgeOf(link.connected, WatchAnswer(link, now), now), (TagBoardAge{Why::LinkDown, 0, 40}));
}

} // namespace
