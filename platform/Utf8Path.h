#pragma once
// Files named by UTF-8 paths, as SQLite names them on every platform: the per-user data folder
// may hold any character of the user's name. One implementation per platform (Utf8PathPosix.cpp,
// Utf8PathWin.cpp).

#include <cstdio>
#include <string>

std::FILE* OpenUtf8(const std::string& path, const char* mode);
// Replaces to when it exists. False, with both as they were, when that cannot be done.
bool RenameUtf8(const std::string& from, const std::string& to);
bool RemoveUtf8(const std::string& path);
bool ExistsUtf8(const std::string& path);
