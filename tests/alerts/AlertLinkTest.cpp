// The alerts over the real link: a loopback server sends a 2048-line board whose every line already
// shows the status the rules look for, and the tick reads the board and the link as the GUI will.
#include "AlertScene.h"
#include "link/Link.h"
#include "support/Frames.h"
#include "support/LoopbackServer.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

class AlertLinkTest : public testing::Test {
protected:
    ScratchDir dir;
    RecordingView view;
    MessageRecorder boxes;
    LoopbackServer server;
    SharedConfig config;
    std::unique_ptr<TagTcpConnection> link;
    LogCapture log;
    RecordingNotifier notifier;
    TAlertCenter center{&notifier, &DecodeForTest};

    void SetUp() override
    {
        TagRunCfg cfg = config.Get();
        cfg.ServerIp = "127.0.0.1";
        cfg.ServerPort = server.port();
        cfg.SleepSec = 0;
        config.Set(cfg);
        BoardBusy.store(0);
    }
    void TearDown() override
    {
        link.reset();
        DestroyBoard();
    }

    // One tick as the window's timer will run it: the board sampled under its locks, judged after.
    void Tick()
    {
        const BoardTime now = std::chrono::steady_clock::now();
        bool sampled = false;
        {
            BoardLock boardLock(CurBoardLock);
            if (CurBoard && BoardBusy.load() == 0) {
                BoardLock cellLock(CurBoard->Lock);
                SampleBoard(*CurBoard, center.Statuses(), center.BoardSample());
                sampled = true;
            }
        }
        center.Tick(sampled, SampleLink(link.get(), now, SteadyMs()), now);
    }
};

TEST_F(AlertLinkTest, ABoardOf2048LinesAlreadyPastTheThresholdGivesOneNotification)
{
    center.SetRules({Rule("Long calls", "stuck", "Talking", 1), Rule("Busy", "above", "Talking", 1, 2000),
                     Rule("Down", "link", "", 1, 0, "critical")});
    link = std::make_unique<TagTcpConnection>(config, ShortTiming());
    Peer peer = server.Accept();
    ASSERT_TRUE(link->connected);
    ASSERT_EQ(peer.Read(5), "00011");
    link->StartWorker();

    // The whole board in one answer, with a binary length field (a text one counts only to 9999).
    std::string records;
    for (int line = 0; line < kMaxLines; ++line)
        records += Record(line, 2, 15, 1, "Talking");
    ASSERT_TRUE(peer.Send(Frame(kMaxLines, records, false)));
    ASSERT_EQ(peer.Read(5), "00011");
    ASSERT_TRUE(WaitFor([] {
        BoardLock boardLock(CurBoardLock);
        if (!CurBoard)
            return false;
        BoardLock cellLock(CurBoard->Lock);
        return CurBoard->Rows[kMaxLines - 1].Cols[2].Text == "Talking";
    }));

    // Ticks until both board rules have been active for a second; the link stays up (the last poll
    // waits, far from overdue).
    const auto end = std::chrono::steady_clock::now() + 10s;
    std::optional<std::chrono::steady_clock::time_point> bothActive;
    while (std::chrono::steady_clock::now() < end) {
        Tick();
        if (!bothActive && center.Book().Active(0) && center.Book().Active(1))
            bothActive = std::chrono::steady_clock::now();
        if (bothActive && std::chrono::steady_clock::now() - *bothActive > 1s)
            break;
        std::this_thread::sleep_for(50ms);
    }
    ASSERT_TRUE(bothActive);
    EXPECT_FALSE(center.Book().Active(2));
    // The two may cross their thresholds a tick apart: the second then joins the first's
    // notification, replacing it in place.
    ASSERT_FALSE(notifier.calls.empty());
    for (const auto& call : notifier.calls) {
        EXPECT_TRUE(call.show);
        EXPECT_EQ(call.key, notifier.calls[0].key) << "one notification, not one per line or per rule";
    }
    EXPECT_LE(notifier.calls.size(), 2u);
    EXPECT_EQ(notifier.calls.back().text.Title, "2 alerts active");
    EXPECT_EQ(notifier.calls.back().text.Body, "Long calls: 2048 lines Talking for more than 1 s\n"
                                               "Busy: 2048 lines Talking, more than 2000, for more than 1 s");
    EXPECT_EQ(log.Messages(),
              (std::vector<std::string>{"alert start: Long calls (2048 lines)", "alert start: Busy (2048 lines)"}));
}

} // namespace
