#pragma once
// LineGrid: the string grid that shows the board.

#include "board/Board.h"

#include <QTableView>

class TLineGrid : public QTableView, public LineGridHandle {
    Q_OBJECT
public:
    explicit TLineGrid(QWidget* parent = nullptr);

    // GUI thread. Lays the grid out in line groups for board (sets board.Grid and GroupCount).
    void LayoutGrid(TagMonitor& board);
    // GUI thread, caller holds board.Lock. Copies changed cells that lie in view.
    void RefreshGrid(TagMonitor& board);
};
