#pragma once
// The line overview's tiles as a widget: hover texts, clicks, repainting only what changed.

#include "app/TilePainter.h"
#include "board/OverviewPicture.h"
#include "board/TileLayout.h"

#include <QWidget>
#include <functional>
#include <optional>

class TTileView : public QWidget {
    Q_OBJECT
public:
    explicit TTileView(QWidget* parent = nullptr);

    // Shows o, or the empty state without one. Repaints only the tiles that look different from
    // those shown; all of them when the line count changes or the empty state ends.
    void ShowOverview(std::optional<TagOverview> o);
    const std::optional<TagOverview>& Shown() const { return shown_; }
    const TagTileLayout& Layout() const { return layout_; }
    const TTilePainter& Painter() const { return painter_; }
    int LineAt(const QPoint& point) const;
    QRect TileRectOf(int line) const;

    // The hover text of a line, plain; the window reads it from the board.
    std::function<QString(int line)> LineToolTip;
    // The text shown without a board.
    static QString EmptyText() { return QStringLiteral("no board yet"); }
    // A plain text as a tooltip shows it: never taken as markup, its line ends kept.

signals:
    void LineClicked(int line);

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void Relayout();

    std::optional<TagOverview> shown_;
    TagTileLayout layout_;
    TTilePainter painter_;
    int pressed_ = -1;
    bool changed_ = true; // the picture differs from the one last painted
};
