#include "link/Link.h"

#include "board/Board.h"
#include "common/Texts.h"
#include "link/Transport.h"
#include "settings/EventLog.h"
#include "support/Frames.h"
#include "support/LoopbackServer.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <thread>

#ifdef __linux__
#include <arpa/inet.h>
#include <dirent.h>
#include <fstream>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

using namespace std::chrono_literals;

namespace {

#ifdef __linux__
// The descriptor of this process's client socket connected to 127.0.0.1:port, or -1.
int ClientSocketTo(int port)
{
    int found = -1;
    DIR* fds = ::opendir("/proc/self/fd");
    if (!fds)
        return -1;
    while (dirent* e = ::readdir(fds)) {
        const int fd = std::atoi(e->d_name);
        sockaddr_in peer{};
        sockaddr_in self{};
        socklen_t peerLen = sizeof peer;
        socklen_t selfLen = sizeof self;
        if (e->d_name[0] != '.' && fd != ::dirfd(fds) &&
            ::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &peerLen) == 0 && peer.sin_family == AF_INET &&
            ntohs(peer.sin_port) == port && ::getsockname(fd, reinterpret_cast<sockaddr*>(&self), &selfLen) == 0 &&
            ntohs(self.sin_port) != port)
            found = fd;
    }
    ::closedir(fds);
    return found;
}

// Whether the thread tid is asleep in nanosleep (std::this_thread::sleep_for), as the kernel sees it.
bool InNanosleep(long tid)
{
    std::ifstream in("/proc/self/task/" + std::to_string(tid) + "/syscall");
    long number = -1;
    if (!(in >> number))
        return false; // "running"
#ifdef SYS_nanosleep
    if (number == SYS_nanosleep)
        return true;
#endif
    return number == SYS_clock_nanosleep;
}
#endif

using Clock = std::chrono::steady_clock;

int NoResolver(const char*, uint32_t&)
{
    return -1;
}

class WorkerTest : public ::testing::Test {
protected:
    ScratchDir dir;
    RecordingView view;
    MessageRecorder boxes;
    LoopbackServer server;
    SharedConfig config;
    LinkTiming timing = ShortTiming();
    std::unique_ptr<TagTcpConnection> link;

    void SetUp() override { config.Set(LoopbackRunCfg(server.port(), 0)); }
    void TearDown() override
    {
        link.reset();
        DestroyBoard();
        LinkResolver = &NetResolveHost;
    }

    template <class F> void Configure(F change)
    {
        TagRunCfg c = config.Get();
        change(c);
        config.Set(c);
    }

    // Connects, takes the first poll on the server side and starts the worker.
    Peer Start()
    {
        link = std::make_unique<TagTcpConnection>(config, timing);
        Peer peer = server.Accept();
        EXPECT_TRUE(link->connected);
        EXPECT_EQ(peer.Read(5), "00011");
        link->StartWorker();
        return peer;
    }

    // How long the stop of the link takes.
    Clock::duration Stop()
    {
        const auto start = Clock::now();
        link.reset();
        return Clock::now() - start;
    }

    bool Called(const std::string& call)
    {
        return WaitFor([&] {
            auto calls = view.calls();
            return std::find(calls.begin(), calls.end(), call) != calls.end();
        });
    }
    bool Logged(const std::string& message)
    {
        return WaitFor([&] {
            auto log = LogMessages();
            return std::find(log.begin(), log.end(), message) != log.end();
        });
    }
    std::string CellText(int line, int column)
    {
        BoardLock boardLock(CurBoardLock);
        if (!CurBoard || line >= CurBoard->LineCount)
            return "<none>";
        BoardLock cellLock(CurBoard->Lock);
        return CurBoard->Rows[size_t(line)].Cols[column].Text;
    }
};

// The timing the program runs with; tests shorten their own copies (the start-up tests check that the
// main window is given exactly this).
TEST(LinkTimingTest, ProgramValues)
{
    const LinkTiming t;
    EXPECT_EQ(t.firstConnectTimeout, 10s);
    EXPECT_EQ(t.reconnectTimeout, 30s);
    EXPECT_EQ(t.connectStep, 80ms);
    EXPECT_EQ(t.settlePause, 200ms);
    EXPECT_EQ(t.settleCount, 4);
    EXPECT_EQ(t.reconnectPause, 1s);
    EXPECT_EQ(t.reconnectPauses, 8);
    EXPECT_EQ(t.stopWait, 12s);
    EXPECT_EQ(t.sleepUnit, 1000ms);
}

TEST_F(WorkerTest, FirstConnectSendsExactlyOnePollAndShowsTheLinkUp)
{
    link = std::make_unique<TagTcpConnection>(config, timing);
    Peer peer = server.Accept();
    EXPECT_TRUE(link->connected);
    EXPECT_EQ(peer.Read(6, 200ms), "00011");
    EXPECT_EQ(view.calls(), std::vector<std::string>{"link up"});
    EXPECT_TRUE(boxes.messages().empty());
}

// After the connect, the constructor settles: pauses, each followed by a readiness check. A failed
// check leaves the link down, silently: no box, no poll, no link-up. The check is made to fail by
// closing the link's socket underneath it while the constructor sleeps in a pause; the kernel says
// when it does, so nothing here rests on timing.
TEST_F(WorkerTest, FailedReadinessCheckWhileSettlingLeavesTheLinkDownWithoutABox)
{
#ifndef __linux__
    GTEST_SKIP() << "finding the link's socket and the sleeping thread needs Linux's /proc";
#else
    timing.connectStep = 1ms;
    timing.settlePause = 100ms;
    const long constructing = ::syscall(SYS_gettid);
    const int port = server.port();
    bool closed = false;
    Peer peer;
    std::thread closer([&] {
        // The server's side first: the connection exists, so the socket is the link's. Taking it
        // here also tells ThreadSanitizer that the socket was opened before this thread closes it,
        // which it cannot learn from /proc.
        peer = server.Accept();
        int fd = -1;
        // Connected and asleep: ConnectStep has handed the socket to the link and settling began.
        if (peer.valid() && WaitFor([&] { return (fd = ClientSocketTo(port)) >= 0 && InNanosleep(constructing); }))
            closed = ::close(fd) == 0;
    });
    link = std::make_unique<TagTcpConnection>(config, timing);
    closer.join();
    ASSERT_TRUE(closed);
    link->linkSocket = kNoSocket; // closed already: the number may not be the link's to close again
    EXPECT_FALSE(link->connected);
    EXPECT_TRUE(boxes.messages().empty());
    EXPECT_TRUE(view.calls().empty());
    EXPECT_EQ(peer.Read(5, 200ms), ""); // no poll went out
    EXPECT_TRUE(LogMessages().empty());
#endif
}

TEST_F(WorkerTest, FailedFirstConnectShowsTheBoxInTheChosenLanguage)
{
    const int port = ClosedPort();
    for (uint8_t english : {0, 1}) {
        SCOPED_TRACE(int(english));
        Configure([&](TagRunCfg& c) {
            c.ServerPort = port;
            c.IsEnglish = english;
        });
        const unsigned connects = NetConnectCalls.load();
        link.reset();
        const auto start = Clock::now();
        link = std::make_unique<TagTcpConnection>(config, timing);
        EXPECT_GE(Clock::now() - start, timing.firstConnectTimeout);
        EXPECT_EQ(NetConnectCalls.load() - connects, 1u);
        EXPECT_FALSE(link->connected);
        link->StartWorker(); // refused: no worker on a link that is down
        EXPECT_FALSE(link->worker.joinable());
    }
    auto boxesShown = boxes.messages();
    ASSERT_EQ(boxesShown.size(), 2u);
    EXPECT_EQ(boxesShown[0].text, Format(Texts::kConnectFailedZh, "127.0.0.1", port));
    EXPECT_EQ(boxesShown[1].text, Format(Texts::kConnectFailedEn, "127.0.0.1", port));
    for (const TagMessage& m : boxesShown) {
        EXPECT_EQ(m.caption, "TCP/IP");
        EXPECT_EQ(m.icon, MsgIcon::Error);
    }
    EXPECT_TRUE(view.calls().empty());
}

TEST_F(WorkerTest, LongAddressIsCutToKeepTheMessageShort)
{
    LinkResolver = &NoResolver;
    Configure([](TagRunCfg& c) {
        c.ServerIp = std::string(300, 'a');
        c.IsEnglish = 1;
    });
    link = std::make_unique<TagTcpConnection>(config, timing);
    ASSERT_EQ(boxes.messages().size(), 1u);
    const std::string text = boxes.messages()[0].text;
    const std::string tail = Format(":%d' failed, Checking network or CTI Server.", server.port());
    EXPECT_EQ(text.size(), 251u);
    EXPECT_EQ(text, "Connect to '" + std::string(251 - 12 - tail.size(), 'a') + tail);
}

TEST_F(WorkerTest, FrameSplitOverManyReadsIsAppliedWhenWholeThenPolledAgain)
{
    Peer peer = Start();
    const std::string frame = Frame(4, Record(3, 5, 2, 15, "Dialing") + Record(-1, 0, 0, 0, "total 4"));
    for (size_t i = 0; i + 1 < frame.size(); ++i) {
        ASSERT_TRUE(peer.Send(frame.substr(i, 1)));
        std::this_thread::sleep_for(2ms);
    }
    EXPECT_EQ(peer.Read(5, 100ms), "");
    EXPECT_EQ(CellText(3, 5), "<none>");

    ASSERT_TRUE(peer.Send(frame.substr(frame.size() - 1)));
    EXPECT_EQ(peer.Read(5), "00011");
    EXPECT_EQ(CellText(3, 5), "Dialing");
    std::vector<std::string> expected = {"link up", "layout:4", "summary:total 4"};
    EXPECT_EQ(view.calls(), expected);
}

TEST_F(WorkerTest, SecondFrameOfOneReadIsDecodedAfterThePause)
{
    timing.sleepUnit = 500ms;
    Configure([](TagRunCfg& c) { c.SleepSec = 1; });
    Peer peer = Start();
    peer.Send(Frame(1, Record(-1, 0, 0, 0, "one")) + Frame(1, Record(-1, 0, 0, 0, "two"), false));

    // The first frame is applied, then the pause; the second waits for the pass after it.
    ASSERT_TRUE(Called("summary:one"));
    auto calls = view.calls();
    EXPECT_EQ(std::find(calls.begin(), calls.end(), "summary:two"), calls.end());

    // Nothing more comes from the server: the held frame alone leads to the next poll.
    EXPECT_EQ(peer.Read(10), "0001100011");
    std::vector<std::string> expected = {"link up", "layout:1", "summary:one", "summary:two"};
    EXPECT_EQ(view.calls(), expected);
}

TEST_F(WorkerTest, BytesBeyondAFullBufferWaitForTheNextPass)
{
    // 29000 bytes of one frame and the next frame behind them: more than the buffer holds at once.
    std::string records = Record(-1, 0, 0, 0, "big");
    for (int line = 0; records.size() < 28990; line = (line + 1) % 100)
        records += Record(line, line % 8, 1, 2, "0123456789");
    Peer peer = Start();
    peer.Send(Frame(100, records, false) + Frame(100, Record(-1, 0, 0, 0, "small") + Record(99, 7, 0, 0, "end")));
    EXPECT_EQ(peer.Read(10), "0001100011");
    EXPECT_TRUE(Called("summary:small"));
    EXPECT_EQ(CellText(99, 7), "end");
    EXPECT_TRUE(LogMessages().empty());
}

TEST_F(WorkerTest, ServerCloseIsLoggedAndRepairedByAReconnection)
{
    timing.sleepUnit = 1h; // a reconnection polls at once, without the poll pause
    Configure([](TagRunCfg& c) {
        c.IsEnglish = 1;
        c.SleepSec = 1;
    });
    Peer peer = Start();
    peer.Close();

    Peer again = server.Accept();
    ASSERT_TRUE(again.valid());
    EXPECT_EQ(again.Read(5), "00011");
    ASSERT_TRUE(WaitFor([&] { return view.calls().size() == 3; }));
    std::vector<std::string> calls = {"link up", "link down", "link up"};
    EXPECT_EQ(view.calls(), calls);
    std::vector<std::string> log = {"recv()<=0, len=0, errNo=0[0x0]",
                                    "\xD2\xD1\xBE\xAD\xD6\xD8\xD0\xC2\xC1\xAC\xBD\xD3\xC9\xCF."};
    EXPECT_EQ(LogMessages(), log);

    // The new connection starts with an empty buffer and works as the first did.
    again.Send(Frame(1, Record(0, 0, 0, 0, "back")));
    EXPECT_TRUE(WaitFor([&] { return CellText(0, 0) == "back"; }));
}

TEST_F(WorkerTest, FailedReconnectionIsLoggedAndRetried)
{
    Peer peer = Start();
    server.StopListening();
    peer.Close();
    EXPECT_TRUE(WaitFor([&] {
        auto log = LogMessages();
        return std::count(log.begin(), log.end(), Texts::kReconnectFailed) >= 2;
    }));
    EXPECT_EQ(LogMessages()[1], "\xD6\xD8\xD0\xC2\xC1\xAC\xBD\xD3\xB2\xBB\xC9\xCF.");
    auto calls = view.calls();
    EXPECT_GE(std::count(calls.begin(), calls.end(), "link down"), 2);
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "link up"), 1);
}

TEST_F(WorkerTest, OversizeFrameDropsTheLinkAndTheNextConnectionStartsClean)
{
    Peer peer = Start();
    peer.Send(Binary32(0x7FFFFFFF) + "x");
    EXPECT_TRUE(Logged("packLen Err, packLen=2147483647, size=5"));
    Peer again = server.Accept();
    EXPECT_EQ(again.Read(5), "00011");
    again.Send(Frame(2, Record(1, 1, 0, 0, "ok")));
    EXPECT_EQ(again.Read(5), "00011");
    EXPECT_EQ(CellText(1, 1), "ok");
}

TEST_F(WorkerTest, NegativeSleepSecPausesNotAtAll)
{
    timing.sleepUnit = 1h;
    Configure([](TagRunCfg& c) { c.SleepSec = -5; });
    Peer peer = Start();
    peer.Send(Frame(1, ""));
    EXPECT_EQ(peer.Read(5), "00011");
}

TEST_F(WorkerTest, StopDuringThePollPauseIsPrompt)
{
    timing.sleepUnit = 1h;
    timing.stopWait = 1h;
    Configure([](TagRunCfg& c) { c.SleepSec = 1; });
    Peer peer = Start();
    peer.Send(Frame(1, Record(-1, 0, 0, 0, "handled")));
    ASSERT_TRUE(Called("summary:handled"));
    EXPECT_LT(Stop(), 5s);
    EXPECT_EQ(peer.Read(5, 1s), ""); // closed without a further poll
}

TEST_F(WorkerTest, StopDuringTheReconnectionWaitIsPrompt)
{
    timing.reconnectPause = 1h;
    timing.stopWait = 1h;
    Peer peer = Start();
    peer.Close();
    ASSERT_TRUE(Called("link down"));
    EXPECT_LT(Stop(), 5s);
    EXPECT_EQ(LogMessages(), std::vector<std::string>{"recv()<=0, len=0, errNo=0[0x0]"});
}

TEST_F(WorkerTest, StopDuringAConnectEndsTheAttempt)
{
    timing.reconnectTimeout = 1h;
    timing.stopWait = 1h;
    Peer peer = Start();
    const unsigned connects = NetConnectCalls.load();
    server.StopListening();
    peer.Close();
    ASSERT_TRUE(WaitFor([&] { return NetConnectCalls.load() > connects; }));
    EXPECT_LT(Stop(), 5s);
    std::vector<std::string> log = {"recv()<=0, len=0, errNo=0[0x0]", Texts::kReconnectFailed};
    EXPECT_EQ(LogMessages(), log);
}

TEST_F(WorkerTest, StopRightAfterStartWaitsForTheWorker)
{
    for (int i = 0; i < 20; ++i) {
        link = std::make_unique<TagTcpConnection>(config, timing);
        Peer peer = server.Accept();
        ASSERT_TRUE(link->connected);
        link->StartWorker();
        EXPECT_FALSE(link->workerDone);
        link.reset();
        EXPECT_TRUE(peer.WaitClosed());
    }
}

} // namespace
