// The line history's costs: SetCell with the journal listening beside SetCell without, the writer
// thread's throughput and CPU, bytes on disk per change, and the replay's queries on a week of a
// busy platform (70 changes/s on 2048 lines).
//
// The week's file is generated once, straight into the journal's tables in time order as the
// journal fills them, and kept beside the working directory for later runs
// ($QUORVANE_HISTORY_WEEK names another place). The bytes per change come from a file the journal
// itself wrote.

#include "board/Board.h"
#include "common/HistorySink.h"
#include "history/HistoryChanges.h"
#include "history/HistoryFeed.h"
#include "history/HistoryJournal.h"
#include "history/HistoryReader.h"
#include "history/HistorySchema.h"
#include "history/Sqlite.h"
#include "probe/Probe.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <memory>
#include <random>
#include <sys/resource.h>
#include <thread>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

constexpr int kLines = 2048;
constexpr int kRate = 70; // changes per second on a busy platform
const char* const kStatuses[] = {"Idle", "Ringing", "Talking", "Dialing", "Wrap-up", "Blocked", "Hold", "Transfer"};
constexpr int kStatusCount = 8;

double ProcessCpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double ThreadCpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

std::string ScratchFile(const char* name)
{
    const fs::path dir = fs::temp_directory_path() / "quorvane-history-bench";
    fs::create_directories(dir);
    const fs::path file = dir / name;
    for (const char* suffix : {"", "-wal", "-shm"})
        fs::remove(file.string() + suffix);
    return file.string();
}

int64_t FileBytes(const std::string& path)
{
    std::error_code ec;
    const auto size = fs::file_size(path, ec);
    return ec ? 0 : int64_t(size);
}

// --- SetCell, the journal off and on ---

// A board whose status column alternates between two texts: every call below changes a status.
struct ChangingBoard {
    TagMonitor board{kLines};
    int round = 0;
    // One call per line; returns the number of calls.
    int Round()
    {
        const char* text = kStatuses[round++ % 2];
        const size_t len = std::strlen(text);
        const BoardTime now = board.Clock();
        std::lock_guard lock(board.Lock);
        for (int line = 0; line < kLines; ++line)
            board.SetCell(text, len, line, kHistoryColumn, 0, 15, now);
        return kLines;
    }
};

// Every call changes a status text: the journal's share at its largest. With the journal on, the
// writer is given time (outside the timing) to empty the queue before it fills, so every change
// takes the hand-over, none the cheaper drop.
void BM_SetCellStatusChanges(benchmark::State& state)
{
    const bool on = state.range(0) != 0;
    std::unique_ptr<HistoryJournal> journal;
    if (on) {
        HistoryOptions o;
        o.path = ScratchFile("setcell.sqlite3");
        journal = std::make_unique<HistoryJournal>(o);
        journal->Flush();
    }
    ChangingBoard b;
    int64_t calls = 0;
    for (auto _ : state) {
        calls += b.Round();
        if (on && HistoryFeed::Instance().Waiting() > HistoryFeed::kRingSlots / 2) {
            state.PauseTiming();
            journal->Flush();
            state.ResumeTiming();
        }
    }
    state.SetItemsProcessed(calls);
    state.counters["ns_per_call"] =
        benchmark::Counter(double(calls), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    if (on) {
        journal->Flush();
        state.counters["not_recorded"] = double(journal->Status().notRecorded);
    }
}
BENCHMARK(BM_SetCellStatusChanges)
    ->Arg(0)
    ->Arg(1)
    ->ArgName("journal")
    ->Iterations(400) // 800,000 changes: the writer commits them in seconds, not minutes
    ->Repetitions(3)
    ->Unit(benchmark::kMicrosecond);

// A whole frame as a busy server sends it: all 2048 lines, eight cells each, of which a few status
// texts change (70 a second at one frame a second) and the rest are sent again.
void BM_SetCellFrame(benchmark::State& state)
{
    const bool on = state.range(0) != 0;
    std::unique_ptr<HistoryJournal> journal;
    if (on) {
        HistoryOptions o;
        o.path = ScratchFile("frame.sqlite3");
        journal = std::make_unique<HistoryJournal>(o);
        journal->Flush();
    }
    TagMonitor board(kLines);
    std::vector<std::string> texts(size_t(kLines) * kColsPerLine);
    for (size_t i = 0; i < texts.size(); ++i)
        texts[i] = i % kColsPerLine == kHistoryColumn ? kStatuses[0] : "cell " + std::to_string(i);
    std::mt19937 rng(7);
    int64_t calls = 0;
    for (auto _ : state) {
        for (int k = 0; k < kRate; ++k)
            texts[size_t(rng() % kLines) * kColsPerLine + kHistoryColumn] = kStatuses[rng() % kStatusCount];
        const BoardTime now = board.Clock();
        std::lock_guard lock(board.Lock);
        for (int line = 0; line < kLines; ++line) {
            for (int col = 0; col < kColsPerLine; ++col) {
                const std::string& t = texts[size_t(line) * kColsPerLine + size_t(col)];
                board.SetCell(t.data(), t.size(), line, col, col % 16, 15, now);
            }
        }
        if (HistorySink* h = History())
            h->FrameApplied(board, now);
        calls += kLines * kColsPerLine;
    }
    state.SetItemsProcessed(calls);
    state.counters["ns_per_call"] =
        benchmark::Counter(double(calls), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_SetCellFrame)->Arg(0)->Arg(1)->ArgName("journal")->Unit(benchmark::kMicrosecond);

// --- the writer ---

// Changes handed over as fast as the queue takes them, on 2048 lines, until all are committed and
// folded into chunks (the journal's stop folds). The writer's CPU is the process's less this thread's.
void BM_WriterThroughput(benchmark::State& state)
{
    const int64_t total = state.range(0);
    for (auto _ : state) {
        HistoryOptions o;
        o.path = ScratchFile("throughput.sqlite3");
        auto journal = std::make_unique<HistoryJournal>(o);
        journal->Flush();
        ChangingBoard b;
        const double cpu0 = ProcessCpuSeconds();
        const double mine0 = ThreadCpuSeconds();
        const auto t0 = std::chrono::steady_clock::now();
        for (int64_t sent = 0; sent < total;) {
            if (HistoryFeed::Instance().Waiting() + kLines > HistoryFeed::kRingSlots) {
                std::this_thread::sleep_for(200us);
                continue;
            }
            sent += b.Round();
        }
        journal->Flush();
        const double notRecorded = double(journal->Status().notRecorded);
        journal.reset();
        const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        const double writer = (ProcessCpuSeconds() - cpu0) - (ThreadCpuSeconds() - mine0);
        state.SetIterationTime(wall);
        state.counters["changes_per_s"] = double(total) / wall;
        state.counters["changes_per_writer_cpu_s"] = double(total) / writer;
        state.counters["not_recorded"] = notRecorded;
    }
}
BENCHMARK(BM_WriterThroughput)->Arg(500000)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

// 50,000 changes a second for a few seconds, paced: the writer's share of a core, the fold of all
// of them into chunks at the journal's stop included.
void BM_WriterAtRate(benchmark::State& state)
{
    const int rate = int(state.range(0));
    constexpr int kSeconds = 4;
    for (auto _ : state) {
        HistoryOptions o;
        o.path = ScratchFile("rate.sqlite3");
        auto journal = std::make_unique<HistoryJournal>(o);
        journal->Flush();
        TagMonitor board(kLines);
        const double cpu0 = ProcessCpuSeconds();
        const double mine0 = ThreadCpuSeconds();
        const auto start = std::chrono::steady_clock::now();
        int64_t sent = 0;
        // Every 10 ms the changes due by then, as frames do.
        for (int tick = 1; tick <= kSeconds * 100; ++tick) {
            const int64_t due = int64_t(rate) * tick / 100;
            {
                std::lock_guard lock(board.Lock);
                const BoardTime now = board.Clock();
                for (; sent < due; ++sent) {
                    const char* text = kStatuses[(sent / kLines) % kStatusCount];
                    board.SetCell(text, std::strlen(text), int(sent % kLines), kHistoryColumn, 0, 15, now);
                }
            }
            std::this_thread::sleep_until(start + tick * 10ms);
        }
        const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        journal->Flush();
        const HistoryStatus status = journal->Status();
        journal.reset();
        const double writer = (ProcessCpuSeconds() - cpu0) - (ThreadCpuSeconds() - mine0);
        state.SetIterationTime(wall);
        state.counters["writer_core_percent"] = 100.0 * writer / wall;
        state.counters["recorded"] = double(status.recorded);
        state.counters["not_recorded"] = double(status.notRecorded);
    }
}
BENCHMARK(BM_WriterAtRate)->Arg(50000)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

// --- bytes on disk ---

// Hours of a busy platform through the journal itself, on a clock that runs as fast as the writer
// goes: 70 changes a second, a picture an hour, one commit per simulated second.
std::atomic<int64_t> simulatedNs{0};
BoardTime SimulatedNow()
{
    return BoardTime(std::chrono::nanoseconds(simulatedNs.load()));
}
int64_t SimulatedWallMs()
{
    return 1765000000000 + simulatedNs.load() / 1000000;
}

void BM_BytesPerChange(benchmark::State& state)
{
    const int hours = int(state.range(0));
    for (auto _ : state) {
        const BoardClockFn saved = BoardClock.exchange(&SimulatedNow);
        simulatedNs = 0;
        HistoryOptions o;
        o.path = ScratchFile("bytes.sqlite3");
        o.wallMs = &SimulatedWallMs;
        o.commitEvery = std::chrono::hours(1000); // committed by the loop below, a simulated second each
        o.idleWait = 1h;
        int64_t changes = 0;
        int64_t walMax = 0; // the write-ahead log is checkpointed and restarted, not left to grow
        {
            HistoryJournal journal(o);
            journal.Flush();
            TagMonitor board(kLines);
            std::mt19937 rng(11);
            std::vector<int> status(kLines, 0);
            for (int64_t second = 0; second < int64_t(hours) * 3600; ++second) {
                {
                    std::lock_guard lock(board.Lock);
                    for (int k = 0; k < kRate; ++k) {
                        simulatedNs += 1000000000 / kRate;
                        const int line = int(rng() % kLines);
                        int& s = status[size_t(line)];
                        s = (s + 1 + int(rng() % (kStatusCount - 1))) % kStatusCount;
                        board.SetCell(kStatuses[s], std::strlen(kStatuses[s]), line, kHistoryColumn, s, 15,
                                      board.Clock());
                        ++changes;
                    }
                    HistoryFeed::Instance().FrameApplied(board, board.Clock());
                }
                journal.Flush();
                if (second % 600 == 0)
                    walMax = std::max(walMax, FileBytes(o.path + "-wal"));
            }
        }
        BoardClock = saved;
        const double bytes = double(FileBytes(o.path));
        state.counters["changes"] = double(changes);
        state.counters["file_bytes"] = bytes;
        state.counters["bytes_per_change"] = bytes / double(changes);
        state.counters["largest_wal_bytes"] = double(walMax);
        state.counters["MB_per_day_at_70_per_s"] = bytes / double(changes) * kRate * 86400 / 1e6;
    }
}
BENCHMARK(BM_BytesPerChange)->Arg(4)->Iterations(1)->Unit(benchmark::kSecond);

// --- a week, and the replay on it ---

// A week at 70 changes a second on 2048 lines, written straight into the tables.
std::string WeekFile()
{
    static const std::string path = [] {
        const char* named = std::getenv("QUORVANE_HISTORY_WEEK");
        const std::string file =
            named ? named : (fs::temp_directory_path() / "quorvane-history-bench" / "week-v2.sqlite3").string();
        if (FileBytes(file) > 0)
            return file;
        fs::create_directories(fs::path(file).parent_path());
        const std::string partial = file + ".partial";
        fs::remove(partial);
        SqliteDb db;
        db.Open(partial, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
        db.Exec("PRAGMA journal_mode=WAL");
        db.Exec("PRAGMA synchronous=OFF");
        db.Exec("PRAGMA cache_size=-262144");
        db.Exec("BEGIN");
        CreateHistorySchema(db);
        constexpr int64_t kStart = 1765000000000;
        constexpr int64_t kWeekMs = 7LL * 86400 * 1000;
        SqliteStmt change, state, picture, event;
        change.Prepare(db, "INSERT INTO changes(line, t0, t1, n, data) VALUES(?1, ?2, ?3, ?4, ?5)");
        state.Prepare(db, "INSERT INTO states(id, text, fore, back, last) VALUES(?1, ?2, ?3, 16777215, ?4)");
        picture.Prepare(db, "INSERT INTO keyframes VALUES(?1, ?2, ?3)");
        event.Prepare(db, "INSERT INTO events VALUES(?1, 1, 2048, ?1)");
        for (int s = 0; s < kStatusCount; ++s) {
            state.Bind(1, s + 1);
            state.BindBlob(2, kStatuses[s]);
            state.Bind(3, s);
            state.Bind(4, kStart + kWeekMs);
            state.Run();
        }
        db.Exec(("INSERT INTO sessions VALUES(" + std::to_string(kStart - 1) + ", " + std::to_string(kStart + kWeekMs) +
                 ", 1)")
                    .c_str());
        event.Bind(1, kStart);
        event.Run();
        std::vector<HistoryKeyCell> cells(kLines, HistoryKeyCell{kEmptyState, kStart});
        std::mt19937 rng(3);
        int64_t rows = 0;
        // As the journal folds them: each line's changes between two folds in one chunk.
        std::vector<HistoryChangeBlob> chunks(kLines, HistoryChangeBlob(false));
        const int64_t foldMs = HistoryOptions{}.foldEvery.count();
        int64_t nextFold = kStart + foldMs;
        const auto fold = [&] {
            for (int line = 0; line < kLines; ++line) {
                HistoryChangeBlob& chunk = chunks[size_t(line)];
                if (chunk.Empty())
                    continue;
                change.Bind(1, line);
                change.Bind(2, chunk.T0());
                change.Bind(3, chunk.T1());
                change.Bind(4, chunk.Count());
                change.BindBlob(5, chunk.Data());
                change.Run();
                chunk.Clear();
            }
        };
        for (int64_t ms = 0; ms < kWeekMs; ms += 1000 / kRate + (ms % 7 == 0 ? 1 : 0)) {
            const int64_t t = kStart + ms;
            if (t >= nextFold) {
                fold();
                nextFold += foldMs;
            }
            if (ms % 3600000 < 1000 / kRate + 1) {
                picture.Bind(1, t);
                picture.Bind(2, kLines);
                picture.BindBlob(3, EncodeKeyframe(cells, t));
                picture.Run();
            }
            const int line = int(rng() % kLines);
            HistoryKeyCell& cell = cells[size_t(line)];
            cell.state = 1 + (cell.state + int64_t(rng() % (kStatusCount - 1))) % kStatusCount;
            cell.since = t;
            chunks[size_t(line)].Add(line, t, cell.state);
            if (++rows % 200000 == 0) {
                db.Exec("COMMIT");
                db.Exec("BEGIN");
            }
        }
        fold();
        db.Exec("COMMIT");
        db.Exec("PRAGMA wal_checkpoint(TRUNCATE)");
        db.Close();
        fs::rename(partial, file);
        fs::remove(partial + "-wal");
        fs::remove(partial + "-shm");
        return file;
    }();
    return path;
}

constexpr int64_t kWeekStart = 1765000000000;

void BM_ReplayBoardAt(benchmark::State& state)
{
    HistoryReader reader;
    std::string error;
    if (!reader.Open(WeekFile(), error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    std::mt19937_64 rng(5);
    std::vector<HistorySpan> lines;
    HistoryGap gap = HistoryGap::None;
    for (auto _ : state) {
        const int64_t t = kWeekStart + int64_t(rng() % uint64_t(7LL * 86400 * 1000));
        reader.BoardAt(t, lines, gap);
        if (lines.size() != size_t(kLines)) {
            state.SkipWithError("the replay found no board");
            return;
        }
        benchmark::DoNotOptimize(lines.data());
    }
    state.counters["file_MB"] = double(FileBytes(WeekFile())) / 1e6;
}
BENCHMARK(BM_ReplayBoardAt)->Unit(benchmark::kMillisecond);

// A freshly opened reader's first replay: what the probe and a newly opened window pay.
void BM_OpenAndReplay(benchmark::State& state)
{
    const std::string file = WeekFile();
    std::mt19937_64 rng(5);
    std::vector<HistorySpan> lines;
    HistoryGap gap = HistoryGap::None;
    const bool replay = state.range(0) != 0;
    for (auto _ : state) {
        HistoryReader reader;
        std::string error;
        int64_t first = 0, last = 0;
        if (!reader.Open(file, error) || !reader.Span(first, last)) {
            state.SkipWithError("cannot open the week");
            return;
        }
        if (replay)
            reader.BoardAt(kWeekStart + int64_t(rng() % uint64_t(7LL * 86400 * 1000)), lines, gap);
    }
}
BENCHMARK(BM_OpenAndReplay)->Arg(0)->Arg(1)->ArgName("replay")->Unit(benchmark::kMillisecond);

// The probe's whole --at run on the week: open, replay, format 2048 rows as CSV.
void BM_ProbeAt(benchmark::State& state)
{
    const std::string file = WeekFile();
    std::mt19937_64 rng(9);
    size_t bytes = 0;
    for (auto _ : state) {
        const int64_t t = kWeekStart + int64_t(rng() % uint64_t(7LL * 86400 * 1000));
        const std::time_t seconds = std::time_t(t / 1000);
        std::tm utc{};
        gmtime_r(&seconds, &utc);
        char at[32];
        std::strftime(at, sizeof at, "%Y-%m-%dT%H:%M:%SZ", &utc);
        const char* argv[] = {"quorvane-probe", "--history", file.c_str(), "--at", at, "--format", "csv"};
        std::string out;
        const int rc = RunProbe(7, argv, {[&out](std::string_view s) { out += s; }, [](std::string_view) {}});
        if (rc != 0) {
            state.SkipWithError("the probe failed");
            return;
        }
        bytes = out.size();
    }
    state.counters["output_bytes"] = double(bytes);
}
BENCHMARK(BM_ProbeAt)->Unit(benchmark::kMillisecond);

void BM_LineWeek(benchmark::State& state)
{
    HistoryReader reader;
    std::string error;
    if (!reader.Open(WeekFile(), error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    std::vector<HistorySpan> spans;
    int line = 0;
    for (auto _ : state) {
        reader.LineSpans(line, kWeekStart, kWeekStart + 7LL * 86400 * 1000, spans);
        line = (line + 523) % kLines;
        benchmark::DoNotOptimize(spans.data());
    }
    state.counters["spans"] = double(spans.size());
}
BENCHMARK(BM_LineWeek)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
