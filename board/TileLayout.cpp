#include "board/TileLayout.h"

TagTileLayout LayTiles(int count, int width, int height)
{
    TagTileLayout best;
    if (count <= 0 || width <= 0 || height <= 0)
        return best;
    long bestArea = -1;
    int bestSide = -1;
    for (int columns = 1; columns <= count && columns <= width; ++columns) {
        const int rows = (count + columns - 1) / columns;
        if (rows > height)
            continue;
        const int w = width / columns;
        const int h = height / rows;
        const int side = w < h ? w : h;
        const long area = long(w) * h;
        if (side > bestSide || (side == bestSide && area > bestArea)) {
            best = {columns, rows, w, h, count};
            bestSide = side;
            bestArea = area;
        }
    }
    return best;
}

TagTileRect TileRect(const TagTileLayout& layout, int index, int gap)
{
    if (layout.Empty() || index < 0 || index >= layout.Count)
        return {};
    const int w = layout.TileWidth > gap ? layout.TileWidth - gap : layout.TileWidth;
    const int h = layout.TileHeight > gap ? layout.TileHeight - gap : layout.TileHeight;
    return {index % layout.Columns * layout.TileWidth, index / layout.Columns * layout.TileHeight, w, h};
}

int TileAt(const TagTileLayout& layout, int x, int y, int gap)
{
    if (layout.Empty() || x < 0 || y < 0)
        return -1;
    const int column = x / layout.TileWidth;
    const int row = y / layout.TileHeight;
    if (column >= layout.Columns || row >= layout.Rows)
        return -1;
    const int index = row * layout.Columns + column;
    if (index >= layout.Count)
        return -1;
    const TagTileRect r = TileRect(layout, index, gap);
    return x < r.X + r.Width && y < r.Y + r.Height ? index : -1;
}
