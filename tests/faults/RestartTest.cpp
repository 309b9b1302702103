// The server process killed without warning and started again, a hundred times, with the link
// running all along: it must come back every time with the new server's board, and neither memory
// nor descriptors may grow with the restarts.

#include "FaultSupport.h"
#include "board/Board.h"
#include "common/Texts.h"
#include "link/Link.h"
#include "sim/SimModel.h"
#include "support/LoopbackServer.h"
#include "support/SimProcess.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>

using namespace std::chrono_literals;

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kRestarts = 100;
constexpr int kWarmUpRestarts = 10;

// Each server has its own line count and seed, so a board left over from the last one shows. The
// first has the most lines, so the heap has seen its largest board before memory is first measured.
int LinesOf(int round)
{
    return 200 - (round * 37) % 200;
}

TEST(ServerRestart, HundredKillsEachFollowedByAReconnectionAndTheNewBoard)
{
    ScratchDir dir;
    CountingView view;
    MessageRecorder boxes;
    SimProcess sim;
    const int port = ClosedPort();
    auto start = [&](int round) {
        return sim.Start(port, {"--lines", std::to_string(LinesOf(round)), "--seed", std::to_string(round + 1),
                                "--change-rate", "0"});
    };
    auto model = [](int round) { return SimModel(LinesOf(round), SimLanguage::En, uint64_t(round + 1)); };

    ASSERT_TRUE(start(0)) << sim.error();
    ASSERT_EQ(sim.port(), port);
    SharedConfig config;
    config.Set(LoopbackRunCfg(port, 1)); // one 20 ms unit
    auto link = std::make_unique<TagTcpConnection>(config, FaultTiming());
    ASSERT_TRUE(link->connected);
    link->StartWorker();
    ASSERT_TRUE(WaitFor([&] { return BoardDiff(model(0)).empty(); }, 10s)) << BoardDiff(model(0));

    long warmKb = 0;
    size_t warmFds = 0;
    Clock::duration longest{};
    Clock::duration total{};
    for (int round = 1; round <= kRestarts; ++round) {
        SCOPED_TRACE(round);
        const int downsBefore = view.linkDowns;
        sim.Kill();
        ASSERT_TRUE(WaitFor([&] { return view.linkDowns > downsBefore; }, 10s));
        const auto restarted = Clock::now();
        ASSERT_TRUE(start(round)) << sim.error();
        const SimModel want = model(round);
        ASSERT_TRUE(WaitFor([&] { return BoardDiff(want).empty(); }, 10s)) << BoardDiff(want);
        const auto took = Clock::now() - restarted;
        longest = std::max(longest, took);
        total += took;
        if (round == kWarmUpRestarts) {
            warmKb = ResidentKb();
            warmFds = OpenDescriptors();
        }
    }
    const long endKb = ResidentKb();
    const size_t endFds = OpenDescriptors();
    link.reset();
    sim.Kill();

    // One failure line per kill (the read or the send that found the connection gone), and one
    // "reconnected" line per restart; attempts made while the server was down may add failures.
    EXPECT_EQ(LogCount(Texts::kReconnected), size_t(kRestarts));
    EXPECT_EQ(LogMatching(R"((recv\(\)<=0|send\(\)<5 Err), len=-?\d+, errNo=\d+\[0x[0-9a-f]+\])").size(),
              size_t(kRestarts));
    EXPECT_TRUE(boxes.messages().empty());
    EXPECT_EQ(view.linkUps, kRestarts + 1);
    EXPECT_EQ(endFds, warmFds);
    if (kMemoryIsMeaningful) {
        EXPECT_LE(endKb, warmKb + warmKb / 20) << "resident memory grew from " << warmKb << " KiB";
    }

    using std::chrono::duration_cast;
    using std::chrono::milliseconds;
    std::printf("restarts survived: %d; reconnection after a restart: mean %lld ms, longest %lld ms; "
                "resident memory after %d restarts %ld KiB, after %d %ld KiB; descriptors %zu -> %zu\n",
                kRestarts, static_cast<long long>(duration_cast<milliseconds>(total / kRestarts).count()),
                static_cast<long long>(duration_cast<milliseconds>(longest).count()), kWarmUpRestarts, warmKb,
                kRestarts, endKb, warmFds, endFds);
}

} // namespace
