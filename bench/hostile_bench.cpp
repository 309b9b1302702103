// What a hostile server's texts cost the GUI thread's reads of the board, core side: the line
// overview's picture of a tick and a find, on the largest board with every status a distinct text
// of 29,988 bytes (the most one answer carries; 61 MB of text), as quorvane-sim --hostile=long sends
// it. Beside them, the ways they were done before (the exact CountStatuses with its sort and copies
// of whole texts; find by decoding every cell), measured on the same boards.

#include "board/Board.h"
#include "board/BoardSearch.h"
#include "board/OverviewPicture.h"
#include "board/StatusCounts.h"
#include "board/TextHash.h"
#include "platform/GbkText.h"
#include "sim/SimHostile.h"
#include "sim/SimModel.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <memory>
#include <string>

namespace {

// CPU time of this thread: the machine is shared, so wall time would count other work.
double ThreadMs()
{
    timespec t{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

enum BoardKind {
    kLongAlike = 0,    // the simulator's --hostile=long: distinct texts, alike but for their ends
    kLongDistinct = 1, // distinct 29,988-byte texts that differ in their first bytes
    kLongSame = 2,     // one 29,988-byte text on every line
    kMix = 3,          // the simulator's --hostile: every kind, a distinct status per line
    kBusy = 4,         // an ordinary busy board: five short statuses
};

// A 2048-line board as the simulator sends it, every cell written.
std::unique_ptr<TagMonitor> HostileBoard(BoardKind kind)
{
    auto board = std::make_unique<TagMonitor>(kMaxLines);
    const SimHostile mode = kind == kBusy ? SimHostile::Off : (kind == kMix ? SimHostile::Mix : SimHostile::Long);
    const SimModel model(kMaxLines, SimLanguage::Zh, 7, mode);
    BoardLock lock(board->Lock);
    for (int i = 0; i < kMaxLines; ++i) {
        for (int k = 0; k < kColsPerLine; ++k) {
            const SimCell& cell = model.Cell(i, k);
            std::string text = cell.text;
            if (k == 2 && kind == kLongDistinct)
                std::rotate(text.begin(), text.end() - 8, text.end()); // the line's mark up front
            if (k == 2 && kind == kLongSame)
                text = model.Cell(0, 2).text;
            board->SetCell(text.data(), text.size(), i, k, cell.fore, cell.back);
        }
    }
    return board;
}

const char* KindName(int kind)
{
    static const char* const kNames[] = {"long_alike", "long_distinct", "long_same", "mix", "busy"};
    return kNames[kind];
}

double TextBytes(const TagMonitor& board)
{
    double bytes = 0;
    for (int i = 0; i < board.LineCount; ++i) {
        for (const TagLineCols& cell : board.Rows[size_t(i)].Cols)
            bytes += double(cell.Text.size());
    }
    return bytes;
}

// The core side of an overview tick as the window runs it: the picture taken under the lock, then
// compared with the one shown to find the tiles to repaint.
void BM_OverviewTick_Hostile(benchmark::State& state)
{
    auto board = HostileBoard(BoardKind(state.range(0)));
    state.SetLabel(KindName(int(state.range(0))));
    TagOverview shown;
    {
        BoardLock lock(board->Lock);
        shown = TakeOverview(*board, 2, 5, board->Created);
    }
    double lockedMs = 0, worstLockedMs = 0;
    for (auto _ : state) {
        const double start = ThreadMs();
        TagOverview next;
        {
            BoardLock lock(board->Lock);
            next = TakeOverview(*board, 2, 5, board->Created);
        }
        const double locked = ThreadMs() - start;
        lockedMs += locked;
        worstLockedMs = std::max(worstLockedMs, locked);
        const bool same = next == shown;
        std::vector<int> changed = ChangedTiles(shown, next);
        benchmark::DoNotOptimize(same);
        benchmark::DoNotOptimize(changed.data());
    }
    state.counters["locked_ms"] = lockedMs / double(state.iterations());
    state.counters["worst_locked_ms"] = worstLockedMs;
    state.counters["legend_texts"] = double(shown.Legend.size());
}
BENCHMARK(BM_OverviewTick_Hostile)
    ->ArgName("board")
    ->DenseRange(kLongAlike, kBusy)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime();

// How the overview counted before: the exact count, which sorts the lines by their whole texts and
// copies each distinct text.
void BM_CountStatuses_Before(benchmark::State& state)
{
    auto board = HostileBoard(BoardKind(state.range(0)));
    state.SetLabel(KindName(int(state.range(0))));
    for (auto _ : state) {
        BoardLock lock(board->Lock);
        TagStatusCounts counts = CountStatuses(*board, 2, TagStuckTest{board->Created, std::chrono::minutes(5)});
        benchmark::DoNotOptimize(counts.Statuses.data());
    }
}
BENCHMARK(BM_CountStatuses_Before)
    ->ArgName("board")
    ->Arg(kLongAlike)
    ->Arg(kLongDistinct)
    ->Arg(kBusy)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime();

// A find over the whole board in slices of kFindSliceBytes, the lock taken per slice as the GUI will;
// a query no line holds, so every text is read. Arg 1: an ASCII query, 2: a Chinese one.
void BM_Find_Hostile(benchmark::State& state)
{
    auto board = HostileBoard(BoardKind(state.range(0)));
    state.SetLabel(KindName(int(state.range(0))));
    const std::u16string query = state.range(1) == 1 ? u"no such text" : u"\x6CA1\x6709\x8FD9\x4E2A"; // 没有这个
    double worstSliceMs = 0;
    int slices = 0;
    size_t matches = 0;
    for (auto _ : state) {
        TBoardFind find(query);
        for (bool done = false; !done; ++slices) {
            const double start = ThreadMs();
            {
                BoardLock lock(board->Lock);
                done = find.Step(*board);
            }
            worstSliceMs = std::max(worstSliceMs, ThreadMs() - start);
        }
        matches = find.Matches().size();
    }
    state.counters["board_MB"] = TextBytes(*board) / 1e6;
    state.counters["slices"] = double(slices) / double(state.iterations());
    state.counters["worst_slice_ms"] = worstSliceMs;
    state.counters["matches"] = double(matches);
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(TextBytes(*board)));
}
BENCHMARK(BM_Find_Hostile)
    ->ArgNames({"board", "query"})
    ->Args({kLongAlike, 1})
    ->Args({kLongAlike, 2})
    ->Args({kLongDistinct, 1})
    ->Args({kMix, 1})
    ->Args({kBusy, 1})
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime();

// How find read the board before: every cell decoded to UTF-16 and searched, all under the lock.
void BM_Find_Before(benchmark::State& state)
{
    auto board = HostileBoard(BoardKind(state.range(0)));
    state.SetLabel(KindName(int(state.range(0))));
    const std::u16string query = u"no such text";
    for (auto _ : state) {
        BoardLock lock(board->Lock);
        size_t found = 0;
        for (int i = 0; i < board->LineCount; ++i) {
            for (const TagLineCols& cell : board->Rows[size_t(i)].Cols) {
                std::u16string text = GbkToUtf16(cell.Text);
                for (char16_t& c : text)
                    c = c >= u'A' && c <= u'Z' ? char16_t(c - u'A' + u'a') : c;
                found += text.find(query) != std::u16string::npos ? 1 : 0;
            }
        }
        benchmark::DoNotOptimize(found);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(TextBytes(*board)));
}
BENCHMARK(BM_Find_Before)->ArgName("board")->Arg(kLongAlike)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

// What keeping the hash costs the receive worker: a 29,988-byte text written over a different one
// (the copy and the hash), and the hash alone.
void BM_SetCell_LongTextChanges(benchmark::State& state)
{
    TagMonitor board(1);
    const std::string a(kHostileLongBytes, 'a');
    const std::string b(kHostileLongBytes, 'b');
    bool flip = false;
    for (auto _ : state) {
        const std::string& text = (flip = !flip) ? a : b;
        BoardLock lock(board.Lock);
        board.SetCell(text.data(), text.size(), 0, 2, 0, 15, board.Created);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kHostileLongBytes));
}
BENCHMARK(BM_SetCell_LongTextChanges)->Unit(benchmark::kMicrosecond);

void BM_TextHash(benchmark::State& state)
{
    const std::string text(size_t(state.range(0)), 'x');
    for (auto _ : state)
        benchmark::DoNotOptimize(TextHash(text));
    state.SetBytesProcessed(int64_t(state.iterations()) * state.range(0));
}
BENCHMARK(BM_TextHash)->ArgName("bytes")->Arg(8)->Arg(24)->Arg(int64_t(kHostileLongBytes));

} // namespace

BENCHMARK_MAIN();
