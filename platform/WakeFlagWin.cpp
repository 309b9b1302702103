// The wake-up handle on Windows: a manual-reset event, signalled exactly while the flag is set, so a
// wait on it beside the socket's event wakes the moment a stop is requested.
#include "platform/WakeFlag.h"

#include <windows.h>

void WakeFlag::OpenNative()
{
    wait_ = signal_ = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
}

void WakeFlag::CloseNative()
{
    if (wait_)
        ::CloseHandle(wait_);
}

void WakeFlag::SignalNative()
{
    if (signal_)
        ::SetEvent(signal_);
}

void WakeFlag::ResetNative()
{
    if (wait_)
        ::ResetEvent(wait_);
}
