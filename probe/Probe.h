#pragma once
// quorvane-probe as a function: the command line in, the output through io, the exit status out.

#include "link/Link.h"

#include <functional>
#include <string_view>

struct ProbeIo {
    std::function<void(std::string_view)> out; // the board, the metrics, the check line
    std::function<void(std::string_view)> err; // usage, reasons and notes
};

// Exit status: 0 a board printed, 1 none (the reason on err), 2 bad command line or settings file;
// with --check the plugin's 0 to 3. Uses the process's board, view and log sink while it runs.
// timing is the link's (the connect step, the reconnection pause); tests shorten it.
int RunProbe(int argc, const char* const* argv, const ProbeIo& io, const LinkTiming& timing = LinkTiming());
