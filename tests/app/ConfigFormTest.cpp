#include "app/Configunit.h"
#include "app/Unit1.h"
#include "settings/Config.h"
#include "settings/qt/Placement.h"
#include "support/LoopbackServer.h"
#include "support/TestSupport.h"
#include "support/gui/GuiTestSupport.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSettings>
#include <QTest>
#include <QTimer>
#include <climits>
#include <gtest/gtest.h>

namespace {

// GBK bytes of 服务器 ("server").
constexpr char kServerGbk[] = "\xB7\xFE\xCE\xF1\xC6\xF7";

const char kFile[] = "SERVER_IP = 127.0.0.5\r\n"
                     "SERVER_PORT = 2010\r\n"
                     "SLEEP_SEC = 3\r\n"
                     "COL_GROUP_NUM = 4\r\n"
                     "LANGUAGE_TYPE = English\r\n"
                     "TITLE1 = Agent\r\n"
                     "TITLE2 = Queue\r\n"
                     "TITLE3 = Note\r\n";

std::string SavedFile(const std::string& ip, int port, int sleep, int groups)
{
    return "SERVER_IP = " + ip + "\r\nSERVER_PORT = " + std::to_string(port) +
           "\r\nSLEEP_SEC = " + std::to_string(sleep) + "\r\nCOL_GROUP_NUM = " + std::to_string(groups) +
           "\r\nLANGUAGE_TYPE = English\r\nTITLE1 = Agent\r\nTITLE2 = Queue\r\nTITLE3 = Note\r\n";
}

QLabel* LabelOf(TConfigForm& form, const char* editName)
{
    return form.findChild<QLabel*>(QLatin1String(editName) + QStringLiteral("Label"));
}

class ConfigFormTest : public ::testing::Test {
protected:
    ScratchDir dir;
    MessageRecorder boxes;

    void SetUp() override { CurConfig.Set(TagRunCfg()); }
    void TearDown() override { CurConfig.Set(TagRunCfg()); }

    // Runs the dialog modally while drive works it, as an operator would.
    static int RunModal(QDialog& dialog, std::function<void()> drive)
    {
        QTimer::singleShot(0, [&dialog, drive] {
            if (QTest::qWaitForWindowActive(&dialog))
                drive();
        });
        CloseStrayWindowsAfter(5000);
        return dialog.exec();
    }
};

TEST_F(ConfigFormTest, DesignOfTheDialog)
{
    WriteFile(kConfigFileName, kFile);
    TConfigForm form;
    EXPECT_EQ(form.objectName(), QStringLiteral("ConfigForm"));
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Configure"));
    EXPECT_EQ(form.size(), QSize(397, 261));
    EXPECT_EQ(form.minimumSize(), form.maximumSize());
    EXPECT_FALSE(form.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
    EXPECT_EQ(form.font().pixelSize(), 11);

    EXPECT_EQ(form.Image2->geometry(), QRect(8, 3, 32, 32));
    EXPECT_EQ(form.Image2->pixmap().size(), QSize(32, 32));
    EXPECT_EQ(form.Panel2->geometry(), QRect(44, 7, 349, 2));
    EXPECT_EQ(form.Panel1->geometry(), QRect(7, 222, 386, 2));

    const struct {
        QLineEdit* edit;
        const char* name;
        QRect geometry;
        const char* label;
    } edits[] = {
        {form.AddrEdit, "AddrEdit", {51, 32, 333, 21}, "&IP Addr or Server Name:"},
        {form.PortEdit, "PortEdit", {51, 76, 119, 21}, "&Port:"},
        {form.DelayEdit, "DelayEdit", {51, 143, 119, 21}, "&Delay(Sec.):"},
        {form.GroupNumEdit, "GroupNumEdit", {51, 185, 119, 21}, "&Group Num:"},
    };
    for (const auto& e : edits) {
        SCOPED_TRACE(e.name);
        EXPECT_EQ(e.edit->objectName(), QLatin1String(e.name));
        EXPECT_EQ(e.edit->geometry(), e.geometry);
        QLabel* label = LabelOf(form, e.name);
        ASSERT_NE(label, nullptr);
        EXPECT_EQ(label->text(), QLatin1String(e.label));
        EXPECT_EQ(label->buddy(), e.edit);
        EXPECT_EQ(label->x(), e.geometry.x());
        EXPECT_EQ(label->geometry().bottom() + 1 + 3, e.geometry.top());
    }

    EXPECT_EQ(form.Button1->text(), QStringLiteral("OK"));
    EXPECT_EQ(form.Button1->geometry(), QRect(227, 230, 75, 21));
    EXPECT_TRUE(form.Button1->isDefault());
    EXPECT_EQ(form.Button2->text(), QStringLiteral("Cancel"));
    EXPECT_EQ(form.Button2->geometry(), QRect(314, 230, 75, 21));
    EXPECT_FALSE(form.Button2->isDefault());

    // The focus goes round in the designed order; the picture, rules and labels take none.
    std::vector<QWidget*> order;
    QWidget* w = form.Button1;
    do {
        if (w->focusPolicy() & Qt::TabFocus)
            order.push_back(w);
        w = w->nextInFocusChain();
    } while (w != form.Button1);
    EXPECT_EQ(order, (std::vector<QWidget*>{form.Button1, form.Button2, form.AddrEdit, form.PortEdit, form.DelayEdit,
                                            form.GroupNumEdit}));
}

TEST_F(ConfigFormTest, FillsTheBoxesFromTheFile)
{
    WriteFile(kConfigFileName, std::string("SERVER_IP = ") + kServerGbk +
                                   "\r\nSERVER_PORT = 2010\r\nSLEEP_SEC = 3\r\n"
                                   "COL_GROUP_NUM = 4\r\n");
    TConfigForm form;
    EXPECT_EQ(form.AddrEdit->text(), QString::fromUtf8("服务器"));
    EXPECT_EQ(form.PortEdit->text(), QStringLiteral("2010"));
    EXPECT_EQ(form.DelayEdit->text(), QStringLiteral("3"));
    EXPECT_EQ(form.GroupNumEdit->text(), QStringLiteral("4"));
    EXPECT_EQ(CurConfig.Get().ServerIp, kServerGbk);
    EXPECT_TRUE(boxes.messages().empty());
}

TEST_F(ConfigFormTest, WithoutAFileShowsTheDefaults)
{
    TConfigForm form;
    EXPECT_EQ(form.AddrEdit->text(), QLatin1String(kDefaultServerIp));
    EXPECT_EQ(form.PortEdit->text(), QStringLiteral("2004"));
    EXPECT_EQ(form.DelayEdit->text(), QStringLiteral("5"));
    EXPECT_EQ(form.GroupNumEdit->text(), QStringLiteral("1"));
    ASSERT_EQ(boxes.messages().size(), 1u);
    EXPECT_EQ(boxes.messages()[0].caption, "Open Config Error");
}

TEST_F(ConfigFormTest, BoxesAreFilledOnlyWhenTheDialogIsCreated)
{
    WriteFile(kConfigFileName, kFile);
    TConfigForm form;
    WriteFile(kConfigFileName, SavedFile("127.9.9.9", 1, 1, 1));
    LoadConfig(CurConfig);
    EXPECT_EQ(RunModal(form, [&] { form.Button2->click(); }), QDialog::Rejected);
    EXPECT_EQ(form.AddrEdit->text(), QStringLiteral("127.0.0.5"));
    EXPECT_EQ(form.PortEdit->text(), QStringLiteral("2010"));
}

struct OkCase {
    const char* name;
    const char* port;
    const char* delay;
    const char* groups;
    int32_t serverPort;
    int32_t sleepSec;
    int32_t colGroupNum;
};

const OkCase kOkCases[] = {
    {"TrailingLetters", "12ab", "3", "2", 12, 3, 2},
    {"NoDigits", "abc", "x", "4", 0, 0, 4},
    {"LeadingBlank", " 7", " 9", " 3", 7, 9, 3},
    {"NegativePort", "-3", "0", "1", -3, 0, 1},
    {"Empty", "", "", "5", 0, 0, 5},
    {"PastTheIntRange", "99999999999", "99999999999", "99999999999", INT_MAX, INT_MAX, 10},
    {"PastTheIntRangeNegative", "-99999999999", "-99999999999", "-99999999999", INT_MIN, 0, 1},
    {"NegativeDelayBecomesZero", "2004", "-3", "1", 2004, 0, 1},
    {"GroupsZeroBecomeOne", "2004", "5", "0", 2004, 5, 1},
    {"GroupsNegativeBecomeOne", "2004", "5", "-2", 2004, 5, 1},
    {"GroupsAboveTenBecomeTen", "2004", "5", "11", 2004, 5, 10},
    {"GroupsTenStayTen", "2004", "5", "10", 2004, 5, 10},
};

class OkConversions : public ConfigFormTest, public ::testing::WithParamInterface<OkCase> {};

TEST_P(OkConversions, StoreTheLeadingIntegerAndRewriteTheFile)
{
    const OkCase& c = GetParam();
    WriteFile(kConfigFileName, kFile);
    TConfigForm form;
    form.AddrEdit->setText(QStringLiteral("127.0.0.1"));
    form.PortEdit->setText(QLatin1String(c.port));
    form.DelayEdit->setText(QLatin1String(c.delay));
    form.GroupNumEdit->setText(QLatin1String(c.groups));
    EXPECT_EQ(RunModal(form, [&] { form.Button1->click(); }), QDialog::Accepted);

    const TagRunCfg cfg = CurConfig.Get();
    EXPECT_EQ(cfg.ServerIp, "127.0.0.1");
    EXPECT_EQ(cfg.ServerPort, c.serverPort);
    EXPECT_EQ(cfg.SleepSec, c.sleepSec);
    EXPECT_EQ(cfg.ColGroupNum, c.colGroupNum);
    EXPECT_EQ(ReadFile(kConfigFileName), SavedFile("127.0.0.1", c.serverPort, c.sleepSec, c.colGroupNum));
    // What was typed stays in the boxes for the next opening.
    EXPECT_EQ(form.PortEdit->text(), QLatin1String(c.port));
}

INSTANTIATE_TEST_SUITE_P(Configure, OkConversions, ::testing::ValuesIn(kOkCases),
                         [](const auto& param) { return std::string(param.param.name); });

TEST_F(ConfigFormTest, AddressIsTakenAsTypedInGbk)
{
    WriteFile(kConfigFileName, kFile);
    TConfigForm form;
    form.AddrEdit->setText(QString::fromUtf8(" 服务器 b "));
    form.Button1->click();
    const std::string typed = std::string(" ") + kServerGbk + " b ";
    EXPECT_EQ(CurConfig.Get().ServerIp, typed);
    EXPECT_EQ(ReadFile(kConfigFileName), SavedFile(typed, 2010, 3, 4));
}

TEST_F(ConfigFormTest, OkWithNothingChangedStillRewritesTheWholeFile)
{
    WriteFile(kConfigFileName, "// the plant's server\nserver_ip=127.0.0.5\nSERVER_PORT = 2010 // main\n"
                               "SLEEP_SEC=3\nCOL_GROUP_NUM=4\nLANGUAGE_TYPE=English\n"
                               "TITLE1=Agent\nTITLE2=Queue\nTITLE3=Note\n");
    TConfigForm form;
    form.Button1->click();
    EXPECT_EQ(ReadFile(kConfigFileName), SavedFile("127.0.0.5", 2010, 3, 4));
}

TEST_F(ConfigFormTest, CancelEscAndCloseChangeNothingButKeepTheTypedText)
{
    WriteFile(kConfigFileName, kFile);
    TConfigForm form;
    const TagRunCfg before = CurConfig.Get();
    const struct {
        const char* how;
        std::function<void()> cancel;
    } ways[] = {
        {"Cancel", [&] { QTest::mouseClick(form.Button2, Qt::LeftButton); }},
        {"Esc", [&] { QTest::keyClick(&form, Qt::Key_Escape); }},
        {"close box", [&] { form.close(); }},
    };
    int n = 0;
    for (const auto& way : ways) {
        SCOPED_TRACE(way.how);
        const QString typed = QStringLiteral("typed-%1.example").arg(++n);
        EXPECT_EQ(RunModal(form,
                           [&] {
                               form.AddrEdit->setFocus();
                               form.AddrEdit->selectAll();
                               QTest::keyClicks(form.AddrEdit, typed);
                               QTest::keyClicks(form.PortEdit, QStringLiteral("9"));
                               way.cancel();
                           }),
                  QDialog::Rejected);
        EXPECT_EQ(CurConfig.Get(), before);
        EXPECT_EQ(ReadFile(kConfigFileName), kFile);

        // The next opening shows what was typed, not what is stored.
        QString shown;
        RunModal(form, [&] {
            shown = form.AddrEdit->text();
            form.reject();
        });
        EXPECT_EQ(shown, typed);
    }
    EXPECT_EQ(form.PortEdit->text(), QStringLiteral("2010999"));
}

TEST_F(ConfigFormTest, DrivenByKeyboard)
{
    WriteFile(kConfigFileName, kFile);
    TConfigForm form;
    const int result = RunModal(form, [&] {
        EXPECT_EQ(QApplication::focusWidget(), form.Button1);
        const struct {
            Qt::Key key;
            QLineEdit* edit;
            const char* text;
        } steps[] = {
            {Qt::Key_P, form.PortEdit, "2100"},
            {Qt::Key_I, form.AddrEdit, "localhost"},
            {Qt::Key_D, form.DelayEdit, "2"},
            {Qt::Key_G, form.GroupNumEdit, "3"},
        };
        for (const auto& s : steps) {
            QTest::keyClick(QApplication::focusWidget(), s.key, Qt::AltModifier);
            EXPECT_EQ(QApplication::focusWidget(), s.edit);
            QTest::keyClick(s.edit, Qt::Key_A, Qt::ControlModifier);
            QTest::keyClicks(s.edit, QLatin1String(s.text));
        }
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    });
    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_EQ(ReadFile(kConfigFileName), SavedFile("localhost", 2100, 2, 3));
}

TEST_F(ConfigFormTest, CentredOnTheScreen)
{
    WriteFile(kConfigFileName, kFile);
    QWidget owner;
    owner.setGeometry(0, 0, 200, 150);
    TConfigForm form(&owner);
    QPoint centre;
    RunModal(form, [&] {
        centre = form.geometry().center();
        form.reject();
    });
    const QPoint screenCentre = form.screen()->availableGeometry().center();
    EXPECT_LE((centre - screenCentre).manhattanLength(), 8);
}

// The whole path an operator takes: System, Configure, type, Enter; then System, Exit.
TEST_F(ConfigFormTest, OperatorConfiguresFromTheMainMenu)
{
    RefusingPort refusing;
    const QString store = QString::fromStdString(dir.path()) + QStringLiteral("/placement.ini");
    SetPlacementStore([store] { return std::make_unique<QSettings>(store, QSettings::IniFormat); });
    WriteLoopbackConfig(refusing.port(), "LANGUAGE_TYPE = English\r\n");
    auto form = std::make_unique<TForm1>(WindowTiming());
    form->stopSettle = std::chrono::milliseconds(1);
    ConfigForm = new TConfigForm(form.get());
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));

    bool dialogSeen = false;
    auto driveDialog = [&] {
        dialogSeen = QTest::qWaitForWindowActive(ConfigForm);
        if (!dialogSeen)
            return;
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_P, Qt::AltModifier);
        QTest::keyClick(ConfigForm->PortEdit, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(ConfigForm->PortEdit, QStringLiteral("2100"));
        QTest::keyClick(ConfigForm->PortEdit, Qt::Key_Return);
    };
    CloseStrayWindowsAfter(5000);
    QTest::keyClick(form.get(), Qt::Key_S, Qt::AltModifier);
    QWidget* menu = QApplication::activePopupWidget();
    ASSERT_EQ(menu, form->System1);
    QTimer::singleShot(0, driveDialog);
    QTest::keyClick(menu, Qt::Key_C); // returns when the dialog has closed
    EXPECT_TRUE(dialogSeen);
    EXPECT_EQ(ReadFile(kConfigFileName),
              "SERVER_IP = 127.0.0.1\r\nSERVER_PORT = 2100\r\nSLEEP_SEC = 5\r\nCOL_GROUP_NUM = 1\r\n"
              "LANGUAGE_TYPE = English\r\nTITLE1 = " +
                  std::string(CurConfig.Get().Title1) + "\r\nTITLE2 = " + CurConfig.Get().Title2 +
                  "\r\nTITLE3 = " + CurConfig.Get().Title3 + "\r\n");

    // The offscreen platform has no window manager to hand the activation back.
    QApplication::setActiveWindow(form.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    QTest::keyClick(form.get(), Qt::Key_S, Qt::AltModifier);
    ASSERT_EQ(QApplication::activePopupWidget(), form->System1);
    QTest::keyClick(form->System1, Qt::Key_X);
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(QSettings(store, QSettings::IniFormat).allKeys().size(), 12);

    ConfigForm = nullptr;
    form.reset();
    SetPlacementStore(nullptr);
}

} // namespace
