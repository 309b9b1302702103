#pragma once
// The locks that guard the board: CurBoardLock (which board is current) and each board's Lock (its
// cells).
//
// A std::mutex taken again by the thread that holds it hangs that thread for good, and on the GUI
// thread that is the whole program: a modal box, a file dialog or processEvents run under one of
// these locks paints the grid or runs a tick, and both take them again. With lock checks compiled in
// (QUORVANE_LOCK_CHECKS: debug and test builds), each lock knows the thread that holds it and where
// that thread took it, so taking it again on that thread stops the program with both places named
// instead of hanging, and the GUI's tests can ask at every event whether the GUI thread holds one.

#include <atomic>
#include <mutex>
#include <string>
#include <thread>

// Where a lock was taken. std::source_location would do, but not every compiler the checks run
// under has it with this standard library (clang 14 with libstdc++ 12); the builtins it is made
// of are in all of them.
struct LockPlace {
    const char* file = "";
    unsigned line = 0;
    const char* function = "";

    static constexpr LockPlace Here(const char* file = __builtin_FILE(), unsigned line = __builtin_LINE(),
                                    const char* function = __builtin_FUNCTION()) noexcept
    {
        return {file, line, function};
    }
};

class BoardMutex {
public:
    explicit BoardMutex(const char* name) noexcept : name_(name) {}
    BoardMutex(const BoardMutex&) = delete;
    BoardMutex& operator=(const BoardMutex&) = delete;

    // For std::lock_guard and std::unique_lock; the place is then not known. BoardLock names it.
    void lock() { lock(LockPlace()); }
    void lock(LockPlace where);
    bool try_lock() { return try_lock(LockPlace()); }
    bool try_lock(LockPlace where);
    void unlock();

    const char* Name() const { return name_; }

private:
    std::mutex mutex_;
    const char* name_;
#ifdef QUORVANE_LOCK_CHECKS
    std::atomic<std::thread::id> owner_{};
#endif
};

// std::lock_guard for a BoardMutex that records the caller's place for the checks.
class BoardLock {
public:
    explicit BoardLock(BoardMutex& mutex, LockPlace where = LockPlace::Here()) : mutex_(mutex) { mutex_.lock(where); }
    ~BoardLock() { mutex_.unlock(); }
    BoardLock(const BoardLock&) = delete;
    BoardLock& operator=(const BoardLock&) = delete;

private:
    BoardMutex& mutex_;
};

// Whether the calling thread holds a board lock, and which ones and where it took them, e.g.
// "CurBoardLock (taken at app/Unit1.cpp:449, in Export1Click)". Without lock checks: false, "".
bool HoldsBoardLock();
std::string BoardLocksHeldHere();

// Called with a description when a check finds a fault; it must not return. By default it writes
// the text to standard error and aborts. A test may install its own (nullptr restores the default).
using BoardLockFaultFn = void (*)(const std::string& text);
void SetBoardLockFaultHandler(BoardLockFaultFn handler);
[[noreturn]] void BoardLockFault(const std::string& text);
