#include "app/TilePainter.h"

#include "board/qt/BoardColors.h"

#include <QGlyphRun>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr int kLargestNumberPx = 12;
constexpr int kSmallestNumberPx = 7;

int Digits(int n)
{
    int d = 1;
    for (; n >= 10; n /= 10)
        ++d;
    return d;
}

} // namespace

QRect TTilePainter::TileRectOf(const TagTileLayout& layout, int line)
{
    const TagTileRect r = TileRect(layout, line, kGap);
    return QRect(r.X, r.Y, r.Width, r.Height);
}

void TTilePainter::Prepare(const TagTileLayout& layout, const QFont& font)
{
    if (layout == preparedFor_ && font == baseFont_)
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
    HatchGaps(layout, o, dpr);
}

namespace {

// Whether a pixel dx, dy from a hatched area's corner is on one of its lines.
bool OnHatch(int dx, int dy, int pitch, int width)
{
    return (dx + dy) % pitch < width;
}

} // namespace

QImage TTilePainter::HatchSwatch(QColor background, int size)
{
    QImage swatch(size, size, QImage::Format_RGB32);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x)
            swatch.setPixel(x, y, OnHatch(x, y, kHatchPitch, 1) ? HatchColor().rgb() : background.rgb());
    }
    return swatch;
}

void TTilePainter::HatchGaps(const TagTileLayout& layout, const TagOverview& o, qreal dpr)
{
    const int count = std::min(layout.Count, int(o.Tiles.size()));
    if (layout.Empty() || count == 0)
        return;
    const auto edge = [dpr](int logical) { return int(std::lround(logical * dpr)); };
    const int pitch = std::max(2, edge(kHatchPitch));
    const int width = std::max(1, edge(1));
    const QRgb hatch = HatchColor().rgb();
    const QRect bounds = image_.rect();
    for (int line = 0; line < count; ++line) {
        if (!o.Tiles[size_t(line)].Gap)
            continue;
        const int row = line / layout.Columns;
        const int col = line % layout.Columns;
        const QRect tile =
            QRect(QPoint(edge(col * layout.TileWidth), edge(row * layout.TileHeight)),
                  QPoint(edge((col + 1) * layout.TileWidth - kGap) - 1, edge((row + 1) * layout.TileHeight - kGap) - 1))
                .intersected(bounds);
        for (int y = tile.top(); y <= tile.bottom(); ++y) {
            auto* pixels = reinterpret_cast<QRgb*>(image_.scanLine(y));
            for (int x = tile.left(); x <= tile.right(); ++x) {
                if (OnHatch(x - tile.left(), y - tile.top(), pitch, width))
                    pixels[x] = hatch;
            }
        }
    }
}

void TTilePainter::Paint(QPainter& painter, const TagTileLayout& layout, const TagOverview& o, const QSize& area,
                         const QRect& exposed, const QFont& font, const QColor& background, bool changed)
{
    Prepare(layout, font);
    const qreal dpr = painter.device() ? painter.device()->devicePixelRatio() : 1.0;
    const bool same = composedLayout_ == layout && composedArea_ == area && composedBackground_ == background.rgb() &&
                      composedDpr_ == dpr;
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
