#pragma once
// Shared by the fuzz harnesses: a failed invariant aborts (libFuzzer then keeps the input), and a
// private working directory, because the code under test reads and writes files by bare name.

#include <cstdio>
#include <cstdlib>
#include <string>

namespace fuzz {

// The input being replayed, for the failure message (set by the replay tests; empty under libFuzzer,
// which reports the input itself).
inline std::string& CurrentInput()
{
    static std::string name;
    return name;
}

[[noreturn]] inline void Fail(const char* what, const char* file, int line)
{
    std::fprintf(stderr, "%s:%d: invariant broken: %s%s%s\n", file, line, what, CurrentInput().empty() ? "" : " in ",
                 CurrentInput().c_str());
    std::abort();
}

// Makes a fresh directory the working directory, once per process: on tmpfs when there is one,
// since the harnesses write a file for every input. Removed again at exit.
void EnterScratchDir();

} // namespace fuzz

#define FUZZ_CHECK(cond)                                                                                               \
    do {                                                                                                               \
        if (!(cond))                                                                                                   \
            ::fuzz::Fail(#cond, __FILE__, __LINE__);                                                                   \
    } while (0)
