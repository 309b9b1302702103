#pragma once
// The line overview's drawing of the tiles, apart from the widget so that a benchmark paints exactly
// what the window does.

#include "board/OverviewPicture.h"
#include "board/TileLayout.h"

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPointF>
#include <QRawFont>
#include <QRect>
#include <array>
#include <utility>
#include <vector>

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
    // A replayed line the history cannot vouch for: its tile's background crossed by diagonal lines
    // of this colour, a logical pixel wide every kHatchPitch.
    static QColor HatchColor() { return QColor(150, 150, 150); }
    static constexpr int kHatchPitch = 4;
    // A swatch of the same hatching, for the legend.
    static QImage HatchSwatch(QColor background, int size);
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
    void HatchGaps(const TagTileLayout& layout, const TagOverview& o, qreal dpr);
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
