#include "probe/Probe.h"

#include "common/MonitorView.h"
#include "platform/Utf8.h"
#include "probe/ProbeFormat.h"
#include "probe/ProbeHistory.h"
#include "probe/ProbeOptions.h"
#include "probe/ProbeSession.h"
#include "settings/Config.h"

#include <chrono>
#include <thread>

#ifndef QUORVANE_VERSION
#define QUORVANE_VERSION "unknown"
#endif

namespace {

constexpr int kExitNoBoard = 1;
constexpr int kExitUsage = 2;

// Reads the settings as the options say. A missing Quorvane.cfg matters only when it was to name
// the server; a file named with --config must be there.
bool LoadSettings(const ProbeOptions& options, TagRunCfg& cfg, std::string& error)
{
    std::string box;
    SetMessageHandler([&box](const TagMessage& m) { box = m.caption + ": " + m.text; });
    int result = 0;
    if (!options.config.empty())
        result = LoadConfigFrom(options.config.c_str(), cfg);
    else
        result = LoadConfig(cfg);
    SetMessageHandler(nullptr);
    const bool needed = !options.config.empty() || options.host.empty() || options.port == 0;
    if (result != 0 && needed) {
        error = "cannot read the settings (" + GbkToUtf8(box) + ")";
        if (options.config.empty())
            error += "; give --host and --port, or --config FILE";
        return false;
    }
    if (!options.host.empty())
        cfg.ServerIp = options.host;
    if (options.port != 0)
        cfg.ServerPort = options.port;
    return true;
}

std::string Render(const ProbeRound& round, const ProbeOptions& options, int& status)
{
    if (options.check) {
        const ProbeCheck check = FormatCheck(round, options);
        status = check.state;
        return check.line + "\n";
    }
    status = round.ok ? 0 : kExitNoBoard;
    if (options.format == ProbeFormat::Prometheus)
        return FormatPrometheus(round);
    if (!round.ok)
        return {};
    switch (options.format) {
    case ProbeFormat::Csv:
        return round.board.csv;
    case ProbeFormat::Json:
        return FormatJson(round.board);
    case ProbeFormat::Table:
    case ProbeFormat::Prometheus:
        break;
    }
    return FormatTable(round.board);
}

} // namespace

int RunProbe(int argc, const char* const* argv, const ProbeIo& io, const LinkTiming& timing)
{
    ProbeOptions options;
    std::string error;
    const bool check = WantsCheck(argc, argv);
    const int usageStatus = check ? int(kProbeUnknown) : kExitUsage;
    const auto refuse = [&](const std::string& reason, bool showUsage) {
        if (check)
            io.out(UnknownCheckLine(reason) + "\n");
        io.err("quorvane-probe: " + reason + "\n");
        if (showUsage)
            io.err(ProbeShortUsage());
        return usageStatus;
    };
    switch (ParseProbeArgs(argc, argv, options, error)) {
    case ProbeParse::Help:
        io.out(ProbeUsage());
        return 0;
    case ProbeParse::Version:
        io.out("quorvane-probe " QUORVANE_VERSION "\n");
        return 0;
    case ProbeParse::Error:
        return refuse(error, true);
    case ProbeParse::Run:
        break;
    }
    if (!options.history.empty())
        return RunHistoryProbe(options, io);

    TagRunCfg cfg;
    if (!LoadSettings(options, cfg, error))
        return refuse(error, false);

    ProbeSession session(cfg, options, timing,
                         [&io](std::string_view note) { io.err("quorvane-probe: " + std::string(note) + "\n"); });
    const auto period = std::chrono::duration_cast<std::chrono::steady_clock::duration>(
        std::chrono::duration<double>(options.watchSec));
    auto next = std::chrono::steady_clock::now();
    int status = 0;
    for (int round = 1;; ++round) {
        const ProbeRound result = session.Round();
        if (!result.ok && !options.check)
            io.err("quorvane-probe: " + result.reason + "\n");
        else if (result.ok && !result.board.Complete() && !options.check)
            io.err("quorvane-probe: the board is not whole: " + std::to_string(result.board.cellsReceived) + " of " +
                   std::to_string(result.board.lineCount * kColsPerLine) + " cells arrived\n");
        io.out(Render(result, options, status));
        if (options.watchSec == 0 || (options.count > 0 && round >= options.count))
            break;
        // Rounds keep their pace; a round that overran its slot starts the next one at once.
        next += period;
        const auto now = std::chrono::steady_clock::now();
        if (next < now)
            next = now;
        std::this_thread::sleep_until(next);
        if (options.format == ProbeFormat::Table && !options.check)
            io.out("\n");
    }
    return status;
}
