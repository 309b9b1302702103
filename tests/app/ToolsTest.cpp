// The operator's tools on the main window: find, copy, and the context menu that reaches them.
#include "app/FindBar.h"
#include "app/Unit1.h"
#include "board/Board.h"
#include "board/BoardLock.h"
#include "board/BoardSearch.h"
#include "board/GridMap.h"
#include "board/qt/LineGrid.h"
#include "support/LoopbackServer.h"
#include "support/TestSupport.h"
#include "support/gui/GuiTestSupport.h"
#include "support/gui/WindowFixture.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <QToolTip>
#include <filesystem>
#include <gtest/gtest.h>
#include <thread>

namespace {

class ToolsTest : public WindowFixture {
protected:
    bool InView(GridCell cell) const
    {
        QApplication::processEvents();
        const QRect r = form->LineGrid->visualRect(form->LineGrid->model()->index(cell.row - 1, cell.col));
        return form->LineGrid->viewport()->rect().intersects(r);
    }
};

TEST_F(ToolsTest, FindGoesFromMatchToMatchInEveryGroupLayout)
{
    for (int groups : {1, 3}) {
        SCOPED_TRACE(groups);
        TagMonitor* board = Publish(2048, groups);
        SetCell(*board, "Talking", 10, 2, 0, 15);
        SetCell(*board, "talking", 700, 2, 0, 15);
        SetCell(*board, "TALKING", 2000, 4, 0, 15); // never scrolled into view, never copied
        form->FindBar->hide();

        QTest::keyClick(form.get(), Qt::Key_F, Qt::ControlModifier);
        ASSERT_TRUE(form->FindBar->isVisible());
        EXPECT_TRUE(form->FindBar->FindEdit->hasFocus());
        QTest::keyClicks(form->FindBar->FindEdit, QStringLiteral("talk"));
        QTest::keyClick(form->FindBar->FindEdit, Qt::Key_Return);
        EXPECT_EQ(Selected(), CellsOfLine(10, groups));
        EXPECT_EQ(form->FindBar->FindStatusLab->text(), QStringLiteral("1 of 3"));

        QTest::keyClick(form.get(), Qt::Key_F3);
        EXPECT_EQ(Selected(), CellsOfLine(700, groups));
        QTest::keyClick(form.get(), Qt::Key_F3);
        EXPECT_EQ(Selected(), CellsOfLine(2000, groups));
        EXPECT_EQ(form->FindBar->FindStatusLab->text(), QStringLiteral("3 of 3"));
        EXPECT_TRUE(InView(GridCellOf(2000, 0, groups)));
        EXPECT_TRUE(
            form->LineGrid->CellText(GridCellOf(2000, 4, groups).col, GridCellOf(2000, 4, groups).row).isEmpty())
            << "found on the board, not in the grid's copies";
        QTest::keyClick(form.get(), Qt::Key_F3); // round to the first
        EXPECT_EQ(Selected(), CellsOfLine(10, groups));
        QTest::keyClick(form.get(), Qt::Key_F3, Qt::ShiftModifier); // and back
        EXPECT_EQ(Selected(), CellsOfLine(2000, groups));
        EXPECT_EQ(form->FindBar->FindStatusLab->text(), QStringLiteral("3 of 3"));

        // A line number.
        form->FindBar->FindEdit->setText(QStringLiteral("1234"));
        QTest::keyClick(form->FindBar->FindEdit, Qt::Key_Return);
        EXPECT_EQ(Selected(), CellsOfLine(1234, groups));

        // No match: the field says so and nothing moves.
        form->FindBar->FindEdit->setText(QStringLiteral("Ringing"));
        QTest::keyClick(form->FindBar->FindEdit, Qt::Key_Return);
        EXPECT_EQ(form->FindBar->FindStatusLab->text(), QStringLiteral("no match"));
        EXPECT_EQ(Selected(), CellsOfLine(1234, groups));

        // Esc hides the bar and gives the focus back to the grid.
        QTest::keyClick(form->FindBar->FindEdit, Qt::Key_Escape);
        EXPECT_FALSE(form->FindBar->isVisible());
        EXPECT_TRUE(form->LineGrid->hasFocus());
    }
}

TEST_F(ToolsTest, FindReadsALargeBoardInSlicesAndLetsTheLocksGoBetweenThem)
{
    TagMonitor* board = Publish(2048, 1);
    // 9 MB of text in the first 300 lines: several slices' worth.
    std::string filler(30000, 'f');
    for (int line = 0; line < 300; ++line)
        SetCell(*board, filler.c_str(), line, 4, 0, 15);
    filler.replace(filler.size() - 6, 6, "needle");
    SetCell(*board, filler.c_str(), 3, 4, 0, 15);
    SetCell(*board, "a needle", 2040, 6, 0, 15);

    int slices = 0;
    form->BetweenFindSlices = [&] {
        EXPECT_FALSE(HoldsBoardLock()) << BoardLocksHeldHere();
        // What the worker does between two slices: it takes both locks and stores an answer. A
        // line the find has not reached yet is read as it is when its slice comes.
        BoardLock reference(CurBoardLock);
        BoardLock cells(board->Lock);
        if (slices++ == 0)
            board->SetCell("NEEDLE", 6, 1500, 2, 0, 15);
    };
    form->FindBar->Open();
    form->FindBar->FindEdit->setText(QStringLiteral("needle"));
    QTest::keyClick(form->FindBar->FindEdit, Qt::Key_Return);
    EXPECT_GE(slices, int(300 * filler.size() / kFindSliceBytes) - 1);
    EXPECT_EQ(Selected(), CellsOfLine(3, 1));
    EXPECT_EQ(form->FindBar->FindStatusLab->text(), QStringLiteral("1 of 3"));
    QTest::keyClick(form.get(), Qt::Key_F3);
    EXPECT_EQ(Selected(), CellsOfLine(1500, 1));
    QTest::keyClick(form.get(), Qt::Key_F3);
    EXPECT_EQ(Selected(), CellsOfLine(2040, 1));
    EXPECT_EQ(form->FindBar->FindStatusLab->text(), QStringLiteral("3 of 3"));
}

TEST_F(ToolsTest, FindWithoutABoardSaysSo)
{
    QTest::keyClick(form.get(), Qt::Key_F, Qt::ControlModifier);
    form->FindBar->FindEdit->setText(QStringLiteral("x"));
    QTest::keyClick(form->FindBar->FindEdit, Qt::Key_Return);
    EXPECT_EQ(form->FindBar->FindStatusLab->text(), QStringLiteral("no board yet"));
}

TEST_F(ToolsTest, CopyGivesTheSelectedRangeAsTheGridShowsIt)
{
    Publish(10, 1);
    LineGridModel* model = form->LineGrid->Model();
    model->SetCellText(1, 2, QStringLiteral("a"));
    model->SetCellText(2, 2, QStringLiteral("b\tc"));
    model->SetCellText(1, 3, QString::fromUtf8("通话中"));
    const QModelIndex from = model->index(2, 1);
    const QModelIndex to = model->index(4, 3);
    form->LineGrid->selectionModel()->select(QItemSelection(from, to), QItemSelectionModel::ClearAndSelect);
    form->LineGrid->setCurrentIndex(to);
    form->LineGrid->selectionModel()->select(QItemSelection(from, to), QItemSelectionModel::ClearAndSelect);
    form->LineGrid->setFocus();
    QApplication::clipboard()->clear();
    QTest::keyClick(form->LineGrid, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), QString::fromUtf8("a\tb c\t\n通话中\t\t\n\t\t\n"));

    // In the find bar's field, Ctrl+C is the field's own.
    form->FindBar->Open();
    form->FindBar->FindEdit->setText(QStringLiteral("query"));
    form->FindBar->FindEdit->selectAll();
    QTest::keyClick(form->FindBar->FindEdit, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("query"));
}

TEST_F(ToolsTest, ExportWritesEveryLineOfTheBoardAsCsv)
{
    TagMonitor* board = Publish(2048, 3);
    SetCell(*board, "Talking", 5, 2, 0, 15);
    SetCell(*board, "say \"hi\", then wait", 2047, 4, 0, 15);
    SetCell(*board, "\xCD\xA8\xBB\xB0\xD6\xD0", 7, 2, 0, 15); // 通话中
    const std::string path = dir.path() + "/board.csv";
    form->ChooseExportPath = [&] { return QString::fromStdString(path); };
    ASSERT_TRUE(form->Export1Click());

    std::string csv = ReadFile(path);
    // Excel on a Chinese Windows reads a file without a UTF-8 byte order mark as code page 936.
    ASSERT_EQ(csv.substr(0, 3), "\xEF\xBB\xBF");
    EXPECT_NE(csv.substr(3, 3), "\xEF\xBB\xBF") << "one mark only";
    csv.erase(0, 3);
    std::vector<std::string> rows;
    for (size_t at = 0, end; (end = csv.find("\r\n", at)) != std::string::npos; at = end + 2)
        rows.push_back(csv.substr(at, end - at));
    ASSERT_EQ(rows.size(), 1u + 2048u); // headers, then every line, also those never scrolled into view
    EXPECT_EQ(
        rows[0].rfind(
            "线路,脚本文件,状态,当前按键,运行信息,用户消息1,用户消息2,用户消息3,Status since,Seconds in status", 0),
        0u)
        << rows[0];
    EXPECT_EQ(rows[6].substr(0, 10), ",,Talking,");
    EXPECT_EQ(rows[8].substr(0, 12), ",,通话中,");
    EXPECT_NE(rows[2048].find(",\"say \"\"hi\"\", then wait\","), std::string::npos) << rows[2048];
}

TEST_F(ToolsTest, AFailedExportLeavesNoFileAndNamesFileAndReason)
{
    SetCell(*Publish(4, 1), "x", 0, 0, 0, 15);
    const std::string path = dir.path() + "/no such folder/board.csv";
    form->ChooseExportPath = [&] { return QString::fromStdString(path); };
    bool written = true;
    const QString text = BoxTextOf([&] { written = form->Export1Click(); });
    EXPECT_FALSE(written);
    EXPECT_TRUE(text.startsWith(QStringLiteral("The board could not be written to "))) << text.toStdString();
    // Named as the operator writes paths: with backslashes on Windows.
    EXPECT_TRUE(text.contains(QDir::toNativeSeparators(QString::fromStdString(path)))) << text.toStdString();
    EXPECT_GT(text.size(), QString::fromStdString(path).size() + 40) << "the reason is given";
    EXPECT_FALSE(std::filesystem::exists(dir.path() + "/no such folder"));
}

// Each of the export's boxes runs an event loop of its own, in which the 800 ms tick and a paint of
// the grid come as they please; both take the board's locks, so the box must be shown after they are
// let go. Here the tick and the paint are queued to run inside the box, every time.
TEST_F(ToolsTest, TheExportsBoxesLetATickAndAPaintRunInsideThem)
{
    struct Case {
        const char* name;
        bool board; // a board to export, or none yet (the desk before the platform is up)
        const char* file;
        const char* box;
    };
    for (const Case& c :
         {Case{"before the first answer", false, "/board.csv", "There is no board to export yet."},
          Case{"into a missing folder", true, "/no such folder/board.csv", "The board could not be written to "}}) {
        SCOPED_TRACE(c.name);
        TagMonitor* board = Publish(40, 2); // the grid has rows to paint either way
        SetCell(*board, "Talking", 3, 2, 0, 15);
        if (!c.board)
            DestroyBoard();
        form->ChooseExportPath = [&] { return QString::fromStdString(dir.path() + c.file); };
        int ticks = 0;
        QString text;
        QTimer::singleShot(0, form.get(), [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr) << "the box is up when the loop runs";
            form->Timer1Timer();
            ++ticks;
            form->LineGrid->viewport()->repaint();
            text = box->text();
            box->done(QMessageBox::Ok);
        });
        EXPECT_FALSE(form->Export1Click());
        EXPECT_EQ(ticks, 1);
        EXPECT_TRUE(text.startsWith(QString::fromLatin1(c.box))) << text.toStdString();
        EXPECT_FALSE(HoldsBoardLock()) << BoardLocksHeldHere();

        // The monitor goes on: the worker's side can take the reference and the next tick copies a
        // new board.
        bool workerLocked = false;
        std::thread([&] {
            if (CurBoardLock.try_lock()) {
                workerLocked = true;
                CurBoardLock.unlock();
            }
        }).join();
        EXPECT_TRUE(workerLocked);
        SetCell(*Publish(4, 1), "Idle", 1, 2, 0, 15);
        form->Timer1Timer();
        EXPECT_EQ(form->LineGrid->CellText(2, 2), QStringLiteral("Idle"));
    }
}

#ifdef QUORVANE_LOCK_CHECKS
// The guard of the GUI tests: an event loop run under a board lock stops the test, naming the event
// and where the lock was taken, instead of hanging when the loop paints or ticks.
TEST(BoardLockGuardDeathTest, AnEventLoopUnderABoardLockStopsTheTestWithThePlace)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            BoardLock held(CurBoardLock);
            QTimer::singleShot(0, [] {});
            QCoreApplication::processEvents();
        },
        // Written for GoogleTest's own small regex on Windows as well: no brackets, \w for digits too,
        // and any separator in the path.
        "event \\w+ \\(\\w+\\) delivered to .* while the GUI thread holds CurBoardLock \\(taken at "
        "tests.app.ToolsTest.cpp:\\w+");
}
#endif

TEST_F(ToolsTest, HoveringACellTellsItsLineWholeTextAndTimeInState)
{
    TagMonitor* board = Publish(40, 3);
    const std::string longText(80, 'w');
    SetCell(*board, longText.c_str(), 13, 4, 0, 15); // the grid never copied it: no tick ran
    const GridCell cell = GridCellOf(13, 4, 3);
    QApplication::processEvents();
    const QRect rect = form->LineGrid->visualRect(form->LineGrid->model()->index(cell.row - 1, cell.col));
    QHelpEvent help(QEvent::ToolTip, rect.center(), form->LineGrid->viewport()->mapToGlobal(rect.center()));
    QApplication::sendEvent(form->LineGrid->viewport(), &help);
    const QString tip = QToolTip::text();
    EXPECT_TRUE(
        tip.startsWith(QStringLiteral("Line 13\n") + QString::fromStdString(longText) + QStringLiteral("\nsince ")))
        << tip.toStdString();
    EXPECT_TRUE(tip.endsWith(QStringLiteral(" s)"))) << tip.toStdString();
    QToolTip::hideText();
}

TEST_F(ToolsTest, TheToolsAreInTheGridsContextMenuWithTheirShortcuts)
{
    EXPECT_EQ(form->LineGrid->contextMenuPolicy(), Qt::ActionsContextMenu);
    QStringList items;
    for (QAction* a : form->LineGrid->actions())
        items << a->text() + QLatin1Char('|') + a->shortcut().toString();
    EXPECT_TRUE(items.contains(QStringLiteral("&Find...|Ctrl+F"))) << items.join(QLatin1Char(' ')).toStdString();
    EXPECT_TRUE(items.contains(QStringLiteral("Find &Next|F3")));
    EXPECT_TRUE(items.contains(QStringLiteral("Find &Previous|Shift+F3")));
    EXPECT_TRUE(items.contains(QStringLiteral("&Copy|Ctrl+C")));
    EXPECT_TRUE(items.contains(QStringLiteral("&Export board as CSV...|")));
}

} // namespace
