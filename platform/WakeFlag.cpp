#include "platform/WakeFlag.h"

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

WakeFlag::WakeFlag(bool initiallySet) : set_(false)
{
#ifndef _WIN32
    if (::pipe(pipe_) == 0) {
        for (int fd : pipe_) {
            ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
            ::fcntl(fd, F_SETFD, FD_CLOEXEC);
        }
    } else {
        pipe_[0] = pipe_[1] = -1;
    }
#endif
    if (initiallySet)
        Set();
}

WakeFlag::~WakeFlag()
{
#ifndef _WIN32
    for (int fd : pipe_) {
        if (fd >= 0)
            ::close(fd);
    }
#endif
}

void WakeFlag::Set()
{
    {
        std::lock_guard lock(mutex_);
        if (!set_.exchange(true, std::memory_order_acq_rel)) {
#ifndef _WIN32
            if (pipe_[1] >= 0) {
                char byte = 1;
                [[maybe_unused]] ssize_t n = ::write(pipe_[1], &byte, 1);
            }
#endif
        }
    }
    cv_.notify_all();
}

void WakeFlag::Clear()
{
    {
        std::lock_guard lock(mutex_);
        if (set_.exchange(false, std::memory_order_acq_rel)) {
#ifndef _WIN32
            char buf[16];
            while (pipe_[0] >= 0 && ::read(pipe_[0], buf, sizeof buf) > 0) {
            }
#endif
        }
    }
    cv_.notify_all();
}

bool WakeFlag::WaitSet(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(mutex_);
    cv_.wait_for(lock, timeout, [this] { return IsSet(); });
    return IsSet();
}

bool WakeFlag::WaitClear(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(mutex_);
    cv_.wait_for(lock, timeout, [this] { return !IsSet(); });
    return !IsSet();
}

bool WakeFlag::WaitUntil(const std::function<bool()>& done)
{
    std::unique_lock lock(mutex_);
    cv_.wait(lock, [&] { return done() || IsSet(); });
    return done();
}

void WakeFlag::Notify()
{
    {
        std::lock_guard lock(mutex_);
    }
    cv_.notify_all();
}
