// The receive worker's CPU while the server is slow: a loopback server answers every poll only
// after 3 seconds, and the process's CPU time is read over about 10 seconds of that. The worker
// blocks in poll() meanwhile, so the figure should stay near zero.

#include "link/Link.h"
#include "settings/Config.h"

#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/resource.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

using namespace std::chrono;

double CpuSeconds()
{
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Answers each poll with a small frame, 3 seconds late, until stop is set.
class SlowServer {
public:
    SlowServer()
    {
        listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        ::bind(listen_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(listen_, 1);
        ::getsockname(listen_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
        thread_ = std::thread([this] { Run(); });
    }
    ~SlowServer()
    {
        stop_.Set();
        thread_.join();
        ::close(listen_);
    }
    int port() const { return port_; }
    int answers() const { return answers_.load(); }

private:
    void Run()
    {
        pollfd p[2] = {{listen_, POLLIN, 0}, {stop_.Handle(), POLLIN, 0}};
        if (::poll(p, 2, -1) <= 0 || !(p[0].revents & POLLIN))
            return;
        int fd = ::accept(listen_, nullptr, nullptr);
        // One line; line 0, column 0 says "Connected" in red on aqua.
        const std::string frame =
            "0017" + std::string("\x01\x00", 2) + std::string("\x00\x00\x00\x04\x03", 5) + "Connected" + '\0';
        char poll[5];
        while (!stop_.IsSet()) {
            pollfd q[2] = {{fd, POLLIN, 0}, {stop_.Handle(), POLLIN, 0}};
            if (::poll(q, 2, -1) <= 0 || !(q[0].revents & POLLIN))
                break;
            if (::recv(fd, poll, sizeof poll, MSG_WAITALL) != 5)
                break;
            if (stop_.WaitSet(3s))
                break;
            ::send(fd, frame.data(), frame.size(), MSG_NOSIGNAL);
            ++answers_;
        }
        ::close(fd);
    }

    int listen_ = -1;
    int port_ = 0;
    WakeFlag stop_;
    std::atomic<int> answers_{0};
    std::thread thread_;
};

void BM_WorkerCpuWhileServerIsSlow(benchmark::State& state)
{
    // Monitor.log, should anything be logged, goes to a scratch directory.
    char dir[] = "/tmp/quorvane-bench-XXXXXX";
    if (!::mkdtemp(dir) || ::chdir(dir) != 0) {
        state.SkipWithError("no scratch directory");
        return;
    }
    for (auto _ : state) {
        SlowServer server;
        SharedConfig config;
        TagRunCfg cfg;
        cfg.ServerIp = "127.0.0.1";
        cfg.ServerPort = server.port();
        cfg.SleepSec = 0;
        config.Set(cfg);
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
    std::string log = std::string(dir) + "/Monitor.log";
    ::unlink(log.c_str());
    ::rmdir(dir);
}
BENCHMARK(BM_WorkerCpuWhileServerIsSlow)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);

} // namespace

BENCHMARK_MAIN();
