// The overview's replay of a past moment on a week of a busy 2048-line platform: the board of a
// random moment as tiles and legend (the file's query and the picture), and the whole of it in the
// window (the query, the picture, the legend, the tiles painted at 1920 x 1080).
//
// The week is history_bench's (generated on its first run, kept in
// $TMPDIR/quorvane-history-bench/week-v2.sqlite3 or $QUORVANE_HISTORY_WEEK); run that first.

#include "app/OverviewForm.h"
#include "app/TilePainter.h"
#include "app/TileView.h"
#include "history/HistoryReplay.h"

#include <QApplication>
#include <benchmark/benchmark.h>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

namespace {

constexpr int64_t kWeekStart = 1765000000000;
constexpr int64_t kWeekMs = 7LL * 86400 * 1000;

std::string WeekFile()
{
    if (const char* named = std::getenv("QUORVANE_HISTORY_WEEK"))
        return named;
    return (std::filesystem::temp_directory_path() / "quorvane-history-bench" / "week-v2.sqlite3").string();
}

bool HaveWeek(benchmark::State& state)
{
    std::error_code error;
    if (std::filesystem::file_size(WeekFile(), error) > 0 && !error)
        return true;
    state.SkipWithError("no week of history: run history_bench first");
    return false;
}

// BoardAt and the tiles and legend it makes, with the reader open.
void BM_ReplayPicture(benchmark::State& state)
{
    if (!HaveWeek(state))
        return;
    HistoryReader reader;
    std::string error;
    if (!reader.Open(WeekFile(), error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    std::mt19937_64 rng(5);
    std::vector<HistorySpan> lines;
    for (auto _ : state) {
        const int64_t t = kWeekStart + int64_t(rng() % uint64_t(kWeekMs));
        HistoryGap gap = HistoryGap::None;
        reader.BoardAt(t, lines, gap);
        const ReplayPicture p = TakeReplay(lines, gap, 2048, t, 5, [&reader](int64_t id) { return reader.State(id); });
        if (p.overview.Tiles.size() != 2048 || !p.gaps.empty()) {
            state.SkipWithError("the replay found no whole board");
            return;
        }
        benchmark::DoNotOptimize(p.overview.Tiles.data());
    }
}
BENCHMARK(BM_ReplayPicture)->Unit(benchmark::kMillisecond);

// The window moved to a random moment, as a drag of the slider does, and its tiles painted as a
// wall screen shows them (paint:1), or not (paint:0: the file, the picture, the legend's labels).
void BM_ReplayWindow(benchmark::State& state)
{
    if (!HaveWeek(state))
        return;
    TOverviewForm form;
    form.SetHistoryFile(QString::fromStdString(WeekFile()));
    form.resize(1920, 1080);
    form.show();
    QApplication::processEvents();
    if (form.ReplayBar->isHidden()) {
        state.SkipWithError("the window cannot read the week");
        return;
    }
    std::mt19937_64 rng(5);
    for (auto _ : state) {
        const int64_t t = kWeekStart + int64_t(rng() % uint64_t(kWeekMs));
        if (!form.ReplayAt(t)) {
            state.SkipWithError("the replay failed");
            return;
        }
        if (state.range(0) != 0)
            form.TileView->repaint(); // every tile differs from the last moment's: the whole view
    }
    state.counters["tiles_w"] = form.TileView->width();
    state.counters["tiles_h"] = form.TileView->height();
}
BENCHMARK(BM_ReplayWindow)->Arg(0)->Arg(1)->ArgName("paint")->Unit(benchmark::kMillisecond);

} // namespace
