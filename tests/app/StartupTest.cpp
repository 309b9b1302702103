// The program entry as a whole: RunApplication with its real windows, boxes and settings, watched
// through its start-up hooks. Every box is a real QMessageBox, closed by a timer that notes what it
// showed and when.
//
// A start without Quorvane.cfg connects to the default server on the plant's private network. That
// test runs only inside a network namespace of its own with nothing but loopback, which main()
// enters before any thread exists: there is no interface and no route a packet could leave by, so
// the kernel refuses the connect before anything is sent. Elsewhere the test skips and says why.

#include "app/Aboutunit.h"
#include "app/Application.h"
#include "app/Configunit.h"
#include "app/Unit1.h"
#include "board/Board.h"
#include "common/Texts.h"
#include "link/Transport.h"
#include "platform/qt/Gbk.h"
#include "settings/EventLog.h"
#include "settings/qt/Placement.h"
#include "support/LoopbackServer.h"
#include "support/TestSupport.h"
#include "support/gui/GuiTestSupport.h"

#include <QMainWindow>
#include <QMessageBox>
#include <QSettings>
#include <QTimer>
#include <clocale>
#include <gtest/gtest.h>
#include <memory>
#include <stdexcept>
#include <vector>

#ifdef __linux__
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace {

// Why the process is not in a loopback-only network (empty when it is).
std::string& NoPrivateNetwork()
{
    static std::string why = "not entered";
    return why;
}

#ifdef __linux__
bool WriteProcFile(const char* name, const std::string& text)
{
    const int fd = ::open(name, O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::write(fd, text.data(), text.size()) == ssize_t(text.size());
    ::close(fd);
    return ok;
}

// A network namespace of our own (root may make one; others through a user namespace of their
// own), loopback brought up, and a check that loopback is all there is.
std::string EnterLoopbackOnlyNetwork()
{
    if (::unshare(CLONE_NEWNET) != 0) {
        const uid_t uid = ::getuid();
        const gid_t gid = ::getgid();
        if (::unshare(CLONE_NEWUSER | CLONE_NEWNET) != 0)
            return std::string("cannot make a network namespace: ") + std::strerror(errno);
        WriteProcFile("/proc/self/setgroups", "deny");
        if (!WriteProcFile("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1\n") ||
            !WriteProcFile("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1\n"))
            return "cannot map the user into its namespace";
    }
    const int s = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ifreq ifr{};
    std::strncpy(ifr.ifr_name, "lo", IFNAMSIZ - 1);
    const bool up =
        s >= 0 && ::ioctl(s, SIOCGIFFLAGS, &ifr) == 0 && (ifr.ifr_flags |= IFF_UP, ::ioctl(s, SIOCSIFFLAGS, &ifr) == 0);
    if (s >= 0)
        ::close(s);
    if (!up)
        return "cannot bring loopback up in the new namespace";
    struct if_nameindex* names = ::if_nameindex();
    std::string others;
    for (struct if_nameindex* n = names; n && n->if_index != 0; ++n) {
        if (std::strcmp(n->if_name, "lo") != 0)
            others += std::string(" ") + n->if_name;
    }
    if (names)
        ::if_freenameindex(names);
    return others.empty() ? std::string() : "the namespace has interfaces besides loopback:" + others;
}
#endif

// What a box showed, and what the start-up had done when it came.
struct SeenBox {
    QString title;
    QString text;
    QMessageBox::Icon icon;
    bool hasParent;
    bool mainWindowShown;
    int stepsDone;
    bool placementRestored;
};

bool MainWindowShown()
{
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (qobject_cast<QMainWindow*>(w) && w->isVisible())
            return true;
    }
    return false;
}

// Watches a start-up: the steps in order, every box (closed at once), the timing the window got,
// and the main window, which it closes as soon as it is shown and no box is open.
class StartupWatch {
public:
    explicit StartupWatch(QString placementFile) : placementFile_(std::move(placementFile)) {}

    StartupHooks Hooks()
    {
        StartupHooks h;
        h.step = [this](StartupStep step) { OnStep(step); };
        h.timing = [this](LinkTiming& t) {
            given = t;
            t = WindowTiming();
        };
        return h;
    }

    std::vector<StartupStep> steps;
    std::vector<SeenBox> boxes;
    LinkTiming given;
    bool closedShownWindow = false;
    std::string appTitle;
    // Taken once the main window exists.
    QString linkText;
    QString caption;
    bool linkConnected = true;
    bool workerStarted = true;
    std::string ctypeLocale;
    std::function<void()> onMainWindow; // extra looks at that moment

private:
    void OnStep(StartupStep step)
    {
        steps.push_back(step);
        switch (step) {
        case StartupStep::Application:
            appTitle = QCoreApplication::applicationName().toStdString();
            ctypeLocale = std::setlocale(LC_CTYPE, nullptr);
            timer_ = std::make_unique<QTimer>();
            QObject::connect(timer_.get(), &QTimer::timeout, [this] { Poll(); });
            timer_->start(5);
            break;
        case StartupStep::MainWindow:
            linkText = Form1->SysStatPan->text();
            caption = Form1->windowTitle();
            linkConnected = CurLink && CurLink->connected;
            workerStarted = CurLink && CurLink->worker.joinable();
            if (onMainWindow)
                onMainWindow();
            break;
        case StartupStep::Done:
            timer_.reset(); // before the application object goes
            break;
        default:
            break;
        }
    }

    void Poll()
    {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            boxes.push_back({box->windowTitle(), box->text(), box->icon(), box->parentWidget() != nullptr,
                             MainWindowShown(), int(steps.size()),
                             QSettings(placementFile_, QSettings::IniFormat).contains(QStringLiteral("WinX"))});
            box->done(QMessageBox::Ok);
            return;
        }
        if (!steps.empty() && steps.back() == StartupStep::MessageLoop && Form1 && Form1->isVisible()) {
            closedShownWindow = true;
            Form1->close();
        }
    }

    QString placementFile_;
    std::unique_ptr<QTimer> timer_;
};

const std::vector<StartupStep> kAllSteps = {
    StartupStep::Application,     StartupStep::Settings,    StartupStep::MainWindow, StartupStep::AboutDialog,
    StartupStep::ConfigureDialog, StartupStep::MessageLoop, StartupStep::Done,
};

class StartupTest : public ::testing::Test {
protected:
    ScratchDir dir;
    QString placement = QString::fromStdString(dir.path()) + QStringLiteral("/placement.ini");
    StartupWatch watch{placement};
    int argc = 1;
    char name[16] = "quorvane";
    char* argv[2] = {name, nullptr};

    void SetUp() override
    {
        const QString file = placement;
        SetPlacementStore([file] { return std::make_unique<QSettings>(file, QSettings::IniFormat); });
    }
    void TearDown() override
    {
        SetPlacementStore(nullptr);
        SetMessageHandler(nullptr);
        CurConfig.Set(TagRunCfg());
        BoardBusy.store(0);
    }

    int Run(const StartupHooks& hooks)
    {
        ++ApplicationsMade();
        return RunApplication(argc, argv, hooks);
    }
    static int& ApplicationsMade()
    {
        static int made = 0;
        return made;
    }
};

QString OpenConfigErrorText()
{
    return QStringLiteral("Quorvane.cfg");
}

// No Quorvane.cfg: a box for each of the three reads, and the connect to the default server fails
// with its own box, all before the main window is shown; then the window shows the link down and
// nothing retries.
TEST_F(StartupTest, WithoutConfigEveryBoxComesBeforeTheWindowAndTheLinkStaysDown)
{
    if (!NoPrivateNetwork().empty())
        GTEST_SKIP() << "the default server may be reached from here (" << NoPrivateNetwork() << ")";
    const unsigned connectsBefore = NetConnectCalls.load();
    EXPECT_EQ(Run(watch.Hooks()), 0);

    EXPECT_EQ(watch.steps, kAllSteps);
    EXPECT_EQ(watch.appTitle, "Halverdon Telephony Platform Monitor");
    const QString connectText = FromGbk(Format(Texts::kConnectFailedZh, kDefaultServerIp, 2004));
    struct Expected {
        QString title;
        QString text;
        int stepsDone;
        bool placementRestored;
    } expected[] = {
        {QStringLiteral("Open Config Error"), OpenConfigErrorText(), 1, false}, // creating CurConfig
        {QStringLiteral("Open Config Error"), OpenConfigErrorText(), 2, true},  // StartMonitor, after the restore
        {QStringLiteral("TCP/IP"), connectText, 2, true},                       // the first connect
        {QStringLiteral("Open Config Error"), OpenConfigErrorText(), 4, true},  // creating ConfigForm
    };
    ASSERT_EQ(watch.boxes.size(), std::size(expected));
    for (size_t i = 0; i < watch.boxes.size(); ++i) {
        SCOPED_TRACE(i);
        const SeenBox& box = watch.boxes[i];
        EXPECT_EQ(box.title, expected[i].title);
        EXPECT_EQ(box.text, expected[i].text);
        EXPECT_EQ(box.icon, QMessageBox::Critical);
        EXPECT_FALSE(box.hasParent);
        EXPECT_FALSE(box.mainWindowShown);
        EXPECT_EQ(box.stepsDone, expected[i].stepsDone);
        EXPECT_EQ(box.placementRestored, expected[i].placementRestored);
    }
    EXPECT_TRUE(watch.closedShownWindow);
    EXPECT_FALSE(watch.linkConnected);
    EXPECT_FALSE(watch.workerStarted);
    EXPECT_EQ(watch.linkText, FromGbk(std::string(Texts::kLinkDownZh) + kDefaultServerIp + " : 2004"));
    EXPECT_EQ(NetConnectCalls.load() - connectsBefore, 1u); // one attempt, refused inside the kernel
}

// The timing the program really runs with: the window is given the link's defaults.
TEST_F(StartupTest, MainWindowGetsTheProgramsLinkTiming)
{
    RefusingPort refusing;
    WriteLoopbackConfig(refusing.port());
    EXPECT_EQ(Run(watch.Hooks()), 0);
    // The values themselves are pinned where the timing is defined.
    EXPECT_TRUE(watch.given == LinkTiming());
    EXPECT_EQ(watch.steps, kAllSteps);
    // With a readable file the only box is the refused connect's.
    ASSERT_EQ(watch.boxes.size(), 1u);
    EXPECT_EQ(watch.boxes[0].title, QStringLiteral("TCP/IP"));
}

// An exception that leaves the message loop is shown in the standard error box with its message
// (none for anything that is not an exception), and the entry still returns 0.
TEST_F(StartupTest, ExceptionFromTheMessageLoopIsShownInTheErrorBox)
{
    RefusingPort refusing;
    WriteLoopbackConfig(refusing.port());
    struct Case {
        const char* name;
        std::function<int(QApplication&)> loop;
        QString text;
    } cases[] = {
        {"std::exception", [](QApplication&) -> int { throw std::runtime_error("loop failed"); },
         QStringLiteral("loop failed")},
        {"anything else", [](QApplication&) -> int { throw 42; }, QString()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StartupWatch w(placement);
        StartupHooks hooks = w.Hooks();
        hooks.loop = c.loop;
        EXPECT_EQ(Run(hooks), 0);
        ASSERT_EQ(w.boxes.size(), 2u); // the refused connect's, then the exception's
        const SeenBox& box = w.boxes[1];
        EXPECT_EQ(box.title, QString::fromLatin1(Texts::kAppTitle));
        EXPECT_EQ(box.text, c.text);
        EXPECT_EQ(box.icon, QMessageBox::Critical);
        EXPECT_FALSE(box.hasParent);
        EXPECT_EQ(w.steps, kAllSteps);
    }
}

// One that escapes an event handler is shown the same way, and the program goes on.
TEST_F(StartupTest, ExceptionFromAnEventHandlerIsShownAndTheProgramGoesOn)
{
    RefusingPort refusing;
    WriteLoopbackConfig(refusing.port());
    StartupHooks hooks = watch.Hooks();
    bool ranOn = false;
    hooks.loop = [&ranOn](QApplication& app) {
        QTimer::singleShot(0, &app, [] { throw std::runtime_error("handler failed"); });
        QTimer::singleShot(1, &app, [&ranOn] { ranOn = true; });
        return app.exec();
    };
    EXPECT_EQ(Run(hooks), 0);
    EXPECT_TRUE(ranOn);
    EXPECT_TRUE(watch.closedShownWindow);
    ASSERT_EQ(watch.boxes.size(), 2u);
    EXPECT_EQ(watch.boxes[1].title, QString::fromLatin1(Texts::kAppTitle));
    EXPECT_EQ(watch.boxes[1].text, QStringLiteral("handler failed"));
}

// The GUI library sets the C library's locale from the environment when the application object is
// made. Under a Turkish one the file must still be read by ASCII rules: the program's own
// "LANGUAGE_TYPE = English" and lower-case keys.
TEST_F(StartupTest, TurkishEnvironmentStillReadsTheFileByAsciiRules)
{
    if (ApplicationsMade() > 0)
        GTEST_SKIP() << "Qt takes the locale from the environment for the first application object of a process "
                        "only: run this test by itself (ctest does)";
    std::string why;
    if (TurkishLocaleDir(why).empty()) // also points LOCPATH at it
        GTEST_SKIP() << "no Turkish locale: " << why;
    RefusingPort refusing;
    // The upper-case address keeps the start on loopback even if the lower-case keys were misread.
    WriteFile(kConfigFileName, LoopbackConfig(refusing.port(), -1, "LANGUAGE_TYPE = English\r\ntitle1 = Agent\r\n"));
    const QByteArray previous = qgetenv("LC_ALL");
    qputenv("LC_ALL", "tr_TR.UTF-8");
    std::string title1;
    watch.onMainWindow = [&title1] { title1 = CurConfig.Get().Title1; };
    const int rc = Run(watch.Hooks());
    qputenv("LC_ALL", previous);
    std::setlocale(LC_ALL, "C");
    EXPECT_EQ(rc, 0);
    ASSERT_EQ(watch.ctypeLocale, "tr_TR.UTF-8") << "the application object did not take the locale";
    EXPECT_EQ(watch.caption, QLatin1String(Texts::kCaptionEn));
    EXPECT_EQ(title1, "Agent");
    EXPECT_TRUE(watch.linkText.startsWith(QLatin1String(Texts::kLinkDownEn))) << watch.linkText.toStdString();
    ASSERT_EQ(watch.boxes.size(), 1u);
    EXPECT_TRUE(watch.boxes[0].text.startsWith(QStringLiteral("Connect to '127.0.0.1:")))
        << watch.boxes[0].text.toStdString();
}

} // namespace

int main(int argc, char** argv)
{
#ifdef __linux__
    // Before any thread exists: a threaded process cannot enter a user namespace.
    NoPrivateNetwork() = EnterLoopbackOnlyNetwork();
#else
    NoPrivateNetwork() = "no network namespaces on this system";
#endif
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
