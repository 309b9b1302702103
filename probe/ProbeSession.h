#pragma once
// One connection to the CTI server, driven round by round on the calling thread: the link's own
// timed connect, poll request and frame decoding, into the process's board, without a worker
// thread and without a screen.

#include "common/MonitorView.h"
#include "link/Link.h"
#include "probe/ProbeFormat.h"
#include "probe/ProbeOptions.h"

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

class ProbeSession {
public:
    // note receives what the monitor would log about reconnecting, in UTF-8. Installs its own view
    // and log sink for its life (one session per process at a time).
    ProbeSession(TagRunCfg cfg, ProbeOptions options, const LinkTiming& timing,
                 std::function<void(std::string_view)> note);
    ~ProbeSession();
    ProbeSession(const ProbeSession&) = delete;
    ProbeSession& operator=(const ProbeSession&) = delete;

    // Connects when the link is down (after the monitor's reconnection pause when it went down
    // before), then polls until every cell of the board has arrived, options.polls answers have,
    // or options.timeoutSec has passed since the round began. Not ok without a single answer, or
    // when the link failed on the way (with the reason the monitor would log).
    ProbeRound Round();

private:
    class View : public MonitorView {
    public:
        void ShowLinkState(bool) override {}
        void SetSummaryText(const std::string& gbk) override { summary = gbk; }
        bool LayoutGrid(TagMonitor&, WakeFlag&) override { return true; }
        std::string summary;
    };

    ProbeRound Fail(std::string reason);
    bool Connect(std::chrono::steady_clock::time_point deadline, std::string& reason);
    bool BoardComplete() const;
    std::string TakeLog();

    TagRunCfg cfg_;
    ProbeOptions options_;
    std::function<void(std::string_view)> note_;
    SharedConfig shared_;
    TagTcpConnection link_;
    View view_;
    MonitorView* previousView_;
    std::string log_; // the link's last message since TakeLog
    bool everConnected_ = false;
    bool pollPending_ = false; // a poll whose answer has not arrived yet
    std::chrono::steady_clock::time_point pollAt_{};
    std::optional<std::chrono::steady_clock::time_point> downSince_;
};
