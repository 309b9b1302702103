#include "app/TileView.h"

#include "platform/qt/PlainText.h"

#include <QEvent>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QToolTip>

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
