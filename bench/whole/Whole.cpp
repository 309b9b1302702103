// quorvane-whole: timings of the real main window (TForm1 with the link's own timing) against a
// running quorvane-sim. Run it in a scratch working directory: it writes Quorvane.cfg there,
// pointing at 127.0.0.1, and the monitor's Monitor.log and placement land there too.
//
//   quorvane-whole latency --sim-port P [--samples N] [--sleep-sec S] [--max-seconds T]
//       Puts a loopback relay between the window and the simulator. For each answer frame the
//       relay notes when its last byte left the simulator, and the GUI thread then watches one
//       visible cell that the frame recolours, on the screen itself (QScreen::grabWindow: the X
//       server's pixels under xcb), until the cell shows its new background.
//   quorvane-whole stop --sim-port P [--rounds N]
//       With SLEEP_SEC 10, waits until the worker sits in its pause after the first answer, then
//       times Reconnect1Click, StopMonitor and StartMonitor separately, and Exit1Click.
//   quorvane-whole wall --sim-port P [--sleep-sec S] [--groups G] [--warmup T] [--seconds T]
//       The window as the placement store sizes it (a wallboard), straight against the simulator.
//       On the GUI thread, for every refresh tick: the refresh itself (Timer1Timer), the grid's
//       paint events after it, the window's update requests (paint and flush to the X server)
//       after it, and when one cell that the refresh rewrote shows new pixels on the screen.
//
// Results are printed as "key value" lines.

#include "app/Unit1.h"
#include "board/Board.h"
#include "board/qt/LineGrid.h"
#include "common/MonitorView.h"
#include "platform/qt/Gbk.h"
#include "settings/Config.h"
#include "support/LoopbackRelay.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <time.h>
#include <tuple>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

// CPU time of the calling thread: what a paint cost, however long other processes kept it waiting.
double ThreadCpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

struct Options {
    std::string mode;
    int simPort = 0;
    int samples = 40;
    int sleepSec = 1;
    int maxSeconds = 120;
    int rounds = 3;
    int groups = 1;
    int warmup = 5;
    int seconds = 30;
};

bool ParseOptions(int argc, char** argv, Options& o)
{
    if (argc < 2)
        return false;
    o.mode = argv[1];
    for (int i = 2; i + 1 < argc; i += 2) {
        const std::string name = argv[i];
        const int value = std::atoi(argv[i + 1]);
        if (name == "--sim-port")
            o.simPort = value;
        else if (name == "--samples")
            o.samples = value;
        else if (name == "--sleep-sec")
            o.sleepSec = value;
        else if (name == "--max-seconds")
            o.maxSeconds = value;
        else if (name == "--rounds")
            o.rounds = value;
        else if (name == "--groups")
            o.groups = value;
        else if (name == "--warmup")
            o.warmup = value;
        else if (name == "--seconds")
            o.seconds = value;
        else
            return false;
    }
    return (o.mode == "latency" || o.mode == "stop" || o.mode == "wall") && o.simPort > 0 && o.simPort < 65536;
}

void WriteConfig(int port, int sleepSec, int groups = 1)
{
    WriteFile(kConfigFileName,
              LoopbackConfig(port, sleepSec,
                             "COL_GROUP_NUM = " + std::to_string(groups) + "\r\nLANGUAGE_TYPE = English\r\n"));
}

// Runs the event loop until done() holds or the time runs out; returns done().
template <class Done> bool SpinUntil(Done done, std::chrono::milliseconds limit)
{
    const auto end = Clock::now() + limit;
    while (!done()) {
        if (Clock::now() > end)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

void SpinFor(std::chrono::milliseconds span)
{
    SpinUntil([] { return false; }, span);
}

bool BoardPresent()
{
    BoardLock lock(CurBoardLock);
    return CurBoard != nullptr;
}

// ---- latency ----------------------------------------------------------------------------------

struct CellChange {
    int line;
    int column;
    int back;
};

struct FrameSeen {
    Clock::time_point lastByte; // when the relay had the frame's last byte from the simulator
    std::vector<CellChange> cells;
};

// A relay between the window and the simulator that cuts the answers into frames as they pass.
class FrameRelay {
public:
    explicit FrameRelay(int simPort)
        : relay_(simPort, [this](int, std::string_view bytes, Clock::time_point at) { Cut(bytes, at); })
    {
    }
    int port() const { return relay_.port(); }
    std::vector<FrameSeen> Take()
    {
        std::lock_guard lock(mutex_);
        std::vector<FrameSeen> out(frames_.begin(), frames_.end());
        frames_.clear();
        return out;
    }

private:
    // Called on the relay's thread with each piece of the answers.
    void Cut(std::string_view piece, Clock::time_point now)
    {
        pending_.insert(pending_.end(), piece.begin(), piece.end());
        std::vector<uint8_t>& bytes = pending_;
        for (;;) {
            if (bytes.size() < 6)
                return;
            int32_t bodyLen = 0;
            if (bytes[0] >= '0' && bytes[0] <= '9' && bytes[1] >= '0' && bytes[1] <= '9') {
                for (int i = 0; i < 4 && bytes[size_t(i)] >= '0' && bytes[size_t(i)] <= '9'; ++i)
                    bodyLen = bodyLen * 10 + (bytes[size_t(i)] - '0');
            } else {
                std::memcpy(&bodyLen, bytes.data(), 4);
            }
            const size_t end = 4 + size_t(bodyLen);
            if (bytes.size() < end)
                return;
            FrameSeen frame;
            frame.lastByte = now;
            for (size_t p = 6; p + 5 < end;) {
                const int line = int16_t(uint16_t(bytes[p] | (bytes[p + 1] << 8)));
                const int column = int8_t(bytes[p + 2]);
                const int back = int8_t(bytes[p + 4]);
                size_t q = p + 5;
                while (q < end && bytes[q] != 0)
                    ++q;
                frame.cells.push_back({line, column, back});
                p = q + 1;
            }
            {
                std::lock_guard lock(mutex_);
                frames_.push_back(std::move(frame));
            }
            bytes.erase(bytes.begin(), bytes.begin() + std::ptrdiff_t(end));
        }
    }

    std::vector<uint8_t> pending_; // the relay's thread only
    std::mutex mutex_;
    std::deque<FrameSeen> frames_;
    LoopbackRelay relay_; // last: its thread stops before the frames go
};

QColor PaletteColor(int index)
{
    const TColor c = LinePalette[index];
    return QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF));
}

struct Watch {
    Clock::time_point lastByte;
    int line;
    int column;
    QRgb expected;
    // The last look at the screen that did not yet show the colour: the change came after it.
    Clock::time_point lastLook;
};

// Share of the cell's pixels on the screen that have the colour; the cell's own rectangle only.
double ShareOnScreen(TForm1& form, const Watch& w)
{
    TLineGrid* grid = form.LineGrid;
    const QRect cell = grid->visualRect(grid->Model()->index(w.line, w.column));
    const QPoint at = grid->viewport()->mapToGlobal(cell.topLeft());
    QScreen* screen = form.screen();
    const QImage image = screen->grabWindow(0, at.x(), at.y(), cell.width(), cell.height()).toImage();
    if (image.isNull())
        return -1;
    int hits = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            hits += (image.pixel(x, y) & 0xFFFFFF) == (w.expected & 0xFFFFFF);
    return double(hits) / double(std::max(1, image.width() * image.height()));
}

bool FullyVisible(TForm1& form, int line, int column)
{
    TLineGrid* grid = form.LineGrid;
    const QModelIndex index = grid->Model()->index(line, column);
    if (!index.isValid())
        return false;
    return grid->viewport()->rect().contains(grid->visualRect(index));
}

void Percentiles(const char* name, std::vector<double> v)
{
    if (v.empty()) {
        std::printf("%s_n 0\n", name);
        return;
    }
    std::sort(v.begin(), v.end());
    const auto at = [&](double q) { return v[std::min(v.size() - 1, size_t(q * double(v.size() - 1) + 0.5))]; };
    std::printf("%s_n %zu\n", name, v.size());
    std::printf("%s_min %.2f\n%s_median %.2f\n%s_p95 %.2f\n%s_max %.2f\n", name, v.front(), name, at(0.5), name,
                at(0.95), name, v.back());
}

class TickWatcher : public QObject {
public:
    std::vector<Clock::time_point> starts;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Timer)
            starts.push_back(Clock::now());
        return QObject::eventFilter(watched, event);
    }
};

int RunLatency(const Options& o)
{
    FrameRelay relay(o.simPort);
    WriteConfig(relay.port(), o.sleepSec);
    CurConfig.Set(TagRunCfg());
    LoadConfig(CurConfig);

    auto form = std::make_unique<TForm1>();
    form->show();
    TickWatcher ticks;
    form->Timer1->installEventFilter(&ticks);

    std::map<std::pair<int, int>, int> shownBack; // (line, column) -> background index from the last frame
    std::vector<Watch> watches;
    std::vector<double> latencies, afterTick, afterTickLow, resolution;
    int superseded = 0, frames = 0, framesWithoutCandidate = 0;
    const auto deadline = Clock::now() + std::chrono::seconds(o.maxSeconds);

    while (int(latencies.size()) < o.samples && Clock::now() < deadline) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        for (FrameSeen& f : relay.Take()) {
            ++frames;
            bool picked = false;
            for (const CellChange& c : f.cells) {
                if (c.line < 0 || c.back < 0 || c.back > 15)
                    continue;
                const auto key = std::make_pair(c.line, c.column);
                const auto old = shownBack.find(key);
                const bool recoloured = old != shownBack.end() && old->second != c.back;
                shownBack[key] = c.back;
                // A newer frame recolours a watched cell before it showed: that watch cannot end.
                const auto it = std::find_if(watches.begin(), watches.end(),
                                             [&](const Watch& w) { return w.line == c.line && w.column == c.column; });
                if (it != watches.end()) {
                    watches.erase(it);
                    ++superseded;
                }
                if (!picked && recoloured && FullyVisible(*form, c.line, c.column)) {
                    watches.push_back({f.lastByte, c.line, c.column, PaletteColor(c.back).rgb(), f.lastByte});
                    picked = true;
                }
            }
            if (!picked && frames > 1)
                ++framesWithoutCandidate;
        }
        for (auto it = watches.begin(); it != watches.end();) {
            if (ShareOnScreen(*form, *it) >= 0.4) {
                const auto now = Clock::now();
                latencies.push_back(Ms(now - it->lastByte));
                resolution.push_back(Ms(now - it->lastLook));
                Clock::time_point tick{};
                for (const auto& t : ticks.starts)
                    if (t <= now)
                        tick = t;
                if (tick > it->lastByte) {
                    afterTick.push_back(Ms(now - tick));
                    afterTickLow.push_back(std::max(0.0, Ms(it->lastLook - tick)));
                }
                it = watches.erase(it);
            } else {
                it->lastLook = Clock::now();
                ++it;
            }
        }
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }

    std::vector<double> intervals;
    for (size_t i = 1; i < ticks.starts.size(); ++i)
        intervals.push_back(Ms(ticks.starts[i] - ticks.starts[i - 1]));
    std::printf("platform %s\nframes %d\nsuperseded %d\nframes_without_visible_recolour %d\n",
                qPrintable(QGuiApplication::platformName()), frames, superseded, framesWithoutCandidate);
    Percentiles("latency_ms", latencies);
    Percentiles("tick_to_pixels_ms", afterTick);
    // The pixels changed after the last look and by the one that saw them: two bounds.
    Percentiles("tick_to_pixels_low_ms", afterTickLow);
    Percentiles("look_interval_ms", resolution);
    Percentiles("tick_interval_ms", intervals);
    form->close();
    form.reset();
    return int(latencies.size()) < o.samples ? 1 : 0;
}

// ---- stop ------------------------------------------------------------------------------------

// Waits for the session's first answer, then long enough for the worker to be in its pause.
bool InPause()
{
    if (!SpinUntil(BoardPresent, std::chrono::seconds(15)))
        return false;
    SpinFor(std::chrono::milliseconds(500));
    return true;
}

int RunStop(const Options& o)
{
    WriteConfig(o.simPort, 10);
    CurConfig.Set(TagRunCfg());
    LoadConfig(CurConfig);
    std::vector<double> reconnect, stop, start, exitClick, construct;
    for (int round = 0; round < o.rounds; ++round) {
        auto begin = Clock::now();
        auto form = std::make_unique<TForm1>();
        construct.push_back(Ms(Clock::now() - begin));
        form->show();
        if (!InPause()) {
            std::fprintf(stderr, "stop: no answer from the simulator\n");
            return 1;
        }
        begin = Clock::now();
        form->Reconnect1Click();
        reconnect.push_back(Ms(Clock::now() - begin));
        if (!InPause())
            return 1;
        begin = Clock::now();
        form->StopMonitor();
        stop.push_back(Ms(Clock::now() - begin));
        begin = Clock::now();
        form->StartMonitor();
        start.push_back(Ms(Clock::now() - begin));
        if (!InPause())
            return 1;
        begin = Clock::now();
        form->Exit1Click();
        exitClick.push_back(Ms(Clock::now() - begin));
        form.reset();
    }
    std::printf("platform %s\n", qPrintable(QGuiApplication::platformName()));
    Percentiles("construct_ms", construct);
    Percentiles("reconnect_ms", reconnect);
    Percentiles("stopmonitor_ms", stop);
    Percentiles("startmonitor_ms", start);
    Percentiles("exit_ms", exitClick);
    return 0;
}

// ---- wall ------------------------------------------------------------------------------------

// One refresh tick as the GUI thread saw it; times in ms from the start of the refresh.
struct TickTimes {
    Clock::time_point start;
    double refreshMs = -1;
    double refreshCpuMs = -1;
    double paintMs = 0;    // the grid's paint events until the next tick
    double paintCpuMs = 0; // the GUI thread's CPU time in them
    double updateMs = 0;   // the window's update requests (paint and flush) until the next tick
    double updateCpuMs = 0;
    double paintEndMs = -1;  // end of the first update request after the refresh that painted the grid
    double pixelsMs = -1;    // the look at the screen that saw the probe cell's new pixels had ended
    double pixelsLowMs = -1; // the last look that did not see them had begun
    int changed = 0;         // cells in view that the refresh rewrote
    bool probed = false;
    bool missed = false; // the probe cell showed nothing new before the next tick
};

// Watches the window's refresh ticks and the paint work after each. A paint event or update request
// is timed by delivering it from the filter itself, inside the clock, and stopping its usual
// delivery: the same handlers run, in the same place, once.
class WallProbe : public QObject {
public:
    explicit WallProbe(TForm1& form) : form_(form), grid_(*form.LineGrid), viewport_(*form.LineGrid->viewport())
    {
        form_.Timer1->installEventFilter(this);
        form_.installEventFilter(this);
        viewport_.installEventFilter(this);
        // Connected after the window's own slot, so it runs once Timer1Timer has returned.
        connect(form_.Timer1, &QTimer::timeout, this, &WallProbe::RefreshDone);
        look_.setTimerType(Qt::PreciseTimer);
        look_.setInterval(1);
        connect(&look_, &QTimer::timeout, this, &WallProbe::Look);
    }

    void Record(bool on) { recording_ = on; }
    const std::vector<TickTimes>& Ticks() const { return ticks_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == form_.Timer1 && event->type() == QEvent::Timer) {
            StartTick();
        } else if (watched == &form_ && event->type() == QEvent::UpdateRequest && !inUpdate_) {
            paintedInUpdate_ = false;
            const auto [ms, cpuMs, end] = Deliver(watched, event, inUpdate_);
            if (open_ && refreshed_) {
                TickTimes& t = ticks_.back();
                t.updateMs += ms;
                t.updateCpuMs += cpuMs;
                if (t.paintEndMs < 0 && paintedInUpdate_)
                    t.paintEndMs = Ms(end - t.start);
            }
            return true;
        } else if (watched == &viewport_ && event->type() == QEvent::Paint && !inPaint_) {
            const auto [ms, cpuMs, end] = Deliver(watched, event, inPaint_);
            paintedInUpdate_ = true;
            if (open_ && refreshed_) {
                ticks_.back().paintMs += ms;
                ticks_.back().paintCpuMs += cpuMs;
            }
            return true;
        }
        return false;
    }

private:
    struct Probe {
        int col = -1;
        int dataRow = -1;
        QString oldText;
        QImage before;
    };

    // Wall time, the GUI thread's CPU time, and the end.
    static std::tuple<double, double, Clock::time_point> Deliver(QObject* watched, QEvent* event, bool& inside)
    {
        inside = true;
        const double cpu = ThreadCpuMs();
        const auto begin = Clock::now();
        QCoreApplication::sendEvent(watched, event);
        const auto end = Clock::now();
        inside = false;
        return {Ms(end - begin), ThreadCpuMs() - cpu, end};
    }

    QImage Grab(int col, int dataRow) const
    {
        const QRect cell = grid_.visualRect(grid_.Model()->index(dataRow, col));
        const QPoint at = viewport_.mapToGlobal(cell.topLeft());
        return form_.screen()->grabWindow(0, at.x(), at.y(), cell.width(), cell.height()).toImage();
    }

    void StopLook()
    {
        look_.stop();
        watching_ = false;
    }

    // Counts the cells in view that the coming refresh will rewrite and picks one of them, fully
    // in view, whose text changes: its pixels must change with the paint after the refresh.
    void ChooseProbe(TickTimes& t)
    {
        probe_ = Probe();
        const GridWindow view = grid_.VisibleWindow();
        std::vector<std::pair<int, int>> changed; // (column, data row)
        std::vector<QString> texts;
        {
            BoardLock ref(CurBoardLock);
            if (!CurBoard || BoardBusy.load() != 0)
                return;
            BoardLock cells(CurBoard->Lock);
            if (grid_.LaidOutFor() != CurBoard)
                return;
            for (int r = view.top; r <= view.bottom; ++r) {
                for (int c = view.left; c <= view.right; ++c) {
                    const BoardCell at = BoardCellAt(c, r, grid_.GroupCount(), CurBoard->LineCount);
                    if (at.line >= 0 && CurBoard->Rows[size_t(at.line)].Cols[at.column].Changed)
                        changed.emplace_back(c, r - 1);
                }
            }
            t.changed = int(changed.size());
            // A few tries from a point that moves from tick to tick, so the probe visits the whole view.
            for (size_t i = 0; i < std::min<size_t>(changed.size(), 32); ++i) {
                const auto [c, row] = changed[(size_t(ticks_.size()) * 7919 + i * 104729) % changed.size()];
                if (!FullyVisible(form_, row, c))
                    continue;
                const BoardCell at = BoardCellAt(c, row + 1, grid_.GroupCount(), CurBoard->LineCount);
                const QString text = FromGbk(CurBoard->Rows[size_t(at.line)].Cols[at.column].Text);
                if (text != grid_.Model()->CellText(c, row)) {
                    probe_.col = c;
                    probe_.dataRow = row;
                    break;
                }
            }
        }
        if (probe_.col >= 0) {
            probe_.oldText = grid_.Model()->CellText(probe_.col, probe_.dataRow);
            probe_.before = Grab(probe_.col, probe_.dataRow);
        }
    }

    void StartTick()
    {
        if (watching_) {
            ticks_.back().missed = true;
            StopLook();
        }
        open_ = recording_;
        refreshed_ = false;
        if (!open_)
            return;
        TickTimes t;
        ChooseProbe(t);
        // The probe's look-up and first look are the harness's, not the refresh's.
        t.start = Clock::now();
        refreshCpuStart_ = ThreadCpuMs();
        ticks_.push_back(t);
    }

    void RefreshDone()
    {
        if (!open_)
            return;
        TickTimes& t = ticks_.back();
        lastLookStart_ = Clock::now();
        t.refreshMs = Ms(lastLookStart_ - t.start);
        t.refreshCpuMs = ThreadCpuMs() - refreshCpuStart_;
        refreshed_ = true;
        if (probe_.col >= 0 && !probe_.before.isNull() &&
            grid_.Model()->CellText(probe_.col, probe_.dataRow) != probe_.oldText) {
            t.probed = true;
            watching_ = true;
            look_.start();
        }
    }

    void Look()
    {
        if (!watching_)
            return;
        const auto begin = Clock::now();
        const QImage now = Grab(probe_.col, probe_.dataRow);
        const auto end = Clock::now();
        if (now.isNull() || now == probe_.before) {
            lastLookStart_ = begin;
            return;
        }
        TickTimes& t = ticks_.back();
        t.pixelsMs = Ms(end - t.start);
        t.pixelsLowMs = Ms(lastLookStart_ - t.start);
        StopLook();
    }

    TForm1& form_;
    TLineGrid& grid_;
    QWidget& viewport_;
    QTimer look_;
    std::vector<TickTimes> ticks_;
    Probe probe_;
    Clock::time_point lastLookStart_;
    double refreshCpuStart_ = 0;
    bool recording_ = false;
    bool open_ = false;      // the current tick is recorded
    bool refreshed_ = false; // its refresh has returned
    bool watching_ = false;
    bool inUpdate_ = false;
    bool inPaint_ = false;
    bool paintedInUpdate_ = false;
};

void RunLoopFor(std::chrono::milliseconds span)
{
    QEventLoop loop;
    QTimer::singleShot(span, &loop, &QEventLoop::quit);
    loop.exec();
}

int RunWall(const Options& o)
{
    WriteConfig(o.simPort, o.sleepSec, o.groups);
    CurConfig.Set(TagRunCfg());
    LoadConfig(CurConfig);

    // The size comes from the placement store, as for the real binary.
    auto form = std::make_unique<TForm1>();
    form->show();
    WallProbe probe(*form);
    if (!SpinUntil(BoardPresent, std::chrono::seconds(20))) {
        std::fprintf(stderr, "wall: no answer from the simulator\n");
        return 1;
    }
    RunLoopFor(std::chrono::seconds(o.warmup));
    probe.Record(true);
    RunLoopFor(std::chrono::seconds(o.seconds));
    probe.Record(false);

    std::vector<double> refresh, paint, update, paintEnd, pixels, pixelsLow, cells, intervals, idleRefresh;
    std::vector<double> refreshCpu, paintCpu, updateCpu;
    int probed = 0, missed = 0, quiet = 0;
    const std::vector<TickTimes>& ticks = probe.Ticks();
    for (size_t i = 0; i < ticks.size(); ++i) {
        const TickTimes& t = ticks[i];
        if (i > 0)
            intervals.push_back(Ms(t.start - ticks[i - 1].start));
        if (t.refreshMs < 0)
            continue;
        if (t.changed == 0) {
            ++quiet;
            idleRefresh.push_back(t.refreshMs);
            continue;
        }
        cells.push_back(t.changed);
        refresh.push_back(t.refreshMs);
        paint.push_back(t.paintMs);
        update.push_back(t.updateMs);
        refreshCpu.push_back(t.refreshCpuMs);
        paintCpu.push_back(t.paintCpuMs);
        updateCpu.push_back(t.updateCpuMs);
        if (t.paintEndMs >= 0)
            paintEnd.push_back(t.paintEndMs);
        probed += t.probed;
        missed += t.missed;
        if (t.pixelsMs >= 0) {
            pixels.push_back(t.pixelsMs);
            pixelsLow.push_back(std::max(0.0, t.pixelsLowMs));
        }
    }
    const GridWindow view = form->LineGrid->VisibleWindow();
    std::printf("platform %s\n", qPrintable(QGuiApplication::platformName()));
    std::printf("per_cell_notices %d\n", qEnvironmentVariableIsSet("QUORVANE_PER_CELL_NOTICES") ? 1 : 0);
    std::printf("window_width %d\nwindow_height %d\nviewport_width %d\nviewport_height %d\n",
                form->frameGeometry().width(), form->frameGeometry().height(), form->LineGrid->viewport()->width(),
                form->LineGrid->viewport()->height());
    std::printf("cells_in_view %d\n", (view.bottom - view.top + 1) * (view.right - view.left + 1));
    std::printf("ticks %zu\nticks_without_changes %d\nprobed %d\nmissed %d\n", ticks.size(), quiet, probed, missed);
    Percentiles("cells_per_tick", cells);
    Percentiles("refresh_ms", refresh);
    Percentiles("refresh_quiet_ms", idleRefresh);
    Percentiles("paint_ms", paint);
    Percentiles("update_ms", update);
    Percentiles("refresh_cpu_ms", refreshCpu);
    Percentiles("paint_cpu_ms", paintCpu);
    Percentiles("update_cpu_ms", updateCpu);
    Percentiles("tick_to_paint_end_ms", paintEnd);
    Percentiles("tick_to_pixels_ms", pixels);
    Percentiles("tick_to_pixels_low_ms", pixelsLow);
    Percentiles("tick_interval_ms", intervals);
    form->close();
    form.reset();
    return refresh.empty() ? 1 : 0;
}

} // namespace

int main(int argc, char** argv)
{
    Options o;
    if (!ParseOptions(argc, argv, o)) {
        std::fprintf(stderr, "usage: quorvane-whole latency|stop|wall --sim-port P [--samples N] [--sleep-sec S]"
                             " [--max-seconds T] [--rounds N] [--groups G] [--warmup T] [--seconds T]\n");
        return 2;
    }
    QApplication app(argc, argv);
    // A failure box would wait for an operator; here it is printed instead.
    SetMessageHandler([](const TagMessage& m) { std::fprintf(stderr, "message: %s\n", m.text.c_str()); });
    const int result = o.mode == "latency" ? RunLatency(o) : o.mode == "stop" ? RunStop(o) : RunWall(o);
    std::fflush(stdout);
    return result;
}
