#include "app/Overview.h"

#include "board/Board.h"
#include "board/BoardRead.h"
#include "board/GridMap.h"
#include "common/SpanText.h"
#include "link/BoardAge.h"
#include "link/Link.h"
#include "platform/Gbk.h"
#include "platform/PlainText.h"
#include "settings/Config.h"
#include "settings/Placement.h"

#include <QComboBox>
#include <QEvent>
#include <QGlyphRun>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScreen>
#include <QSettings>
#include <QToolTip>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// Choices and geometry live in a group of their own beside the main window's placement.
const char kColumnKey[] = "Overview/Column";
const char kThresholdKey[] = "Overview/Threshold";
const char kGeometryKey[] = "Overview/Geometry";

// A wall screen's full board: 2048 tiles in 1280 x 720 are still 18 x 18 pixels beside the legend.
constexpr int kDefaultWidth = 1280;
constexpr int kDefaultHeight = 720;
constexpr int kLegendWidth = 200;
constexpr int kLargestNumberPx = 12;
constexpr int kSmallestNumberPx = 7;

QColor ToQColor(TColor c)
{
    return QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF));
}

int Digits(int n)
{
    int d = 1;
    for (; n >= 10; n /= 10)
        ++d;
    return d;
}

void SetText(QLabel* label, const QString& text)
{
    if (label->text() != text)
        label->setText(text);
}

QLabel* MakeLabel(const char* objectName, QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setObjectName(QLatin1String(objectName));
    // The legend shows the server's texts: never as markup.
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    return label;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// TTilePainter

QRect TTilePainter::TileRectOf(const TagTileLayout& layout, int line)
{
    const TagTileRect r = TileRect(layout, line, kGap);
    return QRect(r.X, r.Y, r.Width, r.Height);
}

void TTilePainter::Prepare(const TagTileLayout& layout, const QFont& font)
{
    if (layout.Columns == preparedFor_.Columns && layout.Rows == preparedFor_.Rows &&
        layout.TileWidth == preparedFor_.TileWidth && layout.TileHeight == preparedFor_.TileHeight &&
        layout.Count == preparedFor_.Count && font == baseFont_)
        return;
    preparedFor_ = layout;
    baseFont_ = font;
    numbers_ = false;
    if (layout.Empty())
        return;
    // A number stays clear of a stuck tile's outline. The largest size at which the longest number
    // fits; where even the smallest is too wide for it, the shorter numbers still show.
    const TagTileRect tile = TileRect(layout, 0, kGap);
    const int roomWidth = tile.Width - 2 * kMarkWidth;
    const int roomHeight = tile.Height - 2 * kMarkWidth;
    const int longest = Digits(layout.Count - 1);
    for (int px = std::min(kLargestNumberPx, roomHeight); px >= kSmallestNumberPx; --px) {
        QFont f(font);
        f.setPixelSize(px);
        const QFontMetrics m(f);
        const QRect digit = m.tightBoundingRect(QStringLiteral("0"));
        if (digit.height() > roomHeight)
            continue;
        // The digits' glyphs and advances of the font the numbers are drawn in: a paint places
        // every digit itself and draws all of one colour at once.
        const QRawFont raw = QRawFont::fromFont(f);
        const QList<quint32> glyphs = raw.glyphIndexesForString(QStringLiteral("0123456789"));
        if (!raw.isValid() || glyphs.size() != 10)
            continue;
        const QList<QPointF> advances = raw.advancesForGlyphIndexes(glyphs);
        qreal widest = 0;
        for (size_t i = 0; i < 10; ++i) {
            digitGlyphs_[i] = glyphs[qsizetype(i)];
            digitAdvances_[i] = advances[qsizetype(i)].x();
            widest = std::max(widest, digitAdvances_[i]);
        }
        rawFont_ = raw;
        numberFont_ = f;
        numbers_ = true;
        digitHeight_ = digit.height();
        roomWidth_ = roomWidth;
        for (int d = 1; d < int(digitWidths_.size()); ++d)
            digitWidths_[size_t(d)] = int(std::ceil(widest * d));
        if (digitWidths_[size_t(longest)] <= roomWidth)
            break;
    }
}

void TTilePainter::AddNumber(TagInkRun& ink, int line, const QRect& tile) const
{
    unsigned char digits[12];
    int n = 0;
    for (int v = line; n == 0 || v > 0; v /= 10)
        digits[n++] = static_cast<unsigned char>(v % 10);
    qreal width = 0;
    for (int i = 0; i < n; ++i)
        width += digitAdvances_[size_t(digits[i])];
    // Whole pixels, as text is drawn at them; centred in the tile by the digits' ink.
    qreal x = tile.x() + std::floor((tile.width() - width) / 2);
    // The baseline on a whole pixel too.
    const int baseline = tile.y() + (tile.height() + digitHeight_) / 2;
    for (int i = n - 1; i >= 0; --i) {
        ink.Glyphs.push_back(digitGlyphs_[size_t(digits[i])]);
        ink.Positions.emplace_back(x, qreal(baseline));
        x += digitAdvances_[size_t(digits[i])];
    }
}

bool TTilePainter::NumberFits(int line) const
{
    if (!numbers_ || line < 0)
        return false;
    const int d = Digits(line);
    return d < int(digitWidths_.size()) && digitWidths_[size_t(d)] <= roomWidth_;
}

template <typename C> C& TTilePainter::Bucket(std::vector<std::pair<QRgb, C>>& buckets, QRgb colour)
{
    for (auto& [c, items] : buckets) {
        if (c == colour)
            return items;
    }
    return buckets.emplace_back(colour, C()).second;
}

void TTilePainter::Compose(const TagTileLayout& layout, const TagOverview& o, const QSize& area,
                           const QColor& background, qreal dpr)
{
    const QSize device(int(std::ceil(area.width() * dpr)), int(std::ceil(area.height() * dpr)));
    if (image_.size() != device || image_.format() != QImage::Format_RGB32)
        image_ = QImage(device, QImage::Format_RGB32);
    image_.setDevicePixelRatio(dpr);
    composedLayout_ = layout;
    composedArea_ = area;
    composedBackground_ = background.rgb();
    composedDpr_ = dpr;
    if (image_.isNull())
        return;

    const int width = device.width();
    const size_t rowBytes = size_t(width) * sizeof(QRgb);
    const QRgb bg = background.rgb();
    const QRgb black = MarkOuterColor().rgb();
    const QRgb white = MarkInnerColor().rgb();
    gapRow_.assign(size_t(width), bg);
    for (auto& p : rows_)
        p.resize(size_t(width));
    const auto edge = [dpr](int logical) { return int(std::lround(logical * dpr)); };
    const auto copyRows = [&](int from, int to, const std::vector<QRgb>& row) {
        for (int y = std::max(0, from); y < std::min(to, device.height()); ++y)
            std::memcpy(image_.scanLine(y), row.data(), rowBytes);
    };
    const auto fill = [width](std::vector<QRgb>& row, int from, int to, QRgb colour) {
        if (from < to)
            std::fill(row.begin() + std::clamp(from, 0, width), row.begin() + std::clamp(to, 0, width), colour);
    };

    const int count = std::min(layout.Count, int(o.Tiles.size()));
    int y = 0;
    if (!layout.Empty() && count > 0) {
        // The outline's rings, in device pixels, and never more than a tile can hold.
        const int tileWidth = edge(layout.TileWidth - kGap);
        const int tileHeight = edge(layout.TileHeight - kGap);
        const int mark = std::min({std::max(1, edge(kMarkWidth)), tileWidth / 2, tileHeight / 2});
        const int outer = (mark + 1) / 2;
        // Every pixel row of a row of tiles is one of three: through the outer ring of the stuck
        // tiles, through their inner ring, or through their middle. Each is built once and copied
        // to its rows, so a full picture costs hardly more than copying it.
        std::vector<QRgb>& ringRow = rows_[0];
        std::vector<QRgb>& innerRow = rows_[1];
        std::vector<QRgb>& bodyRow = rows_[2];
        for (int row = 0; row < layout.Rows; ++row) {
            for (auto& p : rows_)
                std::fill(p.begin(), p.end(), bg);
            bool stuck = false;
            for (int col = 0; col < layout.Columns; ++col) {
                const int line = row * layout.Columns + col;
                if (line >= count)
                    break;
                const TagOverviewTile& tile = o.Tiles[size_t(line)];
                const QRgb back = ToQColor(tile.BackColor).rgb();
                const int left = edge(col * layout.TileWidth);
                const int right = edge((col + 1) * layout.TileWidth - kGap);
                if (!tile.Stuck || mark == 0) {
                    for (auto& p : rows_)
                        fill(p, left, right, back);
                    continue;
                }
                stuck = true;
                fill(ringRow, left, right, black);
                fill(innerRow, left, right, white);
                fill(innerRow, left, left + outer, black);
                fill(innerRow, right - outer, right, black);
                fill(bodyRow, left, right, back);
                fill(bodyRow, left, left + outer, black);
                fill(bodyRow, left + outer, left + mark, white);
                fill(bodyRow, right - mark, right - outer, white);
                fill(bodyRow, right - outer, right, black);
            }
            const int top = edge(row * layout.TileHeight);
            const int bottom = edge((row + 1) * layout.TileHeight - kGap);
            if (stuck) {
                copyRows(top, top + outer, ringRow);
                copyRows(top + outer, top + mark, innerRow);
                copyRows(top + mark, bottom - mark, bodyRow);
                copyRows(bottom - mark, bottom - outer, innerRow);
                copyRows(bottom - outer, bottom, ringRow);
            } else {
                copyRows(top, bottom, bodyRow);
            }
            y = edge((row + 1) * layout.TileHeight);
            copyRows(bottom, y, gapRow_);
        }
    }
    copyRows(y, device.height(), gapRow_);
}

void TTilePainter::Paint(QPainter& painter, const TagTileLayout& layout, const TagOverview& o, const QSize& area,
                         const QRect& exposed, const QFont& font, const QColor& background, bool changed)
{
    Prepare(layout, font);
    const qreal dpr = painter.device() ? painter.device()->devicePixelRatio() : 1.0;
    const bool same = composedLayout_.Columns == layout.Columns && composedLayout_.Rows == layout.Rows &&
                      composedLayout_.TileWidth == layout.TileWidth &&
                      composedLayout_.TileHeight == layout.TileHeight && composedLayout_.Count == layout.Count &&
                      composedArea_ == area && composedBackground_ == background.rgb() && composedDpr_ == dpr;
    if (changed || !same || image_.isNull())
        Compose(layout, o, area, background, dpr);
    const QRect part = exposed.intersected(QRect(QPoint(0, 0), area));
    painter.drawImage(QRectF(part), image_,
                      QRectF(part.x() * dpr, part.y() * dpr, part.width() * dpr, part.height() * dpr));

    // The numbers over the tiles exposed, a colour at a time and all its digits in one call.
    const int count = std::min(layout.Count, int(o.Tiles.size()));
    if (layout.Empty() || count == 0 || !numbers_)
        return;
    const int firstCol = std::max(0, part.left() / layout.TileWidth);
    const int lastCol = std::min(layout.Columns - 1, part.right() / layout.TileWidth);
    const int firstRow = std::max(0, part.top() / layout.TileHeight);
    const int lastRow = std::min(layout.Rows - 1, part.bottom() / layout.TileHeight);
    for (auto& bucket : inks_) {
        bucket.second.Glyphs.clear();
        bucket.second.Positions.clear();
    }
    for (int row = firstRow; row <= lastRow; ++row) {
        for (int col = firstCol; col <= lastCol; ++col) {
            const int line = row * layout.Columns + col;
            if (line >= count)
                break;
            if (NumberFits(line))
                AddNumber(Bucket(inks_, ToQColor(o.Tiles[size_t(line)].ForeColor).rgb()), line,
                          TileRectOf(layout, line));
        }
    }
    for (const auto& [colour, ink] : inks_) {
        if (ink.Glyphs.empty())
            continue;
        QGlyphRun run;
        run.setRawFont(rawFont_);
        run.setGlyphIndexes(QList<quint32>(ink.Glyphs.begin(), ink.Glyphs.end()));
        run.setPositions(QList<QPointF>(ink.Positions.begin(), ink.Positions.end()));
        painter.setPen(QColor(colour));
        painter.drawGlyphRun(QPointF(0, 0), run);
    }
}

// ---------------------------------------------------------------------------------------------
// TTileView

TTileView::TTileView(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("TileView"));
    // The legend beside it is what a screen reader reads; the view says what it is.
    setAccessibleName(QStringLiteral("Line tiles"));
    setAccessibleDescription(QStringLiteral("Every line as a tile in its cell's colours; the legend counts them"));
    // Every pixel is painted here: Qt need not clear the exposed part first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(64, 64);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void TTileView::ShowOverview(std::optional<TagOverview> o)
{
    if (!o) {
        if (shown_) {
            shown_.reset();
            Relayout();
            update();
        }
        return;
    }
    if (!shown_ || shown_->Tiles.size() != o->Tiles.size()) {
        shown_ = std::move(o);
        Relayout();
        update();
        return;
    }
    const std::vector<int> changed = ChangedTiles(*shown_, *o);
    shown_ = std::move(o);
    if (changed.empty())
        return;
    changed_ = true;
    // A region of many small rectangles costs more than it saves: then the whole view.
    if (changed.size() > 256) {
        update();
        return;
    }
    QRegion region;
    for (int line : changed)
        region += TileRectOf(line);
    update(region);
}

void TTileView::Relayout()
{
    changed_ = true;
    layout_ = shown_ ? LayTiles(int(shown_->Tiles.size()), width(), height()) : TagTileLayout();
}

int TTileView::LineAt(const QPoint& point) const
{
    return shown_ ? TileAt(layout_, point.x(), point.y(), TTilePainter::kGap) : -1;
}

QRect TTileView::TileRectOf(int line) const
{
    return TTilePainter::TileRectOf(layout_, line);
}

bool TTileView::event(QEvent* event)
{
    if (event->type() != QEvent::ToolTip)
        return QWidget::event(event);
    auto* help = static_cast<QHelpEvent*>(event);
    const int line = LineAt(help->pos());
    const QString text = line >= 0 && LineToolTip ? LineToolTip(line) : QString();
    if (text.isEmpty()) {
        QToolTip::hideText();
        event->ignore();
    } else {
        QToolTip::showText(help->globalPos(), PlainToolTip(text), this, TileRectOf(line));
    }
    return true;
}

void TTileView::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    if (!shown_ || layout_.Empty()) {
        painter.fillRect(event->rect(), palette().window());
        if (!shown_) {
            painter.setPen(palette().color(QPalette::WindowText));
            painter.drawText(rect(), Qt::AlignCenter, EmptyText());
        }
        return;
    }
    painter_.Paint(painter, layout_, *shown_, size(), event->rect(), font(), palette().color(QPalette::Window),
                   changed_);
    changed_ = false;
}

void TTileView::resizeEvent(QResizeEvent* event)
{
    Relayout();
    QWidget::resizeEvent(event);
}

void TTileView::mousePressEvent(QMouseEvent* event)
{
    pressed_ = event->button() == Qt::LeftButton ? LineAt(event->position().toPoint()) : -1;
    QWidget::mousePressEvent(event);
}

void TTileView::mouseReleaseEvent(QMouseEvent* event)
{
    // A click is a press and a release on the same tile.
    const int line = event->button() == Qt::LeftButton ? LineAt(event->position().toPoint()) : -1;
    const bool clicked = line >= 0 && line == pressed_;
    pressed_ = -1;
    if (clicked)
        emit LineClicked(line);
    QWidget::mouseReleaseEvent(event);
}

// ---------------------------------------------------------------------------------------------
// TOverviewForm

TOverviewForm::TOverviewForm(QWidget* parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("OverviewForm"));
    setWindowTitle(QStringLiteral("Line overview"));

    LegendPan = new QWidget(this);
    LegendPan->setObjectName(QStringLiteral("LegendPan"));
    LegendPan->setFixedWidth(kLegendWidth);
    auto* legend = new QVBoxLayout(LegendPan);
    legend->setContentsMargins(6, 6, 6, 6);

    ColumnBox = new QComboBox(LegendPan);
    ColumnBox->setObjectName(QStringLiteral("ColumnBox"));
    for (int k = 0; k < kColsPerLine; ++k)
        ColumnBox->addItem(QString(), k);
    auto* columnCaption = new QLabel(QStringLiteral("&Colour by column:"), LegendPan);
    columnCaption->setBuddy(ColumnBox);

    ThresholdBox = new QComboBox(LegendPan);
    ThresholdBox->setObjectName(QStringLiteral("ThresholdBox"));
    for (int minutes : kOverviewThresholds)
        ThresholdBox->addItem(minutes == 0 ? QStringLiteral("off") : QStringLiteral("%1 min").arg(minutes), minutes);
    auto* thresholdCaption = new QLabel(QStringLiteral("&Unchanged for more than:"), LegendPan);
    thresholdCaption->setBuddy(ThresholdBox);

    AgeLab = MakeLabel("AgeLab", LegendPan);
    QFont bold = AgeLab->font();
    bold.setBold(true);
    AgeLab->setFont(bold);
    QPalette agePalette = AgeLab->palette();
    agePalette.setColor(QPalette::WindowText, QColor(204, 102, 0)); // as the status panel's overdue text
    AgeLab->setPalette(agePalette);
    AgeLab->hide();
    TotalLab = MakeLabel("TotalLab", LegendPan);
    TotalLab->setFont(bold);
    LongerLab = MakeLabel("LongerLab", LegendPan);
    LongerLab->hide();

    legend->addWidget(columnCaption);
    legend->addWidget(ColumnBox);
    legend->addWidget(thresholdCaption);
    legend->addWidget(ThresholdBox);
    legend->addSpacing(8);
    legend->addWidget(AgeLab);
    legend->addWidget(TotalLab);
    legend->addWidget(LongerLab);
    auto* entries = new QGridLayout();
    entries->setHorizontalSpacing(6);
    entries->setColumnStretch(1, 1);
    for (size_t i = 0; i <= kLegendTexts; ++i) {
        auto* swatch = new QLabel(LegendPan);
        swatch->setObjectName(QStringLiteral("SwatchLab%1").arg(i));
        swatch->setFixedSize(14, 14);
        swatch->setFrameStyle(QFrame::Box | QFrame::Plain);
        swatch->setAutoFillBackground(true);
        swatch->hide();
        QLabel* label = MakeLabel("", LegendPan);
        label->setObjectName(QStringLiteral("LegendLab%1").arg(i));
        label->hide();
        entries->addWidget(swatch, int(i), 0, Qt::AlignTop);
        entries->addWidget(label, int(i), 1);
        SwatchLabs.push_back(swatch);
        LegendLabs.push_back(label);
    }
    legend->addLayout(entries);
    legend->addStretch(1);

    TileView = new TTileView(this);
    TileView->LineToolTip = [this](int line) { return LineToolTip(line); };
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(LegendPan);
    layout->addWidget(TileView, 1);

    // The operator's last choices; a store that cannot be opened leaves the defaults.
    int column = 2;
    int threshold = 0;
    if (std::unique_ptr<QSettings> store = OpenPlacementStore()) {
        bool ok = false;
        const int stored = store->value(QLatin1String(kColumnKey)).toInt(&ok);
        if (ok && stored >= 0 && stored < kColsPerLine)
            column = stored;
        threshold = OverviewThreshold(store->value(QLatin1String(kThresholdKey)).toInt());
    }
    ColumnBox->setCurrentIndex(column);
    ThresholdBox->setCurrentIndex(ThresholdBox->findData(threshold));
    ShowHeaders();
    ShowLegend(std::nullopt);

    connect(ColumnBox, &QComboBox::currentIndexChanged, this, [this] {
        SaveChoice(kColumnKey, Column());
        RefreshOverview();
    });
    connect(ThresholdBox, &QComboBox::currentIndexChanged, this, [this] {
        SaveChoice(kThresholdKey, ThresholdMinutes());
        RefreshOverview();
    });
    connect(TileView, &TTileView::LineClicked, this, &TOverviewForm::LineChosen);
}

TOverviewForm::~TOverviewForm()
{
    // Destroyed with the main window, which closes without closing this one first.
    if (isVisible())
        SaveGeometry();
}

int TOverviewForm::Column() const
{
    return ColumnBox->currentData().toInt();
}

int TOverviewForm::ThresholdMinutes() const
{
    return ThresholdBox->currentData().toInt();
}

void TOverviewForm::Open()
{
    if (!placed_)
        PlaceFirstTime();
    RefreshOverview();
    show();
    raise();
    activateWindow();
}

void TOverviewForm::PlaceFirstTime()
{
    placed_ = true;
    if (std::unique_ptr<QSettings> store = OpenPlacementStore()) {
        const QByteArray geometry = store->value(QLatin1String(kGeometryKey)).toByteArray();
        if (!geometry.isEmpty() && restoreGeometry(geometry))
            return;
    }
    // The first time: as large as a wall screen's board needs, but never larger than the screen,
    // centred over the window it was asked from.
    QWidget* over = parentWidget() ? parentWidget()->window() : nullptr;
    QScreen* screen = over ? over->screen() : QGuiApplication::primaryScreen();
    const QRect room = screen ? screen->availableGeometry() : QRect(0, 0, kDefaultWidth, kDefaultHeight);
    const QSize size(std::min(kDefaultWidth, room.width() * 9 / 10), std::min(kDefaultHeight, room.height() * 9 / 10));
    resize(size);
    const QPoint centre = over ? over->frameGeometry().center() : room.center();
    QRect place(QPoint(0, 0), size);
    place.moveCenter(centre);
    place.moveLeft(std::clamp(place.left(), room.left(), std::max(room.left(), room.right() - size.width())));
    place.moveTop(std::clamp(place.top(), room.top(), std::max(room.top(), room.bottom() - size.height())));
    move(place.topLeft());
}

void TOverviewForm::SaveChoice(const char* name, int value)
{
    if (std::unique_ptr<QSettings> store = OpenPlacementStore())
        store->setValue(QLatin1String(name), value);
}

void TOverviewForm::SaveGeometry()
{
    if (!placed_)
        return;
    if (std::unique_ptr<QSettings> store = OpenPlacementStore())
        store->setValue(QLatin1String(kGeometryKey), saveGeometry());
}

void TOverviewForm::hideEvent(QHideEvent* event)
{
    SaveGeometry();
    QWidget::hideEvent(event);
}

void TOverviewForm::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

void TOverviewForm::ShowHeaders()
{
    const std::array<std::string, 8> headers = HeaderTexts(CurConfig.Get());
    if (headers == headers_)
        return;
    headers_ = headers;
    for (int k = 0; k < kColsPerLine; ++k)
        ColumnBox->setItemText(k, FromGbk(headers_[size_t(k)]));
}

void TOverviewForm::RefreshOverview()
{
    ShowHeaders();
    std::optional<TagOverview> next;
    const int column = Column();
    const int threshold = ThresholdMinutes();
    const BoardState state =
        ReadCurBoard([&](const TagMonitor& board) { next = TakeOverview(board, column, threshold, board.Clock()); });
    // A board being replaced: the last picture stays until the new one is laid out.
    if (state != BoardState::Replacing) {
        TileView->ShowOverview(std::move(next));
        ShowLegend(TileView->Shown());
    }

    const std::string age = CurLink
                                ? BoardAgeText(CurLink->connected.load(), WatchAnswer(*CurLink, SteadyMs()), SteadyMs())
                                : std::string();
    SetText(AgeLab, QString::fromStdString(age));
    AgeLab->setVisible(!age.empty());
}

void TOverviewForm::ShowLegend(const std::optional<TagOverview>& o)
{
    if (!o) {
        SetText(TotalLab, TTileView::EmptyText());
        LongerLab->hide();
        for (size_t i = 0; i < LegendLabs.size(); ++i) {
            LegendLabs[i]->hide();
            SwatchLabs[i]->hide();
        }
        return;
    }
    SetText(TotalLab, QStringLiteral("Total %1").arg(o->Total));
    if (o->ThresholdMinutes > 0) {
        SetText(LongerLab,
                QStringLiteral("Unchanged for more than %1 min: %2").arg(o->ThresholdMinutes).arg(o->Longer));
        LongerLab->show();
    } else {
        LongerLab->hide();
    }
    for (size_t i = 0; i < LegendLabs.size(); ++i) {
        if (i >= o->Legend.size()) {
            LegendLabs[i]->hide();
            SwatchLabs[i]->hide();
            continue;
        }
        const TagLegendEntry& e = o->Legend[i];
        QString name;
        if (e.OtherTexts > 0)
            name = QStringLiteral("%1 other texts").arg(e.OtherTexts);
        else if (e.Text.empty())
            name = QStringLiteral("(blank)");
        else
            name = FromGbk(e.Text);
        QString text = name + QLatin1Char(' ') + QString::number(e.Lines);
        if (o->ThresholdMinutes > 0 && e.Longer > 0)
            text += QStringLiteral(", %1 unchanged").arg(e.Longer);
        SetText(LegendLabs[i], text);
        LegendLabs[i]->show();
        // The gathered rest has no one colour.
        QLabel* swatch = SwatchLabs[i];
        const QColor back = e.OtherTexts > 0 ? palette().color(QPalette::Window) : ToQColor(e.BackColor);
        if (swatch->palette().color(QPalette::Window) != back) {
            QPalette pal = swatch->palette();
            pal.setColor(QPalette::Window, back);
            swatch->setPalette(pal);
        }
        swatch->show();
    }
}

QString TOverviewForm::LineToolTip(int line) const
{
    const int column = Column();
    std::optional<TagOverviewLine> info;
    ReadCurBoard([&](const TagMonitor& board) { info = OverviewLine(board, line, column, board.Clock()); });
    if (!info)
        return QString();
    QString text =
        QStringLiteral("Line %1: %2 for %3")
            .arg(line)
            .arg(FromGbk(info->Texts[size_t(column)]), QString::fromStdString(SpanText(info->SecondsInState)));
    for (int k = 0; k < kColsPerLine; ++k)
        text +=
            QLatin1Char('\n') + FromGbk(headers_[size_t(k)]) + QStringLiteral(": ") + FromGbk(info->Texts[size_t(k)]);
    return text;
}
