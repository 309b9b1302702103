// The line overview window: opened from the main window, fed by its refresh tick, painted from the
// board and checked by its pixels.
#include "app/OverviewForm.h"
#include "app/ElidedLabel.h"
#include "app/Unit1.h"
#include "board/Board.h"
#include "board/GridMap.h"
#include "board/qt/LineGrid.h"
#include "platform/Utf8.h"
#include "settings/qt/Placement.h"
#include "support/LoopbackServer.h"
#include "support/TestSupport.h"
#include "support/gui/GuiTestSupport.h"
#include "support/gui/LinuxOnly.h"
#include "support/gui/WindowFixture.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPaintEvent>
#include <QPainter>
#include <QSettings>
#include <QTest>
#include <QTextDocument>
#include <QToolTip>
#include <cstring>
#include <gtest/gtest.h>
#include <set>

using namespace std::chrono_literals;

namespace {

QColor ToQ(TColor c)
{
    return QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF));
}

// The simulator's statuses: text, fore and back palette indexes.
struct Status {
    const char* text;
    int fore;
    int back;
};
const Status kStatuses[] = {
    {"Idle", 2, 15}, {"Ringing", 0, 14}, {"Talking", 15, 1}, {"Recording", 15, 4}, {"Hang-up", 0, 7},
};

// Records the parts of a widget that were painted.
class PaintRecorder : public QObject {
public:
    explicit PaintRecorder(QWidget* widget) { widget->installEventFilter(this); }
    std::vector<QRegion> painted;
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            painted.push_back(static_cast<QPaintEvent*>(event)->region());
        return false;
    }
};

class OverviewFormTest : public WindowFixture {
protected:
    QString storePath = QString::fromStdString(dir.path()) + QStringLiteral("/placement.ini");

    void BeforeWindow() override
    {
        const QString path = storePath;
        SetPlacementStore([path] { return std::make_unique<QSettings>(path, QSettings::IniFormat); });
    }

    void TearDown() override
    {
        WindowFixture::TearDown();
        SetPlacementStore(nullptr);
    }

    // Line i shows status i % 5 in column 2 and, in column 4, the status two further on.
    static void FillStatuses(TagMonitor& board)
    {
        BoardLock lock(board.Lock);
        for (int i = 0; i < board.LineCount; ++i) {
            const Status& s = kStatuses[i % 5];
            board.SetCell(s.text, std::strlen(s.text), i, 2, s.fore, s.back);
            const Status& r = kStatuses[(i + 2) % 5];
            board.SetCell(r.text, std::strlen(r.text), i, 4, r.fore, r.back);
        }
    }

    TOverviewForm* OpenOverview(QSize size = QSize(1280, 720))
    {
        QTest::keyClick(form->LineGrid, Qt::Key_F2);
        TOverviewForm* o = form->OverviewForm;
        if (o) {
            o->resize(size);
            QApplication::processEvents();
        }
        return o;
    }

    void Tick()
    {
        form->Timer1Timer();
        QApplication::processEvents();
    }

    static QImage Grab(QWidget* w)
    {
        QApplication::processEvents();
        return w->grab().toImage().convertToFormat(QImage::Format_RGB32);
    }

    // What each shown legend label says, whole (a narrow label elides or breaks it).
    std::vector<QString> LegendTexts(TOverviewForm* o) const
    {
        std::vector<QString> texts;
        for (TElidedLabel* l : o->LegendLabs) {
            if (!l->isHidden())
                texts.push_back(l->FullText());
        }
        return texts;
    }

    QVariant StoredValue(const char* key) const
    {
        return QSettings(storePath, QSettings::IniFormat).value(QLatin1String(key));
    }
};

// Pixels of a tile nearer its text colour than its background: the drawn number.
int InkPixels(const QImage& image, const QRect& r, QColor fore, QColor back)
{
    int n = 0;
    const auto dist = [](QColor a, QColor b) {
        return std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) + std::abs(a.blue() - b.blue());
    };
    for (int y = r.top(); y <= r.bottom(); ++y) {
        for (int x = r.left(); x <= r.right(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (dist(c, fore) < dist(c, back))
                ++n;
        }
    }
    return n;
}

int ExactPixels(const QImage& image, QColor colour)
{
    int n = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            n += image.pixelColor(x, y) == colour ? 1 : 0;
    }
    return n;
}

TEST_F(OverviewFormTest, F2AndTheContextMenuOpenIt)
{
    QStringList items;
    for (QAction* a : form->LineGrid->actions())
        items << a->text() + QLatin1Char('|') + a->shortcut().toString();
    EXPECT_TRUE(items.contains(QStringLiteral("Line &overview|F2"))) << items.join(QLatin1Char(' ')).toStdString();
    // The main window's own menus are as they were.
    EXPECT_EQ(form->System1->actions().size(), 3);
    EXPECT_EQ(form->Help1->actions().size(), 1);

    Publish(10);
    form->LineGrid->setCurrentIndex(form->LineGrid->model()->index(0, 0));
    form->LineGrid->setFocus();
    EXPECT_EQ(form->OverviewForm, nullptr);
    TOverviewForm* o = OpenOverview();
    ASSERT_NE(o, nullptr);
    EXPECT_TRUE(o->isVisible());
    EXPECT_EQ(o->windowTitle(), QStringLiteral("Line overview"));
    EXPECT_TRUE(o->isWindow());
    // F2 is the overview's now, not the grid's edit key.
    for (QLineEdit* editor : form->LineGrid->findChildren<QLineEdit*>())
        EXPECT_FALSE(editor->isVisible()) << "a cell editor opened";
    // Asked for again, the same window.
    form->Overview1->trigger();
    EXPECT_EQ(form->OverviewForm, o);
    // Esc closes it.
    QTest::keyClick(o, Qt::Key_Escape);
    EXPECT_FALSE(o->isVisible());
}

TEST_F(OverviewFormTest, TilesShowTheBoardsColoursWithTheirNumbers)
{
    QUORVANE_LINUX_ONLY("three digits do not fit a tile in Wine's default font");
    TagMonitor* board = Publish(kMaxLines);
    FillStatuses(*board);
    TOverviewForm* o = OpenOverview();
    ASSERT_NE(o, nullptr);
    Tick();
    // The issue's yardstick: 2048 tiles of at least 12 x 12 in a 1280 x 720 window.
    const QRect first = o->TileView->TileRectOf(0);
    EXPECT_GE(first.width(), 12);
    EXPECT_GE(first.height(), 12);
    EXPECT_EQ(o->TileView->Layout().Count, kMaxLines);

    const QImage image = Grab(o->TileView);
    int withNumber = 0;
    for (int line = 0; line < kMaxLines; line += 37) {
        SCOPED_TRACE(line);
        const Status& s = kStatuses[line % 5];
        const QRect r = o->TileView->TileRectOf(line);
        ASSERT_TRUE(image.rect().contains(r));
        // The background at the tile's corners, the gap's colour just outside it.
        const QColor back = ToQ(LinePalette[s.back]);
        EXPECT_EQ(image.pixelColor(r.topLeft()), back);
        EXPECT_EQ(image.pixelColor(r.bottomRight()), back);
        EXPECT_NE(image.pixelColor(r.right() + 1, r.top()), back) << "the gap";
        // The number in the cell's text colour, where it fits.
        const int ink = InkPixels(image, r, ToQ(LinePalette[s.fore]), back);
        if (o->TileView->Painter().NumberFits(line)) {
            EXPECT_GT(ink, 4);
            ++withNumber;
        } else {
            EXPECT_EQ(ink, 0);
        }
    }
    EXPECT_GT(withNumber, 10);
    EXPECT_TRUE(o->TileView->Painter().NumberFits(999));

    // Another column picked: the tiles take its colours.
    o->ColumnBox->setCurrentIndex(4);
    const QImage byRun = Grab(o->TileView);
    for (int line : {0, 1, 2, 3, 4, 1500}) {
        const QRect r = o->TileView->TileRectOf(line);
        EXPECT_EQ(byRun.pixelColor(r.topLeft()), ToQ(LinePalette[kStatuses[(line + 2) % 5].back])) << line;
    }
}

TEST_F(OverviewFormTest, TheLegendCountsEachTextMostFirstAndTheTotal)
{
    TagMonitor* board = Publish(12);
    {
        BoardLock lock(board->Lock);
        const char* texts[] = {"Talking", "Idle", "Talking", "\xCD\xA8\xBB\xB0", "Talking", "<b>Idle</b>",
                               "Idle",    "",     "Talking", "Ringing",          "Idle",    "Talking"};
        for (int i = 0; i < 12; ++i)
            board->SetCell(texts[i], std::strlen(texts[i]), i, 2, 0, i % 2 ? 14 : 1);
    }
    TOverviewForm* o = OpenOverview();
    ASSERT_NE(o, nullptr);
    Tick();
    EXPECT_EQ(LegendTexts(o), (std::vector<QString>{
                                  QStringLiteral("Talking 5"),
                                  QStringLiteral("Idle 3"),
                                  QStringLiteral("(blank) 1"),
                                  QStringLiteral("<b>Idle</b> 1"),
                                  QStringLiteral("Ringing 1"),
                                  QString::fromUtf8("通话 1"),
                              }));
    EXPECT_EQ(o->TotalLab->text(), QStringLiteral("Total 12"));
    EXPECT_TRUE(o->LongerLab->isHidden());
    // Plain labels: the server's markup is shown as typed.
    for (TElidedLabel* l : o->LegendLabs)
        EXPECT_EQ(l->textFormat(), Qt::PlainText);
    // Each text beside the colour of its first line (Talking on line 0: blue).
    EXPECT_EQ(o->SwatchLabs[0]->palette().color(QPalette::Window), ToQ(LinePalette[1]));
    EXPECT_EQ(o->SwatchLabs[1]->palette().color(QPalette::Window), ToQ(LinePalette[14]));
    // The column box names the grid's columns.
    EXPECT_EQ(o->ColumnBox->count(), 8);
    EXPECT_EQ(o->ColumnBox->currentIndex(), 2);
    EXPECT_EQ(o->ColumnBox->itemText(2), QString::fromUtf8("状态"));
}

TEST_F(OverviewFormTest, AThresholdOutlinesTheStuckTilesAndTheLegendCountsThem)
{
    FakeBoardClock clock;
    TagMonitor* board = Publish(kMaxLines);
    FillStatuses(*board);
    FakeBoardClock::Advance(3min);
    {
        // Lines 0..9 change now; all others have stood for three minutes.
        BoardLock lock(board->Lock);
        for (int i = 0; i < 10; ++i)
            board->SetCell("Answered", 8, i, 2, 0, 14);
    }
    TOverviewForm* o = OpenOverview();
    ASSERT_NE(o, nullptr);
    o->ThresholdBox->setCurrentIndex(o->ThresholdBox->findData(2));
    Tick();
    ASSERT_EQ(o->ThresholdMinutes(), 2);
    EXPECT_FALSE(o->LongerLab->isHidden());
    EXPECT_EQ(o->LongerLab->text(), QStringLiteral("Unchanged for more than 2 min: 2038"));
    // 410 lines each of the first three statuses and 409 of the others, two of each now answered.
    EXPECT_EQ(LegendTexts(o), (std::vector<QString>{
                                  QStringLiteral("Idle 408, 408 unchanged"),
                                  QStringLiteral("Ringing 408, 408 unchanged"),
                                  QStringLiteral("Talking 408, 408 unchanged"),
                                  QStringLiteral("Hang-up 407, 407 unchanged"),
                                  QStringLiteral("Recording 407, 407 unchanged"),
                                  QStringLiteral("Answered 10"),
                              }));

    const QImage image = Grab(o->TileView);
    for (int line : {0, 5, 9, 10, 11, 777, 2047}) {
        SCOPED_TRACE(line);
        const QRect r = o->TileView->TileRectOf(line);
        const TColor back = line < 10 ? LinePalette[14] : LinePalette[kStatuses[line % 5].back];
        const QColor outer = image.pixelColor(r.left(), r.center().y());
        const QColor inner = image.pixelColor(r.right() - 1, r.center().y());
        const QColor inside = image.pixelColor(r.left() + TTilePainter::kMarkWidth, r.top() + TTilePainter::kMarkWidth);
        EXPECT_EQ(inside, ToQ(back));
        // A black ring round a white one: one of the two stands out on any background.
        EXPECT_EQ(outer, line < 10 ? ToQ(back) : QColor(0, 0, 0));
        EXPECT_EQ(inner, line < 10 ? ToQ(back) : QColor(255, 255, 255));
        EXPECT_EQ(image.pixelColor(r.center().x(), r.top()), outer);
        EXPECT_EQ(image.pixelColor(r.center().x(), r.bottom() - 1), inner);
    }

    // Off again: no outlines, no count.
    o->ThresholdBox->setCurrentIndex(0);
    Tick();
    EXPECT_TRUE(o->LongerLab->isHidden());
    const QRect r = o->TileView->TileRectOf(777);
    EXPECT_EQ(Grab(o->TileView).pixelColor(r.left(), r.center().y()), ToQ(LinePalette[kStatuses[777 % 5].back]));
}

TEST_F(OverviewFormTest, NothingChangedRepaintsNothingAndAChangeOnlyItsTile)
{
    TagMonitor* board = Publish(kMaxLines);
    FillStatuses(*board);
    TOverviewForm* o = OpenOverview();
    ASSERT_NE(o, nullptr);
    Tick();
    Grab(o->TileView);
    PaintRecorder recorder(o->TileView);
    for (int i = 0; i < 3; ++i)
        Tick();
    EXPECT_TRUE(recorder.painted.empty()) << recorder.painted.size();

    // The same text written again changes nothing either.
    SetCell(*board, "Talking", 2, 2, 15, 1);
    Tick();
    EXPECT_TRUE(recorder.painted.empty());

    SetCell(*board, "Talking", 1500, 2, 15, 1);
    Tick();
    ASSERT_FALSE(recorder.painted.empty());
    QRegion all;
    for (const QRegion& r : recorder.painted)
        all += r;
    EXPECT_EQ(all, QRegion(o->TileView->TileRectOf(1500)));
    EXPECT_EQ(Grab(o->TileView).pixelColor(o->TileView->TileRectOf(1500).topLeft()), ToQ(LinePalette[1]));
}

TEST_F(OverviewFormTest, ClickingATileSelectsItsLineInTheGridInEveryGroupLayout)
{
    for (int groups : {1, 3}) {
        SCOPED_TRACE(groups);
        TagMonitor* board = Publish(kMaxLines, groups);
        FillStatuses(*board);
        TOverviewForm* o = OpenOverview();
        ASSERT_NE(o, nullptr);
        Tick();
        for (int line : {1500, 7, 2047}) {
            QTest::mouseClick(o->TileView, Qt::LeftButton, Qt::NoModifier, o->TileView->TileRectOf(line).center());
            EXPECT_EQ(Selected(), CellsOfLine(line, groups)) << line;
            const GridCell cell = GridCellOf(line, 0, groups);
            const QRect r = form->LineGrid->visualRect(form->LineGrid->model()->index(cell.row - 1, cell.col));
            EXPECT_TRUE(form->LineGrid->viewport()->rect().intersects(r)) << line;
        }
        // A gap between tiles is no line.
        const QRect r = o->TileView->TileRectOf(3);
        QTest::mouseClick(o->TileView, Qt::LeftButton, Qt::NoModifier, QPoint(r.right() + 1, r.center().y()));
        EXPECT_EQ(Selected(), CellsOfLine(2047, groups));
    }
}

TEST_F(OverviewFormTest, HoverTellsTheEightTextsAndTheTimeInState)
{
    FakeBoardClock clock;
    TagMonitor* board = Publish(20);
    {
        BoardLock lock(board->Lock);
        const char* texts[8] = {"7", "ivr_main.scr", "Talking", "12#", "<i>Playing</i>", "13800000000", "3", "Sales"};
        for (int k = 0; k < 8; ++k)
            board->SetCell(texts[k], std::strlen(texts[k]), 7, k, 15, 1);
    }
    FakeBoardClock::Advance(4min + 12s);
    TOverviewForm* o = OpenOverview();
    ASSERT_NE(o, nullptr);
    Tick();
    const QString text = o->LineToolTip(7);
    const QStringList lines = text.split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), 9) << text.toStdString();
    EXPECT_EQ(lines[0], QStringLiteral("Line 7: Talking for 4 min 12 s"));
    EXPECT_EQ(lines[1], QString::fromUtf8("线路: 7"));
    EXPECT_EQ(lines[3], QString::fromUtf8("状态: Talking"));
    EXPECT_EQ(lines[5], QString::fromUtf8("运行信息: <i>Playing</i>"));
    EXPECT_TRUE(lines[8].endsWith(QStringLiteral(": Sales")));
    EXPECT_TRUE(o->LineToolTip(20).isEmpty());

    // Shown as a tooltip, the server's markup stays text.
    const QRect r = o->TileView->TileRectOf(7);
    QHelpEvent help(QEvent::ToolTip, r.center(), o->TileView->mapToGlobal(r.center()));
    QApplication::sendEvent(o->TileView, &help);
    EXPECT_TRUE(QToolTip::isVisible());
    // As the tooltip's label reads it: markup when it looks like markup, else plain text.
    const QString tip = QToolTip::text();
    QTextDocument shown;
    if (Qt::mightBeRichText(tip))
        shown.setHtml(tip);
    else
        shown.setPlainText(tip);
    EXPECT_TRUE(shown.toPlainText().contains(QStringLiteral("<i>Playing</i>"))) << tip.toStdString();
    QToolTip::hideText();
}

TEST_F(OverviewFormTest, AHugeStatusThatLooksLikeMarkupGivesATipCutAndNoWiderThanTheScreen)
{
    QUORVANE_LINUX_ONLY("Qt lays a word-wrapped tip out 80 average characters wide: 872 pixels in Wine's default font, "
                        "wider than the 800-pixel offscreen screen");
    TagMonitor* board = Publish(20);
    const std::string status = "<b>" + std::string(30000, 'x');
    {
        BoardLock lock(board->Lock);
        for (int k = 0; k < 8; ++k)
            board->SetCell(status.data(), status.size(), 7, k, 15, 1);
    }
    TOverviewForm* o = OpenOverview();
    ASSERT_NE(o, nullptr);
    Tick();
    const QRect r = o->TileView->TileRectOf(7);
    QHelpEvent help(QEvent::ToolTip, r.center(), o->TileView->mapToGlobal(r.center()));
    QApplication::sendEvent(o->TileView, &help);
    ASSERT_TRUE(QToolTip::isVisible());
    QWidget* label = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->inherits("QTipLabel") && w->isVisible())
            label = w;
    }
    ASSERT_NE(label, nullptr);
    EXPECT_LE(label->width(), o->screen()->geometry().width());
    QTextDocument shown;
    shown.setHtml(QToolTip::text());
    const QString text = shown.toPlainText();
    EXPECT_LE(text.toUcs4().size(), qsizetype(kTipChars));
    EXPECT_TRUE(text.startsWith(QStringLiteral("Line 7: <b>xxx"))) << text.left(40).toStdString();
    QToolTip::hideText();
    // Each of its nine texts gets a tenth of what a tooltip shows.
    const QStringList lines = o->LineToolTip(7).split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), 9);
    const QString cutText = QStringLiteral("<b>") + QString(int(kTipChars / 10) - 4, QLatin1Char('x')) + QChar(0x2026);
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("Line 7: ") + cutText + QStringLiteral(" for ")))
        << lines[0].toStdString();
    for (int k = 1; k < 9; ++k)
        EXPECT_TRUE(lines[k].endsWith(QStringLiteral(": ") + cutText)) << k;
}

TEST_F(OverviewFormTest, LegendLabelsElideLongTextsToTheirWidthAndKeepTheCount)
{
    TagMonitor* board = Publish(12);
    const std::string huge = "<b>" + std::string(30000, 'x');
    const std::string words = "queue " + std::string(2000, 'y') + "\n" + std::string(3000, 'z');
    {
        BoardLock lock(board->Lock);
        for (int line = 0; line < 12; ++line) {
            const std::string& text = line < 7 ? huge : line < 10 ? words : std::string("Idle");
            board->SetCell(text.data(), text.size(), line, 2, 15, 1);
        }
    }
    TOverviewForm* o = OpenOverview();
    ASSERT_NE(o, nullptr);
    Tick();
    const int room = o->LegendPan->width();
    const struct {
        const char* start;
        const char* count;
        bool cut;
    } expected[] = {{"<b>x", " 7", true}, {"queue y", " 3", true}, {"Idle", " 2", false}};
    for (size_t i = 0; i < std::size(expected); ++i) {
        SCOPED_TRACE(i);
        TElidedLabel* l = o->LegendLabs[i];
        ASSERT_FALSE(l->isHidden());
        const QString shown = l->text();
        EXPECT_TRUE(shown.startsWith(QLatin1String(expected[i].start))) << shown.toStdString();
        EXPECT_TRUE(shown.endsWith(QLatin1String(expected[i].count))) << "the count always shows";
        EXPECT_EQ(shown.contains(QChar(0x2026)), expected[i].cut) << shown.toStdString();
        EXPECT_FALSE(shown.contains(QLatin1Char('\n'))) << "the server's line end is no line break";
        EXPECT_LE(l->geometry().right(), room);
        EXPECT_LE(l->fontMetrics().horizontalAdvance(shown), l->contentsRect().width());
        // The whole text, cut at what a tooltip shows, for the pointer and the screen reader.
        EXPECT_EQ(l->accessibleName(), l->FullText());
        EXPECT_LE(l->FullText().toUcs4().size(), qsizetype(kTipChars));
        EXPECT_TRUE(l->FullText().endsWith(QLatin1String(expected[i].count)));
        EXPECT_EQ(l->FullText().startsWith(QLatin1String("queue yyyy")) || !expected[i].cut ||
                      l->FullText().startsWith(QLatin1String("<b>xxxx")),
                  true);
        EXPECT_FALSE(l->toolTip().isEmpty());
    }
    EXPECT_EQ(o->LegendLabs[2]->text(), QStringLiteral("Idle 2"));

    // A long count ("7, 7 unchanged") goes under the name when it takes more than half the width.
    o->LegendLabs[0]->SetTexts(QString::fromStdString(huge), QStringLiteral(" 2048, 2048 unchanged since long ago"));
    const QStringList lines = o->LegendLabs[0]->text().split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines[0].startsWith(QLatin1String("<b>x")) && lines[0].endsWith(QChar(0x2026)));
    EXPECT_TRUE(QStringLiteral("2048, 2048 unchanged since long ago").startsWith(lines[1].chopped(1)));
    for (const QString& line : lines)
        EXPECT_LE(o->LegendLabs[0]->fontMetrics().horizontalAdvance(line), o->LegendLabs[0]->contentsRect().width());

    // Wider, the same label shows more of its text.
    const int before = int(o->LegendLabs[0]->text().size());
    o->LegendPan->setFixedWidth(2 * room);
    QApplication::processEvents();
    EXPECT_GT(o->LegendLabs[0]->text().size(), before);
    EXPECT_LE(o->LegendLabs[0]->geometry().right(), 2 * room);
}

TEST_F(OverviewFormTest, ItFollowsTheBoardWithoutTakingTheFocus)
{
    // Before the first answer.
    TOverviewForm* o = OpenOverview();
    ASSERT_NE(o, nullptr);
    Tick();
    EXPECT_EQ(o->TotalLab->text(), QStringLiteral("no board yet"));
    EXPECT_TRUE(LegendTexts(o).empty());
    EXPECT_FALSE(o->TileView->Shown());
    // The refusing port leaves the link down: the overview says so, and how old its data is.
    EXPECT_FALSE(o->AgeLab->isHidden());
    EXPECT_EQ(o->AgeLab->text(), QStringLiteral("Link down: no answer yet"));
    const QImage empty = Grab(o->TileView);
    for (const Status& s : kStatuses) {
        if (s.back != 15 && s.back != 7) { // the greys of the text's edges aside
            EXPECT_EQ(ExactPixels(empty, ToQ(LinePalette[s.back])), 0) << s.text;
        }
    }
    // The view says it, too: something is written on its plain background.
    EXPECT_LT(ExactPixels(empty, empty.pixelColor(0, 0)), empty.width() * empty.height());

    // The operator goes back to the grid; the ticks leave the focus there.
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    form->LineGrid->setFocus();
    TagMonitor* board = Publish(kMaxLines);
    FillStatuses(*board);
    const QRect placed = o->geometry();
    for (int i = 0; i < 3; ++i)
        Tick();
    // Long enough for an activation asked of the platform to arrive.
    QTest::qWait(50);
    EXPECT_EQ(QApplication::activeWindow(), form.get());
    EXPECT_TRUE(form->LineGrid->hasFocus());
    EXPECT_EQ(o->geometry(), placed);
    EXPECT_EQ(o->TotalLab->text(), QStringLiteral("Total 2048"));

    // A new board of another line count, at the next tick.
    Publish(100);
    Tick();
    ASSERT_TRUE(o->TileView->Shown());
    EXPECT_EQ(o->TileView->Shown()->Tiles.size(), 100u);
    EXPECT_EQ(o->TileView->Layout().Count, 100);
    EXPECT_EQ(o->TotalLab->text(), QStringLiteral("Total 100"));
    // While a board is being replaced, the last picture stays.
    BoardBusy.store(kBusyReplacing);
    Tick();
    EXPECT_EQ(o->TotalLab->text(), QStringLiteral("Total 100"));
    BoardBusy.store(0);

    // After a stop: no board.
    form->StopMonitor();
    Tick();
    EXPECT_EQ(o->TotalLab->text(), QStringLiteral("no board yet"));
    EXPECT_FALSE(o->TileView->Shown());
    EXPECT_TRUE(o->AgeLab->isHidden());
}

TEST_F(OverviewFormTest, TheFirstPlacementKeepsTheWholeFrameOnTheScreen)
{
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    const QRect room = form->screen()->availableGeometry();
    // The main window in the screen's bottom right corner: the overview, centred over it, is
    // pushed back onto the screen, its frame and all.
    form->move(room.right() - form->frameGeometry().width() + 1, room.bottom() - form->frameGeometry().height() + 1);
    QApplication::processEvents();
    ASSERT_NE(form->frameGeometry().size(), form->size()) << "the platform draws no frame";
    QTest::keyClick(form->LineGrid, Qt::Key_F2);
    TOverviewForm* o = form->OverviewForm;
    ASSERT_NE(o, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(o));
    QTest::qWait(0);
    const QRect outer = o->frameGeometry();
    EXPECT_TRUE(room.contains(outer)) << outer.x() << "," << outer.y() << " " << outer.width() << "x" << outer.height()
                                      << " on " << room.width() << "x" << room.height();
    EXPECT_LE(outer.width(), room.width() * 9 / 10);
    EXPECT_LE(outer.height(), room.height() * 9 / 10);
    EXPECT_EQ(outer.bottom(), room.bottom());
}

TEST_F(OverviewFormTest, ChoicesAndGeometryAreKeptInTheirOwnGroup)
{
    const std::string configBefore = ReadFile("Quorvane.cfg");
    TOverviewForm* o = OpenOverview(QSize(900, 500));
    ASSERT_NE(o, nullptr);
    o->move(40, 50);
    o->ColumnBox->setCurrentIndex(4);
    o->ThresholdBox->setCurrentIndex(o->ThresholdBox->findData(10));
    EXPECT_EQ(StoredValue("Overview/Column").toInt(), 4);
    EXPECT_EQ(StoredValue("Overview/Threshold").toInt(), 10);
    QTest::keyClick(o, Qt::Key_Escape);
    ASSERT_FALSE(StoredValue("Overview/Geometry").toByteArray().isEmpty());
    const QRect where = o->geometry();

    // Another window (the next run) comes back as this one was.
    auto next = std::make_unique<TOverviewForm>();
    EXPECT_EQ(next->Column(), 4);
    EXPECT_EQ(next->ThresholdMinutes(), 10);
    next->Open();
    QApplication::processEvents();
    EXPECT_EQ(next->geometry(), where);
    next.reset();

    // Stored values gone bad give the defaults.
    {
        QSettings s(storePath, QSettings::IniFormat);
        s.setValue(QStringLiteral("Overview/Column"), 12);
        s.setValue(QStringLiteral("Overview/Threshold"), 3);
    }
    TOverviewForm fresh;
    EXPECT_EQ(fresh.Column(), 2);
    EXPECT_EQ(fresh.ThresholdMinutes(), 0);

    // Only the group is new in the store; Quorvane.cfg is untouched.
    QSettings s(storePath, QSettings::IniFormat);
    for (const QString& key : s.allKeys())
        EXPECT_TRUE(key.startsWith(QStringLiteral("Overview/")) || key.startsWith(QStringLiteral("Win")) ||
                    key.startsWith(QStringLiteral("GridWid")))
            << key.toStdString();
    EXPECT_EQ(ReadFile("Quorvane.cfg"), configBefore);
}

// A screen of twice the pixels (a 4K wall screen at 200 %): the tiles, their gaps and their outline
// rings scale with the device's pixels, none is lost to rounding.
TEST(OverviewAgeTest, TheWindowWordsTheAgeOfTheData)
{
    using Why = TagBoardAge::Why;
    const struct {
        TagBoardAge age;
        const char* text;
    } cases[] = {
        {{Why::Fresh, 0, 12}, ""},
        {{Why::Overdue, 45, 46}, "Answer overdue (waited 45 s): data 46 s old"},
        {{Why::Overdue, 31, -1}, "Answer overdue (waited 31 s): no answer yet"},
        {{Why::LinkDown, 0, 125}, "Link down: data 2 min 5 s old"},
        {{Why::LinkDown, 0, -1}, "Link down: no answer yet"},
        {{Why::LinkDown, 0, 0}, "Link down: data 0 s old"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TOverviewForm::BoardAgeText(c.age), QString::fromLatin1(c.text)) << c.text;
}

TEST(OverviewPaintTest, TilesScaleToTheDevicesPixels)
{
    TagOverview o;
    o.Tiles = {{LinePalette[0], LinePalette[1], false},
               {LinePalette[0], LinePalette[14], true},
               {LinePalette[15], LinePalette[4], true}};
    const QSize area(60, 20);
    const TagTileLayout layout = LayTiles(3, area.width(), area.height()); // 3 tiles of 20 x 20
    ASSERT_EQ(layout.TileWidth, 20);
    const QColor background(239, 239, 239);
    for (const qreal dpr : {1.0, 2.0}) {
        SCOPED_TRACE(dpr);
        QImage image((QSizeF(area) * dpr).toSize(), QImage::Format_RGB32);
        image.setDevicePixelRatio(dpr);
        image.fill(Qt::magenta);
        TTilePainter painter;
        {
            QPainter p(&image);
            painter.Paint(p, layout, o, area, QRect(QPoint(0, 0), area), QFont(), background, true);
        }
        const int d = int(dpr);
        const auto at = [&](int x, int y) { return image.pixelColor(x, y); };
        for (int tile = 0; tile < 3; ++tile) {
            const int left = tile * 20 * d;
            const int right = (tile * 20 + 19) * d - 1; // the last device pixel before the gap
            const QColor back = ToQ(o.Tiles[size_t(tile)].BackColor);
            // The gap, a logical pixel wide, in device pixels.
            for (int x = right + 1; x < (tile + 1) * 20 * d; ++x)
                EXPECT_EQ(at(x, 5 * d), background) << tile << " " << x;
            if (!o.Tiles[size_t(tile)].Stuck) {
                EXPECT_EQ(at(left, 0), back);
                EXPECT_EQ(at(right, 19 * d - 1), back);
                continue;
            }
            // Rings of one logical pixel each: d device pixels black, then d white, then the tile.
            for (int i = 0; i < d; ++i) {
                EXPECT_EQ(at(left + i, 10 * d), QColor(0, 0, 0)) << tile;
                EXPECT_EQ(at(left + d + i, 10 * d), QColor(255, 255, 255)) << tile;
                EXPECT_EQ(at(right - i, 10 * d), QColor(0, 0, 0)) << tile;
                EXPECT_EQ(at(10 * d + left, i), QColor(0, 0, 0)) << tile;
                EXPECT_EQ(at(10 * d + left, 19 * d - 1 - d - i), QColor(255, 255, 255)) << tile;
            }
            EXPECT_EQ(at(left + 2 * d, 2 * d), back);
        }
        // Nothing left unpainted below the tiles' gap row.
        EXPECT_EQ(at(image.width() - 1, image.height() - 1), background);
    }
}

} // namespace
