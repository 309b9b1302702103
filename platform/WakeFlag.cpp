#include "platform/WakeFlag.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

WakeFlag::WakeFlag(bool initiallySet) : set_(false)
{
#ifdef _WIN32
    event_ = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
#else
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
#ifdef _WIN32
    if (event_)
        ::CloseHandle(event_);
#else
    for (int fd : pipe_) {
        if (fd >= 0)
            ::close(fd);
    }
#endif
}

WakeHandle WakeFlag::Handle() const
{
#ifdef _WIN32
    return event_ ? event_ : kNoWake;
#else
    return pipe_[0];
#endif
}

void WakeFlag::Set()
{
    {
        std::lock_guard lock(mutex_);
        if (!set_.exchange(true, std::memory_order_acq_rel)) {
#ifdef _WIN32
            if (event_)
                ::SetEvent(event_);
#else
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
#ifdef _WIN32
            if (event_)
                ::ResetEvent(event_);
#else
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
