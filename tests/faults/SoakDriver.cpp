// quorvane_soak: the real link, worker and board against quorvane-sim for a given time, with a
// refresh thread that copies changed cells out every 800 ms as the grid does. Samples resident
// memory and counts answers; exits non-zero when the link went down, nothing was answered, or
// memory grew more than 5 % after the warm-up.
//
//   quorvane_soak [--seconds N] [--sample S] [--warmup W] [--lines L] [--change-rate R]
//                 [--sim-arg ARG]... [--until-down]
//
// Loopback only: the simulator listens on 127.0.0.1, and the link reaches it through a relay on
// 127.0.0.1 that counts the polls and the bytes answered.

#include "FaultSupport.h"
#include "board/Board.h"
#include "common/Texts.h"
#include "link/Link.h"
#include "link/Protocol.h"
#include "settings/Config.h"
#include "settings/EventLog.h"
#include "support/LoopbackRelay.h"
#include "support/SimProcess.h"
#include "support/TestSupport.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

struct Options {
    int seconds = 60;
    int sample = 5;
    int warmup = -1; // default: a sixth of the run, at least one sample
    int lines = 2048;
    std::string changeRate = "1.0";
    std::vector<std::string> simArgs;
    // Instead of sampling, wait for the link to go down by itself (the keep-alive demonstration).
    bool untilDown = false;
};

bool Parse(int argc, char** argv, Options& o)
{
    for (int i = 1; i < argc; ++i) {
        const std::string key = argv[i];
        if (key == "--until-down") {
            o.untilDown = true;
            continue;
        }
        if (i + 1 >= argc)
            return false;
        const char* value = argv[++i];
        if (key == "--seconds")
            o.seconds = std::atoi(value);
        else if (key == "--sample")
            o.sample = std::atoi(value);
        else if (key == "--warmup")
            o.warmup = std::atoi(value);
        else if (key == "--lines")
            o.lines = std::atoi(value);
        else if (key == "--change-rate")
            o.changeRate = value;
        else if (key == "--sim-arg")
            o.simArgs.push_back(value);
        else
            return false;
    }
    if (o.seconds < 1 || o.sample < 1 || o.lines < 1 || o.lines > kMaxLines)
        return false;
    if (o.warmup < 0)
        o.warmup = std::max(o.sample, o.seconds / 6);
    return true;
}

// What the 800 ms timer does with the board: copy the text of every changed cell into the grid's
// own copy and clear the flag. Counts the cells copied.
class Refresher {
public:
    Refresher()
    {
        thread_ = std::thread([this] {
            while (!stop_.IsSet()) {
                Refresh();
                stop_.WaitSet(800ms);
            }
        });
    }
    ~Refresher()
    {
        stop_.Set();
        thread_.join();
    }
    std::atomic<long long> cellsCopied{0};

private:
    void Refresh()
    {
        BoardLock boardLock(CurBoardLock);
        if (!CurBoard || BoardBusy.load() != 0)
            return;
        TagMonitor& board = *CurBoard;
        BoardLock cellLock(board.Lock);
        grid_.resize(size_t(board.LineCount) * kColsPerLine);
        long long copied = 0;
        for (int line = 0; line < board.LineCount; ++line) {
            for (int column = 0; column < kColsPerLine; ++column) {
                TagLineCols& cell = board.Rows[size_t(line)].Cols[column];
                if (cell.Changed) {
                    grid_[size_t(line) * kColsPerLine + size_t(column)] = cell.Text;
                    cell.Changed = false;
                    ++copied;
                }
            }
        }
        cellsCopied += copied;
    }

    WakeFlag stop_;
    std::vector<std::string> grid_;
    std::thread thread_;
};

struct Sample {
    double at;
    long rssKb;
    long long answers;
};

// Waits for the link to go down without anything from the server: a failed read after the peer
// stopped answering keep-alive probes. Returns the exit status.
int UntilDown(const Options& o, const LoopbackRelay& relay, const CountingView& view)
{
    const auto start = Clock::now();
    auto lastTraffic = start;
    long long bytes = -1;
    while (view.linkDowns.load() == 0 && Clock::now() - start < std::chrono::seconds(o.seconds)) {
        const long long now = relay.requestBytes() + relay.answerBytes();
        if (now != bytes) {
            bytes = now;
            lastTraffic = Clock::now();
        }
        std::this_thread::sleep_for(100ms);
    }
    const double quiet = std::chrono::duration<double>(Clock::now() - lastTraffic).count();
    if (view.linkDowns.load() == 0) {
        std::printf("RESULT FAILED: the link stayed up for %d s\n", o.seconds);
        return 1;
    }
    const std::vector<std::string> log = LogMessages();
    std::printf("link went down %.1f s after the last byte; log: %s\n", quiet,
                log.empty() ? "(empty)" : log[0].c_str());
    std::printf("RESULT ok\n");
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    Options o;
    if (!Parse(argc, argv, o)) {
        std::fprintf(stderr, "usage: quorvane_soak [--seconds N] [--sample S] [--warmup W] [--lines L] "
                             "[--change-rate R] [--sim-arg ARG]... [--until-down]\n");
        return 2;
    }
    std::setvbuf(stdout, nullptr, _IOLBF, 0);

    std::string scratch = (fs::temp_directory_path() / "quorvane-soak-XXXXXX").string();
    if (!::mkdtemp(scratch.data()) || ::chdir(scratch.c_str()) != 0) {
        std::perror("scratch directory");
        return 1;
    }

    int status = 0;
    {
        SimProcess sim;
        std::vector<std::string> simArgs = {"--lines", std::to_string(o.lines), "--change-rate", o.changeRate};
        simArgs.insert(simArgs.end(), o.simArgs.begin(), o.simArgs.end());
        if (!sim.Start(0, simArgs)) {
            std::fprintf(stderr, "quorvane_soak: %s\n", sim.error().c_str());
            return 1;
        }
        LoopbackRelay relay(sim.port());
        if (!relay.ok()) {
            std::perror("relay");
            return 1;
        }
        WriteFile(kConfigFileName, LoopbackConfig(relay.port(), 0));
        CreateCurConfig();

        CountingView view;
        Refresher refresher;
        if (o.untilDown)
            std::printf("waiting up to %d s for the link to go down by itself\n", o.seconds);
        else
            std::printf("soak: %d s against quorvane-sim --lines %d --change-rate %s (SLEEP_SEC 0), samples every "
                        "%d s, warm-up %d s\n",
                        o.seconds, o.lines, o.changeRate.c_str(), o.sample, o.warmup);
        auto link = std::make_unique<TagTcpConnection>(CurConfig);
        if (!link->connected) {
            std::fprintf(stderr, "quorvane_soak: the link did not come up\n");
            return 1;
        }
        link->StartWorker();

        if (o.untilDown) {
            status = UntilDown(o, relay, view);
            link.reset();
            DestroyBoard();
        } else {
            const auto start = Clock::now();
            auto elapsed = [&] { return std::chrono::duration<double>(Clock::now() - start).count(); };
            auto answers = [&] { return relay.requestBytes() / kPollRequestSize; };
            std::vector<Sample> samples;
            for (int t = o.sample; t <= o.seconds; t += o.sample) {
                std::this_thread::sleep_until(start + std::chrono::seconds(t));
                const Sample s{elapsed(), ResidentKb(), answers()};
                const double rate = samples.empty() ? s.answers / s.at
                                                    : (s.answers - samples.back().answers) / (s.at - samples.back().at);
                samples.push_back(s);
                std::printf("t=%5.0f s  rss=%6ld KiB  answers=%9lld  (%.0f/s)  cells copied=%lld\n", s.at, s.rssKb,
                            s.answers, rate, refresher.cellsCopied.load());
            }
            const auto stopStart = Clock::now();
            link.reset();
            const double stopMs = std::chrono::duration<double, std::milli>(Clock::now() - stopStart).count();
            DestroyBoard();

            // Memory is judged from the first sample after the warm-up.
            const auto warm =
                std::find_if(samples.begin(), samples.end(), [&](const Sample& s) { return s.at >= o.warmup; });
            if (warm == samples.end()) {
                std::fprintf(stderr, "quorvane_soak: the run is shorter than its warm-up\n");
                return 2;
            }
            long maxKb = 0;
            long minKb = warm->rssKb;
            for (auto s = warm; s != samples.end(); ++s) {
                maxKb = std::max(maxKb, s->rssKb);
                minKb = std::min(minKb, s->rssKb);
            }
            const double growth = 100.0 * double(maxKb - warm->rssKb) / double(warm->rssKb);
            const Sample& last = samples.back();
            const double rate = double(last.answers) / last.at;
            const size_t reconnections = LogCount(Texts::kReconnected);
            const size_t logLines = LogMessages().size();
            std::printf("answers: %lld in %.0f s, %.0f/s; %.1f MB answered; cells copied by the refresh: %lld\n",
                        last.answers, last.at, rate, relay.answerBytes() / 1e6, refresher.cellsCopied.load());
            std::printf("resident memory: first after warm-up %ld KiB (t=%.0f s), last %ld KiB, max %ld KiB, min %ld "
                        "KiB; growth %.2f %%\n",
                        warm->rssKb, warm->at, last.rssKb, maxKb, minKb, growth);
            std::printf("link: went down %d times, %zu reconnections, %zu log lines, stopped in %.0f ms\n",
                        view.linkDowns.load(), reconnections, logLines, stopMs);

            std::string failure;
            if (last.answers == 0)
                failure = "no answers";
            else if (view.linkDowns.load() != 0 || logLines != 0)
                failure = "the link went down";
            else if (kMemoryIsMeaningful && growth > 5.0)
                failure = "resident memory grew more than 5 %";
            if (!kMemoryIsMeaningful)
                std::printf("(sanitizer build: memory is not judged; leaks are reported at exit)\n");
            std::printf("RESULT %s\n", failure.empty() ? "ok" : ("FAILED: " + failure).c_str());
            status = failure.empty() ? 0 : 1;
        }
        sim.Kill();
    }
    std::error_code ec;
    fs::current_path("/", ec);
    fs::remove_all(scratch, ec);
    return status;
}
