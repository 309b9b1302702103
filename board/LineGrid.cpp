#include "board/LineGrid.h"

TLineGrid::TLineGrid(QWidget* parent) : QTableView(parent)
{
    setObjectName(QStringLiteral("LineGrid"));
}

void TLineGrid::LayoutGrid(TagMonitor& board)
{
    board.Grid = this;
}

void TLineGrid::RefreshGrid(TagMonitor&) {}
