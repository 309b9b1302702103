#pragma once
// The simulator's TCP server: one poll() loop serving any number of clients.

#include "sim/SimOptions.h"

#include <cstdio>

// Listens as options say, writes "listening ADDR:PORT" to out and serves until SIGINT or SIGTERM.
// Returns the process exit status: 0 after a signal, 1 when the server cannot listen.
int RunSimServer(const SimOptions& options, std::FILE* out);
