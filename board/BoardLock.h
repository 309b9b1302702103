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
#include <cstdint>
#include <mutex>
#include <source_location>
#include <string>
#include <thread>
#include <version>

// Where a lock was taken: std::source_location where the library has it. Clang 14 with libstdc++ 12
// (the sanitizer and fuzz builds) has not, and gets the same from the compiler's builtins.
#ifdef __cpp_lib_source_location
using LockPlace = std::source_location;
#else
class LockPlace {
public:
    static constexpr LockPlace current(const char* file = __builtin_FILE(), int line = __builtin_LINE(),
                                       const char* function = __builtin_FUNCTION()) noexcept
    {
        LockPlace place;
        place.file_ = file;
        place.line_ = uint_least32_t(line);
        place.function_ = function;
        return place;
    }
    constexpr LockPlace() noexcept = default;
    constexpr const char* file_name() const noexcept { return file_; }
    constexpr const char* function_name() const noexcept { return function_; }
    constexpr uint_least32_t line() const noexcept { return line_; }

private:
    const char* file_ = "";
    const char* function_ = "";
    uint_least32_t line_ = 0;
};
#endif

class BoardMutex {
public:
    explicit BoardMutex(const char* name) noexcept : name_(name) {}
    BoardMutex(const BoardMutex&) = delete;
    BoardMutex& operator=(const BoardMutex&) = delete;

    // For std::lock_guard and std::unique_lock; the place is then not known. BoardLock names it.
    void lock() { lock(LockPlace()); }
    void lock(const LockPlace& where);
    bool try_lock() { return try_lock(LockPlace()); }
    bool try_lock(const LockPlace& where);
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
    explicit BoardLock(BoardMutex& mutex, const LockPlace& where = LockPlace::current()) : mutex_(mutex)
    {
        mutex_.lock(where);
    }
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
