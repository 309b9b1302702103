#pragma once
// Alert notifications through the desktop's notification server on the session bus
// (org.freedesktop.Notifications). Calls are asynchronous, so a slow server never stalls the GUI
// thread; a key's next text waits for the server's id of the one before, so it replaces that one.

#include "alerts/Notifier.h"

#include <QDBusConnection>
#include <QObject>
#include <QStringList>

#include <map>
#include <optional>

class TDbusNotifier : public QObject, public AlertNotifier {
    Q_OBJECT
public:
    // Asks the server for its capabilities, waiting at most timeoutMs; Available() tells whether
    // one answered.
    explicit TDbusNotifier(QDBusConnection bus = QDBusConnection::sessionBus(), int timeoutMs = 2000,
                           QObject* parent = nullptr);
    ~TDbusNotifier() override;

    bool Available() const { return available_; }
    // The server's name and version, "name version" (empty when none answered).
    QString ServerName() const { return serverName_; }
    TagNotifierCaps Capabilities() const override;
    void Show(int key, const TagNoticeText& text) override;
    void Close(int key) override;

    // The server's id of key's notification, 0 while none is known (tests).
    uint IdOf(int key) const;
    // No call of this notifier waits for the server's answer (tests).
    bool Idle() const;

private slots:
    void OnActionInvoked(uint id, const QString& action);
    void OnNotificationClosed(uint id, uint reason);

private:
    struct Entry {
        uint id = 0;
        bool waiting = false; // a Notify call has not been answered yet
        std::optional<TagNoticeText> next;
        bool closeWhenShown = false;
    };
    void Send(int key, const TagNoticeText& text);
    void SendClose(uint id);
    int KeyOf(uint id) const;

    QDBusConnection bus_;
    bool available_ = false;
    QString serverName_;
    QStringList caps_;
    std::map<int, Entry> entries_;
    // Notifications the server closed lately: a server may send NotificationClosed before the
    // ActionInvoked of the click that closed it.
    std::map<uint, int> recentlyClosed_;
    int waitingCloses_ = 0;
};
