#include "alerts/qt/TrayNotifier.h"

#include <QSystemTrayIcon>

TTrayNotifier::TTrayNotifier(QSystemTrayIcon& icon, int showMs) : icon_(icon), showMs_(showMs) {}

bool TTrayNotifier::Supported()
{
    return QSystemTrayIcon::isSystemTrayAvailable() && QSystemTrayIcon::supportsMessages();
}

void TTrayNotifier::Show(int /*key*/, const TagNoticeText& text)
{
    const auto icon = text.Severity == AlertSeverity::Critical ? QSystemTrayIcon::Critical : QSystemTrayIcon::Warning;
    icon_.showMessage(QString::fromUtf8(text.Title), QString::fromUtf8(text.Body), icon, showMs_);
}

void TTrayNotifier::Close(int /*key*/)
{
    // A balloon goes by itself; the next one replaces it.
}
