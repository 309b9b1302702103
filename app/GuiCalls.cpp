#include "app/GuiCalls.h"

#include <utility>

TGuiCalls::TGuiCalls(QObject* parent) : QObject(parent) {}

void TGuiCalls::Post(std::function<void()> fn)
{
    {
        std::lock_guard lock(mutex_);
        calls_.push_back(std::move(fn));
    }
    // By name: a functor or member pointer here would be built into a slot object on this thread
    // and read on the GUI thread, past the lock above.
    QMetaObject::invokeMethod(this, "RunNext", Qt::QueuedConnection);
}

void TGuiCalls::RunNext()
{
    std::function<void()> fn;
    {
        std::lock_guard lock(mutex_);
        if (calls_.empty())
            return;
        fn = std::move(calls_.front());
        calls_.pop_front();
    }
    fn();
}
