// The alerts in the main window: the alerts window driven through its widgets, the rules in the
// per-user store, and the refresh tick that judges them, on a clock and a link the test sets.
#include "app/AlertsForm.h"
#include "alerts/AlertScene.h"
#include "alerts/qt/AlertStore.h"
#include "app/Alerts.h"
#include "app/Unit1.h"
#include "board/Board.h"
#include "board/qt/LineGrid.h"
#include "settings/qt/Placement.h"
#include "support/TestSupport.h"
#include "support/gui/GuiTestSupport.h"
#include "support/gui/WindowFixture.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QTableWidget>
#include <QTest>
#include <QTextDocument>
#include <cstring>
#include <gtest/gtest.h>

namespace {

const char kTalkingGbk[] = "\xcd\xa8\xbb\xb0"; // 通话

class AlertsFormTest : public WindowFixture {
protected:
    FakeBoardClock clock;
    QString xdg = QString::fromStdString(dir.path()) + QStringLiteral("/xdg");
    QString storeFile = xdg + QStringLiteral("/Halverdon/Quorvane.conf");
    TAlerts* alerts = nullptr;
    RecordingNotifier* notifier = nullptr;
    int choices = 0;
    int beeps = 0;
    int session = 0;
    TagLinkSample link{true, &session, 1, std::nullopt};
    // What the store holds before the window is made (a site's deployed rules), UTF-8.
    std::string storeText;
    bool withNotifier = true;

    void BeforeWindow() override
    {
        // The test's own per-user store, as the native one is on Linux: a file under a scratch
        // configuration folder (on Windows the native store is the registry, shared by every test).
        SetPlacementStore([file = storeFile] { return std::make_unique<QSettings>(file, QSettings::IniFormat); });
        if (!storeText.empty()) {
            QDir().mkpath(xdg + QStringLiteral("/Halverdon"));
            QFile file(storeFile);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(storeText.data(), qint64(storeText.size()));
        }
    }

    void SetUp() override
    {
        WindowFixture::SetUp();
        alerts = form->Alerts;
        ASSERT_NE(alerts, nullptr);
        alerts->ChooseNotifier = [this] {
            ++choices;
            TagNotifierChoice choice;
            if (withNotifier) {
                auto recording = std::make_unique<RecordingNotifier>();
                notifier = recording.get();
                choice.Notifier = std::move(recording);
                choice.Name = QStringLiteral("recording");
            } else {
                choice.Name = QStringLiteral("none");
                choice.Why = QStringLiteral("no notification server on the session bus and no system tray");
            }
            return choice;
        };
        alerts->SampleLinkAt = [this](BoardTime) { return link; };
        alerts->Beep = [this] { ++beeps; };
    }

    void TearDown() override
    {
        WindowFixture::TearDown();
        SetPlacementStore(nullptr);
    }

    TAlertsForm* OpenAlerts()
    {
        QTest::keyClick(form->LineGrid, Qt::Key_F4);
        return alerts->Form();
    }

    // The refresh tick at the clock's moment, as the timer runs it.
    void Tick()
    {
        form->Timer1Timer();
        QApplication::processEvents();
    }

    // Ticks every 800 ms for the time given.
    void RunFor(std::chrono::milliseconds span)
    {
        for (auto passed = 0ms; passed < span; passed += 800ms) {
            clock.Advance(800ms);
            Tick();
        }
    }

    static void SetStatus(TagMonitor& board, int line, const char* text)
    {
        BoardLock lock(board.Lock);
        board.SetCell(text, std::strlen(text), line, 2, 0, 15);
    }

    static void SetAll(TagMonitor& board, const char* text)
    {
        for (int line = 0; line < board.LineCount; ++line)
            SetStatus(board, line, text);
    }

    struct RuleInput {
        const char* name;
        const char* kind;
        const char* status;
        const char* seconds;
        const char* count;
        const char* severity = "warning";
        bool enabled = true;
    };

    // Add..., the fields filled as an operator would, OK.
    TAlertRuleDialog* AddRule(TAlertsForm* f, const RuleInput& in)
    {
        QTest::mouseClick(f->AddButton, Qt::LeftButton);
        TAlertRuleDialog* d = f->RuleDialog;
        if (!d || !d->isVisible())
            return nullptr;
        Fill(d, in);
        QTest::mouseClick(d->RuleButtons->button(QDialogButtonBox::Ok), Qt::LeftButton);
        return d;
    }

    static void Fill(TAlertRuleDialog* d, const RuleInput& in)
    {
        d->NameEdit->setText(QString::fromUtf8(in.name));
        d->KindBox->setCurrentIndex(d->KindBox->findData(QString::fromLatin1(in.kind)));
        d->StatusBox->setEditText(QString::fromUtf8(in.status));
        d->SecondsEdit->setText(QString::fromUtf8(in.seconds));
        d->CountEdit->setText(QString::fromUtf8(in.count));
        d->SeverityBox->setCurrentIndex(d->SeverityBox->findData(QString::fromLatin1(in.severity)));
        d->EnabledCheck->setChecked(in.enabled);
    }

    QVariant Stored(const char* key) const { return QSettings(storeFile, QSettings::IniFormat).value(key); }

    std::string StoreBytes() const
    {
        // As text: QSettings ends the lines with CR LF on Windows.
        QFile file(storeFile);
        return file.open(QIODevice::ReadOnly | QIODevice::Text) ? file.readAll().toStdString() : std::string();
    }

    static QStringList Row(QTableWidget* table, int row)
    {
        QStringList texts;
        for (int c = 0; c < table->columnCount(); ++c)
            texts << (table->item(row, c) ? table->item(row, c)->text() : QString());
        return texts;
    }

    static std::vector<std::string> AlertLines(const std::vector<std::string>& messages)
    {
        std::vector<std::string> lines;
        for (const std::string& m : messages)
            if (m.rfind("alert", 0) == 0)
                lines.push_back(m);
        return lines;
    }

    void SetRules(std::vector<TagAlertRule> rules)
    {
        std::vector<TagRuleEntry> entries;
        for (const TagAlertRule& rule : rules)
            entries.push_back(ParseAlertRule(WriteAlertRule(rule)));
        alerts->SetRules(std::move(entries));
    }

    void ChooseAlert(TAlertsForm* f, int row)
    {
        const QRect cell = f->ActiveTable->visualItemRect(f->ActiveTable->item(row, 0));
        QTest::mouseClick(f->ActiveTable->viewport(), Qt::LeftButton, {}, cell.center());
    }
};

TEST_F(AlertsFormTest, F4AndTheContextMenuOpenItAndTheMainWindowStaysAsItWas)
{
    const QString title = form->windowTitle();
    QStringList items;
    for (QAction* a : form->LineGrid->actions())
        items << a->text() + QLatin1Char('|') + a->shortcut().toString();
    EXPECT_TRUE(items.contains(QStringLiteral("&Alerts...|F4"))) << items.join(QLatin1Char(' ')).toStdString();
    EXPECT_EQ(form->LineGrid->contextMenuPolicy(), Qt::ActionsContextMenu);
    EXPECT_EQ(form->menuBar()->actions().size(), 2);
    EXPECT_EQ(form->System1->actions().size(), 3);

    EXPECT_EQ(alerts->Form(), nullptr) << "made when first asked for";
    TAlertsForm* f = OpenAlerts();
    ASSERT_NE(f, nullptr);
    EXPECT_TRUE(f->isVisible());
    EXPECT_TRUE(f->isWindow());
    EXPECT_EQ(f->windowTitle(), QStringLiteral("Alerts"));
    EXPECT_EQ(f->ActiveTable->rowCount(), 0);
    EXPECT_EQ(f->RuleTable->rowCount(), 0);
    EXPECT_FALSE(f->AckButton->isEnabled());
    EXPECT_FALSE(f->EditButton->isEnabled());
    EXPECT_EQ(f->NotifierLab->text(), QStringLiteral("Notifications: chosen when a rule is enabled."));
    form->Alerts1->trigger();
    EXPECT_EQ(alerts->Form(), f);
    QTest::keyClick(f, Qt::Key_Escape);
    EXPECT_FALSE(f->isVisible());
    EXPECT_EQ(form->windowTitle(), title);
}

TEST_F(AlertsFormTest, BadInputIsRefusedWithItsReasonAndNothingIsStored)
{
    TAlertsForm* f = OpenAlerts();
    ASSERT_NE(f, nullptr);
    ASSERT_NE(AddRule(f, {"Long calls", "stuck", "Talking", "300", ""}), nullptr);
    ASSERT_FALSE(f->RuleDialog->isVisible());
    ASSERT_EQ(alerts->Rules().size(), 1u);
    const std::string stored = StoreBytes();

    struct Case {
        RuleInput in;
        const char* message;
    };
    const Case cases[] = {
        {{"Held", "stuck", "", "300", ""}, "the status is empty"},
        {{"Held", "stuck", "   ", "300", ""}, "the status is empty"},
        {{"Held", "stuck", "Talking", "5m", ""}, R"("seconds" must be a whole number from 0 to 86400, not "5m")"},
        {{"Held", "stuck", "Talking", "86401", ""}, R"("seconds" must be a whole number from 0 to 86400, not "86401")"},
        {{"Held", "link", "", "-1", ""}, R"("seconds" must be a whole number from 0 to 86400, not "-1")"},
        {{"Busy", "above", "Talking", "60", "2048"}, R"("count" must be a whole number from 0 to 2047, not "2048")"},
        {{"Quiet", "below", "Idle", "60", "0"}, R"("count" must be a whole number from 1 to 2048, not "0")"},
        {{"Quiet", "below", "Idle", "60", ""}, R"("count" must be a whole number from 1 to 2048, not "")"},
        {{"", "link", "", "30", ""}, "the name is empty"},
        {{"Long calls", "overdue", "", "30", ""}, "another rule has this name"},
    };
    for (const Case& c : cases) {
        TAlertRuleDialog* d = AddRule(f, c.in);
        ASSERT_NE(d, nullptr) << c.message;
        EXPECT_TRUE(d->isVisible()) << c.message << ": the dialog stays open";
        EXPECT_FALSE(d->RuleErrorLab->isHidden()) << c.message;
        EXPECT_EQ(d->RuleErrorLab->text(), QString::fromUtf8(c.message));
        d->reject();
        EXPECT_EQ(alerts->Rules().size(), 1u) << c.message;
        EXPECT_EQ(f->RuleTable->rowCount(), 1) << c.message;
    }
    EXPECT_EQ(StoreBytes(), stored);

    // Mended, the same dialog takes it.
    TAlertRuleDialog* d = AddRule(f, {"Held", "stuck", "Talking", "5m", ""});
    ASSERT_NE(d, nullptr);
    ASSERT_TRUE(d->isVisible());
    d->SecondsEdit->setText(QStringLiteral("300"));
    QTest::mouseClick(d->RuleButtons->button(QDialogButtonBox::Ok), Qt::LeftButton);
    EXPECT_FALSE(d->isVisible());
    EXPECT_EQ(alerts->Rules().size(), 2u);
}

TEST_F(AlertsFormTest, AValidRuleIsStoredInTheAlertsGroupOfTheUsersStore)
{
    TAlertsForm* f = OpenAlerts();
    ASSERT_NE(f, nullptr);
    ASSERT_NE(AddRule(f, {"Long calls", "stuck", "Talking", "300", "7"}), nullptr);
    EXPECT_FALSE(f->RuleDialog->isVisible());
    ASSERT_NE(AddRule(f, {"\xe9\x95\xbf\xe9\x80\x9a\xe8\xaf\x9d", "above", "\xe9\x80\x9a\xe8\xaf\x9d", "60", "100",
                          "critical", false}),
              nullptr);
    EXPECT_FALSE(f->RuleDialog->isVisible());
    ASSERT_NE(AddRule(f, {"Link lost", "link", "Talking", "30", "3", "critical"}), nullptr);

    ASSERT_EQ(f->RuleTable->rowCount(), 3);
    EXPECT_EQ(Row(f->RuleTable, 0),
              (QStringList{QStringLiteral("Long calls"), QStringLiteral("A line shows Talking for more than 5 min"),
                           QStringLiteral("Warning"), QStringLiteral("Yes")}));
    EXPECT_EQ(Row(f->RuleTable, 1),
              (QStringList{QString::fromUtf8("\xe9\x95\xbf\xe9\x80\x9a\xe8\xaf\x9d"),
                           QString::fromUtf8("More than 100 lines show \xe9\x80\x9a\xe8\xaf\x9d for more than 1 min"),
                           QStringLiteral("Critical"), QStringLiteral("No")}));
    EXPECT_EQ(Row(f->RuleTable, 2),
              (QStringList{QStringLiteral("Link lost"), QStringLiteral("Link down for more than 30 s"),
                           QStringLiteral("Critical"), QStringLiteral("Yes")}));
    // The core has the status as the server's GBK bytes.
    ASSERT_TRUE(alerts->Rules()[1].Rule);
    EXPECT_EQ(alerts->Rules()[1].Rule->Status, kTalkingGbk);

    // The deployment format: the array rules of the group Alerts, only the keys the kind reads.
    const std::string text = StoreBytes();
    EXPECT_NE(text.find("[Alerts]"), std::string::npos) << text;
    for (const char* line :
         {"rules\\1\\name=Long calls", "rules\\1\\kind=stuck", "rules\\1\\status=Talking", "rules\\1\\seconds=300",
          "rules\\1\\severity=warning", "rules\\1\\enabled=true", "rules\\2\\kind=above", "rules\\2\\count=100",
          "rules\\2\\enabled=false", "rules\\2\\status=\xe9\x80\x9a\xe8\xaf\x9d", "rules\\3\\kind=link",
          "rules\\3\\seconds=30", "rules\\size=3"})
        EXPECT_NE(text.find(std::string(line) + "\n"), std::string::npos) << line << " in\n" << text;
    EXPECT_EQ(text.find("rules\\1\\count"), std::string::npos) << "a stuck rule has no count";
    EXPECT_EQ(text.find("rules\\3\\status"), std::string::npos) << "a link rule has no status";

    // What a restart reads.
    QSettings store(storeFile, QSettings::IniFormat);
    const TagAlertStore read = ReadAlertStore(store);
    ASSERT_EQ(read.Rules.size(), 3u);
    for (size_t i = 0; i < 3; ++i)
        EXPECT_EQ(read.Rules[i].Rule, alerts->Rules()[i].Rule) << i;
}

class StoredRulesTest : public AlertsFormTest {
protected:
    void BeforeWindow() override
    {
        storeText = "[Alerts]\n"
                    "reminderMinutes=often\n"
                    "rules\\1\\name=Long calls\n"
                    "rules\\1\\kind=stuck\n"
                    "rules\\1\\status=Talking\n"
                    "rules\\1\\seconds=5m\n"
                    "rules\\1\\severity=warning\n"
                    "rules\\1\\enabled=true\n"
                    "rules\\1\\note=kept as the site wrote it\n"
                    "rules\\2\\name=Ringing long\n"
                    "rules\\2\\kind=STUCK\n"
                    "rules\\2\\status=Ringing\n"
                    "rules\\2\\seconds=5\n"
                    "rules\\2\\severity=Critical\n"
                    "rules\\2\\enabled=true\n"
                    "rules\\3\\name=No status\n"
                    "rules\\3\\kind=above\n"
                    "rules\\3\\seconds=5\n"
                    "rules\\3\\count=3\n"
                    "rules\\3\\severity=warning\n"
                    "rules\\3\\enabled=true\n"
                    "rules\\size=3\n";
        AlertsFormTest::BeforeWindow();
    }
};

TEST_F(StoredRulesTest, InvalidRulesAreShownWithTheirReasonNeverJudgedAndKeptAsStored)
{
    TAlertsForm* f = OpenAlerts();
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(f->RuleTable->rowCount(), 3);
    EXPECT_EQ(Row(f->RuleTable, 0),
              (QStringList{QStringLiteral("Long calls"),
                           QStringLiteral(R"(Invalid: "seconds" must be a whole number from 0 to 86400, not "5m")"),
                           QStringLiteral("warning"), QStringLiteral("true")}));
    EXPECT_EQ(Row(f->RuleTable, 1),
              (QStringList{QStringLiteral("Ringing long"), QStringLiteral("A line shows Ringing for more than 5 s"),
                           QStringLiteral("Critical"), QStringLiteral("Yes")}));
    EXPECT_EQ(Row(f->RuleTable, 2).at(1), QStringLiteral("Invalid: the key \"status\" is missing"));
    EXPECT_EQ(f->ProblemLab->text(),
              QStringLiteral(R"(The stored reminder is ignored: "reminderMinutes" must be a whole number from 0 )"
                             R"(to 1440, not "often")"));
    EXPECT_EQ(alerts->Center().Plan().Timing().Reminder, std::chrono::minutes(15));

    // Only the valid rule is judged: every line is past both thresholds.
    TagMonitor* board = Publish(8);
    for (int line = 0; line < 8; ++line)
        SetStatus(*board, line, line < 4 ? "Talking" : "Ringing");
    RunFor(10s);
    EXPECT_EQ(alerts->Center().Book().Rules().size(), 1u);
    ASSERT_EQ(f->ActiveTable->rowCount(), 1);
    EXPECT_EQ(f->ActiveTable->item(0, 0)->text(), QStringLiteral("Ringing long"));

    // Editing another rule writes the invalid one back as it was.
    f->RuleTable->selectRow(1);
    QTest::mouseClick(f->EditButton, Qt::LeftButton);
    ASSERT_TRUE(f->RuleDialog->isVisible());
    EXPECT_EQ(f->RuleDialog->NameEdit->text(), QStringLiteral("Ringing long"));
    EXPECT_EQ(f->RuleDialog->SeverityBox->currentData().toString(), QStringLiteral("critical"));
    f->RuleDialog->SecondsEdit->setText(QStringLiteral("60"));
    QTest::mouseClick(f->RuleDialog->RuleButtons->button(QDialogButtonBox::Ok), Qt::LeftButton);
    EXPECT_EQ(Stored("Alerts/rules/1/seconds").toString(), QStringLiteral("5m"));
    EXPECT_EQ(Stored("Alerts/rules/1/note").toString(), QStringLiteral("kept as the site wrote it"));
    EXPECT_EQ(Stored("Alerts/rules/2/seconds").toString(), QStringLiteral("60"));
    EXPECT_EQ(Stored("Alerts/rules/2/kind").toString(), QStringLiteral("stuck"));
    EXPECT_EQ(Stored("Alerts/rules/size").toInt(), 3);
    // Changed, the rule starts afresh: its alert ended, logged.
    EXPECT_EQ(f->ActiveTable->rowCount(), 0);

    // The invalid one, opened, says why and can be mended.
    f->RuleTable->selectRow(0);
    QTest::mouseClick(f->EditButton, Qt::LeftButton);
    ASSERT_TRUE(f->RuleDialog->isVisible());
    EXPECT_EQ(f->RuleDialog->RuleErrorLab->text(),
              QStringLiteral(R"(As stored, this rule is invalid: "seconds" must be a whole number from 0 to 86400, )"
                             R"(not "5m")"));
    EXPECT_EQ(f->RuleDialog->SecondsEdit->text(), QStringLiteral("5m"));
    f->RuleDialog->SecondsEdit->setText(QStringLiteral("300"));
    QTest::mouseClick(f->RuleDialog->RuleButtons->button(QDialogButtonBox::Ok), Qt::LeftButton);
    EXPECT_FALSE(f->RuleDialog->isVisible());
    EXPECT_EQ(Row(f->RuleTable, 0).at(1), QStringLiteral("A line shows Talking for more than 5 min"));
    EXPECT_EQ(alerts->Center().Book().Rules().size(), 2u);

    // Remove takes the chosen rule out of the store; the others close up.
    f->RuleTable->selectRow(0);
    QTest::mouseClick(f->RemoveButton, Qt::LeftButton);
    ASSERT_EQ(f->RuleTable->rowCount(), 2);
    EXPECT_EQ(Stored("Alerts/rules/size").toInt(), 2);
    EXPECT_EQ(Stored("Alerts/rules/1/name").toString(), QStringLiteral("Ringing long"));
    EXPECT_EQ(Stored("Alerts/rules/2/name").toString(), QStringLiteral("No status"));
    EXPECT_FALSE(Stored("Alerts/rules/3/name").isValid());
}

TEST_F(AlertsFormTest, AnActiveRulesTooltipShowsTheServersMarkupAsText)
{
    SetRules({Rule("Loud", "stuck", "<b>Talking</b>", 5)});
    TAlertsForm* f = OpenAlerts();
    ASSERT_NE(f, nullptr);
    TagMonitor* board = Publish(8, 1);
    SetAll(*board, "Idle");
    SetStatus(*board, 3, "<b>Talking</b>");
    RunFor(5600ms);
    ASSERT_EQ(f->ActiveTable->rowCount(), 1);
    const QString tip = f->ActiveTable->item(0, 0)->toolTip();
    QTextDocument shown;
    if (Qt::mightBeRichText(tip))
        shown.setHtml(tip);
    else
        shown.setPlainText(tip);
    EXPECT_TRUE(shown.toPlainText().contains(QStringLiteral("<b>Talking</b>"))) << tip.toStdString();
}

TEST_F(AlertsFormTest, AnActiveAlertIsARowAndItsLineIsShownInTheGrid)
{
    SetRules({Rule("Long calls", "stuck", "Talking", 5)});
    TAlertsForm* f = OpenAlerts();
    ASSERT_NE(f, nullptr);
    // The operator goes back to the main window; the ticks leave the focus there.
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    form->LineGrid->setFocus();
    const QRect placed = f->geometry();

    TagMonitor* board = Publish(64, 2);
    SetAll(*board, "Idle");
    SetStatus(*board, 3, "Talking");
    SetStatus(*board, 40, "Talking");
    RunFor(4800ms);
    EXPECT_EQ(f->ActiveTable->rowCount(), 0) << "not yet more than 5 s";
    RunFor(800ms);
    ASSERT_EQ(f->ActiveTable->rowCount(), 1);
    const QStringList row = Row(f->ActiveTable, 0);
    EXPECT_EQ(row.at(0), QStringLiteral("Long calls"));
    EXPECT_EQ(row.at(1), QStringLiteral("Warning"));
    EXPECT_EQ(row.at(2), QStringLiteral("Lines 3 and 40"));
    EXPECT_TRUE(row.at(3).endsWith(QStringLiteral(" (0 s)"))) << row.at(3).toStdString();
    EXPECT_EQ(row.at(4), QStringLiteral("Not acknowledged"));
    EXPECT_EQ(f->windowTitle(), QStringLiteral("Alerts (1 active)"));
    QTest::qWait(50);
    EXPECT_EQ(QApplication::activeWindow(), form.get());
    EXPECT_TRUE(form->LineGrid->hasFocus());
    EXPECT_EQ(f->geometry(), placed);

    // The lines of the chosen alert; a click shows one in the grid.
    f->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(f));
    EXPECT_EQ(f->LinesList->count(), 0);
    ChooseAlert(f, 0);
    EXPECT_EQ(f->ChosenAlert(), 0);
    ASSERT_EQ(f->LinesList->count(), 2);
    EXPECT_EQ(f->LinesList->item(1)->text(), QStringLiteral("40"));
    QTest::mouseClick(f->LinesList->viewport(), Qt::LeftButton, {},
                      f->LinesList->visualItemRect(f->LinesList->item(1)).center());
    EXPECT_EQ(Selected(), CellsOfLine(40, 2));
    QTest::mouseClick(f->LinesList->viewport(), Qt::LeftButton, {},
                      f->LinesList->visualItemRect(f->LinesList->item(0)).center());
    EXPECT_EQ(Selected(), CellsOfLine(3, 2));

    // A line joins at its time: the row and the list follow, the choice stays.
    SetStatus(*board, 9, "Talking");
    RunFor(5600ms);
    EXPECT_EQ(Row(f->ActiveTable, 0).at(2), QStringLiteral("Lines 3, 9 and 40"));
    EXPECT_TRUE(Row(f->ActiveTable, 0).at(3).endsWith(QStringLiteral(" (5 s)"))) << "since the alert started";
    EXPECT_EQ(f->ChosenAlert(), 0);
    EXPECT_EQ(f->LinesList->count(), 3);

    // Cleared, the row goes.
    SetAll(*board, "Idle");
    Tick();
    EXPECT_EQ(f->ActiveTable->rowCount(), 0);
    EXPECT_EQ(f->LinesList->count(), 0);
    EXPECT_EQ(f->windowTitle(), QStringLiteral("Alerts"));
    EXPECT_FALSE(f->AckButton->isEnabled());
}

TEST_F(AlertsFormTest, AcknowledgeAndSnoozeActOnTheChosenRule)
{
    LogCapture log;
    SetRules({Rule("Long calls", "stuck", "Talking", 5), Rule("Ringing long", "stuck", "Ringing", 5, 0, "critical"),
              Rule("Link lost", "link", "", 30, 0, "critical")});
    TAlertsForm* f = OpenAlerts();
    ASSERT_NE(f, nullptr);
    TagMonitor* board = Publish(8);
    for (int line = 0; line < 8; ++line)
        SetStatus(*board, line, line % 2 ? "Talking" : "Ringing");
    RunFor(6s);
    ASSERT_EQ(f->ActiveTable->rowCount(), 2);
    ASSERT_NE(notifier, nullptr);
    EXPECT_EQ(notifier->Shows(), 1);

    ChooseAlert(f, 0);
    ASSERT_EQ(f->ChosenAlert(), 0);
    EXPECT_TRUE(f->AckButton->isEnabled());
    QTest::mouseClick(f->AckButton, Qt::LeftButton);
    EXPECT_TRUE(alerts->Center().Book().Active(0)->Acknowledged);
    EXPECT_FALSE(alerts->Center().Book().Active(1)->Acknowledged) << "per rule";
    EXPECT_EQ(Row(f->ActiveTable, 0).at(4), QStringLiteral("Acknowledged"));
    EXPECT_FALSE(f->AckButton->isEnabled());

    ChooseAlert(f, 1);
    ASSERT_EQ(f->ChosenAlert(), 1);
    const BoardTime at = FakeBoardClock::Now();
    QTest::mouseClick(f->Snooze15Button, Qt::LeftButton);
    EXPECT_EQ(alerts->Center().Book().SnoozedUntil(1, at), at + 15min);
    EXPECT_TRUE(Row(f->ActiveTable, 1).at(4).startsWith(QStringLiteral("Snoozed until ")))
        << Row(f->ActiveTable, 1).at(4).toStdString();
    QTest::mouseClick(f->Snooze60Button, Qt::LeftButton);
    EXPECT_EQ(alerts->Center().Book().SnoozedUntil(1, at), at + 60min);
    EXPECT_FALSE(alerts->Center().Book().SnoozedUntil(0, at));

    // Both silenced: the notification goes at the next tick, and nothing more is shown.
    const size_t calls = notifier->calls.size();
    RunFor(5min);
    ASSERT_GT(notifier->calls.size(), calls);
    EXPECT_FALSE(notifier->calls[calls].show);
    EXPECT_EQ(notifier->Shows(), 1);
    EXPECT_EQ(AlertLines(log.Messages()),
              (std::vector<std::string>{"alert start: Long calls (4 lines)", "alert start: Ringing long (4 lines)",
                                        "alert acknowledge: Long calls", "alert snooze: Ringing long (15 min)",
                                        "alert snooze: Ringing long (60 min)"}));
}

TEST_F(AlertsFormTest, TheTickJudgesTheBoardAndTheLinkAndTellsTheNotifier)
{
    LogCapture log;
    TagMonitor* board = Publish(8);
    SetAll(*board, "Talking");
    RunFor(10s);
    EXPECT_EQ(choices, 0) << "no notifier is looked for before a rule is enabled";
    SetRules({Rule("Long calls", "stuck", "Talking", 300), Rule("Link lost", "link", "", 30, 0, "critical")});
    Tick();
    EXPECT_EQ(choices, 1);
    ASSERT_NE(notifier, nullptr);
    // The lines' time in state is the board's: 10 s have passed already.
    RunFor(289s);
    EXPECT_EQ(notifier->Shows(), 0);
    RunFor(2s);
    ASSERT_EQ(notifier->Shows(), 1);
    EXPECT_EQ(notifier->calls[0].text.Title, "Warning: Long calls");
    EXPECT_EQ(notifier->calls[0].text.Body, "8 lines Talking for more than 5 min\nLines 0, 1, 2, 3, 4, 5, 6 and 7");

    // The link goes down: the board's data is old, its rule keeps its state; the link's rule fires.
    link.Connected = false;
    SetAll(*board, "Idle");
    RunFor(31s);
    EXPECT_TRUE(alerts->Center().Book().Active(0));
    EXPECT_TRUE(alerts->Center().Book().Active(1));
    // Up again with an answer: the board is judged, the link rule ends.
    link.Connected = true;
    link.LastAnswerAt = 2;
    Tick();
    EXPECT_FALSE(alerts->Center().Book().Active(0));
    EXPECT_FALSE(alerts->Center().Book().Active(1));
    // A board being replaced is not read: nothing ends or starts on it.
    SetAll(*board, "Talking");
    RunFor(301s);
    ASSERT_TRUE(alerts->Center().Book().Active(0));
    BoardBusy.store(kBusyReplacing);
    SetAll(*board, "Idle");
    RunFor(5s);
    EXPECT_TRUE(alerts->Center().Book().Active(0));
    BoardBusy.store(0);
    Tick();
    EXPECT_FALSE(alerts->Center().Book().Active(0));

    EXPECT_EQ(AlertLines(log.Messages()),
              (std::vector<std::string>{"alert start: Long calls (8 lines)", "alert start: Link lost (0 lines)",
                                        "alert end: Long calls (8 lines)", "alert end: Link lost (0 lines)",
                                        "alert start: Long calls (8 lines)", "alert end: Long calls (8 lines)"}));
    EXPECT_EQ(choices, 1);
}

TEST_F(AlertsFormTest, ABoardOf2048LinesAllPastTheThresholdGivesOneNotificationAndOneBeep)
{
    LogCapture log;
    SetRules({Rule("Long calls", "stuck", "Talking", 60), Rule("Busy", "above", "Talking", 60, 2000),
              Rule("Link lost", "link", "", 30, 0, "critical")});
    alerts->SetSounds({true, true});
    TagMonitor* board = Publish(kMaxLines);
    SetAll(*board, "Talking");
    RunFor(3min);
    ASSERT_NE(notifier, nullptr);
    // The two rules may cross their thresholds a tick apart: the second then joins the first's
    // notification in place.
    ASSERT_FALSE(notifier->calls.empty());
    EXPECT_LE(notifier->calls.size(), 2u);
    for (const auto& call : notifier->calls) {
        EXPECT_TRUE(call.show);
        EXPECT_EQ(call.key, notifier->calls[0].key) << "one notification, not one per line or per rule";
    }
    EXPECT_EQ(notifier->calls.back().text.Title, "2 alerts active");
    EXPECT_EQ(beeps, 1);
    EXPECT_EQ(AlertLines(log.Messages()),
              (std::vector<std::string>{"alert start: Long calls (2048 lines)", "alert start: Busy (2048 lines)"}));
}

TEST_F(AlertsFormTest, SoundsFollowTheSeverityTheOperatorChose)
{
    TAlertsForm* f = OpenAlerts();
    ASSERT_NE(f, nullptr);
    EXPECT_FALSE(f->BeepWarningCheck->isChecked());
    EXPECT_FALSE(f->BeepCriticalCheck->isChecked());
    QTest::mouseClick(f->BeepCriticalCheck, Qt::LeftButton);
    EXPECT_EQ(alerts->Sounds(), (TagSoundChoice{false, true}));
    EXPECT_EQ(Stored("Alerts/beepCritical").toString(), QStringLiteral("true"));
    EXPECT_EQ(Stored("Alerts/beepWarning").toString(), QStringLiteral("false"));

    SetRules({Rule("Long calls", "stuck", "Talking", 5), Rule("Ringing long", "stuck", "Ringing", 5, 0, "critical")});
    TagMonitor* board = Publish(8);
    SetAll(*board, "Idle");
    SetStatus(*board, 1, "Talking");
    RunFor(10s);
    ASSERT_TRUE(alerts->Center().Book().Active(0));
    EXPECT_EQ(beeps, 0) << "a warning, and warnings are silent";
    SetStatus(*board, 2, "Ringing");
    RunFor(10s);
    ASSERT_TRUE(alerts->Center().Book().Active(1));
    EXPECT_EQ(beeps, 1);
    // Lines joining replace the notification in place: no sound.
    SetStatus(*board, 3, "Ringing");
    RunFor(20s);
    EXPECT_EQ(beeps, 1);
}

TEST_F(AlertsFormTest, WithoutANotifierTheLogSaysSoOnceAndTheWindowCounts)
{
    withNotifier = false;
    const QString title = form->windowTitle();
    SetRules({Rule("Long calls", "stuck", "Talking", 5)});
    TagMonitor* board = Publish(8);
    SetAll(*board, "Talking");
    RunFor(10s);
    Tick();
    TAlertsForm* f = OpenAlerts();
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->windowTitle(), QStringLiteral("Alerts (1 active)"));
    EXPECT_EQ(f->NotifierLab->text(),
              QStringLiteral("Notifications: none (no notification server on the session bus and no system tray). "
                             "Active alerts show in this window's title and in Monitor.log."));
    EXPECT_EQ(form->windowTitle(), title);
    const std::string log = ReadFile("Monitor.log");
    const std::string said = "alert notifications: none (no notification server on the session bus and no system "
                             "tray)]\r\n";
    const size_t first = log.find(said);
    ASSERT_NE(first, std::string::npos) << log;
    EXPECT_EQ(log.find(said, first + 1), std::string::npos) << "once";
    EXPECT_NE(log.find("alert start: Long calls (8 lines)]\r\n"), std::string::npos) << log;
    EXPECT_EQ(choices, 1);
}

TEST_F(AlertsFormTest, GeometryAndReminderAreKeptInTheAlertsGroup)
{
    TAlertsForm* f = OpenAlerts();
    ASSERT_NE(f, nullptr);
    f->ReminderBox->setValue(5);
    EXPECT_EQ(alerts->Center().Plan().Timing().Reminder, std::chrono::minutes(5));
    EXPECT_EQ(Stored("Alerts/reminderMinutes").toString(), QStringLiteral("5"));
    f->ReminderBox->setValue(0);
    EXPECT_EQ(f->ReminderBox->text(), QStringLiteral("never"));
    EXPECT_EQ(Stored("Alerts/reminderMinutes").toString(), QStringLiteral("0"));
    f->resize(640, 480);
    f->move(70, 90);
    QApplication::processEvents();
    const QRect placed = f->geometry();
    f->close();
    EXPECT_TRUE(Stored("Alerts/Geometry").isValid());
    EXPECT_FALSE(Stored("Geometry").isValid()) << "in the group of its own";

    // A new main window reads it all back.
    form.reset();
    form = std::make_unique<TForm1>(WindowTiming());
    form->Timer1->stop();
    EXPECT_EQ(form->Alerts->ReminderMinutes(), 0);
    EXPECT_EQ(form->Alerts->Center().Plan().Timing().Reminder, std::chrono::minutes(0));
    form->Alerts->Open();
    ASSERT_NE(form->Alerts->Form(), nullptr);
    EXPECT_EQ(form->Alerts->Form()->geometry().size(), placed.size());
    EXPECT_EQ(form->Alerts->Form()->ReminderBox->value(), 0);
}

TEST_F(AlertsFormTest, AStoreThatCannotBeWrittenKeepsTheRulesForThisRunAndSaysSo)
{
    // A store file under a path that is no folder cannot be opened: no box, the window says it.
    SetPlacementStore(
        [] { return std::make_unique<QSettings>(QStringLiteral("/dev/null/Quorvane.conf"), QSettings::IniFormat); });
    const size_t boxesBefore = boxes.messages().size();
    TAlertsForm* f = OpenAlerts();
    ASSERT_NE(f, nullptr);
    EXPECT_TRUE(f->ProblemLab->isHidden());
    ASSERT_NE(AddRule(f, {"Long calls", "stuck", "Talking", "5", ""}), nullptr);
    EXPECT_FALSE(f->RuleDialog->isVisible());
    EXPECT_EQ(f->RuleTable->rowCount(), 1);
    EXPECT_FALSE(f->ProblemLab->isHidden());
    EXPECT_EQ(f->ProblemLab->text(),
              QStringLiteral("The per-user store cannot be written: the rules hold until the program ends."));
    EXPECT_EQ(boxes.messages().size(), boxesBefore) << "no box";

    TagMonitor* board = Publish(4);
    SetAll(*board, "Talking");
    RunFor(6s);
    EXPECT_EQ(f->ActiveTable->rowCount(), 1) << "judged all the same";
}

TEST_F(AlertsFormTest, TheRuleDialogOffersTheBoardsStatusesARuleCanHold)
{
    TagMonitor* board = Publish(64);
    for (int line = 0; line < 5; ++line)
        SetStatus(*board, line, "Talking");
    SetStatus(*board, 5, "   ");
    const std::string tooLong(kMaxAlertStatusBytes + 1, 'x');
    SetStatus(*board, 6, tooLong.c_str());
    // A text per line for the rest: only the most frequent ones are offered.
    std::vector<std::string> own;
    for (int line = 7; line < 64; ++line) {
        own.push_back("Agent " + std::to_string(line));
        SetStatus(*board, line, own.back().c_str());
    }
    TAlertsForm* f = OpenAlerts();
    ASSERT_NE(f, nullptr);
    QTest::mouseClick(f->AddButton, Qt::LeftButton);
    ASSERT_TRUE(f->RuleDialog && f->RuleDialog->isVisible());
    QComboBox* box = f->RuleDialog->StatusBox;
    ASSERT_EQ(box->count(), 40);
    EXPECT_EQ(box->itemText(0), QStringLiteral("Talking"));
    EXPECT_EQ(box->itemText(1), QStringLiteral("Agent 10")) << "equal counts in byte order";
    EXPECT_EQ(box->findText(QStringLiteral("   ")), -1);
    EXPECT_EQ(box->findText(QString::fromStdString(tooLong)), -1);
    EXPECT_EQ(box->currentText(), QString()) << "a new rule's status is the operator's to choose";
    f->RuleDialog->reject();
}

} // namespace
