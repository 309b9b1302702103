#pragma once
// Helpers shared by the tests: a scratch working directory, the loopback Quorvane.cfg, the link's
// short timing, the log's messages, a recording view and message sink.

#include "board/Board.h"
#include "common/MonitorView.h"
#include "link/Link.h"
#include "settings/Config.h"

#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

// Creates a fresh temporary directory and makes it the working directory for the object's life:
// the program reads and writes its files by bare name.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    const std::string& path() const { return path_; }

private:
    std::string path_;
    std::string previous_;
};

std::string ReadFile(const std::string& name);
void WriteFile(const std::string& name, const std::string& bytes);

// The text of a Quorvane.cfg that points at 127.0.0.1:port, in the program's own CR LF lines:
// "SERVER_IP = 127.0.0.1" first, SERVER_PORT, SLEEP_SEC when sleepSec is not negative, then the
// extra lines as given ("LANGUAGE_TYPE = English\r\n"). Every settings file a test, benchmark or
// driver writes comes from here: the default server lies on a private network.
std::string LoopbackConfig(int port, int sleepSec = -1, const std::string& extra = std::string());

// The same settings without the file, for a link made from a SharedConfig: 127.0.0.1:port and the
// poll pause, the rest as the defaults.
TagRunCfg LoopbackRunCfg(int port, int sleepSec);

// Writes LoopbackConfig(port, -1, extra) as Quorvane.cfg in the working directory and reads it into
// CurConfig over the defaults. Every test that may start a link writes one first.
void WriteLoopbackConfig(int port, const std::string& extra = std::string());

// The link's time-outs and pauses cut to milliseconds: connects that succeed on loopback take one
// step, so only a refused connect waits a whole time-out. A suite that needs another value sets that
// field itself and says why.
LinkTiming ShortTiming();

// The Turkish locale tr_TR.UTF-8, built once per process with localedef into a scratch folder: there
// 'i' has no single-byte upper case, so the C library's toupper leaves it alone. Returns the folder to
// name in LOCPATH, or an empty text with the reason where it cannot be made (no localedef, no locale
// sources, Windows) or does not behave so.
std::string TurkishLocaleDir(std::string& why);

// Switches the C library to the Turkish locale for the object's life, as the GUI library does from
// the environment at start-up; "C" again afterwards. active() is false (why() says why) where the
// locale cannot be made: the test then skips.
class TurkishLocale {
public:
    TurkishLocale();
    ~TurkishLocale();
    TurkishLocale(const TurkishLocale&) = delete;
    TurkishLocale& operator=(const TurkishLocale&) = delete;
    bool active() const { return active_; }
    const std::string& why() const { return why_; }

private:
    bool active_ = false;
    std::string why_;
};

// True when the file cannot be opened for writing by this thread, the state a read-only case needs;
// otherwise false with why. Wine run as root, for one, lets a file with the read-only attribute be
// written, and a case that then went on would fail for the test machine's sake. Nothing is written.
bool WritesRefused(const std::string& path, std::string& why);

// Runs the calling thread as the unprivileged user nobody for the object's life when the tests run as
// root, whose writes permission bits do not stop; elsewhere it changes nothing. Only this thread
// changes (the raw system calls skip the C library's broadcast to every thread), and the saved user
// stays root, so the destructor can switch back. active() is false, with why(), when root could not
// switch: a read-only case then skips plainly instead of passing for the wrong reason.
class Unprivileged {
public:
    Unprivileged();
    ~Unprivileged();
    Unprivileged(const Unprivileged&) = delete;
    Unprivileged& operator=(const Unprivileged&) = delete;
    bool active() const { return active_; }
    const std::string& why() const { return why_; }

private:
    bool active_ = true;
    bool switched_ = false;
    std::vector<unsigned> groups_;
    std::string why_;
};

// Polls cond every millisecond until it holds or the time-out passes; returns cond().
bool WaitFor(const std::function<bool()>& cond, std::chrono::milliseconds timeout = std::chrono::seconds(5));

// The messages of Monitor.log in the working directory, time stamps stripped; a line that is not
// in the log's format is returned whole with a "?" in front.
std::vector<std::string> LogMessages();

// Records every message box instead of showing it; restores the previous handler on destruction.
class MessageRecorder {
public:
    MessageRecorder();
    ~MessageRecorder();
    std::vector<TagMessage> messages() const;

private:
    mutable std::mutex mutex_;
    std::vector<TagMessage> messages_;
};

// A view that records the calls the core makes and lays nothing out. Installed as CurView.
class RecordingView : public MonitorView {
public:
    RecordingView();
    ~RecordingView() override;
    void ShowLinkState(bool connected) override;
    void SetSummaryText(const std::string& gbk) override;
    bool LayoutGrid(TagMonitor& board, WakeFlag& stop) override;

    std::vector<std::string> calls() const; // "link up", "link down", "summary:<text>", "layout:<n>"

private:
    mutable std::mutex mutex_;
    std::vector<std::string> calls_;
    MonitorView* previous_;
};

// Makes BoardClock a clock that moves only when told, for the object's life; boards constructed
// meanwhile read it. Starts at an arbitrary moment far from the epoch.
class FakeBoardClock {
public:
    FakeBoardClock();
    ~FakeBoardClock();
    FakeBoardClock(const FakeBoardClock&) = delete;
    FakeBoardClock& operator=(const FakeBoardClock&) = delete;

    static BoardTime Now();
    static void Advance(std::chrono::steady_clock::duration d);

private:
    BoardClockFn previous_;
};
