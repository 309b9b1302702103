// The receive worker's CPU while the server is slow: a loopback server answers every poll only
// after 3 seconds, and the process's CPU time is read over about 10 seconds of that. The worker
// blocks in poll() meanwhile, so the figure should stay near zero.

#include "link/Link.h"
#include "settings/Config.h"
#include "support/LoopbackServer.h"
#include "support/TestSupport.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <string>
#include <sys/resource.h>
#include <thread>

using namespace std::chrono_literals;

namespace {

using namespace std::chrono;

double CpuSeconds()
{
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Answers each poll with a small frame, 3 seconds late, until the link closes or stop is set. It
// blocks while it waits, so its own thread adds no CPU time to the figure.
class SlowServer {
public:
    SlowServer() : thread_([this] { Run(); }) {}
    ~SlowServer()
    {
        stop_.Set();
        thread_.join();
    }
    int port() const { return server_.port(); }
    int answers() const { return answers_.load(); }

private:
    void Run()
    {
        Peer peer = server_.Accept(10s);
        // One line; line 0, column 0 says "Connected" in red on aqua.
        const std::string frame =
            "0017" + std::string("\x01\x00", 2) + std::string("\x00\x00\x00\x04\x03", 5) + "Connected" + '\0';
        // The benchmark's link goes before its server, so the read ends when the link closes.
        while (peer.valid() && !stop_.IsSet()) {
            if (peer.Read(5, 1h).size() != 5)
                break;
            if (stop_.WaitSet(3s))
                break;
            if (!peer.Send(frame))
                break;
            ++answers_;
        }
    }

    LoopbackServer server_;
    WakeFlag stop_;
    std::atomic<int> answers_{0};
    std::thread thread_; // last: it uses the members above
};

void BM_WorkerCpuWhileServerIsSlow(benchmark::State& state)
{
    // Monitor.log, should anything be logged, goes to a scratch directory.
    ScratchDir dir;
    for (auto _ : state) {
        SlowServer server;
        SharedConfig config;
        config.Set(LoopbackRunCfg(server.port(), 0));
        TagTcpConnection link(config);
        if (!link.connected) {
            state.SkipWithError("no connection");
            return;
        }
        link.StartWorker();

        const auto wallStart = steady_clock::now();
        const double cpuStart = CpuSeconds();
        std::this_thread::sleep_for(10s);
        const double cpu = CpuSeconds() - cpuStart;
        const double wall = duration<double>(steady_clock::now() - wallStart).count();

        state.counters["cpu_percent"] = 100.0 * cpu / wall;
        state.counters["cpu_ms"] = cpu * 1000.0;
        state.counters["answers"] = server.answers();
    }
}
BENCHMARK(BM_WorkerCpuWhileServerIsSlow)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);

} // namespace

BENCHMARK_MAIN();
