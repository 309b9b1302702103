#pragma once
// Helpers for the tests that build the main window: it connects to the server of Quorvane.cfg at
// once, so every such test first points the file at a loopback port where nothing listens.

#include "link/Link.h"

#include <QPoint>
#include <QRect>
#include <QSize>
#include <ostream>
#include <string>

// A loopback port that is bound but not listening: a connect to it is refused, and nothing else
// can take the port while the object lives.
class RefusingPort {
public:
    RefusingPort();
    ~RefusingPort();
    RefusingPort(const RefusingPort&) = delete;
    RefusingPort& operator=(const RefusingPort&) = delete;
    int port() const { return port_; }

private:
    int socket_ = -1;
    int port_ = 0;
};

// Writes Quorvane.cfg (loopback, the given port, then extra lines) in the working directory and
// reads it into CurConfig over the defaults.
void WriteLoopbackConfig(int port, const std::string& extra = std::string());

// Time-outs and pauses of milliseconds.
LinkTiming FastTiming();

// Readable failure messages for Qt's geometry types.
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

// Closes whatever modal dialog or popup menu is still open after the given time, so a test that
// drives one by keyboard fails instead of waiting forever when a key goes astray.
void CloseStrayWindowsAfter(int milliseconds);
