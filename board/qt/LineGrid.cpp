#include "board/qt/LineGrid.h"

#include "board/BoardRead.h"
#include "board/CellTip.h"
#include "board/TableText.h"
#include "board/qt/BoardColors.h"

#include "platform/qt/Gbk.h"
#include "platform/qt/PlainText.h"
#include "settings/Config.h"

#include <QAccessible>
#include <QClipboard>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QTextOption>
#include <QToolTip>
#include <algorithm>
#include <climits>

namespace {

constexpr int kDesignColumns = 8;
constexpr int kDesignDataRows = 4;
constexpr int kDefaultColWidth = 62;
constexpr int kDefaultRowHeight = 16;
constexpr int kDesignWidths[kDesignColumns] = {124, 108, 56, 76, 204, 83, 57, 62};

} // namespace

LineGridModel::LineGridModel(int columns, int dataRows, QObject* parent)
    : QAbstractTableModel(parent), cols_(columns), rows_(dataRows), cells_(size_t(columns) * size_t(dataRows)),
      headers_(size_t(columns))
{
}

int LineGridModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : rows_;
}

int LineGridModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : cols_;
}

QVariant LineGridModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return QVariant();
    if (role == Qt::DisplayRole || role == Qt::EditRole)
        return CellText(index.column(), index.row());
    return QVariant();
}

QVariant LineGridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= cols_)
        return QVariant();
    return headers_[size_t(section)];
}

Qt::ItemFlags LineGridModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable;
}

bool LineGridModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (role != Qt::EditRole || !checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return false;
    SetCellText(index.column(), index.row(), value.toString());
    return true;
}

void LineGridModel::Reshape(int columns, int dataRows)
{
    // Inserting and removing (rather than resetting the model) keeps the header's section sizes
    // of the columns that stay, which is what carries the operator's widths through a layout.
    if (columns != cols_) {
        const bool removed = columns < cols_;
        if (removed)
            beginRemoveColumns(QModelIndex(), columns, cols_ - 1);
        else
            beginInsertColumns(QModelIndex(), cols_, columns - 1);
        std::vector<QString> cells(size_t(columns) * size_t(rows_));
        const int keep = std::min(columns, cols_);
        for (int r = 0; r < rows_; ++r) {
            for (int c = 0; c < keep; ++c)
                cells[size_t(r) * size_t(columns) + c] = std::move(cells_[size_t(r) * size_t(cols_) + c]);
        }
        cells_ = std::move(cells);
        headers_.resize(size_t(columns));
        cols_ = columns;
        if (removed)
            endRemoveColumns();
        else
            endInsertColumns();
    }
    if (dataRows != rows_) {
        const bool removed = dataRows < rows_;
        if (removed)
            beginRemoveRows(QModelIndex(), dataRows, rows_ - 1);
        else
            beginInsertRows(QModelIndex(), rows_, dataRows - 1);
        cells_.resize(size_t(cols_) * size_t(dataRows));
        rows_ = dataRows;
        if (removed)
            endRemoveRows();
        else
            endInsertRows();
    }
}

void LineGridModel::SetHeaderText(int column, const QString& text)
{
    headers_[size_t(column)] = text;
}

void LineGridModel::HeadersChanged()
{
    if (cols_ > 0)
        emit headerDataChanged(Qt::Horizontal, 0, cols_ - 1);
}

void LineGridModel::SetCellText(int column, int dataRow, const QString& text)
{
    cells_[size_t(dataRow) * size_t(cols_) + column] = text;
    const QModelIndex cell = index(dataRow, column);
    emit dataChanged(cell, cell, {Qt::DisplayRole, Qt::EditRole});
}

void LineGridModel::StoreCellText(int column, int dataRow, const QString& text)
{
    cells_[size_t(dataRow) * size_t(cols_) + column] = text;
}

void LineGridModel::CellsChanged(int left, int top, int right, int bottom)
{
    emit dataChanged(index(top, left), index(bottom, right), {Qt::DisplayRole, Qt::EditRole});
}

LineGridDelegate::LineGridDelegate(TLineGrid* grid) : QStyledItemDelegate(grid), grid_(grid) {}

void LineGridDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    // Model row r is grid row r + 1: row 0 is the header.
    if (!grid_->LineGridDrawCell(painter, index.column(), index.row() + 1, option.rect))
        QStyledItemDelegate::paint(painter, option, index);
}

TLineGrid::TLineGrid(QWidget* parent)
    : QTableView(parent), model_(new LineGridModel(kDesignColumns, kDesignDataRows, this))
{
    setObjectName(QStringLiteral("LineGrid"));
    setModel(model_);
    setItemDelegate(new LineGridDelegate(this));

    QHeaderView* header = horizontalHeader();
    header->setMinimumSectionSize(1);
    header->setDefaultSectionSize(kDefaultColWidth);
    header->setSectionResizeMode(QHeaderView::Interactive);
    header->setSectionsClickable(false);
    header->setHighlightSections(false);
    header->setStretchLastSection(false);
    // The header row is a row of the grid like the others, and as high.
    header->setFixedHeight(kDefaultRowHeight);
    // The header is the grid's fixed row 0; the grid has no fixed column.
    QHeaderView* rows = verticalHeader();
    rows->hide();
    rows->setMinimumSectionSize(1);
    rows->setDefaultSectionSize(kDefaultRowHeight);
    rows->setSectionResizeMode(QHeaderView::Fixed);
    for (int c = 0; c < kDesignColumns; ++c)
        setColumnWidth(c, kDesignWidths[c]);

    // The cells keep the table's room for grid lines, but the lines themselves are drawn here: the
    // table draws each one pixel by pixel, which on a wallboard costs as much as all the cells' texts.
    setShowGrid(true);
    setGridStyle(Qt::NoPen);
    // A range is one rectangle of cells: dragged, or extended with Shift; Ctrl adds no second one.
    setSelectionMode(QAbstractItemView::ContiguousSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                    QAbstractItemView::AnyKeyPressed);
    // A string grid cuts long texts at the cell's edge instead of shortening them with an ellipsis.
    setWordWrap(false);
    setTextElideMode(Qt::ElideNone);
    perCellNotices_ = qEnvironmentVariableIsSet("QUORVANE_PER_CELL_NOTICES");
}

void TLineGrid::LayoutGrid(TagMonitor& board)
{
    const TagRunCfg cfg = CurConfig.Get();
    board_ = &board;
    groups_ = LayoutGroupCount(cfg.ColGroupNum);
    const int groups = groups_;

    model_->Reshape(GridColumnCount(groups), GridRowCount(board.LineCount, groups) - 1);
    if (groups > 1) {
        int widths[kColsPerLine];
        for (int k = 0; k < kColsPerLine; ++k)
            widths[k] = columnWidth(k);
        for (int g = 1; g < groups; ++g) {
            for (int k = 0; k < kColsPerLine; ++k)
                setColumnWidth(g * kColsPerLine + k, widths[k]);
        }
    }

    const std::array<std::string, kColsPerLine> texts = HeaderTexts(cfg);
    QString headers[kColsPerLine];
    for (int k = 0; k < kColsPerLine; ++k)
        headers[k] = FromGbk(texts[size_t(k)]);
    for (int g = 0; g < groups; ++g) {
        for (int k = 0; k < kColsPerLine; ++k)
            model_->SetHeaderText(g * kColsPerLine + k, headers[k]);
    }
    model_->HeadersChanged();
}

GridWindow TLineGrid::VisibleWindow() const
{
    const int dataRows = model_->rowCount();
    const int cols = model_->columnCount();
    const QSize size = viewport()->size();
    const int firstRow = rowAt(0);
    const int firstCol = columnAt(0);
    if (dataRows == 0 || cols == 0 || firstRow < 0 || firstCol < 0 || size.isEmpty())
        return {1, 0, 0, -1};
    // The first row and column in view and the number H, W of those after them that show whole; rows
    // up to first + H and columns up to first + W count, so the partly shown last row and column are
    // refreshed too, and when the view ends exactly on a boundary, the one just past it as well: it
    // is the next to scroll in.
    int fullRows = 0;
    while (firstRow + fullRows < dataRows &&
           rowViewportPosition(firstRow + fullRows) + rowHeight(firstRow + fullRows) <= size.height())
        ++fullRows;
    int fullCols = 0;
    while (firstCol + fullCols < cols &&
           columnViewportPosition(firstCol + fullCols) + columnWidth(firstCol + fullCols) <= size.width())
        ++fullCols;
    const int lastRow = std::min(firstRow + fullRows, dataRows - 1);
    const int lastCol = std::min(firstCol + fullCols, cols - 1);
    return {firstRow + 1, lastRow + 1, firstCol, lastCol};
}

void TLineGrid::RefreshGrid()
{
    // The view's geometry may lay out the scroll area, which sends events: asked before the lock.
    const GridWindow view = VisibleWindow();
    ReadCurBoard([&](TagMonitor& board) { CopyChanges(board, view); });
    ShowChanges();
}

void TLineGrid::CopyChanges(TagMonitor& board, const GridWindow& view)
{
    // A board laid out on another grid (or on none) has a group count that does not fit this one.
    if (&board != board_)
        return;
    // Only the cells in view can be copied, so only they are visited: the result is the same as
    // walking the whole board, at a fraction of the cost.
    for (int r = view.top; r <= view.bottom; ++r) {
        for (int c = view.left; c <= view.right; ++c) {
            const BoardCell at = BoardCellAt(c, r, groups_, board.LineCount);
            if (at.line < 0)
                continue;
            TagLineCols& cell = board.Rows[size_t(at.line)].Cols[at.column];
            if (!cell.Changed)
                continue;
            cell.Changed = false;
            copied_.push_back({c, r, cell.Text});
        }
    }
}

void TLineGrid::ShowChanges()
{
    if (copied_.empty())
        return;
    int left = INT_MAX, top = INT_MAX, right = -1, bottom = -1;
    for (const CopiedCell& cell : copied_) {
        // The grid may have been laid out anew in between: a cell it no longer has is dropped.
        if (cell.row - 1 >= model_->rowCount() || cell.col >= model_->columnCount())
            continue;
        if (perCellNotices_) {
            model_->SetCellText(cell.col, cell.row - 1, FromGbk(cell.text));
            continue;
        }
        model_->StoreCellText(cell.col, cell.row - 1, FromGbk(cell.text));
        left = std::min(left, cell.col);
        right = std::max(right, cell.col);
        top = std::min(top, cell.row - 1);
        bottom = std::max(bottom, cell.row - 1);
    }
    copied_.clear();
    // One report for all the cells written: the grid repaints them in one pass. Cells in the range
    // that were not written are repainted too, and look as before: their text and their board
    // colours are the same.
    if (right >= 0)
        model_->CellsChanged(left, top, right, bottom);
}

void TLineGrid::dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight, const QList<int>& roles)
{
    // The view's own handling repaints the whole viewport for a range; one rectangle around the range
    // is enough. An open editor and assistive technology still get the full treatment.
    if (topLeft == bottomRight || state() == EditingState || QAccessible::isActive()) {
        QTableView::dataChanged(topLeft, bottomRight, roles);
        return;
    }
    viewport()->update(visualRect(topLeft).united(visualRect(bottomRight)));
}

void TLineGrid::paintEvent(QPaintEvent* event)
{
    QTableView::paintEvent(event);
    PaintGridLines(event->region());
}

void TLineGrid::PaintGridLines(const QRegion& region)
{
    // The same lines, in the same places and colour, as the table view's own solid grid: after all
    // the cells of the area, at the right and bottom edge of every cell, across the whole area
    // painted, as far as the last row and column reach. Rows and columns are never hidden or moved
    // here, and the layout is left to right.
    QHeaderView* columns = horizontalHeader();
    QHeaderView* rows = verticalHeader();
    if (!showGrid() || columns->count() == 0 || rows->count() == 0)
        return;
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    const QColor colour =
        QColor::fromRgba(static_cast<QRgb>(style()->styleHint(QStyle::SH_Table_GridLineColor, &option, this)));
    const bool leftTopLines = style()->styleHint(QStyle::SH_Table_AlwaysDrawLeftTopGridLines, &option, this) != 0;
    const int lastX = columns->length() - columns->offset() - 1;
    const int lastY = rows->length() - rows->offset() - 1;
    QPainter painter(viewport());
    for (QRect area : region) {
        area.setBottom(std::min(area.bottom(), lastY));
        area.setRight(std::min(area.right(), lastX));
        if (!area.isValid())
            continue;
        int left = columns->visualIndexAt(area.left());
        int right = columns->visualIndexAt(area.right());
        if (left == -1)
            left = 0;
        if (right == -1)
            right = columns->count() - 1;
        int bottom = rows->visualIndexAt(area.bottom());
        if (bottom == -1)
            bottom = rows->count() - 1;
        const int top = rows->visualIndexAt(area.top());
        if (top == -1 || top > bottom)
            continue;
        for (int r = top; r <= bottom; ++r) {
            const int y = rowViewportPosition(r) + rowHeight(r) - 1;
            painter.fillRect(QRect(area.left(), y, area.width(), 1), colour);
        }
        for (int c = left; c <= right; ++c) {
            const int x = columnViewportPosition(c) + columnWidth(c) - 1;
            painter.fillRect(QRect(x, area.top(), 1, area.height()), colour);
        }
        // Styles that want a left edge where no header is shown: the vertical header is hidden.
        if (leftTopLines && columnViewportPosition(left) == area.left())
            painter.fillRect(QRect(area.left(), area.top(), 1, area.height()), colour);
    }
}

bool TLineGrid::LineGridDrawCell(QPainter* painter, int ACol, int ARow, const QRect& Rect) const
{
    if (ARow <= 0 || ARow >= RowCount() || ACol < 0 || ACol >= ColumnCount() || BoardBusy.load() != 0)
        return false;
    TColor fore = 0;
    TColor back = 0;
    int lastDataCol = 0; // the last grid column of this row that shows a line
    bool found = false;
    // The locks are held only for the look-up, not for the drawing.
    ReadCurBoard([&](const TagMonitor& board) {
        const BoardCell at = BoardCellAt(ACol, ARow, groups_, board.LineCount);
        if (board.GetCellColors(at.line, at.column, fore, back) != 0)
            return;
        const int groups = groups_;
        const int linesInRow = std::min(groups, board.LineCount - (ARow - 1) * groups);
        lastDataCol = std::min(linesInRow * kColsPerLine, ColumnCount()) - 1;
        found = true;
    });
    if (!found)
        return false;
    // The text runs on over the cells to its right, which paint over it in their turn; but where no
    // line is shown (the empty groups of the last row, the space right of the last column) nothing
    // paints after it, so it stops at the end of the row's last line. Where that end lies beyond the
    // view, nothing needs stopping, and the painter's state is not worth saving (a wallboard draws
    // thousands of cells a tick).
    const int dataRight = columnViewportPosition(lastDataCol) + columnWidth(lastDataCol);
    const bool clip = dataRight < viewport()->width();
    if (clip) {
        painter->save();
        painter->setClipRect(QRect(Rect.left(), 0, std::max(0, dataRight - Rect.left()), viewport()->height()),
                             Qt::IntersectClip);
    }
    painter->fillRect(Rect, ToQColor(back));
    const QString& text = model_->CellText(ACol, ARow - 1);
    if (!text.isEmpty()) {
        painter->setPen(ToQColor(fore));
        painter->setFont(font());
        // Drawn as plain text at a point: nothing in it is taken as markup, and it is not cut at the
        // cell's edge.
        const QPoint baseline(Rect.left() + 2, Rect.top() + 2 + QFontMetrics(font()).ascent());
        if (const QStaticText* laidOut = LaidOutText(text)) {
            // A laid-out text is placed by its top: its first line's baseline lies the font's ascent
            // and leading below it, which puts the glyphs exactly where drawing at the point would.
            const QFontMetricsF metrics(font());
            painter->drawStaticText(QPointF(baseline) - QPointF(0, metrics.ascent() + std::max(0.0, metrics.leading())),
                                    *laidOut);
        } else if (const qsizetype most = DrawnChars(ACol < lastDataCol, Rect); text.size() > most) {
            const qsizetype end = text[most - 1].isHighSurrogate() ? most - 1 : most;
            painter->drawText(baseline, text.left(end));
        } else {
            painter->drawText(baseline, text);
        }
    }
    if (clip)
        painter->restore();
    return true;
}

int TLineGrid::CurrentLine(int lineCount) const
{
    const QModelIndex current = currentIndex();
    if (!current.isValid())
        return -1;
    const int groups = std::max(1, ColumnCount() / kColsPerLine);
    return BoardCellAt(current.column(), current.row() + 1, groups, lineCount).line;
}

void TLineGrid::SelectLine(int line)
{
    const int groups = std::max(1, ColumnCount() / kColsPerLine);
    const GridCell first = GridCellOf(line, 0, groups);
    if (first.row - 1 >= model_->rowCount() || first.col + kColsPerLine > ColumnCount())
        return;
    const QModelIndex from = model_->index(first.row - 1, first.col);
    const QModelIndex to = model_->index(first.row - 1, first.col + kColsPerLine - 1);
    selectionModel()->setCurrentIndex(from, QItemSelectionModel::NoUpdate);
    selectionModel()->select(QItemSelection(from, to), QItemSelectionModel::ClearAndSelect);
    // The whole line where it fits, and its first cell in any case; a layout still pending (the grid
    // just laid out for a new board) is done first, or the scroll would be lost.
    executeDelayedItemsLayout();
    scrollTo(to);
    scrollTo(from);
}

QString TLineGrid::SelectionText() const
{
    QModelIndex topLeft = currentIndex();
    QModelIndex bottomRight = topLeft;
    // One rectangle is all the grid lets the operator select, though the view may keep it in pieces.
    const QItemSelection selection = selectionModel()->selection();
    if (!selection.isEmpty()) {
        int top = INT_MAX, left = INT_MAX, bottom = -1, right = -1;
        for (const QItemSelectionRange& range : selection) {
            top = std::min(top, range.top());
            left = std::min(left, range.left());
            bottom = std::max(bottom, range.bottom());
            right = std::max(right, range.right());
        }
        topLeft = model_->index(top, left);
        bottomRight = model_->index(bottom, right);
    }
    if (!topLeft.isValid())
        return QString();
    std::vector<std::vector<std::string>> rows;
    for (int r = topLeft.row(); r <= bottomRight.row(); ++r) {
        std::vector<std::string>& row = rows.emplace_back();
        for (int c = topLeft.column(); c <= bottomRight.column(); ++c)
            row.push_back(model_->CellText(c, r).toStdString());
    }
    return QString::fromStdString(TabSeparated(rows));
}

void TLineGrid::CopySelection() const
{
    const QString text = SelectionText();
    if (!text.isEmpty())
        QGuiApplication::clipboard()->setText(text);
}

void TLineGrid::keyPressEvent(QKeyEvent* event)
{
    // The whole selected range, not only the current cell as a table view copies by itself.
    if (event == QKeySequence::Copy && state() != EditingState) {
        CopySelection();
        return;
    }
    QTableView::keyPressEvent(event);
}

bool TLineGrid::viewportEvent(QEvent* event)
{
    if (event->type() != QEvent::ToolTip)
        return QTableView::viewportEvent(event);
    const auto* help = static_cast<QHelpEvent*>(event);
    const QModelIndex index = indexAt(help->pos());
    std::string tip;
    if (index.isValid() && BoardBusy.load() == 0) {
        // The board's own text: the grid's copy may be older, or cut by a narrow column.
        ReadCurBoard([&](const TagMonitor& board) {
            if (&board != board_)
                return;
            const BoardCell at = BoardCellAt(index.column(), index.row() + 1, groups_, board.LineCount);
            tip = CellTip(board, at.line, at.column, CsvClockNow(board));
        });
    }
    if (tip.empty())
        QToolTip::hideText();
    else
        QToolTip::showText(help->globalPos(), PlainToolTip(QString::fromStdString(tip)), viewport(), visualRect(index));
    return true;
}

qsizetype TLineGrid::DrawnChars(bool cellsFollow, const QRect& Rect) const
{
    // A server's text may be 30,000 characters: shaping all of it at every paint would cost
    // milliseconds a cell. A text shows up to the next cell, which paints over the rest in its turn
    // (cells are painted left to right), or, in the row's last cell, up to the end of the view;
    // every character that shows advances the pen by a pixel at least.
    const int showsTo = cellsFollow && layoutDirection() == Qt::LeftToRight ? Rect.right() + 1 : viewport()->width();
    return std::max(0, showsTo - Rect.left()) + 1;
}

const QStaticText* TLineGrid::LaidOutText(const QString& text) const
{
    // Texts with control characters or line and paragraph separators are drawn as they always were:
    // a laid-out text would break its line there. The grid is laid out left to right, and so are
    // its laid-out texts.
    if (layoutDirection() != Qt::LeftToRight)
        return nullptr;
    for (const QChar ch : text) {
        if (ch.unicode() < 0x20 || ch.unicode() == 0x7F || ch == QChar::LineSeparator ||
            ch == QChar::ParagraphSeparator)
            return nullptr;
    }
    // The same few texts (states, scripts, queues, numbers) come back all over a board and tick
    // after tick: such a text is shaped once and its glyphs drawn from then on. Shaping a text for
    // keeping costs about twice drawing it once, so a text is kept only when it comes back: one that
    // is seen once (a caller's number, a counter) is drawn as it comes. Texts not drawn since the
    // store last filled up are dropped with the older half, so a board full of new texts never
    // re-shapes everything in view at once.
    // A long text is no state or queue name that comes back: shaping and keeping it would cost
    // about 16 bytes a character.
    if (text.size() > kMaxLaidOutChars)
        return nullptr;
    auto it = laidOut_.find(text);
    if (it != laidOut_.end())
        return &it.value();
    QStaticText laid;
    if (auto old = laidOutOld_.find(text); old != laidOutOld_.end()) {
        laid = old.value();
    } else {
        const qsizetype seenCost = SeenOnceCost(text);
        if (seenOnce_.size() >= kMaxLaidOutTexts || seenOnceBytes_ + seenCost > kMaxSeenOnceBytes) {
            seenOnce_.clear();
            seenOnceBytes_ = 0;
        }
        if (!seenOnce_.contains(text)) {
            seenOnce_.insert(text);
            seenOnceBytes_ += seenCost;
            return nullptr;
        }
        seenOnce_.remove(text);
        seenOnceBytes_ -= seenCost;
        laid.setText(text);
        laid.setTextFormat(Qt::PlainText);
        QTextOption option;
        option.setTextDirection(Qt::LeftToRight);
        option.setWrapMode(QTextOption::NoWrap);
        laid.setTextOption(option);
    }
    const qsizetype cost = LaidOutCost(text);
    if (laidOut_.size() >= kMaxLaidOutTexts / 2 || laidOutBytes_ + cost > kMaxLaidOutBytes / 2) {
        laidOutOld_ = std::move(laidOut_);
        laidOutOldBytes_ = laidOutBytes_;
        laidOut_ = QHash<QString, QStaticText>();
        laidOutBytes_ = 0;
    }
    laidOutBytes_ += cost;
    return &laidOut_.insert(text, laid).value();
}

QString TLineGrid::CellText(int col, int row) const
{
    if (col < 0 || col >= ColumnCount() || row < 0 || row >= RowCount())
        return QString();
    return row == 0 ? model_->HeaderText(col) : model_->CellText(col, row - 1);
}
