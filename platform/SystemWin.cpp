#include "platform/System.h"

#include <io.h>
#include <windows.h>

bool FlushToDisk(std::FILE* f)
{
    return ::_commit(::_fileno(f)) == 0;
}

bool RenameOver(const char* temporary, const char* target)
{
    // rename does not replace an existing file on Windows.
    return ::MoveFileExA(temporary, target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

std::tm LocalTime(std::time_t t)
{
    std::tm local{};
    ::localtime_s(&local, &t);
    return local;
}
