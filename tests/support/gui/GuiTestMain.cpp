// main() for the GUI tests: one QApplication on Qt's offscreen platform (unless the caller chose
// another, e.g. xcb under Xvfb for a screenshot), watched for event loops run under a board lock.
#include "support/gui/GuiTestSupport.h"

#include <QApplication>
#include <gtest/gtest.h>
#include <vector>

#ifdef _WIN32
#include "settings/qt/Placement.h"

#include <QDir>
#include <QFile>
#include <QSettings>

namespace {

// On Windows the per-user store is the registry, one for every program of the user (and under Wine
// for every program of the prefix): tests running side by side, and one test after another in the
// same process, would see each other's placement and alert rules. Each test starts instead with an
// empty store file of its own under the test's configuration folder, as on Linux; the registry's own
// tests choose the native store themselves.
class ScratchStoreForEachTest : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo&) override
    {
        const QString folder = qEnvironmentVariable("XDG_CONFIG_HOME", QDir::tempPath()) + QStringLiteral("/Halverdon");
        QDir().mkpath(folder);
        const QString path = folder + QStringLiteral("/Quorvane.conf");
        QFile::remove(path);
        SetPlacementStore([path] { return std::make_unique<QSettings>(path, QSettings::IniFormat); });
    }
    void OnTestEnd(const ::testing::TestInfo&) override { SetPlacementStore(nullptr); }
};

} // namespace
#endif

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Programs started by Wine do not always see the platform in the environment; on the command
    // line Qt takes it everywhere.
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    std::vector<char*> args(argv, argv + argc);
    char platformOption[] = "-platform";
    args.insert(args.begin() + 1, {platformOption, const_cast<char*>(platform.constData())});
    int qtArgc = int(args.size());
    args.push_back(nullptr);
    QApplication app(qtArgc, args.data());
    BoardLockEventGuard guard;
    app.installEventFilter(&guard);
    ::testing::InitGoogleTest(&argc, argv);
#ifdef _WIN32
    ::testing::UnitTest::GetInstance()->listeners().Append(new ScratchStoreForEachTest);
#endif
    return RUN_ALL_TESTS();
}
