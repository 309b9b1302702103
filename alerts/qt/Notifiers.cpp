#include "alerts/qt/Notifiers.h"

#include "alerts/qt/TrayNotifier.h"
#ifdef QUORVANE_HAVE_DBUS
#include "alerts/qt/DbusNotifier.h"
#endif

TagNotifierChoice ChooseAlertNotifier(QSystemTrayIcon* tray)
{
    TagNotifierChoice choice;
    QString missing;
#ifdef QUORVANE_HAVE_DBUS
    auto bus = std::make_unique<TDbusNotifier>();
    if (bus->Available()) {
        choice.Name = QStringLiteral("session bus (%1)").arg(bus->ServerName());
        choice.Notifier = std::move(bus);
        return choice;
    }
    missing = QStringLiteral("no notification server on the session bus");
#else
    missing = QStringLiteral("no session bus in this build");
#endif
    if (tray && TTrayNotifier::Supported()) {
        choice.Name = QStringLiteral("tray");
        choice.Notifier = std::make_unique<TTrayNotifier>(*tray);
        return choice;
    }
    choice.Name = QStringLiteral("none");
    choice.Why = missing + QStringLiteral(" and no system tray");
    return choice;
}
