#pragma once
// The simulator's TCP server: one poll loop serving any number of clients.

#include "sim/SimOptions.h"

#include <cstdio>

// Listens as options say, writes "listening ADDR:PORT" to out and serves until SIGINT or SIGTERM
// (Ctrl+C, Ctrl+Break or closing the console on Windows). Returns the process exit status: 0 after
// such a stop, 1 when the server cannot listen.
int RunSimServer(const SimOptions& options, std::FILE* out);
