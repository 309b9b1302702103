#include "board/qt/LineGrid.h"
#include "app/GuiCalls.h"
#include "board/Board.h"
#include "common/Texts.h"
#include "platform/WakeFlag.h"
#include "settings/Config.h"
#include "support/TestSupport.h"
#include "support/gui/LinuxOnly.h"

#include <QAbstractItemModelTester>
#include <QHeaderView>
#include <QLineEdit>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTableView>
#include <QTest>
#include <QThread>
#include <QVBoxLayout>
#include <atomic>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <set>
#include <thread>
#include <utility>

namespace {

const QColor kSkyBlue(166, 202, 240);

class LineGridTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        DestroyBoard();
        BoardBusy.store(0);
        CurConfig.Set(TagRunCfg());
        window = std::make_unique<QWidget>();
        QFont font;
        font.setFamilies({QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("Sans Serif")});
        font.setPixelSize(11);
        window->setFont(font);
        auto* layout = new QVBoxLayout(window.get());
        layout->setContentsMargins(0, 0, 0, 0);
        grid = new TLineGrid(window.get());
        layout->addWidget(grid);
        window->resize(779, 428);
        window->show();
        tester = std::make_unique<QAbstractItemModelTester>(grid->model(),
                                                            QAbstractItemModelTester::FailureReportingMode::Fatal);
        QCoreApplication::processEvents();
    }

    void TearDown() override
    {
        DestroyBoard();
        BoardBusy.store(0);
        tester.reset();
        window.reset();
        CurConfig.Set(TagRunCfg());
    }

    static void SetGroups(int groups, uint8_t english = 0)
    {
        TagRunCfg cfg = CurConfig.Get();
        cfg.ColGroupNum = groups;
        cfg.IsEnglish = english;
        CurConfig.Set(cfg);
    }

    // Lays the grid out for a new board of `lines` lines and makes it the current board.
    TagMonitor* Publish(int lines, int groups)
    {
        SetGroups(groups);
        auto board = std::make_unique<TagMonitor>(lines);
        grid->LayoutGrid(*board);
        BoardLock lock(CurBoardLock);
        delete CurBoard;
        CurBoard = board.release();
        return CurBoard;
    }

    // What the timer does with the current board.
    void Refresh()
    {
        ASSERT_NE(CurBoard, nullptr);
        grid->RefreshGrid();
    }

    QImage Grab()
    {
        QCoreApplication::processEvents();
        return grid->grab().toImage().convertToFormat(QImage::Format_RGB32);
    }

    // Rectangle of grid cell (col, row) in the grid widget's coordinates, as the delegate gets it.
    QRect CellRect(int col, int row) const
    {
        if (row == 0) {
            QHeaderView* header = grid->horizontalHeader();
            return QRect(header->geometry().left() + header->sectionViewportPosition(col), header->geometry().top(),
                         header->sectionSize(col), header->height());
        }
        return grid->visualRect(grid->model()->index(row - 1, col)).translated(grid->viewport()->geometry().topLeft());
    }

    // What the cell drawing should give: the background filled and the text drawn plainly at +2,+2.
    QImage Expected(const QRect& rect, const QString& text, QColor fore, QColor back) const
    {
        QImage image(rect.size(), QImage::Format_RGB32);
        image.fill(back);
        QPainter painter(&image);
        painter.setPen(fore);
        painter.setFont(grid->font());
        painter.drawText(QPoint(2, 2 + QFontMetrics(grid->font()).ascent()), text);
        return image;
    }

    static int CountPixels(const QImage& image, const QRect& rect, const std::function<bool(QColor)>& match)
    {
        int n = 0;
        for (int y = rect.top(); y <= rect.bottom(); ++y) {
            for (int x = rect.left(); x <= rect.right(); ++x)
                n += match(image.pixelColor(x, y)) ? 1 : 0;
        }
        return n;
    }

    std::unique_ptr<QWidget> window;
    TLineGrid* grid = nullptr;
    std::unique_ptr<QAbstractItemModelTester> tester;
};

// Images compare equal pixel for pixel; a failure names the first pixel that differs.
::testing::AssertionResult SameImage(const QImage& a, const QImage& b)
{
    if (a.size() != b.size())
        return ::testing::AssertionFailure() << "sizes differ";
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            if (a.pixel(x, y) != b.pixel(x, y))
                return ::testing::AssertionFailure()
                       << "pixel " << x << "," << y << ": " << std::hex << a.pixel(x, y) << " vs " << b.pixel(x, y);
        }
    }
    return ::testing::AssertionSuccess();
}

bool IsRed(QColor c)
{
    return c.red() > 200 && c.green() < 60 && c.blue() < 60;
}

} // namespace

TEST_F(LineGridTest, DesignState)
{
    EXPECT_EQ(grid->objectName(), QStringLiteral("LineGrid"));
    EXPECT_EQ(grid->ColumnCount(), 8);
    EXPECT_EQ(grid->RowCount(), 5);
    const int widths[8] = {124, 108, 56, 76, 204, 83, 57, 62};
    for (int c = 0; c < 8; ++c) {
        EXPECT_EQ(grid->columnWidth(c), widths[c]) << c;
        EXPECT_TRUE(grid->CellText(c, 0).isEmpty());
        for (int r = 1; r < 5; ++r)
            EXPECT_TRUE(grid->CellText(c, r).isEmpty());
    }
    EXPECT_EQ(grid->horizontalHeader()->defaultSectionSize(), 62);
    EXPECT_EQ(grid->verticalHeader()->defaultSectionSize(), 16);
    EXPECT_EQ(grid->rowHeight(0), 16);
    EXPECT_EQ(grid->rowHeight(3), 16);
    EXPECT_EQ(grid->horizontalHeader()->height(), 16); // the header row too, whatever the style says
    EXPECT_TRUE(grid->verticalHeader()->isHidden());
    EXPECT_FALSE(grid->horizontalHeader()->isHidden());
    EXPECT_TRUE(grid->showGrid());
    EXPECT_EQ(grid->selectionMode(), QAbstractItemView::ContiguousSelection);
    for (int c = 0; c < 8; ++c)
        EXPECT_EQ(grid->horizontalHeader()->sectionResizeMode(c), QHeaderView::Interactive);
    EXPECT_TRUE(grid->editTriggers() & QAbstractItemView::DoubleClicked);
    EXPECT_TRUE(grid->model()->flags(grid->model()->index(0, 0)) & Qt::ItemIsEditable);
    EXPECT_EQ(grid->font(), window->font());
}

struct LayoutCase {
    int lines;
    int colGroupNum;
    int groups;
    int columns;
    int rows;
};

TEST_F(LineGridTest, LayoutCountsColumnsAndRows)
{
    // A group count outside 1..10 (the Configure dialog stores what it is given) is brought into it.
    const LayoutCase cases[] = {{10, 1, 1, 8, 11},  {10, 3, 3, 24, 5},     {2048, 10, 10, 80, 206},
                                {1, 4, 4, 32, 2},   {5, 0, 1, 8, 6},       {5, -2, 1, 8, 6},
                                {5, 11, 10, 80, 2}, {2048, 1, 1, 8, 2049}, {12, 2, 2, 16, 7}};
    for (const LayoutCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.lines << " lines, ColGroupNum " << c.colGroupNum);
        SetGroups(c.colGroupNum);
        TagMonitor board(c.lines);
        grid->LayoutGrid(board);
        EXPECT_EQ(grid->LaidOutFor(), &board);
        EXPECT_EQ(grid->GroupCount(), c.groups);
        EXPECT_EQ(grid->ColumnCount(), c.columns);
        EXPECT_EQ(grid->RowCount(), c.rows);
        EXPECT_EQ(grid->model()->columnCount(), c.columns);
        EXPECT_EQ(grid->model()->rowCount(), c.rows - 1);
    }
}

TEST_F(LineGridTest, HeadersInEnglish)
{
    TagRunCfg cfg;
    cfg.IsEnglish = 1;
    cfg.ColGroupNum = 3;
    cfg.Title1 = "Caller";
    cfg.Title2 = "<i>Agent</i>";
    cfg.Title3 = "";
    CurConfig.Set(cfg);
    TagMonitor board(4);
    grid->LayoutGrid(board);
    const QString expected[8] = {QStringLiteral("Line"),         QStringLiteral("Script File"),
                                 QStringLiteral("Status"),       QStringLiteral("Keys"),
                                 QStringLiteral("Run Info"),     QStringLiteral("Caller"),
                                 QStringLiteral("<i>Agent</i>"), QString()};
    for (int g = 0; g < 3; ++g) {
        for (int k = 0; k < 8; ++k)
            EXPECT_EQ(grid->CellText(g * 8 + k, 0), expected[k]) << g << "," << k;
    }
    EXPECT_EQ(grid->model()->headerData(9, Qt::Horizontal).toString(), QStringLiteral("Script File"));
}

TEST_F(LineGridTest, HeadersInChinese)
{
    TagRunCfg cfg; // Chinese, with the default (GBK) titles
    cfg.ColGroupNum = 2;
    CurConfig.Set(cfg);
    TagMonitor board(4);
    grid->LayoutGrid(board);
    const QString expected[8] = {
        QStringLiteral("线路"),      QStringLiteral("脚本文件"),  QStringLiteral("状态"),
        QStringLiteral("当前按键"),  QStringLiteral("运行信息"),  QStringLiteral("用户消息1"),
        QStringLiteral("用户消息2"), QStringLiteral("用户消息3"),
    };
    for (int g = 0; g < 2; ++g) {
        for (int k = 0; k < 8; ++k)
            EXPECT_EQ(grid->CellText(g * 8 + k, 0), expected[k]) << g << "," << k;
    }
    // The next layout takes the language that the settings hold then.
    SetGroups(1, 1);
    TagMonitor english(4);
    grid->LayoutGrid(english);
    EXPECT_EQ(grid->CellText(0, 0), QStringLiteral("Line"));
    EXPECT_EQ(grid->CellText(5, 0), QStringLiteral("用户消息1"));
}

TEST_F(LineGridTest, TwoGroupsCopyTheFirstEightWidthsAtEveryLayout)
{
    for (int k = 0; k < 8; ++k)
        grid->setColumnWidth(k, 40 + k);
    SetGroups(2);
    TagMonitor board(10);
    grid->LayoutGrid(board);
    for (int k = 0; k < 8; ++k) {
        EXPECT_EQ(grid->columnWidth(k), 40 + k);
        EXPECT_EQ(grid->columnWidth(8 + k), 40 + k);
    }
    // The operator drags a column of the second group; the next layout copies over it again.
    grid->setColumnWidth(9, 99);
    grid->setColumnWidth(2, 70);
    TagMonitor again(11);
    grid->LayoutGrid(again);
    EXPECT_EQ(grid->columnWidth(9), 41);
    EXPECT_EQ(grid->columnWidth(10), 70);
}

TEST_F(LineGridTest, OneGroupLeavesTheWidthsAlone)
{
    SetGroups(3);
    TagMonitor three(10);
    grid->LayoutGrid(three);
    grid->setColumnWidth(3, 77);
    grid->setColumnWidth(9, 12);
    SetGroups(1);
    TagMonitor one(10);
    grid->LayoutGrid(one);
    const int widths[8] = {124, 108, 56, 77, 204, 83, 57, 62};
    for (int k = 0; k < 8; ++k)
        EXPECT_EQ(grid->columnWidth(k), widths[k]) << k;
    EXPECT_EQ(grid->ColumnCount(), 8);
}

TEST_F(LineGridTest, TextsSurviveARelayout)
{
    TagMonitor* board = Publish(12, 1);
    for (int i = 0; i < 12; ++i)
        SetCell(*board, ("L" + std::to_string(i)).c_str(), i, 0, 0, 15);
    Refresh();
    for (int i = 0; i < 12; ++i)
        ASSERT_EQ(grid->CellText(0, i + 1), QStringLiteral("L%1").arg(i));

    int written = 0;
    QObject::connect(grid->model(), &QAbstractItemModel::dataChanged, [&] { ++written; });
    TagMonitor* bigger = Publish(20, 1);
    EXPECT_EQ(written, 0); // the layout writes no data cell
    EXPECT_EQ(grid->RowCount(), 21);
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(grid->CellText(0, i + 1), QStringLiteral("L%1").arg(i));
    for (int r = 13; r <= 20; ++r)
        EXPECT_TRUE(grid->CellText(0, r).isEmpty());
    // Until a new text for the cell arrives.
    SetCell(*bigger, "new", 4, 0, 0, 15);
    Refresh();
    EXPECT_EQ(grid->CellText(0, 5), QStringLiteral("new"));
    EXPECT_EQ(grid->CellText(0, 6), QStringLiteral("L5"));
}

TEST_F(LineGridTest, FewerGroupsKeepTheTextsOfTheCellsThatStay)
{
    for (int k = 0; k < 8; ++k)
        grid->setColumnWidth(k, 30);
    TagMonitor* board = Publish(6, 3);
    for (int i = 0; i < 6; ++i)
        SetCell(*board, ("L" + std::to_string(i)).c_str(), i, 0, 0, 15);
    Refresh();
    ASSERT_EQ(grid->CellText(8, 1), QStringLiteral("L1"));

    QString seenWhileRemoving;
    QObject::connect(grid->model(), &QAbstractItemModel::columnsAboutToBeRemoved,
                     [&] { seenWhileRemoving = grid->CellText(0, 2); });
    Publish(6, 1);
    EXPECT_EQ(seenWhileRemoving, QStringLiteral("L3"));
    // Texts stay in their grid cells, whatever line the new layout puts there.
    EXPECT_EQ(grid->ColumnCount(), 8);
    EXPECT_EQ(grid->CellText(0, 1), QStringLiteral("L0"));
    EXPECT_EQ(grid->CellText(0, 2), QStringLiteral("L3"));
    EXPECT_TRUE(grid->CellText(0, 3).isEmpty());
}

TEST_F(LineGridTest, RefreshCopiesOnlyChangedCellsInView)
{
    // Narrow and short, so the last row and column show only in part.
    window->resize(500, 200);
    TagMonitor* board = Publish(2048, 1);
    QCoreApplication::processEvents();
    const QRect viewport = grid->viewport()->rect();
    auto inView = [&](int col, int row) {
        return grid->visualRect(grid->model()->index(row - 1, col)).intersects(viewport);
    };
    auto fullyInView = [&](int col, int row) {
        return viewport.contains(grid->visualRect(grid->model()->index(row - 1, col)));
    };

    // Each refresh reports what it wrote once, as one range: (left, top, right, bottom) in grid terms.
    std::vector<QRect> reports;
    QObject::connect(grid->model(), &QAbstractItemModel::dataChanged,
                     [&](const QModelIndex& topLeft, const QModelIndex& bottomRight) {
                         reports.push_back(QRect(QPoint(topLeft.column(), topLeft.row() + 1),
                                                 QPoint(bottomRight.column(), bottomRight.row() + 1)));
                     });

    for (int i = 0; i < 2048; ++i) {
        for (int k = 0; k < 8; ++k)
            SetCell(*board, ("t" + std::to_string(i) + "." + std::to_string(k)).c_str(), i, k, 0, 15);
    }
    // Line 1 is left unchanged: it is in view but has nothing to copy.
    for (TagLineCols& cell : board->Rows[1].Cols)
        cell.Changed = false;
    Refresh();

    int partlyVisibleCopied = 0;
    int copied = 0;
    QRect bounds;
    for (int i = 0; i < 2048; ++i) {
        for (int k = 0; k < 8; ++k) {
            const int row = i + 1;
            const bool expectCopy = i != 1 && inView(k, row);
            const TagLineCols& cell = board->Rows[size_t(i)].Cols[k];
            ASSERT_EQ(cell.Changed, i != 1 && !expectCopy) << i << "," << k;
            if (expectCopy) {
                ASSERT_EQ(grid->CellText(k, row), QStringLiteral("t%1.%2").arg(i).arg(k));
                bounds = bounds.united(QRect(k, row, 1, 1));
                ++copied;
                if (!fullyInView(k, row))
                    ++partlyVisibleCopied;
            } else {
                ASSERT_TRUE(grid->CellText(k, row).isEmpty()) << i << "," << k;
            }
        }
    }
    EXPECT_GT(copied, 20);
    EXPECT_GT(partlyVisibleCopied, 0);
    EXPECT_EQ(reports, std::vector<QRect>{bounds});

    // Scrolled down, the cells there are copied at the next refresh; the first ones are not again.
    reports.clear();
    grid->scrollTo(grid->model()->index(1499, 0), QAbstractItemView::PositionAtTop);
    grid->horizontalScrollBar()->setValue(grid->horizontalScrollBar()->maximum());
    QCoreApplication::processEvents();
    ASSERT_FALSE(inView(0, 1));
    Refresh();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_GE(reports[0].top(), 1500);
    for (int row = reports[0].top(); row <= reports[0].bottom(); ++row) {
        for (int col = reports[0].left(); col <= reports[0].right(); ++col) {
            EXPECT_TRUE(inView(col, row));
            EXPECT_EQ(grid->CellText(col, row), QStringLiteral("t%1.%2").arg(row - 1).arg(col));
        }
    }
    EXPECT_TRUE(board->Rows[2047].Cols[0].Changed);

    // A write that repeats the same text still reaches the grid, and only for that cell.
    reports.clear();
    const int row = grid->rowAt(0) + 1;
    const int col = grid->columnAt(0);
    ASSERT_FALSE(board->Rows[size_t(row - 1)].Cols[col].Changed);
    SetCell(*board, ("t" + std::to_string(row - 1) + "." + std::to_string(col)).c_str(), row - 1, col, 0, 15);
    Refresh();
    EXPECT_EQ(reports, std::vector<QRect>{QRect(col, row, 1, 1)});
    Refresh();
    EXPECT_EQ(reports.size(), 1u);
}

TEST_F(LineGridTest, ScatteredWritesRepaintInOnePassAndLeaveTheOthersAsTheyWere)
{
    QUORVANE_LINUX_ONLY("under Wine's GDI font engine the grid's text lands a pixel off QPainter::drawText's, which "
                        "these compare it with");
    for (int k = 0; k < 8; ++k)
        grid->setColumnWidth(k, 30); // all three groups in view
    TagMonitor* board = Publish(60, 3);
    for (int i = 0; i < 60; ++i) {
        for (int k = 0; k < 8; ++k)
            SetCell(*board, ("a" + std::to_string(i % 10)).c_str(), i, k, 0, 15);
    }
    Refresh();
    QTest::qWait(50); // the repaint of that first refresh is done

    // Scattered writes: new texts and colours in a few cells far apart.
    const struct {
        int line;
        int column;
        int fore;
        int back;
    } writes[] = {{0, 0, 4, 9}, {7, 3, 1, 14}, {22, 7, 15, 2}, {35, 5, 0, 11}, {59, 1, 12, 3}};
    for (const auto& w : writes)
        SetCell(*board, "new", w.line, w.column, w.fore, w.back);
    for (int i = 2; i < 60; i += 3) // and a diagonal of cells that touch nowhere
        SetCell(*board, "d", i, i % 8, 4, 14);
    // The paint events the viewport gets, and how many rectangles each asks to repaint.
    std::vector<int> paints;
    struct PaintCounter : QObject {
        std::vector<int>* rects;
        explicit PaintCounter(std::vector<int>* r) : rects(r) {}
        bool eventFilter(QObject*, QEvent* e) override
        {
            if (e->type() == QEvent::Paint)
                rects->push_back(int(static_cast<QPaintEvent*>(e)->region().rectCount()));
            return false;
        }
    } counter(&paints);
    grid->viewport()->installEventFilter(&counter);
    Refresh();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !paints.empty(); }, 2000));
    QTest::qWait(20);
    grid->viewport()->removeEventFilter(&counter);
    EXPECT_EQ(paints, std::vector<int>{1}); // one pass over one rectangle, not one per cell

    // Every cell in view shows exactly its text in its board colours, written or not.
    const QImage image = Grab();
    for (int i = 0; i < 60; ++i) {
        for (int k = 0; k < 8; ++k) {
            const GridCell at = GridCellOf(i, k, 3);
            const QRect rect = CellRect(at.col, at.row);
            if (!grid->viewport()->geometry().contains(rect))
                continue;
            TColor fore = 0, back = 0;
            ASSERT_EQ(board->GetCellColors(i, k, fore, back), 0);
            const auto colour = [](TColor c) { return QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int(c >> 16)); };
            ASSERT_TRUE(
                SameImage(image.copy(rect), Expected(rect, grid->CellText(at.col, at.row), colour(fore), colour(back))))
                << "line " << i << " column " << k;
        }
    }
}

// Without a board the grid adds nothing of its own: it looks exactly as a plain table view with the
// same model, sizes and font, grid lines included, painted whole, scrolled, and in parts.
TEST_F(LineGridTest, WithoutABoardTheGridLooksAsAPlainTable)
{
    for (int k = 0; k < 8; ++k)
        grid->setColumnWidth(k, 40 + 7 * k);
    SetGroups(3);
    TagMonitor board(400); // laid out but not published: no board colours
    grid->LayoutGrid(board);
    for (int r = 0; r < grid->Model()->rowCount(); r += 3) {
        for (int c = r % 5; c < grid->Model()->columnCount(); c += 4)
            grid->Model()->SetCellText(c, r, QStringLiteral("t%1").arg(r * 100 + c));
    }
    grid->setFocusPolicy(Qt::NoFocus);

    QWidget other;
    other.setFont(window->font());
    auto* layout = new QVBoxLayout(&other);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* plain = new QTableView(&other);
    layout->addWidget(plain);
    plain->setModel(grid->model());
    plain->setFocusPolicy(Qt::NoFocus);
    plain->setWordWrap(false);
    plain->setTextElideMode(Qt::ElideNone);
    plain->horizontalHeader()->setMinimumSectionSize(1);
    plain->horizontalHeader()->setFixedHeight(16);
    plain->verticalHeader()->hide();
    plain->verticalHeader()->setMinimumSectionSize(1);
    plain->verticalHeader()->setDefaultSectionSize(16);
    plain->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    for (int c = 0; c < grid->Model()->columnCount(); ++c)
        plain->setColumnWidth(c, grid->columnWidth(c));
    other.resize(window->size());
    other.show();
    QCoreApplication::processEvents();
    ASSERT_EQ(plain->viewport()->size(), grid->viewport()->size());

    const auto render = [](QTableView* view, const QRegion& region) {
        QImage image(view->viewport()->size(), QImage::Format_RGB32);
        image.fill(Qt::magenta);
        view->viewport()->render(&image, QPoint(), region);
        return image;
    };
    const QRect all = grid->viewport()->rect();
    const QRegion parts = QRegion(QRect(13, 5, 200, 41)) + QRegion(QRect(301, 60, 97, 133)) +
                          QRegion(QRect(all.right() - 30, all.bottom() - 20, 30, 20));
    for (const QPoint scroll : {QPoint(0, 0), QPoint(37, 23), QPoint(1000, 1000)}) {
        for (QTableView* view : {static_cast<QTableView*>(grid), plain}) {
            view->horizontalScrollBar()->setValue(scroll.x());
            view->verticalScrollBar()->setValue(scroll.y());
        }
        QCoreApplication::processEvents();
        ASSERT_EQ(grid->horizontalScrollBar()->value(), plain->horizontalScrollBar()->value());
        ASSERT_EQ(grid->verticalScrollBar()->value(), plain->verticalScrollBar()->value());
        EXPECT_TRUE(SameImage(render(grid, all), render(plain, all))) << scroll.x() << "," << scroll.y();
        EXPECT_TRUE(SameImage(render(grid, parts), render(plain, parts))) << scroll.x() << "," << scroll.y();
    }
    // The lines are there: a row boundary has the grid colour all along, unlike the cells.
    const QImage image = render(grid, all);
    const int row = grid->rowAt(5);
    const int lineY = grid->rowViewportPosition(row) + grid->rowHeight(row) - 1;
    EXPECT_NE(image.pixel(3, lineY), image.pixel(3, lineY - 3));
    EXPECT_EQ(image.pixel(3, lineY), image.pixel(all.width() / 2, lineY));
}

TEST_F(LineGridTest, RangeSelectionIsOneRectangle)
{
    Publish(40, 1);
    QCoreApplication::processEvents();
    const auto click = [&](int col, int row, Qt::KeyboardModifiers mods) {
        const QRect r = grid->visualRect(grid->model()->index(row - 1, col));
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, mods, r.center());
    };
    click(1, 2, Qt::NoModifier);
    click(3, 4, Qt::ShiftModifier);
    click(6, 8, Qt::ControlModifier); // would start a second, disjoint range in a list-style view
    const QItemSelection selection = grid->selectionModel()->selection();
    ASSERT_EQ(selection.size(), 1);
    const QItemSelectionRange& range = selection.first();
    // One rectangle of cells, never two.
    EXPECT_EQ(range.width() * range.height(), int(grid->selectionModel()->selectedIndexes().size()));
}

TEST_F(LineGridTest, RefreshAtAnExactFitIncludesTheRowAndColumnJustPast)
{
    TagMonitor* board = Publish(2048, 1);
    // Make the viewport end exactly on a row boundary and on a column boundary.
    for (int attempt = 0; attempt < 4; ++attempt) {
        QCoreApplication::processEvents();
        const QSize view = grid->viewport()->size();
        const int rowExcess = view.height() % 16;
        int x = 0, c = 0;
        while (c < 8 && x + grid->columnWidth(c) <= view.width())
            x += grid->columnWidth(c++);
        window->resize(window->width() - (view.width() - x), window->height() - rowExcess);
    }
    QCoreApplication::processEvents();
    const QSize view = grid->viewport()->size();
    ASSERT_EQ(view.height() % 16, 0);
    const int fullRows = view.height() / 16;         // data rows 1..fullRows show whole, nothing of the next
    ASSERT_EQ(grid->rowAt(view.height()), fullRows); // model row fullRows: grid row fullRows + 1
    int lastCol = grid->columnAt(view.width() - 1);
    ASSERT_EQ(grid->columnViewportPosition(lastCol) + grid->columnWidth(lastCol), view.width());
    ASSERT_LT(lastCol, 7);

    const int justPastRow = fullRows + 1; // grid row
    const int justPastCol = lastCol + 1;
    SetCell(*board, "row", justPastRow - 1, 0, 0, 15);
    SetCell(*board, "col", 0, justPastCol, 0, 15);
    SetCell(*board, "beyond", justPastRow, 0, 0, 15); // two rows past: not refreshed
    Refresh();
    EXPECT_EQ(grid->CellText(0, justPastRow), QStringLiteral("row"));
    EXPECT_EQ(grid->CellText(justPastCol, 1), QStringLiteral("col"));
    EXPECT_TRUE(grid->CellText(0, justPastRow + 1).isEmpty());
    EXPECT_TRUE(board->Rows[size_t(justPastRow)].Cols[0].Changed);
}

TEST_F(LineGridTest, LongTextsStopWhereNoLineIsShown)
{
    // 10 lines in 3 groups: row 4 shows line 9 in its first group only. Narrow columns, so the groups
    // end well inside the view.
    for (int k = 0; k < 8; ++k)
        grid->setColumnWidth(k, 24);
    TagMonitor* board = Publish(10, 3);
    const std::string longText(60, 'W');
    for (int i = 0; i < 10; ++i)
        SetCell(*board, longText.c_str(), i, 7, 0, 15); // the last column of every line
    SetCell(*board, longText.c_str(), 9, 7, 4, 9);
    Refresh();
    // A full repaint, as after a scroll, a resize or an uncover.
    grid->viewport()->repaint();
    const QImage image = Grab();
    BoardBusy.store(kBusyReplacing);
    grid->viewport()->repaint();
    const QImage plain = Grab();
    BoardBusy.store(0);

    // The empty groups of the last row look as the grid draws them itself.
    for (int c = 8; c < 24; ++c) {
        const QRect rect = CellRect(c, 4);
        EXPECT_TRUE(SameImage(image.copy(rect), plain.copy(rect))) << c;
    }
    // Right of the last column, on every row, is the grid's own background.
    const QRect lastCell = CellRect(23, 1);
    const QRect viewportRect = grid->viewport()->geometry();
    const QRect beyond(lastCell.right() + 2, viewportRect.top(), viewportRect.right() - lastCell.right() - 1,
                       viewportRect.height());
    ASSERT_GT(beyond.width(), 50);
    EXPECT_TRUE(SameImage(image.copy(beyond), plain.copy(beyond)));
    const auto dark = [](QColor c) { return c.lightness() < 100; };
    EXPECT_EQ(CountPixels(image, beyond, dark), 0);
    // The cell that holds the text still shows it.
    EXPECT_GT(CountPixels(image, CellRect(23, 1), dark), 0);
}

// Every kind of text lands on exactly the pixels that drawing it at the cell's point gives, the first
// time (drawn as it comes), the second (shaped for keeping) and the third (drawn from the store): plain, markup-like,
// Chinese, right-to-left, with a tab, a line break or a separator, spaced, and one that runs on; with the row's end
// inside the view and beyond it.
TEST_F(LineGridTest, TextsLookAsDrawnAtTheirPoint)
{
    QUORVANE_LINUX_ONLY("under Wine's GDI font engine the grid's text lands a pixel off QPainter::drawText's, which "
                        "these compare it with");
    const QString texts[] = {
        QStringLiteral("Ringing"),
        QStringLiteral("<b>x</b> & y"),
        QString::fromUtf8("\xE5\xBE\x85\xE6\x9C\xBA 123"),         // Chinese, then digits
        QString::fromUtf8("\xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D abc"), // Hebrew, then Latin
        QStringLiteral("a\tb"),
        QStringLiteral("one\ntwo"),
        QString(QChar::LineSeparator) + QStringLiteral("x"),
        QStringLiteral("  spaced  "),
        QString(120, QLatin1Char('W')),
        QStringLiteral("Ringing"), // the same text in a second cell
    };
    // Drawn at the point by a painter of the grid's direction (a plain image's painter reads the
    // direction from the text).
    const auto expected = [&](const QRect& rect, const QString& text, QColor fore, QColor back) {
        QImage image(rect.size(), QImage::Format_RGB32);
        image.fill(back);
        QPainter painter(&image);
        painter.setLayoutDirection(grid->layoutDirection());
        painter.setPen(fore);
        painter.setFont(grid->font());
        painter.drawText(QPoint(2, 2 + QFontMetrics(grid->font()).ascent()), text);
        return image;
    };
    for (const int lastWidth : {62, 400}) {
        grid->setColumnWidth(7, lastWidth);
        TagMonitor* board = Publish(64, 1);
        for (int i = 0; i < 64; ++i) {
            for (int k = 0; k < 8; ++k)
                SetCell(*board, "", i, k, (i + k) % 16, (i * 3 + k + 1) % 16);
        }
        Refresh();
        const int dataRight = grid->columnViewportPosition(7) + grid->columnWidth(7);
        EXPECT_EQ(dataRight < grid->viewport()->width(), lastWidth == 62);
        // Columns 0 to 5 lie wholly in view.
        const int count = int(std::size(texts));
        for (int t = 0; t < count; ++t)
            grid->Model()->SetCellText((t * 5) % 6, t, texts[t]);
        for (int pass = 0; pass < 3; ++pass) {
            grid->viewport()->repaint();
            const QImage image = Grab();
            for (int t = 0; t < count; ++t) {
                const int col = (t * 5) % 6;
                const QRect rect = CellRect(col, t + 1);
                ASSERT_TRUE(grid->viewport()->geometry().contains(rect)) << t;
                TColor fore = 0, back = 0;
                ASSERT_EQ(board->GetCellColors(t, col, fore, back), 0);
                const auto colour = [](TColor c) { return QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int(c >> 16)); };
                EXPECT_TRUE(SameImage(image.copy(rect), expected(rect, texts[t], colour(fore), colour(back))))
                    << "text " << t << ", pass " << pass << ", last column " << lastWidth;
            }
        }
    }
}

// A board that never shows the same text twice keeps the store of shaped texts bounded, keeps what is
// in view in it, and still draws every cell right.
TEST_F(LineGridTest, ManyDifferentTextsKeepTheShapedStoreBounded)
{
    QUORVANE_LINUX_ONLY("under Wine's GDI font engine the grid's text lands a pixel off QPainter::drawText's, which "
                        "these compare it with");
    TagMonitor* board = Publish(2048, 1);
    Grab(); // the scroll bars are in place
    const GridWindow view = grid->VisibleWindow();
    int written = 0;
    const auto writeView = [&] {
        for (int r = view.top; r <= view.bottom; ++r) {
            for (int c = view.left; c <= view.right; ++c) {
                const BoardCell at = BoardCellAt(c, r, 1, 2048);
                SetCell(*board, ("n" + std::to_string(written++)).c_str(), at.line, at.column, 0, 15);
            }
        }
        Refresh();
    };
    writeView();
    QCoreApplication::processEvents();      // the refresh's repaint
    EXPECT_EQ(grid->LaidOutTextCount(), 0); // texts seen once are drawn as they come
    Grab();
    const qsizetype inView = grid->LaidOutTextCount();
    EXPECT_GE(inView, (view.bottom - view.top) * (view.right - view.left)); // seen again, they are kept
    Grab();
    EXPECT_EQ(grid->LaidOutTextCount(), inView); // and drawn from the store
    for (int i = 0; i < 3; ++i) {                // a few new texts in view at every paint, each drawn twice
        writeView();
        Grab();
        Grab();
    }
    while (written < 40000) {
        writeView();
        Grab();
        ASSERT_LE(grid->LaidOutTextCount(), 16384) << written;
    }
    const QImage image = Grab();
    for (int r = view.top; r <= view.bottom; ++r) {
        for (int c = view.left; c <= view.right; ++c) {
            const QRect rect = CellRect(c, r);
            if (!grid->viewport()->geometry().contains(rect))
                continue;
            ASSERT_TRUE(SameImage(image.copy(rect), Expected(rect, grid->CellText(c, r), Qt::black, Qt::white)))
                << c << "," << r;
        }
    }
}

TEST_F(LineGridTest, TheTextStoresAreBoundedInBytesAndKeepNoHugeText)
{
    TagMonitor* board = Publish(2048, 1);
    Grab();
    const GridWindow view = grid->VisibleWindow();
    int written = 0;
    // Every cell of the view gets a new text of chars characters, painted twice (so it is kept).
    const auto writeView = [&](int chars, int paints) {
        for (int r = view.top; r <= view.bottom; ++r) {
            for (int c = view.left; c <= view.right; ++c) {
                const BoardCell at = BoardCellAt(c, r, 1, 2048);
                std::string text = std::to_string(written++) + ":";
                text.resize(size_t(chars), 'w');
                SetCell(*board, text.c_str(), at.line, at.column, 0, 15);
            }
        }
        Refresh();
        for (int i = 0; i < paints; ++i)
            Grab();
    };

    // The longest text kept: the store fills up by its bytes long before its count.
    const auto cells = qsizetype(view.bottom - view.top + 1) * (view.right - view.left + 1);
    const int keptChars = int(TLineGrid::kMaxLaidOutChars);
    qsizetype most = 0;
    for (int round = 0; round < 3 + int(TLineGrid::kMaxLaidOutBytes / (cells * (1024 + 18 * keptChars))); ++round) {
        writeView(keptChars, 2);
        ASSERT_LE(grid->LaidOutBytes(), TLineGrid::kMaxLaidOutBytes) << round;
        ASSERT_LE(grid->SeenOnceBytes(), TLineGrid::kMaxSeenOnceBytes) << round;
        most = std::max(most, grid->LaidOutTextCount());
    }
    EXPECT_LT(most, TLineGrid::kMaxLaidOutTexts) << "bounded by bytes, not by count";
    EXPECT_GT(grid->LaidOutBytes(), TLineGrid::kMaxLaidOutBytes / 4) << "and it does keep texts";

    // Texts seen once only: remembered within their own bound.
    for (int round = 0; round < 2 + int(TLineGrid::kMaxSeenOnceBytes / (cells * 2 * keptChars)); ++round) {
        writeView(keptChars, 1);
        ASSERT_LE(grid->SeenOnceBytes(), TLineGrid::kMaxSeenOnceBytes) << round;
    }

    // A server's 30,000-character texts are drawn, never kept nor remembered.
    const qsizetype kept = grid->LaidOutTextCount();
    const qsizetype seen = grid->SeenOnceBytes();
    writeView(30000, 3);
    EXPECT_EQ(grid->LaidOutTextCount(), kept);
    EXPECT_EQ(grid->SeenOnceBytes(), seen);
    // Drawn as the whole text would be: the part cut off never reaches the view. In the first cell
    // the next cell paints over the rest; the row's last cell runs on to the end of the view.
    const QImage image = Grab();
    for (int c : {view.left, view.right}) {
        SCOPED_TRACE(c);
        const QRect rect = CellRect(c, view.top);
        const QRect shown = QRect(rect.topLeft(), QPoint(grid->viewport()->geometry().right(), rect.bottom()))
                                .intersected(c == view.left ? rect : grid->viewport()->geometry());
        QImage whole(shown.size(), QImage::Format_RGB32);
        whole.fill(Qt::white);
        {
            QPainter painter(&whole);
            painter.setPen(Qt::black);
            painter.setFont(grid->font());
            painter.drawText(QPoint(2 + rect.left() - shown.left(), 2 + QFontMetrics(grid->font()).ascent()),
                             grid->CellText(c, view.top));
        }
        EXPECT_TRUE(SameImage(image.copy(shown), whole));
    }
}

TEST_F(LineGridTest, RefreshIgnoresABoardLaidOutElsewhere)
{
    Publish(4, 1);
    TagMonitor stranger(4);
    SetCell(stranger, "x", 0, 0, 0, 15);
    {
        BoardLock lock(stranger.Lock);
        grid->CopyChanges(stranger, grid->VisibleWindow());
    }
    grid->ShowChanges();
    EXPECT_TRUE(stranger.Rows[0].Cols[0].Changed);
    EXPECT_TRUE(grid->CellText(0, 1).isEmpty());
}

TEST_F(LineGridTest, CellIsPaintedInItsBoardColours)
{
    QUORVANE_LINUX_ONLY("under Wine's GDI font engine the grid's text lands a pixel off QPainter::drawText's, which "
                        "these compare it with");
    for (int k = 0; k < 8; ++k)
        grid->setColumnWidth(k, 30); // all three groups in view
    TagMonitor* board = Publish(10, 3);
    SetCell(*board, "WW", 0, 0, 4, 9);
    SetCell(*board, "Aq", 4, 2, 12, 3); // line 4: row 2, second group
    Refresh();
    const QImage image = Grab();

    const QRect first = CellRect(0, 1);
    EXPECT_EQ(image.pixelColor(first.right() - 1, first.bottom() - 1), kSkyBlue);
    EXPECT_GT(CountPixels(image, first, IsRed), 0);
    EXPECT_TRUE(SameImage(image.copy(first), Expected(first, QStringLiteral("WW"), Qt::red, kSkyBlue)));

    const QRect other = CellRect(10, 2);
    EXPECT_TRUE(SameImage(image.copy(other), Expected(other, QStringLiteral("Aq"), Qt::red, QColor(0, 255, 255))));
    // Untouched cells of the board are black on white: still the board's colours.
    const QRect plain = CellRect(1, 1);
    EXPECT_TRUE(SameImage(image.copy(plain), Expected(plain, QString(), Qt::black, Qt::white)));
}

TEST_F(LineGridTest, MarkupIsDrawnLiterally)
{
    QUORVANE_LINUX_ONLY("under Wine's GDI font engine the grid's text lands a pixel off QPainter::drawText's, which "
                        "these compare it with");
    TagMonitor* board = Publish(2, 1);
    SetCell(*board, "<b>x</b>", 0, 1, 0, 15);
    Refresh();
    ASSERT_EQ(grid->CellText(1, 1), QStringLiteral("<b>x</b>"));
    const QRect rect = CellRect(1, 1);
    const QImage cell = Grab().copy(rect);
    EXPECT_TRUE(SameImage(cell, Expected(rect, QStringLiteral("<b>x</b>"), Qt::black, Qt::white)));
    EXPECT_FALSE(SameImage(cell, Expected(rect, QStringLiteral("x"), Qt::black, Qt::white)));
}

TEST_F(LineGridTest, HeaderRowKeepsItsLook)
{
    SetGroups(3);
    TagMonitor* board = new TagMonitor(10);
    grid->LayoutGrid(*board);
    const QRect header = grid->horizontalHeader()->geometry();
    const QImage before = Grab().copy(header);
    {
        BoardLock lock(CurBoardLock);
        CurBoard = board;
    }
    for (int i = 0; i < 10; ++i) {
        for (int k = 0; k < 8; ++k)
            SetCell(*board, "h", i, k, 4, 9);
    }
    Refresh();
    const QImage after = Grab();
    EXPECT_TRUE(SameImage(after.copy(header), before));
    EXPECT_EQ(after.pixelColor(CellRect(0, 1).bottomRight() - QPoint(1, 1)), kSkyBlue);
}

TEST_F(LineGridTest, CellsPastTheLastLineKeepTheDefaultLook)
{
    for (int k = 0; k < 8; ++k)
        grid->setColumnWidth(k, 30); // all 24 columns in view
    TagMonitor* board = Publish(10, 3);
    for (int i = 0; i < 10; ++i) {
        for (int k = 0; k < 8; ++k)
            SetCell(*board, "p", i, k, 4, 9);
    }
    Refresh();
    const QImage coloured = Grab();
    BoardBusy.store(kBusyReplacing);
    grid->viewport()->update();
    const QImage plain = Grab();
    BoardBusy.store(0);

    for (int c = 0; c < 24; ++c) {
        const QRect rect = CellRect(c, 4);
        ASSERT_TRUE(grid->viewport()->geometry().contains(rect)) << c;
        if (c < 8) {
            EXPECT_FALSE(SameImage(coloured.copy(rect), plain.copy(rect))) << c;
            EXPECT_EQ(coloured.pixelColor(rect.bottomRight() - QPoint(1, 1)), kSkyBlue) << c;
        } else {
            EXPECT_TRUE(SameImage(coloured.copy(rect), plain.copy(rect))) << c;
        }
    }
}

TEST_F(LineGridTest, BoardBusyOrNoBoardGivesTheDefaultLook)
{
    TagMonitor* board = Publish(6, 1);
    for (int i = 0; i < 6; ++i) {
        for (int k = 0; k < 8; ++k)
            SetCell(*board, "b", i, k, 4, 9);
    }
    Refresh();
    const QImage coloured = Grab();
    BoardBusy.store(kBusyStopped);
    grid->viewport()->update();
    const QImage busy = Grab();
    BoardBusy.store(0);
    DestroyBoard();
    grid->viewport()->update();
    const QImage none = Grab();

    EXPECT_FALSE(SameImage(coloured, busy));
    EXPECT_TRUE(SameImage(busy, none));
    EXPECT_EQ(CountPixels(busy, grid->viewport()->geometry(), [](QColor c) { return c == kSkyBlue; }), 0);
    // The texts the grid holds stay.
    EXPECT_EQ(grid->CellText(3, 2), QStringLiteral("b"));
}

TEST_F(LineGridTest, SelectedCellStillShowsItsBoardColours)
{
    TagMonitor* board = Publish(10, 3);
    SetCell(*board, "sel", 0, 0, 4, 9);
    Refresh();
    const QImage unselected = Grab();
    const QModelIndex first = grid->model()->index(0, 0);
    const QModelIndex pastLast = grid->model()->index(3, 8); // row 4, no line there
    grid->selectionModel()->select(QItemSelection(first, first), QItemSelectionModel::Select);
    grid->selectionModel()->select(QItemSelection(pastLast, pastLast), QItemSelectionModel::Select);
    const QImage selected = Grab();

    const QRect rect = CellRect(0, 1);
    EXPECT_TRUE(SameImage(selected.copy(rect), unselected.copy(rect)));
    EXPECT_EQ(selected.pixelColor(rect.bottomRight() - QPoint(1, 1)), kSkyBlue);
    // A cell the grid draws its own way shows the selection.
    const QRect own = CellRect(8, 4);
    EXPECT_FALSE(SameImage(selected.copy(own), unselected.copy(own)));
}

TEST_F(LineGridTest, EditedTextStaysUntilTheCellIsNextCopied)
{
    QUORVANE_LINUX_ONLY("under Wine's GDI font engine the grid's text lands a pixel off QPainter::drawText's, which "
                        "these compare it with");
    TagMonitor* board = Publish(3, 1);
    SetCell(*board, "server", 1, 2, 4, 9);
    Refresh();

    // The operator types into the cell of line 1, column 2.
    const QModelIndex index = grid->model()->index(1, 2);
    grid->setFocus();
    grid->setCurrentIndex(index);
    grid->edit(index);
    auto* editor = grid->viewport()->findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr);
    editor->setText(QStringLiteral("typed"));
    QTest::keyClick(editor, Qt::Key_Return);
    QCoreApplication::processEvents();
    ASSERT_EQ(grid->CellText(2, 2), QStringLiteral("typed"));

    // Refreshes without a new write keep it, drawn in the board cell's colours.
    Refresh();
    EXPECT_EQ(grid->CellText(2, 2), QStringLiteral("typed"));
    const QRect rect = CellRect(2, 2);
    EXPECT_TRUE(SameImage(Grab().copy(rect), Expected(rect, QStringLiteral("typed"), Qt::red, kSkyBlue)));

    SetCell(*board, "server", 1, 2, 4, 9);
    Refresh();
    EXPECT_EQ(grid->CellText(2, 2), QStringLiteral("server"));
}

TEST_F(LineGridTest, WorkerLaysTheGridOutOnTheGuiThread)
{
    // A view that hands the layout to the GUI thread and waits, as the main window does.
    class GuiView : public RecordingView {
    public:
        explicit GuiView(TLineGrid* g) : grid(g) {}
        bool LayoutGrid(TagMonitor& board, WakeFlag& stop) override
        {
            std::atomic<bool> done{false};
            calls.Post([&] {
                onGuiThread = QThread::currentThread() == grid->thread();
                {
                    BoardLock lock(CurBoardLock);
                    publishedBefore = CurBoard == &board;
                }
                grid->LayoutGrid(board);
                done = true;
                stop.Notify();
            });
            return stop.WaitUntil([&] { return done.load(); });
        }
        TLineGrid* grid;
        TGuiCalls calls;
        bool onGuiThread = false;
        bool publishedBefore = true;
    } view(grid);

    SetGroups(2);
    WakeFlag stop;
    std::atomic<bool> finished{false};
    bool ok = false;
    std::thread worker([&] {
        ok = EnsureBoard(9, stop);
        finished = true;
    });
    for (int spins = 0; !finished.load() && spins < 5000; ++spins)
        QTest::qWait(1);
    worker.join();
    ASSERT_TRUE(ok);
    EXPECT_TRUE(view.onGuiThread);
    EXPECT_FALSE(view.publishedBefore); // a first board is published after its layout
    EXPECT_EQ(grid->ColumnCount(), 16);
    EXPECT_EQ(grid->RowCount(), 6);
    BoardLock lock(CurBoardLock);
    ASSERT_NE(CurBoard, nullptr);
    EXPECT_EQ(grid->LaidOutFor(), CurBoard);
    EXPECT_EQ(grid->GroupCount(), 2);
}
