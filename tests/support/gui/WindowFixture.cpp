#include "support/gui/WindowFixture.h"

#include "board/GridMap.h"
#include "board/qt/LineGrid.h"
#include "support/gui/GuiTestSupport.h"

#include <QTest>

void WindowFixture::SetUp()
{
    BeforeWindow();
    WriteLoopbackConfig(refusing.port());
    form = std::make_unique<TForm1>(WindowTiming());
    form->stopSettle = std::chrono::milliseconds(1);
    form->Timer1->stop();
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
}

void WindowFixture::TearDown()
{
    form.reset();
    DestroyBoard();
    BoardBusy.store(0);
    CurConfig.Set(TagRunCfg());
}

TagMonitor* WindowFixture::Publish(int lines, int groups)
{
    TagRunCfg cfg = CurConfig.Get();
    cfg.ColGroupNum = groups;
    CurConfig.Set(cfg);
    BoardBusy.store(0);
    auto board = std::make_unique<TagMonitor>(lines);
    form->LineGrid->LayoutGrid(*board);
    BoardLock lock(CurBoardLock);
    delete CurBoard;
    CurBoard = board.release();
    return CurBoard;
}

std::set<std::pair<int, int>> WindowFixture::Selected() const
{
    std::set<std::pair<int, int>> cells;
    for (const QModelIndex& i : form->LineGrid->selectionModel()->selectedIndexes())
        cells.insert({i.column(), i.row() + 1});
    return cells;
}

std::set<std::pair<int, int>> WindowFixture::CellsOfLine(int line, int groups)
{
    std::set<std::pair<int, int>> cells;
    for (int k = 0; k < kColsPerLine; ++k) {
        const GridCell c = GridCellOf(line, k, groups);
        cells.insert({c.col, c.row});
    }
    return cells;
}
