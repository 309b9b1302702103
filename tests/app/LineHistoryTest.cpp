// Line history on the screen: the keep item and its store, the line history window painted from a
// journal and checked by its pixels and rows, and the CSV export.
#include "app/FindBar.h"
#include "app/HistoryControl.h"
#include "app/LineHistoryForm.h"
#include "app/OverviewForm.h"
#include "app/Unit1.h"
#include "board/Board.h"
#include "board/qt/BoardColors.h"
#include "board/qt/LineGrid.h"
#include "common/HistorySink.h"
#include "history/HistoryCsv.h"
#include "settings/EventLog.h"
#include "settings/qt/Placement.h"
#include "support/HistoryRig.h"
#include "support/TestSupport.h"
#include "support/gui/GuiTestSupport.h"
#include "support/gui/WindowFixture.h"

#include <QAbstractItemModel>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

QString Q(const std::string& s)
{
    return QString::fromStdString(s);
}

// The per-user store in the scratch folder, for the window and the test alike.
class StoreInScratch {
public:
    explicit StoreInScratch(const std::string& dir) : path_(Q(dir) + QStringLiteral("/store.ini"))
    {
        const QString path = path_;
        SetPlacementStore([path] { return std::make_unique<QSettings>(path, QSettings::IniFormat); });
    }
    ~StoreInScratch() { SetPlacementStore(nullptr); }
    QVariant Value(const char* key) const { return QSettings(path_, QSettings::IniFormat).value(QLatin1String(key)); }
    void Set(const char* key, const QVariant& v) const
    {
        QSettings(path_, QSettings::IniFormat).setValue(QLatin1String(key), v);
    }

private:
    QString path_;
};

class HistoryControlTest : public ::testing::Test {
protected:
    ScratchDir dir;
    StoreInScratch store{dir.path()};
    QString folder = Q(dir.path()) + QStringLiteral("/kept/here");
    QString file = folder + QStringLiteral("/h.sqlite3");
};

TEST_F(HistoryControlTest, OffByDefaultWritesNothing)
{
#ifdef _WIN32
    // Windows' own data folder, which no environment variable moves: the test must not write there.
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
#else
    const QString data = Q(dir.path()) + QStringLiteral("/data");
    qputenv("XDG_DATA_HOME", data.toUtf8());
#endif
    const QString expected = data + QStringLiteral("/Halverdon/Quorvane/history.sqlite3");
    const bool keptBefore = QFileInfo::exists(expected);
    EXPECT_FALSE(HistoryEnabled());
    EXPECT_EQ(HistoryFilePath(), expected);
    {
        THistoryControl control;
        control.StartIfEnabled();
        EXPECT_FALSE(control.Enabled());
        EXPECT_FALSE(control.KeepAction->isChecked());
        EXPECT_EQ(control.Journal(), nullptr);
    }
    EXPECT_EQ(QFileInfo::exists(expected), keptBefore);
#ifndef _WIN32
    EXPECT_FALSE(QFileInfo::exists(data));
#endif
    EXPECT_FALSE(store.Value("History/Enabled").isValid());
    qunsetenv("XDG_DATA_HOME");
}

TEST_F(HistoryControlTest, TheKeepItemWritesTheStoreAndStartsAndEndsTheJournal)
{
    store.Set("History/Path", file);
    THistoryControl control;
    QStringList files;
    QObject::connect(&control, &THistoryControl::FileChanged, [&](const QString& p) { files << p; });
    EXPECT_FALSE(QFileInfo::exists(folder)); // made only when history is turned on

    control.KeepAction->trigger();
    EXPECT_TRUE(control.KeepAction->isChecked());
    EXPECT_TRUE(store.Value("History/Enabled").toBool());
    ASSERT_NE(control.Journal(), nullptr);
    EXPECT_TRUE(control.Journal()->Flush());
    EXPECT_EQ(control.Journal()->Status().state, HistoryState::Recording);
    EXPECT_TRUE(QFileInfo::exists(file));
    EXPECT_NE(History(), nullptr);

    control.KeepAction->trigger();
    EXPECT_FALSE(control.KeepAction->isChecked());
    EXPECT_FALSE(store.Value("History/Enabled").toBool());
    EXPECT_EQ(control.Journal(), nullptr);
    EXPECT_EQ(History(), nullptr);
    EXPECT_EQ(files, (QStringList{file, QString()}));
}

TEST_F(HistoryControlTest, StartsAtStartUpWhenTheStoreSaysSo)
{
    store.Set("History/Path", file);
    store.Set("History/Enabled", true);
    THistoryControl control;
    control.StartIfEnabled();
    EXPECT_TRUE(control.Enabled());
    EXPECT_TRUE(control.KeepAction->isChecked());
    ASSERT_TRUE(control.Journal()->Flush());
}

TEST_F(HistoryControlTest, TheStoresRetentionReachesTheJournalAndAWrongValueIsLogged)
{
    std::vector<std::string> log;
    SetLogSink([&log](const char* m) { log.emplace_back(m); });
    store.Set("History/Path", file);
    store.Set("History/KeepDays", 3);
    store.Set("History/KeepMB", QStringLiteral("lots"));
    THistoryControl control;
    HistoryOptions seen;
    control.AdjustOptions = [&seen](HistoryOptions& o) { seen = o; };
    control.SetEnabled(true);
    SetLogSink(nullptr);
    EXPECT_EQ(seen.keepFor, std::chrono::hours(72));
    EXPECT_EQ(seen.keepBytes, int64_t(1) << 30);
    ASSERT_EQ(log.size(), 1U);
    EXPECT_NE(log[0].find("keeps 3 days and 1024 MB"), std::string::npos) << log[0];
    EXPECT_NE(log[0].find("History/KeepMB"), std::string::npos) << log[0];
}

TEST_F(HistoryControlTest, AJournalThatStopsIsToldOnceInTheOverview)
{
    // A folder where a file stands: the journal cannot open its file.
    WriteFile(dir.path() + "/blocked", "x");
    store.Set("History/Path", Q(dir.path()) + QStringLiteral("/blocked/h.sqlite3"));
    THistoryControl control;
    TOverviewForm overview;
    control.AttachOverview(&overview);
    EXPECT_EQ(overview.HistoryLab, nullptr);
    control.SetEnabled(true);
    ASSERT_NE(control.Journal(), nullptr);
    EXPECT_FALSE(control.Journal()->Flush());
    control.Watch();
    const QString said = control.StoppedText();
    EXPECT_TRUE(said.contains(QStringLiteral("blocked"))) << said.toStdString();
    ASSERT_NE(overview.HistoryLab, nullptr);
    EXPECT_EQ(overview.HistoryLab->text(), said);
    EXPECT_FALSE(overview.HistoryLab->isHidden());
    control.SetEnabled(false);
    EXPECT_TRUE(overview.HistoryLab->isHidden());
}

// A journal of line 1 of a 4-line board: Idle 10 min, Talking 10 min, the link down 5 min, Ringing
// after it for 10 min, written by HistoryRig on the fake clock; then the rig stops.
class LineHistoryWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        HistoryRig rig;
        start = rig.Wall();
        rig.Status(4, 1, "Idle", 2, 15);
        rig.Advance(10min);
        talking = rig.Wall();
        rig.Status(4, 1, "Talking", 15, 1);
        rig.Advance(10min);
        down = rig.Wall();
        History()->LinkChanged(false);
        rig.Advance(5min);
        History()->LinkChanged(true);
        up = rig.Wall();
        rig.Status(4, 1, "Ringing", 0, 14);
        rig.Advance(10min);
        rig.Status(4, 0, "Idle", 2, 15); // a frame for another line: the picture reaches now
        now = rig.Wall();
        ASSERT_TRUE(rig.Flush());
        file = Q(dir.path()) + QStringLiteral("/history.sqlite3");
    }
    void TearDown() override { DestroyBoard(); }

    std::unique_ptr<TLineHistoryForm> MakeForm()
    {
        auto form = std::make_unique<TLineHistoryForm>();
        const int64_t at = now;
        form->NowMs = [at] { return at; };
        form->Offset = [](int64_t) { return int64_t(0); };
        form->resize(800, 500);
        form->SetFile(file);
        form->Open(1);
        QApplication::processEvents();
        return form;
    }

    static QColor BarPixel(THistoryStrip* strip, int x)
    {
        return strip->grab().toImage().pixelColor(x, THistoryStrip::kBarHeight / 2);
    }

    ScratchDir dir;
    StoreInScratch store{dir.path()};
    QString file;
    int64_t start = 0, talking = 0, down = 0, up = 0, now = 0;
};

TEST_F(LineHistoryWindowTest, TheStripShowsTheStatusCellsColoursAndTheGapGrey)
{
    auto form = MakeForm();
    EXPECT_TRUE(form->NoticeLab->isHidden());
    THistoryStrip* strip = form->Strip;
    const auto at = [&](int64_t t) { return BarPixel(strip, strip->XOf(t)); };
    EXPECT_EQ(at(start + int64_t(5) * 60000), ToQColor(LinePalette[15]));  // Idle
    EXPECT_EQ(at(talking + int64_t(5) * 60000), ToQColor(LinePalette[1])); // Talking
    EXPECT_EQ(at(up + int64_t(5) * 60000), ToQColor(LinePalette[14]));     // Ringing
    // The link down: grey, hatched, whichever pixel of the hatch.
    for (int64_t t = down + 60000; t < up - 60000; t += 30000) {
        const QColor c = at(t);
        EXPECT_TRUE(c == THistoryStrip::GapColor() || c == THistoryStrip::HatchColor()) << c.name().toStdString();
    }
    // Before the journal began (the hour reaches back further): a gap too, never a state.
    const QColor before = at(now - 3600000 + 60000);
    EXPECT_TRUE(before == THistoryStrip::GapColor() || before == THistoryStrip::HatchColor());
}

TEST_F(LineHistoryWindowTest, TheTableListsTheChangesNewestFirst)
{
    auto form = MakeForm();
    QAbstractItemModel* m = form->Table->model();
    ASSERT_GE(m->rowCount(), 4);
    const auto cell = [m](int r, int c) { return m->index(r, c).data().toString(); };
    EXPECT_EQ(cell(0, 3), QStringLiteral("Ringing"));
    EXPECT_EQ(cell(0, 1), QStringLiteral("now"));
    EXPECT_EQ(cell(0, 2), QStringLiteral("10 min 0 s"));
    EXPECT_EQ(cell(1, 3), QStringLiteral("(link down)"));
    EXPECT_EQ(cell(1, 2), QStringLiteral("5 min 0 s"));
    EXPECT_EQ(cell(2, 3), QStringLiteral("Talking"));
    EXPECT_EQ(cell(2, 0), Q(HistoryMomentText(talking, [](int64_t) { return int64_t(0); })));
    EXPECT_EQ(cell(3, 3), QStringLiteral("Idle"));
    EXPECT_EQ(m->index(2, 3).data(Qt::BackgroundRole).value<QColor>(), ToQColor(LinePalette[1]));
    EXPECT_EQ(m->index(2, 3).data(Qt::ForegroundRole).value<QColor>(), ToQColor(LinePalette[15]));

    // Another line: its own history only (it began with the last frame).
    form->LineBox->setValue(0);
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Line 0 history"));
    for (int r = 0; r < m->rowCount(); ++r)
        EXPECT_NE(cell(r, 3), QStringLiteral("Talking"));
}

TEST_F(LineHistoryWindowTest, SaysSoWhenHistoryIsOffOrTheFileIsMissing)
{
    auto form = MakeForm();
    form->SetFile(QString());
    form->Refresh();
    EXPECT_FALSE(form->NoticeLab->isHidden());
    EXPECT_TRUE(form->NoticeLab->text().startsWith(QStringLiteral("Line history is off")));
    EXPECT_EQ(form->Table->model()->rowCount(), 0);
    EXPECT_FALSE(form->ExportButt->isEnabled());
    form->SetFile(Q(dir.path()) + QStringLiteral("/none.sqlite3"));
    EXPECT_TRUE(form->NoticeLab->text().startsWith(QStringLiteral("No line history has been kept yet")));
    EXPECT_FALSE(QFileInfo::exists(Q(dir.path()) + QStringLiteral("/none.sqlite3")));
}

TEST_F(LineHistoryWindowTest, ExportWritesTheLinesCsvOverTheWindowsRange)
{
    auto form = MakeForm();
    QString target = Q(dir.path()) + QStringLiteral("/line.csv");
    QString offered;
    form->ChooseExportPath = [&offered, &target](const QString& name) {
        offered = name;
        return target;
    };
    ASSERT_TRUE(form->ExportClick());
    EXPECT_TRUE(offered.startsWith(QStringLiteral("line-1-history-")));
    HistoryReader reader;
    std::string error;
    ASSERT_TRUE(reader.Open(file.toStdString(), error));
    std::string expected = "\xEF\xBB\xBF";
    ASSERT_TRUE(HistoryCsv(
        reader, 1, now - 3600000, now, [&](std::string_view p) { return expected.append(p), true; }, error));
    const std::string written = ReadFile(target.toStdString());
    EXPECT_EQ(written, expected);
    EXPECT_NE(written.find("Talking"), std::string::npos);
    EXPECT_NE(written.find("link down"), std::string::npos);
}

TEST_F(LineHistoryWindowTest, ExportOfAllLinesAndFailuresNameTheFileAndLeaveNothing)
{
    const QString all = Q(dir.path()) + QStringLiteral("/all.csv");
    QString error;
    ASSERT_TRUE(ExportHistoryCsv(file, -1, start, now + 1000, all, error)) << error.toStdString();
    const std::string text = ReadFile(all.toStdString());
    EXPECT_NE(text.find(",0,Idle,"), std::string::npos);
    EXPECT_NE(text.find(",1,Ringing,"), std::string::npos);

    // A folder that does not exist, and a folder in the file's place.
    for (const QString& bad : {Q(dir.path()) + QStringLiteral("/missing/x.csv"), Q(dir.path())}) {
        error.clear();
        EXPECT_FALSE(ExportHistoryCsv(file, 1, start, now, bad, error));
        EXPECT_TRUE(error.contains(QDir::toNativeSeparators(bad))) << error.toStdString();
        EXPECT_GT(error.size(), QDir::toNativeSeparators(bad).size() + 40) << "a reason follows the name";
    }
    EXPECT_FALSE(QFileInfo::exists(Q(dir.path()) + QStringLiteral("/missing")));
    // Nothing beside the files of the test: no temporary left behind.
    const QStringList left = QDir(Q(dir.path())).entryList(QDir::Files);
    for (const QString& name : left)
        EXPECT_TRUE(name == QStringLiteral("all.csv") || name.startsWith(QStringLiteral("history.sqlite3")) ||
                    name == QStringLiteral("store.ini"))
            << name.toStdString();
}

// The main window's items: in the grid's context menu, Ctrl+H opens the window of the current line.
class HistoryMainWindowTest : public WindowFixture {
protected:
    void BeforeWindow() override { store = std::make_unique<StoreInScratch>(dir.path()); }
    void TearDown() override
    {
        WindowFixture::TearDown();
        store.reset();
    }
    std::unique_ptr<StoreInScratch> store;
};

TEST_F(HistoryMainWindowTest, TheGridOffersTheItemsAndCtrlHOpensTheCurrentLine)
{
    const QList<QAction*> actions = form->LineGrid->actions();
    EXPECT_TRUE(actions.contains(form->KeepHistory1));
    EXPECT_TRUE(actions.contains(form->LineHistory1));
    EXPECT_TRUE(actions.contains(form->ExportHistory1));
    EXPECT_FALSE(form->KeepHistory1->isChecked());
    Publish(16);
    form->LineGrid->SelectLine(5);
    QTest::keyClick(form->LineGrid, Qt::Key_H, Qt::ControlModifier);
    ASSERT_NE(form->LineHistoryForm, nullptr);
    EXPECT_TRUE(form->LineHistoryForm->isVisible());
    EXPECT_EQ(form->LineHistoryForm->Line(), 5);
    EXPECT_TRUE(form->LineHistoryForm->NoticeLab->text().startsWith(QStringLiteral("Line history is off")));

    // The find bar's text field does not take the shortcut for itself.
    form->LineHistoryForm->close();
    form->Find1->trigger();
    QLineEdit* edit = form->FindBar->FindEdit;
    edit->setText(QStringLiteral("abc"));
    edit->setFocus();
    QTest::keyClick(edit, Qt::Key_H, Qt::ControlModifier);
    EXPECT_TRUE(form->LineHistoryForm->isVisible());
    EXPECT_EQ(edit->text(), QStringLiteral("abc"));

    // Turned on, the window follows.
    store->Set("History/Path", Q(dir.path()) + QStringLiteral("/h.sqlite3"));
    form->KeepHistory1->trigger();
    ASSERT_TRUE(form->History->Journal()->Flush());
    form->LineHistoryForm->Refresh();
    EXPECT_TRUE(form->LineHistoryForm->NoticeLab->isHidden()) << form->LineHistoryForm->NoticeLab->text().toStdString();
    form->KeepHistory1->trigger();
}

TEST_F(HistoryMainWindowTest, TheOverviewTilesOpenALinesHistory)
{
    Publish(16);
    QTest::keyClick(form->LineGrid, Qt::Key_F2);
    TOverviewForm* o = form->OverviewForm;
    ASSERT_NE(o, nullptr);
    o->resize(600, 400);
    form->Timer1Timer();
    QApplication::processEvents();
    EXPECT_TRUE(o->LegendPan->actions().contains(form->KeepHistory1));
    const QRect tile = o->TileView->TileRectOf(7);
    QTest::mouseDClick(o->TileView, Qt::LeftButton, Qt::NoModifier, tile.center());
    ASSERT_NE(form->LineHistoryForm, nullptr);
    EXPECT_EQ(form->LineHistoryForm->Line(), 7);
}

TEST_F(HistoryMainWindowTest, TheGridsExportWritesEveryLineOverTheRangeChosen)
{
    const QString target = Q(dir.path()) + QStringLiteral("/all.csv");
    int asked = 0;
    form->ChooseHistoryExport = [&](int64_t& from, int64_t& until, QString& path) {
        ++asked;
        from = 0;
        until = int64_t(4102444800) * 1000; // 2100
        path = target;
        return true;
    };
    // Off: said so, nothing asked, nothing written.
    EXPECT_TRUE(BoxTextOf([&] {
                    EXPECT_FALSE(form->ExportHistory1Click());
                }).startsWith(QStringLiteral("Line history is off")));
    EXPECT_EQ(asked, 0);
    EXPECT_FALSE(QFileInfo::exists(target));

    store->Set("History/Path", Q(dir.path()) + QStringLiteral("/h.sqlite3"));
    form->KeepHistory1->trigger();
    ASSERT_TRUE(form->History->Journal()->Flush());
    EXPECT_TRUE(form->ExportHistory1Click());
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(ReadFile(target.toStdString()).substr(0, 3 + 30), "\xEF\xBB\xBFTime,Line,Status,Seconds,Gap\r\n");

    // Into a folder that does not exist: the box names the file and the reason.
    const QString bad = Q(dir.path()) + QStringLiteral("/missing/all.csv");
    form->ChooseHistoryExport = [&bad](int64_t& from, int64_t& until, QString& path) {
        from = 0;
        until = 1;
        path = bad;
        return true;
    };
    const QString text = BoxTextOf([&] { EXPECT_FALSE(form->ExportHistory1Click()); });
    EXPECT_TRUE(text.contains(QDir::toNativeSeparators(bad))) << text.toStdString();
    EXPECT_FALSE(QFileInfo::exists(Q(dir.path()) + QStringLiteral("/missing")));
    form->KeepHistory1->trigger();
}

} // namespace
