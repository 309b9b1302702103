#pragma once
// Helpers for the tests that build windows. The main window connects to the server of Quorvane.cfg
// at once, so every such test first points the file at a loopback port that refuses
// (WriteLoopbackConfig with a RefusingPort).

#include "link/Link.h"

#include <QEvent>
#include <QObject>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <functional>
#include <ostream>

// ShortTiming with a first connect of 50 ms: every window of these tests starts against a refusing
// port, and the first connect waits its whole time-out there.
LinkTiming WindowTiming();

// Readable failure messages for Qt's types.
inline void PrintTo(const QPoint& p, std::ostream* os)
{
    *os << "(" << p.x() << ", " << p.y() << ")";
}
inline void PrintTo(const QSize& s, std::ostream* os)
{
    *os << s.width() << " x " << s.height();
}
inline void PrintTo(const QRect& r, std::ostream* os)
{
    *os << "(" << r.x() << ", " << r.y() << ") " << r.width() << " x " << r.height();
}
inline void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}

// Counts the queued calls (QEvent::MetaCall) delivered to the objects it is installed on as an
// event filter, e.g. a TGuiCalls queue: one per call handed over.
class QueuedCallCounter : public QObject {
public:
    int calls = 0;
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::MetaCall)
            ++calls;
        return false;
    }
};

// Installed on the application by the GUI tests' main(): an event that reaches an object of the GUI
// thread while that thread holds a board lock means an event loop (a modal box, a dialog, a file
// dialog, processEvents) runs under the lock, where a paint or a tick would take it again and hang the
// program. It stops the test with the event, its receiver and the place the lock was taken.
class BoardLockEventGuard : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

// Closes whatever modal dialog or popup menu is still open after the given time, so a test that
// drives one by keyboard fails instead of waiting forever when a key goes astray.
void CloseStrayWindowsAfter(int milliseconds);

// Runs fn, which shows a modal message box, and returns the box's text (empty when none showed);
// the box is closed with Ok.
QString BoxTextOf(const std::function<void()>& fn);
