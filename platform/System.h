#pragma once
// The few system calls the core needs beyond sockets, one implementation per platform
// (SystemPosix.cpp, SystemWin.cpp).

#include <cstdio>
#include <ctime>
#include <string>

// Pushes what was written to f through to the disk (fsync, _commit). False when the system says it
// could not.
bool FlushToDisk(std::FILE* f);

// Renames temporary over target in one step, replacing target when it exists. False, with both
// files as they were, when that cannot be done.
bool RenameOver(const char* temporary, const char* target);

// Where a write to name really lands: a symbolic link is followed to the file it names, through
// links that name links, whether that file exists or not. A file that replaces it is then written
// beside the target and renamed over it, and the link stays a link. False when the links loop or
// cannot be read: a write would fail there too.
bool ResolveWriteTarget(const char* name, std::string& target);

// Whether the file at path could be opened for writing as it stands, by this process: 1 yes, 0 it
// does not exist, -1 it exists and cannot (read-only, a folder, no access; on Windows also the
// read-only attribute or another program holding it without sharing). A replace that is refused
// here leaves the file alone, as a write in place would have failed.
int ProbeWritable(const char* path);

// Gives the new file replacement what the file original had beyond its bytes: the permission bits,
// and the owner and group where the system allows (POSIX); the hidden, system and archive
// attributes (Windows). False when the permissions could not be set.
bool KeepAttributes(const char* original, std::FILE* replacement);

// The local calendar time of t, on any thread.
std::tm LocalTime(std::time_t t);
