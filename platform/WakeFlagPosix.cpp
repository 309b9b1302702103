// The wake-up handle on POSIX: a pipe whose read end holds a byte exactly while the flag is set, so
// poll() on it beside a socket wakes the moment a stop is requested.
#include "platform/WakeFlag.h"

#include <fcntl.h>
#include <unistd.h>

void WakeFlag::OpenNative()
{
    int fds[2];
    if (::pipe(fds) != 0)
        return; // no handle: waiters fall back to short slices
    for (int fd : fds) {
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
    wait_ = fds[0];
    signal_ = fds[1];
}

void WakeFlag::CloseNative()
{
    for (int fd : {wait_, signal_}) {
        if (fd >= 0)
            ::close(fd);
    }
}

void WakeFlag::SignalNative()
{
    if (signal_ >= 0) {
        const char byte = 1;
        [[maybe_unused]] ssize_t n = ::write(signal_, &byte, 1);
    }
}

void WakeFlag::ResetNative()
{
    char buf[16];
    while (wait_ >= 0 && ::read(wait_, buf, sizeof buf) > 0) {
    }
}
