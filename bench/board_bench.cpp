// The grid's timer tick (RefreshGrid) on the largest board, with nothing and with everything
// changed, the worker's cell writes, and painting a full view of the grid.

#include "board/Board.h"
#include "board/qt/LineGrid.h"
#include "settings/Config.h"

#include <QApplication>
#include <QVBoxLayout>
#include <benchmark/benchmark.h>
#include <cstring>
#include <memory>
#include <string>

namespace {

// A shown grid about 30 rows high (or of the given size) on a laid-out, published board of 2048
// lines, every cell holding a text that has been copied once already.
class GridFixture {
public:
    explicit GridFixture(int groups, QSize size = QSize(779, 30 * 16 + 24))
    {
        TagRunCfg cfg;
        cfg.ColGroupNum = groups;
        CurConfig.Set(cfg);
        BoardBusy.store(0);
        QFont font;
        font.setFamilies({QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("Sans Serif")});
        font.setPixelSize(11);
        window_.setFont(font);
        auto* layout = new QVBoxLayout(&window_);
        layout->setContentsMargins(0, 0, 0, 0);
        grid = new TLineGrid(&window_);
        layout->addWidget(grid);
        window_.resize(size);
        window_.show();
        auto board = std::make_unique<TagMonitor>(kMaxLines);
        grid->LayoutGrid(*board);
        for (int i = 0; i < kMaxLines; ++i) {
            for (int k = 0; k < kColsPerLine; ++k) {
                const std::string text = "L" + std::to_string(i) + " c" + std::to_string(k);
                SetCell(*board, text.c_str(), i, k, (i + k) % 16, (i * 3 + k) % 16);
            }
        }
        {
            BoardLock lock(CurBoardLock);
            CurBoard = board.release();
        }
        QCoreApplication::processEvents();
        Tick();
        QCoreApplication::processEvents();
    }
    ~GridFixture() { DestroyBoard(); }

    // What the main window's timer does.
    void Tick() { grid->RefreshGrid(); }

    void MarkAllChanged()
    {
        BoardLock cells(CurBoard->Lock);
        for (int i = 0; i < CurBoard->LineCount; ++i) {
            for (TagLineCols& cell : CurBoard->Rows[size_t(i)].Cols)
                cell.Changed = true;
        }
    }

    int VisibleCells() const
    {
        const GridWindow w = grid->VisibleWindow();
        return (w.bottom - w.top + 1) * (w.right - w.left + 1);
    }

    TLineGrid* grid = nullptr;

private:
    QWidget window_;
};

void BM_RefreshGrid_NothingChanged(benchmark::State& state)
{
    GridFixture f(int(state.range(0)));
    for (auto _ : state)
        f.Tick();
    state.counters["visible_cells"] = f.VisibleCells();
}
BENCHMARK(BM_RefreshGrid_NothingChanged)->ArgName("groups")->Arg(1)->Arg(10)->Unit(benchmark::kMicrosecond);

void BM_RefreshGrid_AllChanged(benchmark::State& state)
{
    GridFixture f(int(state.range(0)));
    for (auto _ : state) {
        state.PauseTiming();
        f.MarkAllChanged();
        // The repaint of the previous tick's cells, so update regions do not pile up.
        QCoreApplication::processEvents();
        state.ResumeTiming();
        f.Tick();
    }
    state.counters["visible_cells"] = f.VisibleCells();
}
BENCHMARK(BM_RefreshGrid_AllChanged)->ArgName("groups")->Arg(1)->Arg(10)->Unit(benchmark::kMicrosecond);

// A tick with every cell changed followed by the repaint it causes.
void BM_RefreshGrid_AllChangedWithRepaint(benchmark::State& state)
{
    GridFixture f(int(state.range(0)));
    for (auto _ : state) {
        state.PauseTiming();
        f.MarkAllChanged();
        state.ResumeTiming();
        f.Tick();
        QCoreApplication::processEvents();
    }
}
BENCHMARK(BM_RefreshGrid_AllChangedWithRepaint)->ArgName("groups")->Arg(1)->Arg(10)->Unit(benchmark::kMicrosecond);

void BM_PaintViewport(benchmark::State& state)
{
    GridFixture f(int(state.range(0)));
    for (auto _ : state) {
        QPixmap pixmap = f.grid->grab();
        benchmark::DoNotOptimize(pixmap);
    }
}
BENCHMARK(BM_PaintViewport)->ArgName("groups")->Arg(1)->Arg(10)->Unit(benchmark::kMicrosecond);

// A wallboard: the grid of a 3840 x 2100 window, about 125 rows of 5 line groups in view.
void BM_PaintViewport_Wall(benchmark::State& state)
{
    GridFixture f(int(state.range(0)), QSize(3824, 2008));
    for (auto _ : state) {
        QPixmap pixmap = f.grid->grab();
        benchmark::DoNotOptimize(pixmap);
    }
    state.counters["visible_cells"] = f.VisibleCells();
}
BENCHMARK(BM_PaintViewport_Wall)->ArgName("groups")->Arg(4)->Arg(10)->Unit(benchmark::kMillisecond);

// The same with a text never shown before in every cell in view at every paint, as on a board where
// every line changes between two ticks.
void BM_PaintViewport_WallNewTexts(benchmark::State& state)
{
    GridFixture f(int(state.range(0)), QSize(3824, 2008));
    const GridWindow view = f.grid->VisibleWindow();
    int n = 0;
    for (auto _ : state) {
        state.PauseTiming();
        for (int r = view.top; r <= view.bottom; ++r) {
            for (int c = view.left; c <= view.right; ++c)
                f.grid->Model()->StoreCellText(c, r - 1, QStringLiteral("Incoming 1390%1").arg(n++));
        }
        state.ResumeTiming();
        QPixmap pixmap = f.grid->grab();
        benchmark::DoNotOptimize(pixmap);
    }
    state.counters["visible_cells"] = f.VisibleCells();
}
BENCHMARK(BM_PaintViewport_WallNewTexts)->ArgName("groups")->Arg(10)->Unit(benchmark::kMillisecond);

// A hostile server's texts in view: every cell of a 779 x 504 view holds a distinct text of 30,000
// characters (the most one answer carries is 29,988 bytes), as quorvane-sim --hostile=long sends in
// its status column, painted as a tick's repaint paints them.
void BM_PaintViewport_LongTexts(benchmark::State& state)
{
    GridFixture f(1);
    const GridWindow view = f.grid->VisibleWindow();
    for (int r = view.top; r <= view.bottom; ++r) {
        for (int c = view.left; c <= view.right; ++c)
            f.grid->Model()->StoreCellText(c, r - 1, QStringLiteral("%1 ").arg(r * 8 + c) + QString(29994, u'x'));
    }
    for (auto _ : state) {
        QPixmap pixmap = f.grid->grab();
        benchmark::DoNotOptimize(pixmap);
    }
    state.counters["visible_cells"] = f.VisibleCells();
}
BENCHMARK(BM_PaintViewport_LongTexts)->Unit(benchmark::kMillisecond);

// The worker's writes: one lock per frame of records, as the frame decoding does, and one lock
// per cell through the convenience form.
void BM_SetCell_PerFrameLock(benchmark::State& state)
{
    TagMonitor board(kMaxLines);
    const char text[] = "Running IVR main.scr";
    int n = 0;
    for (auto _ : state) {
        BoardLock lock(board.Lock);
        for (int r = 0; r < 256; ++r, ++n)
            board.SetCell(text, sizeof text - 1, n % kMaxLines, n % kColsPerLine, n % 16, (n + 7) % 16);
    }
    state.SetItemsProcessed(state.iterations() * 256);
}
BENCHMARK(BM_SetCell_PerFrameLock);

// As above, but every write brings a text other than the one the cell holds, as a busy server's
// status changes do: the cell's text is replaced and its time in state restarts.
void BM_SetCell_PerFrameLock_TextChanges(benchmark::State& state)
{
    TagMonitor board(kMaxLines);
    const char* const texts[2] = {"Running IVR main.scr", "Playing welcome.wav"};
    int n = 0;
    for (auto _ : state) {
        BoardLock lock(board.Lock);
        for (int r = 0; r < 256; ++r, ++n) {
            // The cells visited repeat every kMaxLines writes; each round brings the other text.
            const char* text = texts[(n / kMaxLines) % 2];
            board.SetCell(text, std::strlen(text), n % kMaxLines, n % kColsPerLine, n % 16, (n + 7) % 16);
        }
    }
    state.SetItemsProcessed(state.iterations() * 256);
}
BENCHMARK(BM_SetCell_PerFrameLock_TextChanges);

// The same writes as the frame decoding makes them: one reading of the board's clock per frame.
void BM_SetCell_PerFrameLock_TextChanges_OneMoment(benchmark::State& state)
{
    TagMonitor board(kMaxLines);
    const char* const texts[2] = {"Running IVR main.scr", "Playing welcome.wav"};
    int n = 0;
    for (auto _ : state) {
        BoardLock lock(board.Lock);
        const BoardTime now = board.Clock();
        for (int r = 0; r < 256; ++r, ++n) {
            const char* text = texts[(n / kMaxLines) % 2];
            board.SetCell(text, std::strlen(text), n % kMaxLines, n % kColsPerLine, n % 16, (n + 7) % 16, now);
        }
    }
    state.SetItemsProcessed(state.iterations() * 256);
}
BENCHMARK(BM_SetCell_PerFrameLock_TextChanges_OneMoment);

void BM_SetCell_PerCellLock(benchmark::State& state)
{
    TagMonitor board(kMaxLines);
    int n = 0;
    for (auto _ : state) {
        SetCell(board, "Running IVR main.scr", n % kMaxLines, n % kColsPerLine, n % 16, (n + 7) % 16);
        ++n;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SetCell_PerCellLock);

} // namespace
