#pragma once
// LineGrid: the string grid that shows the board. Grid row 0 is the fixed header row (the table's
// horizontal header); grid row r >= 1 is row r - 1 of the model. The grid keeps its own copy of
// every text: the board's texts reach it only through RefreshGrid, the operator's through editing.

#include "board/Board.h"
#include "board/GridMap.h"

#include <QAbstractTableModel>
#include <QHash>
#include <QSet>
#include <QStaticText>
#include <QStyledItemDelegate>
#include <QTableView>
#include <string>
#include <vector>

class LineGridModel : public QAbstractTableModel {
    Q_OBJECT
public:
    LineGridModel(int columns, int dataRows, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

    // Grows or shrinks the table; texts keep their places, those of removed cells are dropped.
    void Reshape(int columns, int dataRows);
    void SetHeaderText(int column, const QString& text);
    void HeadersChanged();
    // Stores the text and reports the cell changed, even when the text is the same.
    void SetCellText(int column, int dataRow, const QString& text);
    // Stores the text without a report; CellsChanged then reports a whole range at once.
    void StoreCellText(int column, int dataRow, const QString& text);
    void CellsChanged(int left, int top, int right, int bottom);
    const QString& CellText(int column, int dataRow) const { return cells_[size_t(dataRow) * size_t(cols_) + column]; }
    const QString& HeaderText(int column) const { return headers_[size_t(column)]; }

private:
    int cols_;
    int rows_;
    std::vector<QString> cells_; // row by row
    std::vector<QString> headers_;
};

class TLineGrid;

class LineGridDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    explicit LineGridDelegate(TLineGrid* grid);
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    TLineGrid* grid_;
};

class TLineGrid : public QTableView {
    Q_OBJECT
public:
    explicit TLineGrid(QWidget* parent = nullptr);

    // GUI thread. Lays the grid out in line groups for board; the grid then shows that board (and
    // reads no other).
    void LayoutGrid(TagMonitor& board);
    // The board the grid was last laid out for, and in how many line groups.
    const TagMonitor* LaidOutFor() const { return board_; }
    int GroupCount() const { return groups_; }
    // GUI thread, the timer's refresh: copies the current board's changed cells that lie in view
    // and shows them. The board's locks are held only while the texts are copied out: showing them
    // sends events (a scroll bar's layout, a repaint), and nothing runs on this thread under them.
    void RefreshGrid();
    // The two halves. CopyChanges: caller holds board.Lock; takes the changed cells of view out of
    // the board (they count as copied) and touches no widget. ShowChanges: no lock; shows them.
    void CopyChanges(TagMonitor& board, const GridWindow& view);
    void ShowChanges();
    // The grid's cell drawing: paints the data cell (ACol, ARow) in the colours of its board cell.
    // Returns false, having drawn nothing, where the grid's own look stays.
    bool LineGridDrawCell(QPainter* painter, int ACol, int ARow, const QRect& Rect) const;

    // In grid terms: row 0 is the header row.
    int RowCount() const { return model_->rowCount() + 1; }
    int ColumnCount() const { return model_->columnCount(); }
    QString CellText(int col, int row) const;
    // The part of the grid RefreshGrid writes into; empty (top > bottom) when no data row shows.
    GridWindow VisibleWindow() const;

    LineGridModel* Model() const { return model_; }
    // How many texts are kept shaped for drawing, and what the texts kept cost by the estimate the
    // store is bounded by (LaidOutCost for those kept shaped, SeenOnceCost for those seen once).
    qsizetype LaidOutTextCount() const { return laidOut_.size() + laidOutOld_.size(); }
    qsizetype LaidOutBytes() const { return laidOutBytes_ + laidOutOldBytes_; }
    qsizetype SeenOnceBytes() const { return seenOnceBytes_; }

    // The bounds of the grid's text stores: texts kept shaped (both halves together), texts
    // remembered as seen once, and the longest text kept at all.
    static constexpr qsizetype kMaxLaidOutTexts = 16384;
    static constexpr qsizetype kMaxLaidOutBytes = qsizetype(16) << 20;
    static constexpr qsizetype kMaxSeenOnceBytes = qsizetype(1) << 20;
    static constexpr qsizetype kMaxLaidOutChars = 256;
    // Measured with Qt 6.4: a shaped text costs about 860 bytes and 16 more a character (glyphs,
    // their positions, the text and the hash's node); a remembered one its characters and a node.
    static qsizetype LaidOutCost(const QString& text) { return 1024 + 18 * text.size(); }
    static qsizetype SeenOnceCost(const QString& text) { return 64 + 2 * text.size(); }

    // The board line shown at the current cell, or -1 (header, a cell past the last line).
    int CurrentLine(int lineCount) const;
    // Scrolls the line's eight cells into view and selects them, in whatever group they stand.
    void SelectLine(int line);
    // The selected range as the grid shows it, tab-separated, a line end after each row; the
    // current cell when nothing is selected.
    QString SelectionText() const;
    void CopySelection() const;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    // Hovering a data cell tells its line, the board's whole text and how long it has shown it.
    bool viewportEvent(QEvent* event) override;
    void dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight,
                     const QList<int>& roles = QList<int>()) override;
    void paintEvent(QPaintEvent* event) override;

private:
    // The grid lines of the part of the view being painted, where the table view would draw them.
    void PaintGridLines(const QRegion& region);
    // The text shaped once for drawing; null for a text that is drawn as it comes (the first time it
    // is seen, or one with control characters).
    const QStaticText* LaidOutText(const QString& text) const;
    // How many characters of a text drawn in the cell at Rect can show at most; cellsFollow: cells
    // of a line follow it in the row.
    qsizetype DrawnChars(bool cellsFollow, const QRect& Rect) const;

    // A 3840 x 2160 screen shows about 5000 cells; the two halves of the store hold at most
    // kMaxLaidOutTexts texts and kMaxLaidOutBytes.
    mutable QHash<QString, QStaticText> laidOut_;    // drawn since the store last filled up
    mutable QHash<QString, QStaticText> laidOutOld_; // drawn before that
    mutable QSet<QString> seenOnce_;                 // drawn once, not kept yet
    mutable qsizetype laidOutBytes_ = 0;
    mutable qsizetype laidOutOldBytes_ = 0;
    mutable qsizetype seenOnceBytes_ = 0;

    LineGridModel* model_;
    // Set from the environment (QUORVANE_PER_CELL_NOTICES) for measurements only: the refresh then
    // reports every cell it writes on its own, as it once did.
    bool perCellNotices_ = false;
    const TagMonitor* board_ = nullptr;
    int groups_ = 1;
    // What CopyChanges took for ShowChanges: grid cell and the board's text.
    struct CopiedCell {
        int col;
        int row;
        std::string text;
    };
    std::vector<CopiedCell> copied_;
};
