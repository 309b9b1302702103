// quorvane-sim: a CTI server simulator for demos and tests of the monitor.

#include "sim/SimOptions.h"
#include "sim/SimServer.h"

#include <cstdio>
#include <string>

int main(int argc, char** argv)
{
    SimOptions options;
    std::string error;
    switch (ParseSimArgs(argc, argv, options, error)) {
    case ParseResult::Help:
        std::fputs(SimUsage(), stdout);
        return 0;
    case ParseResult::Error:
        std::fprintf(stderr, "quorvane-sim: %s\nTry 'quorvane-sim --help' for the options.\n", error.c_str());
        return 2;
    case ParseResult::Run:
        break;
    }
    return RunSimServer(options, stdout);
}
