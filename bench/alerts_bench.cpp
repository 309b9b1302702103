// One alerts tick on the largest board: 2048 lines judged by 20 rules, the sampling under the
// board's lock and the judging and planning after it, with the lines standing still and with a
// tenth of them changing every tick.

#include "alerts/AlertCenter.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <string>

namespace {

using namespace std::chrono_literals;

const BoardTime kStart = BoardTime{} + 24h;
BoardTime benchNow = kStart;
BoardTime BenchClock()
{
    return benchNow;
}

const char* const kStatuses[] = {"Idle",    "Talking", "Ringing", "Dialing",          "Held",
                                 "Wrap-up", "IVR",     "Queued",  "\xcd\xa8\xbb\xb0", "\xbf\xd5\xcf\xd0"};
constexpr int kStatusCount = int(std::size(kStatuses));

TagAlertRule MakeRule(int i)
{
    TagAlertRule rule;
    rule.Name = "rule " + std::to_string(i);
    rule.Severity = i % 4 == 0 ? AlertSeverity::Critical : AlertSeverity::Warning;
    if (i < 14) {
        // Stuck rules over every status, some past their threshold from the start.
        rule.Kind = AlertKind::Stuck;
        rule.Status = kStatuses[i % kStatusCount];
        rule.Seconds = i < 7 ? 60 : 3600;
    } else if (i < 17) {
        rule.Kind = AlertKind::Above;
        rule.Status = kStatuses[i % kStatusCount];
        rule.Count = 100;
        rule.Seconds = 30;
    } else if (i < 18) {
        rule.Kind = AlertKind::Below;
        rule.Status = "Idle";
        rule.Count = 1000;
        rule.Seconds = 30;
    } else {
        rule.Kind = i == 18 ? AlertKind::Link : AlertKind::Overdue;
        rule.Seconds = 30;
    }
    return rule;
}

struct Scene {
    explicit Scene(int rules)
    {
        benchNow = kStart;
        board = std::make_unique<TagMonitor>(kMaxLines, &BenchClock);
        for (int line = 0; line < kMaxLines; ++line) {
            const char* text = kStatuses[line % kStatusCount];
            board->SetCell(text, std::strlen(text), line, 2, 0, 0, kStart);
        }
        std::vector<TagAlertRule> list;
        for (int i = 0; i < rules; ++i)
            list.push_back(MakeRule(i));
        center.SetRules(std::move(list));
        link.Connected = true;
        link.Session = this;
        link.LastAnswerAt = 1;
        // Past every short threshold, so the alerts are active while the tick is measured.
        for (now = kStart; now < kStart + 2min; now += 800ms)
            Tick();
    }

    void Tick()
    {
        {
            BoardLock lock(board->Lock);
            SampleBoard(*board, center.Statuses(), center.BoardSample());
        }
        center.Tick(true, link, now);
    }

    // A tenth of the lines take another status.
    void Churn(int round)
    {
        BoardLock lock(board->Lock);
        for (int line = round % 10; line < kMaxLines; line += 10) {
            const char* text = kStatuses[(line + round) % kStatusCount];
            board->SetCell(text, std::strlen(text), line, 2, 0, 0, now);
        }
    }

    std::unique_ptr<TagMonitor> board;
    TAlertCenter center{nullptr, [](std::string_view gbk) { return std::string(gbk); }};
    TagLinkSample link;
    BoardTime now = kStart;
};

void BM_AlertTick(benchmark::State& state)
{
    Scene scene(int(state.range(0)));
    for (auto _ : state) {
        scene.now += 800ms;
        scene.Tick();
    }
    state.counters["active"] = double(scene.center.Book().ActiveAlerts().size());
}
BENCHMARK(BM_AlertTick)->Arg(20)->Unit(benchmark::kMicrosecond);

void BM_AlertTickChurn(benchmark::State& state)
{
    Scene scene(int(state.range(0)));
    int round = 0;
    for (auto _ : state) {
        scene.now += 800ms;
        scene.Churn(++round);
        scene.Tick();
    }
    state.counters["active"] = double(scene.center.Book().ActiveAlerts().size());
}
BENCHMARK(BM_AlertTickChurn)->Arg(20)->Unit(benchmark::kMicrosecond);

// The part under the board's lock alone.
void BM_AlertSampleUnderLock(benchmark::State& state)
{
    Scene scene(20);
    for (auto _ : state) {
        BoardLock lock(scene.board->Lock);
        SampleBoard(*scene.board, scene.center.Statuses(), scene.center.BoardSample());
        benchmark::DoNotOptimize(scene.center.BoardSample().Status.data());
    }
}
BENCHMARK(BM_AlertSampleUnderLock)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
