#include "platform/Utf8Path.h"

#include <windows.h>

namespace {

std::wstring Wide(const std::string& utf8)
{
    if (utf8.empty())
        return {};
    const int n = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), nullptr, 0);
    std::wstring wide(size_t(n > 0 ? n : 0), L'\0');
    if (n > 0)
        ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), wide.data(), n);
    return wide;
}

} // namespace

std::FILE* OpenUtf8(const std::string& path, const char* mode)
{
    return ::_wfopen(Wide(path).c_str(), Wide(mode).c_str());
}

bool RenameUtf8(const std::string& from, const std::string& to)
{
    return ::MoveFileExW(Wide(from).c_str(), Wide(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool RemoveUtf8(const std::string& path)
{
    return ::DeleteFileW(Wide(path).c_str()) != 0;
}

bool ExistsUtf8(const std::string& path)
{
    return ::GetFileAttributesW(Wide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}
