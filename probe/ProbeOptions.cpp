#include "probe/ProbeOptions.h"

#include "common/LongOption.h"
#include "history/HistoryTime.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

bool ParseInt(const std::string& text, long long low, long long high, int& value)
{
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos || text.size() > 12)
        return false;
    const long long v = std::strtoll(text.c_str(), nullptr, 10);
    if (v < low || v > high)
        return false;
    value = int(v);
    return true;
}

// Seconds: digits with at most one decimal point, above 0 and at most high.
bool ParseSeconds(const std::string& text, double high, double& value)
{
    if (text.empty() || text.find_first_not_of("0123456789.") != std::string::npos ||
        text.find('.') != text.rfind('.') || text.find_first_of("0123456789") == std::string::npos)
        return false;
    const double v = std::strtod(text.c_str(), nullptr);
    if (!std::isfinite(v) || v <= 0 || v > high)
        return false;
    value = v;
    return true;
}

} // namespace

bool WantsCheck(int argc, const char* const* argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--check") == 0)
            return true;
    }
    return false;
}

ProbeParse ParseProbeArgs(int argc, const char* const* argv, ProbeOptions& options, std::string& error)
{
    bool countGiven = false;
    // Options that belong to polling a server, as typed, for the history mode's refusal.
    std::string pollingOption;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h")
            return ProbeParse::Help;
        if (arg == "--version" || arg == "-V")
            return ProbeParse::Version;
        if (arg.size() < 2 || arg[0] != '-') {
            error = "unexpected argument '" + arg + "'";
            return ProbeParse::Error;
        }
        // Short forms as monitoring plugins spell them.
        static const struct {
            const char* shortName;
            const char* longName;
        } kShort[] = {{"-H", "--host"},    {"-p", "--port"},     {"-t", "--timeout"},
                      {"-w", "--warning"}, {"-c", "--critical"}, {"-s", "--status"}};
        for (const auto& s : kShort) {
            if (arg == s.shortName)
                arg = s.longName;
        }
        if (arg.rfind("--", 0) != 0) {
            error = "unknown option '" + arg + "'";
            return ProbeParse::Error;
        }
        std::string value;
        const bool hasValue = SplitLongOption(arg, value);
        if (arg == "--check") {
            if (hasValue) {
                error = "--check takes no value";
                return ProbeParse::Error;
            }
            options.check = true;
            pollingOption = arg;
            continue;
        }
        static const char* const kWithValue[] = {
            "--host",   "--port",    "--config",   "--timeout", "--polls", "--watch", "--count", "--format", "--column",
            "--status", "--warning", "--critical", "--history", "--line",  "--since", "--until", "--at"};
        bool known = false;
        for (const char* name : kWithValue)
            known = known || arg == name;
        if (!known) {
            error = "unknown option '" + arg + "'";
            return ProbeParse::Error;
        }
        if (!hasValue) {
            if (i + 1 >= argc) {
                error = arg + " needs a value";
                return ProbeParse::Error;
            }
            value = argv[++i];
        }
        const auto bad = [&](const char* what) {
            error = arg;
            error.append(" needs ").append(what).append(", not '").append(value).append("'");
            return ProbeParse::Error;
        };

        if (arg != "--format" && arg != "--history" && arg != "--line" && arg != "--since" && arg != "--until" &&
            arg != "--at")
            pollingOption = arg;

        if (arg == "--host") {
            if (value.empty())
                return bad("a host name or address");
            options.host = value;
        } else if (arg == "--port") {
            if (!ParseInt(value, 1, 65535, options.port))
                return bad("a TCP port from 1 to 65535");
        } else if (arg == "--config") {
            if (value.empty())
                return bad("a file name");
            options.config = value;
        } else if (arg == "--timeout") {
            if (!ParseSeconds(value, 3600, options.timeoutSec))
                return bad("seconds above 0, at most 3600");
        } else if (arg == "--polls") {
            if (!ParseInt(value, 1, 1000000000, options.polls))
                return bad("a number of answers (1 or more)");
        } else if (arg == "--watch") {
            if (!ParseSeconds(value, 86400, options.watchSec))
                return bad("seconds above 0, at most 86400");
        } else if (arg == "--count") {
            if (!ParseInt(value, 1, 1000000000, options.count))
                return bad("a number of rounds (1 or more)");
            countGiven = true;
        } else if (arg == "--format") {
            if (value == "table")
                options.format = ProbeFormat::Table;
            else if (value == "csv")
                options.format = ProbeFormat::Csv;
            else if (value == "json")
                options.format = ProbeFormat::Json;
            else if (value == "prometheus")
                options.format = ProbeFormat::Prometheus;
            else
                return bad("table, csv, json or prometheus");
            options.formatGiven = true;
        } else if (arg == "--column") {
            if (!ParseInt(value, 0, 7, options.column))
                return bad("a column from 0 to 7");
        } else if (arg == "--status") {
            options.status = value;
            options.statusGiven = true;
        } else if (arg == "--history") {
            if (value.empty())
                return bad("a file name");
            options.history = value;
        } else if (arg == "--line") {
            if (!ParseInt(value, 0, kMaxLines - 1, options.line))
                return bad("a line from 0 to 2047");
        } else if (arg == "--since" || arg == "--until" || arg == "--at") {
            int64_t ms = 0;
            if (!ParseIsoTime(value, ms))
                return bad("a time in ISO 8601 with its offset, such as 2026-12-09T14:00:00+08:00 or "
                           "2026-12-09T06:00:00Z");
            (arg == "--since" ? options.since : arg == "--until" ? options.until : options.at) = ms;
        } else if (arg == "--warning" || arg == "--critical") {
            ProbeRange range;
            if (!ParseRange(value, range))
                return bad("a range such as 10, 10:, ~:10, 10:20 or @10:20");
            (arg == "--warning" ? options.warning : options.critical) = range;
            (arg == "--warning" ? options.warningText : options.criticalText) = value;
        }
    }

    if (!options.history.empty()) {
        if (!pollingOption.empty()) {
            error = pollingOption + " polls a server; --history reads a file";
            return ProbeParse::Error;
        }
        if (options.format == ProbeFormat::Prometheus) {
            error = "--history prints table, csv or json";
            return ProbeParse::Error;
        }
        if (options.at && (options.since || options.until)) {
            error = "--at is one moment; --since and --until make a stretch";
            return ProbeParse::Error;
        }
        if (options.since && options.until && *options.until <= *options.since) {
            error = "--until must come after --since";
            return ProbeParse::Error;
        }
        return ProbeParse::Run;
    }
    if (options.line >= 0 || options.since || options.until || options.at) {
        error = "--line, --since, --until and --at read a --history file";
        return ProbeParse::Error;
    }
    if (options.check && options.formatGiven) {
        error = "--check prints one status line; --format does not go with it";
        return ProbeParse::Error;
    }
    if (!options.check && (options.statusGiven || options.warning || options.critical)) {
        error = "--status, --warning and --critical belong to --check";
        return ProbeParse::Error;
    }
    if ((options.warning || options.critical) && !options.statusGiven) {
        error = "--warning and --critical count the lines of a --status";
        return ProbeParse::Error;
    }
    if (countGiven && options.watchSec == 0) {
        error = "--count counts the rounds of --watch";
        return ProbeParse::Error;
    }
    return ProbeParse::Run;
}

const char* ProbeShortUsage()
{
    return "Usage: quorvane-probe [--host H] [--port P] [--config FILE] [--timeout S] [--polls N]\n"
           "                      [--watch S [--count N]] [--format table|csv|json|prometheus] [--column K]\n"
           "       quorvane-probe --check [--status TEXT [-w RANGE] [-c RANGE]] [connection options]\n"
           "       quorvane-probe --history FILE [--line N] [--since T] [--until T] [--at T]\n"
           "                      [--format table|csv|json]\n"
           "Try 'quorvane-probe --help' for more.\n";
}

const char* ProbeUsage()
{
    return R"usage(Usage: quorvane-probe [OPTION]...
Polls the CTI server of the Quorvane monitor once, or every few seconds, and prints its board of
telephone lines: for scripts, reports and monitoring systems, without a screen.

Where it connects (by default SERVER_IP and SERVER_PORT of Quorvane.cfg in the working directory):
  -H, --host H           host name or IPv4 address of the CTI server
  -p, --port P           TCP port, 1 to 65535
      --config FILE      read the settings from FILE instead of Quorvane.cfg
  -t, --timeout S        seconds for a whole round, the connect included (default 10;
                         decimals allowed)

What it does:
      --polls N          stop a round after N answers (default: once every cell of the
                         board has arrived, or at the time-out)
      --watch S          a round every S seconds on one connection, reconnecting after a
                         failure as the monitor does (default: one round, then exit)
      --count N          with --watch: stop after N rounds (default: until interrupted)

What it prints:
      --format F         table (default; aligned columns, UTF-8), csv (RFC 4180, UTF-8
                         without a byte order mark, for pipes and scripts; the monitor's
                         CSV columns), json, or prometheus (text exposition format for
                         the node exporter's textfile collector)
      --column K         the column, 0 to 7, that counts as a line's status (default 2)

The server's texts are untrusted, so every output is neutral and bounded:
  - control characters (C0, DEL, C1, bidirectional overrides) never reach the output
    raw: U+FFFD in the table, csv, prometheus and check line, escaped (\uXXXX) in json
  - csv: a field that starts with = + - @, a tab or a carriage return gets a leading '
    so that a spreadsheet shows it as text instead of running it as a formula
  - table: a column is at most 60 display columns wide, the summary line above the
    columns at most 494
  - prometheus: quorvane_lines_by_status has at most the 50 largest statuses and one
    series status="(other)" with the lines of all the others; a label value is at most
    128 characters; values that would be alike get a suffix " (2)", " (3)", ...
  - check: a status's name and label at most 40 characters; the whole line at most
    1024 bytes (the least frequent names are left out first, never the --status one);
    labels are distinct (a suffix _2, _3, ...) and none is 'lines', the total's
  A text cut to its bound ends in an ellipsis (U+2026).

Check mode, for Nagios-compatible monitoring systems:
      --check            print one status line with performance data and exit
                         0 OK, 1 WARNING, 2 CRITICAL, 3 UNKNOWN; CRITICAL when the server
                         cannot be reached or sends no complete answer in time
  -s, --status TEXT      the status whose number of lines -w and -c judge: the one whose
                         text is TEXT; only where none is, the one whose GBK bytes are
  -w, --warning RANGE    WARNING when that number alerts in RANGE
  -c, --critical RANGE   CRITICAL when that number alerts in RANGE
                         RANGE: 10 (outside 0..10), 10: (below 10), ~:10 (above 10),
                         10:20 (outside 10..20), @10:20 (inside 10..20)

Line history, from the file the monitor keeps when "Keep line history" is on (read only;
safe while the monitor writes it):
      --history FILE     read FILE instead of polling the server; without --line or --at,
                         every line's changes, line by line, each oldest first
      --line N           one line, 0 to 2047: a row per change, oldest first, with the
                         status and how long it lasted
      --since T          from T (default: the oldest moment the file keeps)
      --until T          up to T (default: the last moment recorded)
      --at T             one row per line: its status at T and since when
                         T: ISO 8601 with the offset, e.g. 2026-12-09T14:00:00+08:00 or
                         2026-12-09T06:00:00Z
                         Stretches the file cannot vouch for (monitor not running, link
                         down, changes not recorded) are shown as gaps, never as a status.

  -h, --help             show this text and exit
  -V, --version          show the version and exit

Exit status: 0 the board was printed, 1 no board (server not reached, no complete answer in
time, an answer refused; with --history, a file that cannot be read or no board at --at: the
reason goes to standard error), 2 bad command line or settings file; in check mode the plugin
codes above (3 for a bad command line).
)usage";
}
