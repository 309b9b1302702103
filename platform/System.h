#pragma once
// The few system calls the core needs beyond sockets, one implementation per platform
// (SystemPosix.cpp, SystemWin.cpp).

#include <cstdio>
#include <ctime>

// Pushes what was written to f through to the disk (fsync, _commit). False when the system says it
// could not.
bool FlushToDisk(std::FILE* f);

// Renames temporary over target in one step, replacing target when it exists. False, with both
// files as they were, when that cannot be done.
bool RenameOver(const char* temporary, const char* target);

// The local calendar time of t, on any thread.
std::tm LocalTime(std::time_t t);
