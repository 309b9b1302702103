#include "alerts/qt/DbusNotifier.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kInterface = QStringLiteral("org.freedesktop.Notifications");
const QString kAcknowledge = QStringLiteral("acknowledge");

QDBusMessage Call(const QString& method)
{
    return QDBusMessage::createMethodCall(kService, kPath, kInterface, method);
}

} // namespace

TDbusNotifier::TDbusNotifier(QDBusConnection bus, int timeoutMs, QObject* parent)
    : QObject(parent), bus_(std::move(bus))
{
    if (!bus_.isConnected())
        return;
    const QDBusMessage caps = bus_.call(Call(QStringLiteral("GetCapabilities")), QDBus::Block, timeoutMs);
    if (caps.type() != QDBusMessage::ReplyMessage || caps.arguments().isEmpty())
        return;
    caps_ = caps.arguments().constFirst().toStringList();
    available_ = true;
    const QDBusMessage info = bus_.call(Call(QStringLiteral("GetServerInformation")), QDBus::Block, timeoutMs);
    if (info.type() == QDBusMessage::ReplyMessage && info.arguments().size() >= 3)
        serverName_ = info.arguments().at(0).toString() + QLatin1Char(' ') + info.arguments().at(2).toString();
    bus_.connect(kService, kPath, kInterface, QStringLiteral("ActionInvoked"), this,
                 SLOT(OnActionInvoked(uint, QString)));
    bus_.connect(kService, kPath, kInterface, QStringLiteral("NotificationClosed"), this,
                 SLOT(OnNotificationClosed(uint, uint)));
}

TDbusNotifier::~TDbusNotifier()
{
    if (!available_)
        return;
    bus_.disconnect(kService, kPath, kInterface, QStringLiteral("ActionInvoked"), this,
                    SLOT(OnActionInvoked(uint, QString)));
    bus_.disconnect(kService, kPath, kInterface, QStringLiteral("NotificationClosed"), this,
                    SLOT(OnNotificationClosed(uint, uint)));
}

TagNotifierCaps TDbusNotifier::Capabilities() const
{
    TagNotifierCaps caps;
    caps.Actions = caps_.contains(QStringLiteral("actions"));
    caps.Body = caps_.contains(QStringLiteral("body"));
    caps.Replace = available_;
    return caps;
}

void TDbusNotifier::Show(int key, const TagNoticeText& text)
{
    if (!available_)
        return;
    Entry& entry = entries_[key];
    entry.closeWhenShown = false;
    if (entry.waiting) {
        entry.next = text;
        return;
    }
    Send(key, text);
}

void TDbusNotifier::Send(int key, const TagNoticeText& text)
{
    Entry& entry = entries_[key];
    entry.waiting = true;
    entry.next.reset();

    QString summary = QString::fromUtf8(text.Title);
    QString body = QString::fromUtf8(text.Body);
    if (!caps_.contains(QStringLiteral("body"))) {
        // Without a body the title carries the first line of it.
        if (!body.isEmpty())
            summary += QStringLiteral(": ") + body.section(QLatin1Char('\n'), 0, 0);
        body.clear();
    } else if (caps_.contains(QStringLiteral("body-markup"))) {
        // Statuses and names are the site's texts: shown as typed, never as markup.
        body = body.toHtmlEscaped();
    }
    QStringList actions;
    if (caps_.contains(QStringLiteral("actions")))
        actions << kAcknowledge << QStringLiteral("Acknowledge");
    QVariantMap hints;
    hints.insert(QStringLiteral("urgency"),
                 QVariant::fromValue(uchar(text.Severity == AlertSeverity::Critical ? 2 : 1)));
    hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("quorvane-monitor"));

    QDBusMessage notify = Call(QStringLiteral("Notify"));
    notify << QStringLiteral("Quorvane monitor") << entry.id << QString() << summary << body << actions << hints
           << int(-1);
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(notify), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, key](QDBusPendingCallWatcher* call) {
        call->deleteLater();
        const auto it = entries_.find(key);
        if (it == entries_.end())
            return;
        Entry& shown = it->second;
        shown.waiting = false;
        const QDBusPendingReply<uint> reply = *call;
        if (!reply.isError())
            shown.id = reply.value();
        if (shown.closeWhenShown) {
            if (shown.id != 0)
                SendClose(shown.id);
            entries_.erase(it);
        } else if (shown.next) {
            const TagNoticeText next = *shown.next;
            Send(key, next);
        }
    });
}

void TDbusNotifier::Close(int key)
{
    const auto it = entries_.find(key);
    if (it == entries_.end())
        return;
    if (it->second.waiting) {
        it->second.closeWhenShown = true;
        it->second.next.reset();
        return;
    }
    if (it->second.id != 0)
        SendClose(it->second.id);
    entries_.erase(it);
}

void TDbusNotifier::SendClose(uint id)
{
    QDBusMessage close = Call(QStringLiteral("CloseNotification"));
    close << id;
    ++waitingCloses_;
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(close), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* call) {
        call->deleteLater();
        --waitingCloses_;
    });
}

int TDbusNotifier::KeyOf(uint id) const
{
    for (const auto& [key, entry] : entries_)
        if (entry.id == id && id != 0)
            return key;
    return 0;
}

uint TDbusNotifier::IdOf(int key) const
{
    const auto it = entries_.find(key);
    return it == entries_.end() ? 0 : it->second.id;
}

bool TDbusNotifier::Idle() const
{
    if (waitingCloses_ > 0)
        return false;
    for (const auto& [key, entry] : entries_)
        if (entry.waiting)
            return false;
    return true;
}

void TDbusNotifier::OnActionInvoked(uint id, const QString& action)
{
    int key = KeyOf(id);
    if (const auto it = recentlyClosed_.find(id); key == 0 && it != recentlyClosed_.end())
        key = it->second;
    if (key != 0 && action == kAcknowledge && Acknowledged)
        Acknowledged(key);
}

void TDbusNotifier::OnNotificationClosed(uint id, uint /*reason*/)
{
    const int key = KeyOf(id);
    if (key == 0)
        return;
    // A replacement on its way shows the notification again (the server gives it a new id).
    if (entries_[key].waiting)
        return;
    entries_.erase(key);
    constexpr size_t kRecent = 32;
    if (recentlyClosed_.size() >= kRecent)
        recentlyClosed_.erase(recentlyClosed_.begin());
    recentlyClosed_[id] = key;
    // Whatever the reason (expired, dismissed, closed by another program), it is off the screen; a
    // notification this notifier closed itself is no longer known by its id.
    if (Closed)
        Closed(key);
}
