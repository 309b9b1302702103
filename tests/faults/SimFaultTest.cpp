// The link against the real simulator's own faults: garbage, oversize frames, closed connections,
// answers trickled a byte at a time, a server that stops answering, and the keep-alive settings
// of every socket the link opens.

#include "FaultSupport.h"
#include "board/Board.h"
#include "common/Texts.h"
#include "link/Link.h"
#include "link/Transport.h"
#include "settings/EventLog.h"
#include "sim/SimModel.h"
#include "support/LoopbackServer.h"
#include "support/SimProcess.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <cstdio>
#include <memory>
#include <regex>

using namespace std::chrono_literals;

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kLines = 8;
constexpr uint64_t kSeed = 5;

class SimFaultTest : public ::testing::Test {
protected:
    ScratchDir dir;
    CountingView view;
    MessageRecorder boxes;
    SimProcess sim;
    SharedConfig config;
    LinkTiming timing = FaultTiming();
    std::unique_ptr<TagTcpConnection> link;
    const SimModel model{kLines, SimLanguage::En, kSeed};

    void TearDown() override
    {
        link.reset();
        DestroyBoard();
    }

    // Starts the simulator with the board of model and the fault arguments, and the link to it.
    void Start(std::vector<std::string> args, int sleepSec = 0)
    {
        for (const char* a : {"--lines", "8", "--seed", "5", "--change-rate", "0"})
            args.push_back(a);
        ASSERT_TRUE(sim.Start(0, args)) << sim.error();
        config.Set(LoopbackRunCfg(sim.port(), sleepSec));
        link = std::make_unique<TagTcpConnection>(config, timing);
        ASSERT_TRUE(link->connected);
        link->StartWorker();
    }

    Clock::duration Stop()
    {
        const auto start = Clock::now();
        link.reset();
        return Clock::now() - start;
    }
};

// Each server fault, repeated on every connection: the link must come back each time, every line
// of the log must be the fault's own line or the reconnection, and the board must be the server's.
TEST_F(SimFaultTest, RepeatedServerFaultsAreLoggedAndRepaired)
{
    struct Fault {
        const char* name;
        std::vector<std::string> args;
        const char* line;
    } faults[] = {
        {"garbage", {"--garbage-after", "2"}, R"(packLen Err, packLen=1, size=\d+)"},
        {"oversize", {"--oversize-after", "1"}, R"(packLen Err, packLen=(299[0-9][7-9]|[3-9]\d{4}|\d{6,}), size=\d+)"},
        {"close",
         {"--close-after", "1"},
         R"((recv\(\)<=0, len=(0|-1)|send\(\)<5 Err, len=-?\d+), errNo=\d+\[0x[0-9a-f]+\])"},
    };
    constexpr size_t kRepairs = 5;
    for (const Fault& f : faults) {
        SCOPED_TRACE(f.name);
        Start(f.args, 1);
        ASSERT_TRUE(WaitFor([] { return LogCount(Texts::kReconnected) >= kRepairs; }, 20s));
        ASSERT_TRUE(WaitFor([&] { return BoardDiff(model).empty(); }, 5s)) << BoardDiff(model);
        link.reset();
        sim.Kill();

        const std::vector<std::string> log = LogMessages();
        const std::regex faultLine(f.line);
        size_t faultLines = 0;
        for (const std::string& m : log) {
            if (std::regex_match(m, faultLine))
                ++faultLines;
            else
                EXPECT_EQ(m, Texts::kReconnected);
        }
        EXPECT_GE(faultLines, kRepairs);
        std::printf("%s: %zu faults, %zu reconnections\n", f.name, faultLines, LogCount(Texts::kReconnected));
        std::remove(kLogFileName);
        DestroyBoard();
    }
    EXPECT_TRUE(boxes.messages().empty());
}

TEST_F(SimFaultTest, AnswersTrickledAByteAtATimeAreDecoded)
{
    Start({"--chunk", "1"});
    ASSERT_TRUE(WaitFor([&] { return BoardDiff(model).empty(); }, 20s)) << BoardDiff(model);
    EXPECT_EQ(view.linkDowns, 0);
    EXPECT_TRUE(LogMessages().empty());
}

// The server takes the polls but never answers again (or never at all): the link waits without
// limit, as it should, and stops at once however long its longest stop wait is.
TEST_F(SimFaultTest, SilentServerDoesNotHoldUpTheStop)
{
    timing.stopWait = 1h;
    for (const char* after : {"0", "1"}) {
        SCOPED_TRACE(after);
        Start({"--stall-after", after});
        if (std::string(after) == "1") {
            ASSERT_TRUE(WaitFor([&] { return BoardDiff(model).empty(); }, 5s)) << BoardDiff(model);
        }
        std::this_thread::sleep_for(200ms);
        EXPECT_TRUE(link->connected);
        const auto took = Stop();
        EXPECT_LT(took, 1s);
        std::printf("silent after %s answers: stopped in %.1f ms\n", after,
                    std::chrono::duration<double, std::milli>(took).count());
        sim.Kill();
        DestroyBoard();
    }
    EXPECT_TRUE(LogMessages().empty());
}

TEST_F(SimFaultTest, AnswerDelayedPastTheStopDoesNotHoldItUp)
{
    timing.stopWait = 1h;
    Start({"--delay-ms", "60000"});
    std::this_thread::sleep_for(100ms);
    const auto took = Stop();
    EXPECT_LT(took, 1s);
    std::printf("answer delayed 60 s: stopped in %.1f ms\n", std::chrono::duration<double, std::milli>(took).count());
}

// A server host that vanishes without closing the connection is found by keep-alive probes; both
// the first socket and the one a reconnection opens must carry the settings.
TEST_F(SimFaultTest, EverySocketOfTheLinkProbesAnIdlePeer)
{
    Start({});
    const int port = sim.port();
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        std::vector<int> sockets;
        ASSERT_TRUE(WaitFor([&] { return (sockets = SocketsTo(port)).size() == 1; }, 5s));
        const int s = sockets[0];
        EXPECT_EQ(IntOption(s, SOL_SOCKET, SO_KEEPALIVE), 1);
        EXPECT_EQ(IntOption(s, IPPROTO_TCP, TCP_KEEPIDLE), kKeepAliveIdleSec);
        EXPECT_EQ(IntOption(s, IPPROTO_TCP, TCP_KEEPINTVL), kKeepAliveIntervalSec);
        EXPECT_EQ(IntOption(s, IPPROTO_TCP, TCP_KEEPCNT), kKeepAliveProbes);
        if (round == 0) {
            sim.Kill();
            ASSERT_TRUE(WaitFor([&] { return view.linkDowns > 0; }));
            ASSERT_TRUE(sim.Start(port, {"--lines", "8", "--seed", "5", "--change-rate", "0"})) << sim.error();
            ASSERT_TRUE(WaitFor([] { return LogCount(Texts::kReconnected) == 1; }, 5s));
        }
    }
    // Idle 10 s, then 3 probes 5 s apart: a silent peer is given up after 25 s.
    EXPECT_EQ(kKeepAliveIdleSec + kKeepAliveProbes * kKeepAliveIntervalSec, 25);
}

} // namespace
