#pragma once
// The line overview: every line of the board as a small tile in the colours of one column's cell,
// beside a legend of counts per text. Opened with F2 or from the grid's context menu; follows the
// board at the main window's refresh tick.

#include "board/Overview.h"
#include "board/TileLayout.h"

#include <QColor>
#include <QImage>
#include <QPointF>
#include <QRawFont>
#include <QRect>
#include <QWidget>
#include <array>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class QComboBox;
class QLabel;
class QPainter;

// The tile view's drawing, apart from the widget so that a benchmark paints exactly what the window
// does. It keeps the line numbers laid out for the tile size in use.
class TTilePainter {
public:
    static constexpr int kGap = 1;       // between tiles, right and below
    static constexpr int kMarkWidth = 2; // the outline of a stuck tile, inside the tile

    // Paints the part exposed of an area (the view's size) holding o's tiles laid out by layout
    // (LayTiles of o's lines), the gaps and the room beside the tiles in background. The tiles are
    // composed into an image of their own, again only when changed says the picture has, or the
    // layout, the area, the background or the device's pixel ratio differ from the last time.
    void Paint(QPainter& painter, const TagTileLayout& layout, const TagOverview& o, const QSize& area,
               const QRect& exposed, const QFont& font, const QColor& background, bool changed);

    static QRect TileRectOf(const TagTileLayout& layout, int line);
    // The outline of a stuck tile: a ring of each, the outer one black, so it shows on every colour
    // of the palette.
    static QColor MarkOuterColor() { return QColor(0, 0, 0); }
    static QColor MarkInnerColor() { return QColor(255, 255, 255); }
    // The pixel size of the numbers for this layout, 0 when the tiles are too small for any.
    int NumberPixelSize() const { return numbers_ ? numberFont_.pixelSize() : 0; }
    // Whether line's number is drawn in its tile.
    bool NumberFits(int line) const;

private:
    void Prepare(const TagTileLayout& layout, const QFont& font);
    void Compose(const TagTileLayout& layout, const TagOverview& o, const QSize& area, const QColor& background,
                 qreal dpr);
    struct TagInkRun;
    void AddNumber(TagInkRun& ink, int line, const QRect& tile) const;
    template <typename C> static C& Bucket(std::vector<std::pair<QRgb, C>>& buckets, QRgb colour);

    // The digits of the numbers of one colour, all drawn with one call.
    struct TagInkRun {
        std::vector<quint32> Glyphs;
        std::vector<QPointF> Positions;
    };

    TagTileLayout preparedFor_;
    QFont baseFont_;
    QFont numberFont_;
    bool numbers_ = false;
    int digitHeight_ = 0;              // of the digits' ink, for centring them
    int roomWidth_ = 0;                // what a tile leaves a number
    std::array<int, 6> digitWidths_{}; // the width of a number by its count of digits
    QRawFont rawFont_;
    std::array<quint32, 10> digitGlyphs_{};
    std::array<qreal, 10> digitAdvances_{};
    // The tiles as last composed, and for what.
    QImage image_;
    TagTileLayout composedLayout_;
    QSize composedArea_;
    QRgb composedBackground_ = 0;
    qreal composedDpr_ = 0;
    // Kept from paint to paint, so a paint allocates nothing: the pixel rows of a row of tiles, a
    // gap's row, the numbers by colour.
    std::array<std::vector<QRgb>, 3> rows_;
    std::vector<QRgb> gapRow_;
    std::vector<std::pair<QRgb, TagInkRun>> inks_;
};

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

class TOverviewForm : public QWidget {
    Q_OBJECT
public:
    explicit TOverviewForm(QWidget* parent = nullptr);
    ~TOverviewForm() override;

    // Shows the window where it was last (the first time over its parent) and gives it the focus.
    void Open();
    // The refresh tick: reads the board and shows what changed. Never moves, raises or activates
    // the window.
    void RefreshOverview();

    int Column() const;
    int ThresholdMinutes() const;
    // The line's eight texts under the grid's headers and its time in state, from the board.
    QString LineToolTip(int line) const;

    TTileView* TileView = nullptr;
    QWidget* LegendPan = nullptr;
    QComboBox* ColumnBox = nullptr;
    QComboBox* ThresholdBox = nullptr;
    QLabel* AgeLab = nullptr;        // how old the data is, when it is old
    QLabel* TotalLab = nullptr;      // "Total 2048" or "no board yet"
    QLabel* LongerLab = nullptr;     // the stuck lines, with a threshold
    std::vector<QLabel*> LegendLabs; // "Talking 412", most first
    std::vector<QLabel*> SwatchLabs; // the colours beside them

signals:
    void LineChosen(int line);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void ShowLegend(const std::optional<TagOverview>& o);
    void ShowHeaders();
    void SaveChoice(const char* name, int value);
    void SaveGeometry();
    void PlaceFirstTime();

    bool placed_ = false;
    std::array<std::string, 8> headers_;
};
