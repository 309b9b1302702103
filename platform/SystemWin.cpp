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

bool ResolveWriteTarget(const char* name, std::string& target)
{
    target = name;
    const DWORD attributes = ::GetFileAttributesA(name);
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return true;
    // A symbolic link: the system names the file it leads to. A link whose file is missing cannot
    // be opened and is replaced as it stands.
    const HANDLE h = ::CreateFileA(name, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return true;
    char path[MAX_PATH * 4];
    const DWORD n = ::GetFinalPathNameByHandleA(h, path, DWORD(sizeof path), FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    ::CloseHandle(h);
    if (n == 0 || n >= sizeof path)
        return false;
    target.assign(path, n);
    return true;
}

int ProbeWritable(const char* path)
{
    // The read-only attribute, a folder and a file held without sharing all refuse this open, as
    // they refuse a write in place.
    const HANDLE h = ::CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
        ::CloseHandle(h);
        return 1;
    }
    const DWORD error = ::GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? 0 : -1;
}

bool KeepAttributes(const char* original, std::FILE* replacement)
{
    const DWORD was = ::GetFileAttributesA(original);
    if (was == INVALID_FILE_ATTRIBUTES)
        return true;
    // The permissions come with the folder, as for any new file; the attributes an operator may
    // have set are carried over.
    FILE_BASIC_INFO info{};
    info.FileAttributes = was & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                                 FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
    if (info.FileAttributes == 0)
        info.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    const HANDLE h = reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(replacement)));
    return h != INVALID_HANDLE_VALUE && ::SetFileInformationByHandle(h, FileBasicInfo, &info, sizeof info) != 0;
}

std::tm LocalTime(std::time_t t)
{
    std::tm local{};
    ::localtime_s(&local, &t);
    return local;
}
