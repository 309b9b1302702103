#include "platform/System.h"

#include <unistd.h>

bool FlushToDisk(std::FILE* f)
{
    return ::fsync(::fileno(f)) == 0;
}

bool RenameOver(const char* temporary, const char* target)
{
    return std::rename(temporary, target) == 0;
}

std::tm LocalTime(std::time_t t)
{
    std::tm local{};
    ::localtime_r(&t, &local);
    return local;
}
