#include "board/BoardLock.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

std::atomic<BoardLockFaultFn> faultHandler{nullptr};

#ifdef QUORVANE_LOCK_CHECKS
struct HeldLock {
    const BoardMutex* mutex;
    LockPlace where;
};
// A thread holds at most the reference and one board's cells; a few more slots cost nothing.
constexpr int kMaxHeld = 8;
thread_local HeldLock held[kMaxHeld];
thread_local int heldCount = 0;

std::string PlaceText(LockPlace where)
{
    if (where.line == 0)
        return "a place not recorded (std::lock_guard)";
    std::string text = where.file;
    // The path from the source tree's top (the earliest of its folders in the path): the build
    // machine's folders and the build folder's "../" say nothing.
    size_t top = std::string::npos;
    for (const char* folder : {"/app/", "/alerts/", "/history/", "/board/", "/link/", "/settings/", "/platform/",
                               "/common/", "/tests/", "/probe/", "/bench/", "/fuzz/", "/sim/"})
        top = std::min(top, text.find(folder));
    if (top != std::string::npos)
        text.erase(0, top + 1);
    text += ':' + std::to_string(where.line) + ", in " + where.function;
    return text;
}

std::string HeldText(const HeldLock& h)
{
    return std::string(h.mutex->Name()) + " (taken at " + PlaceText(h.where) + ")";
}

void NoteTaken(const BoardMutex* mutex, LockPlace where)
{
    if (heldCount < kMaxHeld)
        held[heldCount] = {mutex, where};
    ++heldCount;
}

void CheckNotHeld(const BoardMutex* mutex, const std::atomic<std::thread::id>& owner, LockPlace where)
{
    if (owner.load(std::memory_order_relaxed) != std::this_thread::get_id())
        return;
    std::string text =
        std::string(mutex->Name()) + " taken again at " + PlaceText(where) + " by the thread that already holds it";
    for (int i = 0; i < heldCount && i < kMaxHeld; ++i) {
        if (held[i].mutex == mutex)
            text += " since " + PlaceText(held[i].where);
    }
    BoardLockFault(text + ": a std::mutex taken twice by one thread hangs it for good");
}
#endif

} // namespace

void BoardMutex::lock(LockPlace where)
{
#ifdef QUORVANE_LOCK_CHECKS
    CheckNotHeld(this, owner_, where);
    mutex_.lock();
    owner_.store(std::this_thread::get_id(), std::memory_order_relaxed);
    NoteTaken(this, where);
#else
    (void)where;
    mutex_.lock();
#endif
}

bool BoardMutex::try_lock(LockPlace where)
{
#ifdef QUORVANE_LOCK_CHECKS
    CheckNotHeld(this, owner_, where);
    if (!mutex_.try_lock())
        return false;
    owner_.store(std::this_thread::get_id(), std::memory_order_relaxed);
    NoteTaken(this, where);
    return true;
#else
    (void)where;
    return mutex_.try_lock();
#endif
}

void BoardMutex::unlock()
{
#ifdef QUORVANE_LOCK_CHECKS
    // Locks are released in any order (std::unique_lock allows it): remove this one's entry.
    for (int i = std::min(heldCount, kMaxHeld) - 1; i >= 0; --i) {
        if (held[i].mutex == this) {
            for (int j = i; j + 1 < std::min(heldCount, kMaxHeld); ++j)
                held[j] = held[j + 1];
            break;
        }
    }
    --heldCount;
    owner_.store(std::thread::id(), std::memory_order_relaxed);
#endif
    mutex_.unlock();
}

bool HoldsBoardLock()
{
#ifdef QUORVANE_LOCK_CHECKS
    return heldCount > 0;
#else
    return false;
#endif
}

std::string BoardLocksHeldHere()
{
    std::string text;
#ifdef QUORVANE_LOCK_CHECKS
    for (int i = 0; i < heldCount && i < kMaxHeld; ++i)
        text += (i == 0 ? "" : ", ") + HeldText(held[i]);
#endif
    return text;
}

void SetBoardLockFaultHandler(BoardLockFaultFn handler)
{
    faultHandler.store(handler);
}

void BoardLockFault(const std::string& text)
{
    if (BoardLockFaultFn handler = faultHandler.load())
        handler(text);
    std::fprintf(stderr, "board lock fault: %s\n", text.c_str());
    std::fflush(stderr);
    std::abort();
}
