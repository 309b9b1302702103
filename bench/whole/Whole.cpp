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
//
// Results are printed as "key value" lines.

#include "app/Unit1.h"
#include "board/Board.h"
#include "board/LineGrid.h"
#include "common/MonitorView.h"
#include "settings/Config.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QTimer>

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fstream>
#include <map>
#include <mutex>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

struct Options {
    std::string mode;
    int simPort = 0;
    int samples = 40;
    int sleepSec = 1;
    int maxSeconds = 120;
    int rounds = 3;
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
        else
            return false;
    }
    return (o.mode == "latency" || o.mode == "stop") && o.simPort > 0 && o.simPort < 65536;
}

void WriteConfig(int port, int sleepSec)
{
    std::ofstream f("Quorvane.cfg", std::ios::binary | std::ios::trunc);
    f << "SERVER_IP = 127.0.0.1\r\nSERVER_PORT = " << port << "\r\nSLEEP_SEC = " << sleepSec
      << "\r\nCOL_GROUP_NUM = 1\r\nLANGUAGE_TYPE = English\r\n";
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
    std::lock_guard lock(CurBoardLock);
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

// Relays one connection from the window to the simulator and cuts the answers into frames.
class Relay {
public:
    explicit Relay(int simPort) : simPort_(simPort)
    {
        listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        ::bind(listen_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(listen_, 4);
        ::getsockname(listen_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
        if (::pipe(stop_) != 0)
            std::abort();
        thread_ = std::thread([this] { Run(); });
    }
    ~Relay()
    {
        const char c = 1;
        (void)!::write(stop_[1], &c, 1);
        thread_.join();
        ::close(listen_);
        ::close(stop_[0]);
        ::close(stop_[1]);
    }
    int port() const { return port_; }
    std::vector<FrameSeen> Take()
    {
        std::lock_guard lock(mutex_);
        std::vector<FrameSeen> out(frames_.begin(), frames_.end());
        frames_.clear();
        return out;
    }

private:
    static void NoDelay(int fd)
    {
        int on = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    }

    void Run()
    {
        pollfd a[2] = {{listen_, POLLIN, 0}, {stop_[0], POLLIN, 0}};
        if (::poll(a, 2, -1) <= 0 || !(a[0].revents & POLLIN))
            return;
        const int monitor = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
        const int sim = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in s{};
        s.sin_family = AF_INET;
        s.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        s.sin_port = htons(uint16_t(simPort_));
        if (monitor < 0 || ::connect(sim, reinterpret_cast<sockaddr*>(&s), sizeof s) != 0) {
            std::fprintf(stderr, "relay: no connection to the simulator on port %d\n", simPort_);
            ::close(sim);
            if (monitor >= 0)
                ::close(monitor);
            return;
        }
        NoDelay(monitor);
        NoDelay(sim);
        std::vector<uint8_t> pending;
        char buf[65536];
        for (;;) {
            pollfd p[3] = {{monitor, POLLIN, 0}, {sim, POLLIN, 0}, {stop_[0], POLLIN, 0}};
            if (::poll(p, 3, -1) <= 0 || p[2].revents)
                break;
            if (p[0].revents) {
                const long n = ::recv(monitor, buf, sizeof buf, 0);
                if (n <= 0 || ::send(sim, buf, size_t(n), MSG_NOSIGNAL) != n)
                    break;
            }
            if (p[1].revents) {
                const long n = ::recv(sim, buf, sizeof buf, 0);
                const auto now = Clock::now();
                if (n <= 0)
                    break;
                pending.insert(pending.end(), buf, buf + n);
                CutFrames(pending, now);
                if (::send(monitor, buf, size_t(n), MSG_NOSIGNAL) != n)
                    break;
            }
        }
        ::close(monitor);
        ::close(sim);
    }

    void CutFrames(std::vector<uint8_t>& bytes, Clock::time_point now)
    {
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

    int simPort_;
    int listen_ = -1;
    int port_ = 0;
    int stop_[2] = {-1, -1};
    std::mutex mutex_;
    std::deque<FrameSeen> frames_;
    std::thread thread_;
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
    std::printf("%s_min %.1f\n%s_median %.1f\n%s_p95 %.1f\n%s_max %.1f\n", name, v.front(), name, at(0.5), name,
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
    Relay relay(o.simPort);
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

} // namespace

int main(int argc, char** argv)
{
    Options o;
    if (!ParseOptions(argc, argv, o)) {
        std::fprintf(stderr, "usage: quorvane-whole latency|stop --sim-port P [--samples N] [--sleep-sec S]"
                             " [--max-seconds T] [--rounds N]\n");
        return 2;
    }
    QApplication app(argc, argv);
    // A failure box would wait for an operator; here it is printed instead.
    SetMessageHandler([](const TagMessage& m) { std::fprintf(stderr, "message: %s\n", m.text.c_str()); });
    const int result = o.mode == "latency" ? RunLatency(o) : RunStop(o);
    std::fflush(stdout);
    return result;
}
