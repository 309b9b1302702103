// The session bus backend against a real notification server; tests/alerts/notify_bus.sh starts
// one on a private bus and records every call made to it with dbus-monitor. What the server was
// asked is read back from that record.
#include "alerts/qt/DbusNotifier.h"
#include "AlertScene.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <thread>

namespace {

struct BusCall {
    std::string member;
    std::vector<std::string> args; // the top-level arguments as dbus-monitor prints them
};

// dbus-monitor prints a header line per message and its arguments indented below it; arrays and
// dictionaries span several lines, of which only the first counts as the argument.
std::vector<BusCall> CallsFrom(const std::string& sender)
{
    std::vector<BusCall> calls;
    std::ifstream in(qEnvironmentVariable("QUORVANE_NOTIFY_LOG").toStdString());
    std::string line;
    bool ours = false;
    bool openString = false;
    int depth = 0;
    while (std::getline(in, line)) {
        if (line.rfind("method call ", 0) == 0 || line.rfind("signal ", 0) == 0 ||
            line.rfind("method return ", 0) == 0 || line.rfind("error ", 0) == 0) {
            ours = line.rfind("method call ", 0) == 0 && line.find("sender=" + sender + " ") != std::string::npos;
            depth = 0;
            if (ours) {
                const size_t member = line.find("member=");
                calls.push_back({line.substr(member + 7), {}});
            }
            continue;
        }
        if (!ours)
            continue;
        if (openString) {
            // A string with a line feed goes on on the next lines, as it is.
            calls.back().args.back() += "\n" + line;
            openString = !(line.size() > 0 && line.back() == '"');
            continue;
        }
        const std::string item = line.substr(std::min(line.find_first_not_of(' '), line.size()));
        if (depth == 0)
            calls.back().args.push_back(item);
        openString = depth == 0 && item.rfind("string \"", 0) == 0 && (item.size() < 9 || item.back() != '"');
        if (item.rfind("array [", 0) == 0 && item != "array [ ]" && item.back() == '[')
            ++depth;
        else if (item.rfind("dict entry(", 0) == 0 || item.rfind("variant", 0) == 0)
            depth += item.back() == '(' ? 1 : 0;
        else if ((item == "]" || item == ")") && depth > 0)
            --depth;
    }
    return calls;
}

std::string Str(const std::string& text)
{
    return "string \"" + text + "\"";
}

class DbusNotifierTest : public testing::Test {
protected:
    void SetUp() override
    {
        if (qEnvironmentVariableIsEmpty("QUORVANE_NOTIFY_LOG"))
            GTEST_SKIP() << "needs a notification server on a private bus: run through notify_bus.sh";
        static int connections = 0;
        bus_ = std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(
            QDBusConnection::SessionBus, QStringLiteral("alerts-test-%1").arg(++connections)));
        ASSERT_TRUE(bus_->isConnected());
        notifier_ = std::make_unique<TDbusNotifier>(*bus_);
        ASSERT_TRUE(notifier_->Available());
        center_ = std::make_unique<TAlertCenter>(notifier_.get(), &DecodeForTest);
    }
    void TearDown() override
    {
        center_.reset();
        notifier_.reset();
        if (bus_)
            QDBusConnection::disconnectFromBus(bus_->name());
    }

    // Runs the event loop until the notifier waits for no answer and the record holds `count`
    // calls of ours (or 10 s pass); the calls.
    std::vector<BusCall> Calls(size_t count)
    {
        std::vector<BusCall> calls;
        for (int i = 0; i < 1000; ++i) {
            QCoreApplication::processEvents();
            calls = CallsFrom(bus_->baseService().toStdString());
            if (notifier_->Idle() && calls.size() >= count)
                break;
            std::this_thread::sleep_for(10ms);
        }
        return calls;
    }
    std::vector<BusCall> Only(const std::vector<BusCall>& calls, const std::string& member)
    {
        std::vector<BusCall> out;
        for (const BusCall& call : calls)
            if (call.member == member)
                out.push_back(call);
        return out;
    }
    void Run(BoardTime until)
    {
        for (; scene_.now <= until; scene_.now += 800ms) {
            scene_.Tick(*center_);
            QCoreApplication::processEvents();
        }
        scene_.now -= 800ms;
    }

    AlertScene scene_;
    std::unique_ptr<QDBusConnection> bus_;
    std::unique_ptr<TDbusNotifier> notifier_;
    std::unique_ptr<TAlertCenter> center_;
};

TEST_F(DbusNotifierTest, ReadsTheServersCapabilities)
{
    const TagNotifierCaps caps = notifier_->Capabilities();
    EXPECT_TRUE(caps.Actions) << "notification-daemon offers buttons";
    EXPECT_TRUE(caps.Body);
    EXPECT_TRUE(caps.Replace);
    EXPECT_FALSE(notifier_->ServerName().isEmpty());
    const auto calls = Calls(2);
    EXPECT_EQ(Only(calls, "GetCapabilities").size(), 1u);
}

TEST_F(DbusNotifierTest, OneNotificationGroupedThenReplacedInPlaceThenClosed)
{
    scene_.MakeBoard(64, "Idle");
    for (int line = 10; line < 47; ++line)
        scene_.Set(line, "Talking");
    center_->SetRules({Rule("Long calls", "stuck", "Talking", 300)});
    Run(kT0 + 6min);
    auto notify = Only(Calls(3), "Notify");
    ASSERT_EQ(notify.size(), 1u);
    ASSERT_EQ(notify[0].args.size(), 8u);
    EXPECT_EQ(notify[0].args[0], Str("Quorvane monitor"));
    EXPECT_EQ(notify[0].args[1], "uint32 0") << "a new notification";
    EXPECT_EQ(notify[0].args[3], Str("Warning: Long calls"));
    EXPECT_EQ(notify[0].args[4],
              Str("37 lines Talking for more than 5 min\nLines 10, 11, 12, 13, 14, 15, 16, 17, 18, 19 and 27 more"));
    EXPECT_EQ(notify[0].args[7], "int32 -1");
    const int key = center_->Plan().NoticeOf(0);
    const uint id = notifier_->IdOf(key);
    ASSERT_NE(id, 0u);

    // One line more: the same notification, replaced.
    scene_.Set(5, "Talking");
    scene_.board->Rows[5].Cols[2].Since = kT0;
    Run(scene_.now + 6s);
    notify = Only(Calls(4), "Notify");
    ASSERT_EQ(notify.size(), 2u);
    EXPECT_EQ(notify[1].args[1], "uint32 " + std::to_string(id));
    EXPECT_EQ(notify[1].args[4].substr(0, 16), "string \"38 lines");
    EXPECT_EQ(notifier_->IdOf(key), id);

    scene_.SetAll("Idle");
    Run(scene_.now + 2s);
    const auto calls = Calls(5);
    EXPECT_EQ(Only(calls, "Notify").size(), 2u);
    const auto close = Only(calls, "CloseNotification");
    ASSERT_EQ(close.size(), 1u);
    EXPECT_EQ(close[0].args, (std::vector<std::string>{"uint32 " + std::to_string(id)}));
}

TEST_F(DbusNotifierTest, OffersAcknowledgeWhereTheServerHasActions)
{
    scene_.MakeBoard(8, "Talking");
    center_->SetRules({Rule("Long calls", "stuck", "Talking", 1, 0, "critical")});
    Run(kT0 + 2s);
    const auto notify = Only(Calls(3), "Notify");
    ASSERT_EQ(notify.size(), 1u);
    EXPECT_EQ(notify[0].args[5], "array [") << "the actions";
    std::ifstream in(qEnvironmentVariable("QUORVANE_NOTIFY_LOG").toStdString());
    const std::string record((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(record.find("string \"acknowledge\"\n      string \"Acknowledge\""), std::string::npos);
    EXPECT_NE(record.find("string \"urgency\"\n         variant             byte 2"), std::string::npos) << "critical";
}

TEST_F(DbusNotifierTest, TextsFromTheServerAreNotTakenForMarkup)
{
    scene_.MakeBoard(8, "<b>Held</b>");
    center_->SetRules({Rule("Held & <i>stuck</i>", "stuck", "<b>Held</b>", 1)});
    Run(kT0 + 2s);
    const auto notify = Only(Calls(3), "Notify");
    ASSERT_EQ(notify.size(), 1u);
    EXPECT_EQ(notify[0].args[3], Str("Warning: Held & <i>stuck</i>")) << "the title is never markup";
    EXPECT_NE(notify[0].args[4].find("&lt;b&gt;Held&lt;/b&gt;"), std::string::npos) << notify[0].args[4];
}

TEST_F(DbusNotifierTest, ANotificationClosedElsewhereIsForgottenUntilTheReminder)
{
    scene_.MakeBoard(8, "Talking");
    center_->SetRules({Rule("Long calls", "stuck", "Talking", 1)});
    Run(kT0 + 2s);
    const int key = center_->Plan().NoticeOf(0);
    ASSERT_NE(key, 0);
    Calls(1);
    const uint id = notifier_->IdOf(key);
    ASSERT_NE(id, 0u);
    // Another program closes it, as a dismissal or the server's time-out would: the server's
    // NotificationClosed reaches the plan.
    QDBusConnection other = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("other"));
    QDBusMessage close = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("CloseNotification"));
    close << id;
    EXPECT_EQ(other.call(close).type(), QDBusMessage::ReplyMessage);
    for (int i = 0; i < 1000 && center_->Plan().NoticeOf(0) != 0; ++i) {
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(10ms);
    }
    QDBusConnection::disconnectFromBus(QStringLiteral("other"));
    EXPECT_EQ(center_->Plan().NoticeOf(0), 0);
    EXPECT_EQ(notifier_->IdOf(key), 0u);
    Run(scene_.now + 1min);
    EXPECT_EQ(Only(Calls(1), "Notify").size(), 1u) << "not shown again before the reminder";
    EXPECT_TRUE(Only(Calls(1), "CloseNotification").empty()) << "nothing left to close";
}

TEST_F(DbusNotifierTest, AcknowledgeOnTheNotificationAcknowledgesItsAlertsAndClosesIt)
{
    scene_.MakeBoard(8, "Talking");
    center_->SetRules({Rule("Long calls", "stuck", "Talking", 1, 0, "critical"), Rule("Down", "link", "", 60)});
    Run(kT0 + 2s);
    const int key = center_->Plan().NoticeOf(0);
    Calls(1);
    const uint id = notifier_->IdOf(key);
    ASSERT_NE(id, 0u);
    // What the server sends when the button is pressed (a click cannot be made here).
    QMetaObject::invokeMethod(notifier_.get(), "OnActionInvoked", Q_ARG(uint, id),
                              Q_ARG(QString, QStringLiteral("acknowledge")));
    EXPECT_TRUE(center_->Book().Active(0)->Acknowledged);
    const auto close = Only(Calls(2), "CloseNotification");
    ASSERT_EQ(close.size(), 1u);
    EXPECT_EQ(close[0].args, (std::vector<std::string>{"uint32 " + std::to_string(id)}));
    scene_.LinkDown();
    Run(scene_.now + 2min);
    const auto notify = Only(Calls(2), "Notify");
    ASSERT_EQ(notify.size(), 2u);
    EXPECT_EQ(notify[1].args[1], "uint32 0") << "the link's alert has a notification of its own";
    EXPECT_EQ(notify[1].args[3], Str("Warning: Down"));
}

// The board of a start-up: 2048 lines that all stand past the thresholds of two rules at once.
TEST_F(DbusNotifierTest, AStartUpBoardOf2048StuckLinesGivesOneNotification)
{
    scene_.MakeBoard(2048, "Talking");
    center_->SetRules({Rule("Long calls", "stuck", "Talking", 300), Rule("Busy", "above", "Talking", 300, 1000),
                       Rule("Quiet", "below", "Idle", 300, 10, "critical")});
    Run(kT0 + 10min);
    const auto notify = Only(Calls(2), "Notify");
    ASSERT_EQ(notify.size(), 1u);
    EXPECT_EQ(notify[0].args[3], Str("3 alerts active (1 critical)"));
    EXPECT_EQ(center_->Book().ActiveAlerts().size(), 3u);
    EXPECT_EQ(center_->Book().Active(0)->Lines.size(), 2048u);
}

} // namespace
