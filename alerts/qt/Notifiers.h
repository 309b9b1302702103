#pragma once
// Which notification backend this desktop offers: the session bus's notification server, else the
// tray's balloons, else none (the program then says so once, and the alerts window's count in its
// title and Monitor.log are all).

#include "alerts/Notifier.h"

#include <QString>

#include <memory>

class QObject;
class QSystemTrayIcon;

struct TagNotifierChoice {
    std::unique_ptr<AlertNotifier> Notifier; // null: none
    QString Name;                            // "session bus (<server>)", "tray", "none"
    QString Why;                             // for none: what was missing
};

// tray may be null (no tray icon made yet): then only the bus is tried.
TagNotifierChoice ChooseAlertNotifier(QSystemTrayIcon* tray);
