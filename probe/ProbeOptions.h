#pragma once
// Command-line options of quorvane-probe.

#include "board/BoardCsv.h"
#include "probe/ProbeRange.h"

#include <cstdint>
#include <optional>
#include <string>

enum class ProbeFormat { Table, Csv, Json, Prometheus };

struct ProbeOptions {
    std::string host;   // empty: SERVER_IP of the configuration file
    int port = 0;       // 0: SERVER_PORT of the configuration file
    std::string config; // empty: Quorvane.cfg in the working directory
    // Bounds a whole round: the connect and every answer (seconds).
    double timeoutSec = 10;
    int polls = 0;       // answers per round at most; 0: until the board is whole or the time-out
    double watchSec = 0; // a round every this many seconds; 0: one round
    int count = 0;       // rounds of --watch; 0: until stopped
    ProbeFormat format = ProbeFormat::Table;
    bool formatGiven = false;
    int column = kDefaultStatusColumn;
    bool check = false;
    std::string status; // the status whose lines -w and -c judge, as typed
    bool statusGiven = false;
    std::optional<ProbeRange> warning;
    std::optional<ProbeRange> critical;
    std::string warningText; // the ranges as typed, for the check's output
    std::string criticalText;

    // --history FILE: read a line history file instead of polling the server.
    std::string history;
    int line = -1;                           // --line N; -1 every line
    std::optional<int64_t> since, until, at; // UTC ms
};

enum class ProbeParse { Run, Help, Version, Error };

// Fills options from argv (argv[0] is the program name). On Error, error holds a one-line reason.
ProbeParse ParseProbeArgs(int argc, const char* const* argv, ProbeOptions& options, std::string& error);

// Whether argv asks for check mode, whatever else is wrong with it: a bad command line of a check
// exits UNKNOWN.
bool WantsCheck(int argc, const char* const* argv);

// The --help text, and the short reminder after a bad command line.
const char* ProbeUsage();
const char* ProbeShortUsage();
