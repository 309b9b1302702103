#include "platform/System.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

bool FlushToDisk(std::FILE* f)
{
    return ::fsync(::fileno(f)) == 0;
}

bool RenameOver(const char* temporary, const char* target)
{
    return std::rename(temporary, target) == 0;
}

bool ResolveWriteTarget(const char* name, std::string& target)
{
    // The kernel gives up after 40 links as well.
    constexpr int kMaxLinks = 40;
    std::string path = name;
    for (int hop = 0; hop <= kMaxLinks; ++hop) {
        struct stat st;
        if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
            target = path;
            return true;
        }
        std::vector<char> link(size_t(st.st_size > 0 ? st.st_size : 255) + 1);
        const ssize_t n = ::readlink(path.c_str(), link.data(), link.size());
        if (n <= 0 || size_t(n) >= link.size())
            return false;
        const std::string text(link.data(), size_t(n));
        if (text.front() == '/') {
            path = text;
        } else {
            // A relative link names its file from the folder the link is in.
            const size_t slash = path.rfind('/');
            path.resize(slash == std::string::npos ? 0 : slash + 1);
            path += text;
        }
    }
    return false;
}

int ProbeWritable(const char* path)
{
    // Opened, not tested with access(): that asks for the real user rather than the effective one,
    // and knows nothing of folders, immutable files or read-only mounts. O_NONBLOCK keeps a FIFO
    // from holding the probe up; nothing is truncated or written.
    const int fd = ::open(path, O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0) {
        ::close(fd);
        return 1;
    }
    return errno == ENOENT ? 0 : -1;
}

bool KeepAttributes(const char* original, std::FILE* replacement)
{
    struct stat was;
    if (::stat(original, &was) != 0)
        return true; // nothing to keep
    const int fd = ::fileno(replacement);
    struct stat now;
    if (::fstat(fd, &now) != 0 || !S_ISREG(now.st_mode))
        return false;
    // The owner first: a change of owner may clear the set-user and set-group bits. Only root may
    // give a file away, so for anyone else this keeps at most the group.
    if (now.st_uid != was.st_uid || now.st_gid != was.st_gid) {
        if (::fchown(fd, was.st_uid, was.st_gid) != 0) {
            [[maybe_unused]] const int groupOnly = ::fchown(fd, uid_t(-1), was.st_gid);
        }
    }
    return ::fchmod(fd, was.st_mode & 07777) == 0;
}

std::tm LocalTime(std::time_t t)
{
    std::tm local{};
    ::localtime_r(&t, &local);
    return local;
}
