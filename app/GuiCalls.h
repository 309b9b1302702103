#pragma once
// Calls that other threads hand to the GUI thread.

#include <QObject>
#include <deque>
#include <functional>
#include <mutex>

// Runs functions on the thread it lives in (the GUI thread), in the order they were posted, each in
// an event of its own. A function waits in this object's queue under a std::mutex, and the event that
// wakes the GUI thread carries nothing: Qt guards its own event queue with a lock that waits on a
// futex, which ThreadSanitizer cannot see, so whatever a posted event carried (a lambda's captures,
// the board they point to) would look unsynchronised to it. Through this queue the hand-off is one
// it sees, and it keeps watching what a call does on the GUI thread.
class TGuiCalls : public QObject {
    Q_OBJECT
public:
    explicit TGuiCalls(QObject* parent = nullptr);

    // Callable from any thread. A function still waiting when the object is destroyed never runs.
    void Post(std::function<void()> fn);

private slots:
    void RunNext();

private:
    std::mutex mutex_;
    std::deque<std::function<void()>> calls_;
};
