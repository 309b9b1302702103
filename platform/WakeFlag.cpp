#include "platform/WakeFlag.h"

WakeFlag::WakeFlag(bool initiallySet) : set_(false)
{
    OpenNative();
    if (initiallySet)
        Set();
}

WakeFlag::~WakeFlag()
{
    CloseNative();
}

void WakeFlag::Set()
{
    {
        std::lock_guard lock(mutex_);
        if (!set_.exchange(true, std::memory_order_acq_rel))
            SignalNative();
    }
    cv_.notify_all();
}

void WakeFlag::Clear()
{
    {
        std::lock_guard lock(mutex_);
        if (set_.exchange(false, std::memory_order_acq_rel))
            ResetNative();
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
