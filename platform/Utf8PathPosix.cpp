#include "platform/Utf8Path.h"

#include <sys/stat.h>

std::FILE* OpenUtf8(const std::string& path, const char* mode)
{
    return std::fopen(path.c_str(), mode);
}

bool RenameUtf8(const std::string& from, const std::string& to)
{
    return std::rename(from.c_str(), to.c_str()) == 0;
}

bool RemoveUtf8(const std::string& path)
{
    return std::remove(path.c_str()) == 0;
}

bool ExistsUtf8(const std::string& path)
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}
