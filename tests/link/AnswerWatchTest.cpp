#include "link/AnswerWatch.h"

#include "board/Board.h"
#include "link/Link.h"
#include "link/Protocol.h"
#include "support/Frames.h"
#include "support/LoopbackServer.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

TEST(AnswerWatchTest, OverdueOnlyWhileUpAndWaitingLongerThanAllowed)
{
    SharedConfig config;
    TagTcpConnection link{config, LinkTiming(), NoConnect{}}; // overdue after the program's 30 s
    const int64_t sent = 1'000'000;
    const struct {
        const char* what;
        bool connected;
        int64_t pollSentAt;
        int64_t now;
        bool overdue;
        int64_t waited;
    } cases[] = {
        {"no poll waiting", true, 0, sent + 60'000, false, 0},
        {"just sent", true, sent, sent, false, 0},
        {"exactly the limit", true, sent, sent + 30'000, false, 30'000},
        {"one past the limit", true, sent, sent + 30'001, true, 30'001},
        {"long overdue", true, sent, sent + 45'000, true, 45'000},
        {"link down", false, sent, sent + 45'000, false, 0},
        {"clock read before the send", true, sent, sent - 5, false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        link.connected = c.connected;
        link.pollSentAt = c.pollSentAt;
        link.lastAnswerAt = 77;
        const AnswerWait w = WatchAnswer(link, c.now);
        EXPECT_EQ(w.overdue, c.overdue);
        EXPECT_EQ(w.waitedMs, c.waited);
        EXPECT_EQ(w.lastAnswerAt, 77);
    }
}

// A server that takes the poll and never answers, then answers after all.
TEST(AnswerWatchTest, AStallIsReportedOnceAndEndsWithTheNextAnswer)
{
    ScratchDir dir;
    RecordingView view;
    LoopbackServer server;
    SharedConfig config;
    config.Set(LoopbackRunCfg(server.port(), 1));
    LinkTiming timing = ShortTiming();
    timing.answerOverdue = 50ms;
    timing.sleepUnit = 1h; // one answer, then the worker sits in its pause of an hour
    TagTcpConnection link{config, timing};
    Peer peer = server.Accept();
    ASSERT_TRUE(link.connected);
    ASSERT_EQ(peer.Read(5), "00011");
    link.StartWorker();
    EXPECT_EQ(link.lastAnswerAt.load(), 0);

    ASSERT_TRUE(WaitFor([&] { return WatchAnswer(link, SteadyMs()).overdue; }));
    EXPECT_GT(WatchAnswer(link, SteadyMs()).waitedMs, 50);
    EXPECT_TRUE(TakeOverdueReport(link));
    EXPECT_FALSE(TakeOverdueReport(link)); // once per stall
    EXPECT_TRUE(link.connected) << "an overdue answer does not drop the link";

    const int64_t before = SteadyMs();
    ASSERT_TRUE(peer.Send(Frame(1, Record(0, 0, 0, 15, "late"))));
    ASSERT_TRUE(WaitFor([&] { return link.lastAnswerAt.load() != 0; }));
    EXPECT_GE(link.lastAnswerAt.load(), before);
    const AnswerWait after = WatchAnswer(link, SteadyMs() + 60'000);
    EXPECT_FALSE(after.overdue) << "no poll waits during the pause";
    EXPECT_EQ(after.waitedMs, 0);
    DestroyBoard();
}

} // namespace
