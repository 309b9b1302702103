// quorvane-probe: the CTI server's board without a screen, for scripts and monitoring systems.

#include "probe/Probe.h"

#include <cstdio>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#endif

int main(int argc, char** argv)
{
#ifdef _WIN32
    // The output is UTF-8 and the CSV's line ends are CR LF already: no translation of either.
    SetConsoleOutputCP(CP_UTF8);
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
#endif
    const ProbeIo io{
        [](std::string_view text) {
            std::fwrite(text.data(), 1, text.size(), stdout);
            std::fflush(stdout);
        },
        [](std::string_view text) {
            std::fwrite(text.data(), 1, text.size(), stderr);
            std::fflush(stderr);
        },
    };
    return RunProbe(argc, argv, io);
}
