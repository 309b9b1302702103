#pragma once
// Helpers shared by the tests: a scratch working directory, the loopback Quorvane.cfg, the link's
// short timing, the log's messages, a recording view and message sink.

#include "board/Board.h"
#include "common/MonitorView.h"
#include "link/Link.h"

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

// Writes Quorvane.cfg (loopback, the given port, then extra lines) in the working directory and
// reads it into CurConfig over the defaults. Every test that may start a link writes one first: the
// default server lies on a private network.
void WriteLoopbackConfig(int port, const std::string& extra = std::string());

// The link's time-outs and pauses cut to milliseconds: connects that succeed on loopback take one
// step, so only a refused connect waits a whole time-out. A suite that needs another value sets that
// field itself and says why.
LinkTiming ShortTiming();

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
