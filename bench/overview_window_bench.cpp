// The line overview's whole refresh tick on the GUI thread, as the window runs it: the picture taken
// under the board's locks, the tiles that changed repainted, the legend shown, on the largest board
// with a hostile server's texts (quorvane-sim --hostile and --hostile=long) beside an ordinary one.
// Between ticks the board changes as the simulator moves it (a share of the lines a tick), outside
// the measured time: that is the worker's part.

#include "app/OverviewForm.h"
#include "board/Board.h"
#include "board/BoardLock.h"
#include "sim/SimHostile.h"
#include "sim/SimModel.h"

#include <QApplication>
#include <benchmark/benchmark.h>
#include <memory>

namespace {

const char* const kModeNames[] = {"busy", "mix", "long"};

void WriteCells(SimModel& model, const std::vector<int>& cells)
{
    BoardLock lock(CurBoard->Lock);
    for (int index : cells) {
        const SimCell& cell = model.Cell(index);
        CurBoard->SetCell(cell.text.data(), cell.text.size(), index / kColsPerLine, index % kColsPerLine, cell.fore,
                          cell.back);
    }
}

// range(0): 0 ordinary, 1 --hostile, 2 --hostile=long; range(1): lines changed per tick, in
// thousandths of the board.
void BM_OverviewWindowTick(benchmark::State& state)
{
    const auto mode = int(state.range(0));
    const double changeRate = double(state.range(1)) / 1000.0;
    state.SetLabel(kModeNames[mode]);
    SimModel model(kMaxLines, SimLanguage::Zh, 7,
                   mode == 0   ? SimHostile::Off
                   : mode == 1 ? SimHostile::Mix
                               : SimHostile::Long);
    {
        BoardLock lock(CurBoardLock);
        BoardBusy.store(0);
        delete CurBoard;
        CurBoard = new TagMonitor(kMaxLines);
    }
    std::vector<int> all(size_t(kMaxLines) * kColsPerLine);
    for (size_t i = 0; i < all.size(); ++i)
        all[i] = int(i);
    WriteCells(model, all);

    TOverviewForm form;
    form.resize(1280, 720);
    form.show();
    form.RefreshOverview();
    QApplication::processEvents();
    for (auto _ : state) {
        if (changeRate > 0) {
            state.PauseTiming();
            WriteCells(model, model.Step(changeRate).cells);
            state.ResumeTiming();
        }
        form.RefreshOverview();
        QApplication::processEvents(); // the repaint of the tiles and labels that changed
    }
    form.hide();
    BoardLock lock(CurBoardLock);
    delete CurBoard;
    CurBoard = nullptr;
}
BENCHMARK(BM_OverviewWindowTick)
    ->ArgNames({"server", "changed_per_mille"})
    ->ArgsProduct({{0, 1, 2}, {0, 10, 100}})
    ->Unit(benchmark::kMillisecond);

} // namespace
