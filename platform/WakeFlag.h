#pragma once
// A boolean flag that threads can wait on: with a time-out, for a condition of their own, or in
// poll() beside a socket through its descriptor. Setting it wakes every waiter at once, which is
// what makes pauses and blocking reads end the moment a session stops.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

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

    // Readable exactly while the flag is set (POSIX; -1 where unsupported). For poll().
    int Fd() const { return pipe_[0]; }

private:
    std::atomic<bool> set_;
    mutable std::mutex mutex_;
    std::condition_variable cv_;
    int pipe_[2] = {-1, -1};
};
