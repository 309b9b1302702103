#pragma once
// A boolean flag that threads can wait on: with a time-out, for a condition of their own, or beside
// a socket through its native handle. Setting it wakes every waiter at once, which is
// what makes pauses and blocking reads end the moment a session stops.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

#ifdef _WIN32
// A manual-reset event, signalled exactly while the flag is set.
using WakeHandle = void*;
inline constexpr WakeHandle kNoWake = nullptr;
#else
// The read end of a pipe, readable exactly while the flag is set.
using WakeHandle = int;
inline constexpr WakeHandle kNoWake = -1;
#endif

class WakeFlag {
public:
    explicit WakeFlag(bool initiallySet = false);
    ~WakeFlag();
    WakeFlag(const WakeFlag&) = delete;
    WakeFlag& operator=(const WakeFlag&) = delete;

    bool IsSet() const { return set_.load(std::memory_order_acquire); }
    void Set();
    void Clear();

    // Waits until the flag is set or the time-out passes; returns IsSet().
    bool WaitSet(std::chrono::milliseconds timeout);
    // Waits until the flag is clear or the time-out passes; returns !IsSet().
    bool WaitClear(std::chrono::milliseconds timeout);
    // Waits until done() holds or the flag is set. done() runs under the flag's lock and is
    // re-evaluated whenever Notify() or Set() is called. Returns done().
    bool WaitUntil(const std::function<bool()>& done);
    void Notify();

    // For waiting beside a socket; kNoWake when the system would not give one.
    WakeHandle Handle() const { return wait_; }

private:
    // The native object that mirrors the flag (WakeFlagPosix.cpp, WakeFlagWin.cpp). Signal and
    // Reset run under mutex_, only when the flag really changes.
    void OpenNative();
    void CloseNative();
    void SignalNative();
    void ResetNative();

    std::atomic<bool> set_;
    mutable std::mutex mutex_;
    std::condition_variable cv_;
    WakeHandle wait_ = kNoWake;   // what a waiter watches: the pipe's read end, or the event
    WakeHandle signal_ = kNoWake; // what Set writes to: the pipe's write end, or the same event
};
