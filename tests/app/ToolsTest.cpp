// The operator's tools on the main window: find, copy, and the context menu that reaches them.
#include "app/FindBar.h"
#include "app/Unit1.h"
#include "board/Board.h"
#include "board/GridMap.h"
#include "board/LineGrid.h"
#include "support/LoopbackServer.h"
#include "support/TestSupport.h"
#include "support/gui/GuiTestSupport.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <gtest/gtest.h>

namespace {

class ToolsTest : public ::testing::Test {
protected:
    ScratchDir dir;
    MessageRecorder boxes;
    RefusingPort refusing;
    std::unique_ptr<TForm1> form;

    void SetUp() override
    {
        WriteLoopbackConfig(refusing.port());
        form = std::make_unique<TForm1>(WindowTiming());
        form->stopSettle = std::chrono::milliseconds(1);
        form->Timer1->stop();
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    }

    void TearDown() override
    {
        form.reset();
        DestroyBoard();
        BoardBusy.store(0);
        CurConfig.Set(TagRunCfg());
    }

    // A board of `lines` lines laid out in `groups` groups, as a running session would have it.
    TagMonitor* Publish(int lines, int groups)
    {
        TagRunCfg cfg = CurConfig.Get();
        cfg.ColGroupNum = groups;
        CurConfig.Set(cfg);
        BoardBusy.store(0);
        auto board = std::make_unique<TagMonitor>(lines);
        form->LineGrid->LayoutGrid(*board);
        std::lock_guard lock(CurBoardLock);
        delete CurBoard;
        CurBoard = board.release();
        return CurBoard;
    }

    // The grid cells selected, as (column, grid row).
    std::set<std::pair<int, int>> Selected() const
    {
        std::set<std::pair<int, int>> cells;
        for (const QModelIndex& i : form->LineGrid->selectionModel()->selectedIndexes())
            cells.insert({i.column(), i.row() + 1});
        return cells;
    }

    static std::set<std::pair<int, int>> CellsOfLine(int line, int groups)
    {
        std::set<std::pair<int, int>> cells;
        for (int k = 0; k < 8; ++k) {
            const GridCell c = GridCellOf(line, k, groups);
            cells.insert({c.col, c.row});
        }
        return cells;
    }

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
}

} // namespace
