// The line overview on the largest board: painting every tile at 1920 x 1080 as the window's tile
// view does it, the picture taken at each refresh tick under the board's lock, and a tick with
// nothing changed.

#include "app/Design.h"
#include "app/TileView.h"
#include "board/Board.h"
#include "board/OverviewPicture.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <benchmark/benchmark.h>
#include <cstring>
#include <memory>
#include <string>

namespace {

// A full board as a busy platform shows it: five statuses with the simulator's colours, every
// cell written 20 minutes ago and one line in freshEvery changed since (none with 0), so a
// threshold below 20 minutes outlines the others.
std::unique_ptr<TagMonitor> BusyBoard(int freshEvery = 7)
{
    struct Status {
        const char* text;
        int fore, back;
    };
    static const Status kStatuses[] = {
        {"Idle", 2, 15}, {"Ringing", 0, 14}, {"Talking", 15, 1}, {"Recording", 15, 4}, {"Hang-up", 0, 7},
    };
    auto board = std::make_unique<TagMonitor>(kMaxLines);
    BoardLock lock(board->Lock);
    const BoardTime longAgo = board->Created - std::chrono::minutes(20);
    for (int i = 0; i < kMaxLines; ++i) {
        const Status& s = kStatuses[(i * 7 + i / 13) % 5];
        const BoardTime at = freshEvery > 0 && i % freshEvery == 0 ? board->Created : longAgo;
        board->SetCell(s.text, std::strlen(s.text), i, 2, s.fore, s.back, at);
        const std::string number = std::to_string(i);
        board->SetCell(number.data(), number.size(), i, 0, 0, 7, at);
    }
    return board;
}

TagOverview Picture(const TagMonitor& board, int column, int threshold)
{
    BoardLock lock(board.Lock);
    return TakeOverview(board, column, threshold, board.Created);
}

// The window's paint code after a change, into an image of a wall screen's size: every tile
// composed and painted with its number. No threshold, six lines in seven outlined, every line.
void BM_PaintOverview(benchmark::State& state)
{
    auto board = BusyBoard(int(state.range(1)));
    const TagOverview o = Picture(*board, 2, int(state.range(0)));
    const QSize area(1920, 1080);
    const TagTileLayout layout = LayTiles(kMaxLines, area.width(), area.height());
    QImage image(area, QImage::Format_RGB32);
    const QFont font = DesignFont(); // the main window's, which the overview inherits
    TTilePainter painter;
    {
        QPainter p(&image); // the numbers' glyphs are laid out once per tile size, as on the screen
        painter.Paint(p, layout, o, area, image.rect(), font, QColor(239, 239, 239), true);
    }
    for (auto _ : state) {
        QPainter p(&image);
        painter.Paint(p, layout, o, area, image.rect(), font, QColor(239, 239, 239), true);
    }
    state.counters["tile_px"] = layout.TileWidth;
    state.counters["number_px"] = painter.NumberPixelSize();
}
BENCHMARK(BM_PaintOverview)
    ->ArgNames({"threshold_min", "fresh_every"})
    ->Args({0, 7})
    ->Args({5, 7})
    ->Args({5, 0})
    ->Unit(benchmark::kMillisecond);

// The tile view uncovered with nothing changed (TTileView::paintEvent through QWidget::render): the
// composed tiles copied and the numbers drawn.
void BM_PaintOverview_Exposed(benchmark::State& state)
{
    auto board = BusyBoard();
    TTileView view;
    view.setFont(DesignFont());
    view.resize(1920, 1080);
    view.ShowOverview(Picture(*board, 2, 5));
    QImage image(1920, 1080, QImage::Format_RGB32);
    view.render(&image);
    for (auto _ : state) {
        view.render(&image);
        benchmark::DoNotOptimize(image.constBits());
    }
}
BENCHMARK(BM_PaintOverview_Exposed)->Unit(benchmark::kMillisecond);

// The first paint at a new tile size (after a resize or a new line count), numbers laid out anew.
void BM_PaintOverview_NewTileSize(benchmark::State& state)
{
    auto board = BusyBoard();
    const TagOverview o = Picture(*board, 2, 5);
    const QSize area(1920, 1080);
    const TagTileLayout layout = LayTiles(kMaxLines, area.width(), area.height());
    QImage image(area, QImage::Format_RGB32);
    const QFont font = DesignFont();
    for (auto _ : state) {
        TTilePainter painter;
        QPainter p(&image);
        painter.Paint(p, layout, o, area, image.rect(), font, QColor(239, 239, 239), true);
    }
}
BENCHMARK(BM_PaintOverview_NewTileSize)->Unit(benchmark::kMillisecond);

// The picture of one tick, under the board's lock: the status column (five texts) and the line
// numbers (a text per line, the dearest column to count).
void BM_TakeOverview(benchmark::State& state)
{
    auto board = BusyBoard();
    const int column = int(state.range(0));
    for (auto _ : state) {
        BoardLock lock(board->Lock);
        TagOverview o = TakeOverview(*board, column, 5, board->Created);
        benchmark::DoNotOptimize(o.Tiles.data());
    }
}
BENCHMARK(BM_TakeOverview)->ArgName("column")->Arg(2)->Arg(0)->Unit(benchmark::kMicrosecond);

// A tick on a board where nothing changed: the picture taken and found the same, nothing repainted.
void BM_OverviewTick_NothingChanged(benchmark::State& state)
{
    auto board = BusyBoard();
    TTileView view;
    view.resize(1920, 1080);
    view.ShowOverview(Picture(*board, 2, 5));
    for (auto _ : state)
        view.ShowOverview(Picture(*board, 2, 5));
}
BENCHMARK(BM_OverviewTick_NothingChanged)->Unit(benchmark::kMicrosecond);

} // namespace
