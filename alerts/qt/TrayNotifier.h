#pragma once
// Alert notifications as the tray icon's balloon messages, where the session bus has no
// notification server (Windows). A balloon can neither be replaced nor closed nor carry a button:
// a newer one takes the place of the one shown, and the window acknowledges.

#include "alerts/Notifier.h"

class QSystemTrayIcon;

class TTrayNotifier : public AlertNotifier {
public:
    // The icon is the caller's and outlives the notifier.
    explicit TTrayNotifier(QSystemTrayIcon& icon, int showMs = 10000);

    // A tray to show balloons in exists on this desktop.
    static bool Supported();

    TagNotifierCaps Capabilities() const override { return {false, true, false}; }
    void Show(int key, const TagNoticeText& text) override;
    void Close(int key) override;

private:
    QSystemTrayIcon& icon_;
    int showMs_;
};
