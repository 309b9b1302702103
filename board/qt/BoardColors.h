#pragma once
// The board's colours as the GUI draws them, and the GUI's own colours that more than one window
// uses.

#include "board/Board.h"

#include <QColor>

// 0x00BBGGRR, red in the lowest byte, as the board keeps it.
inline QColor ToQColor(TColor c)
{
    return QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF));
}

// The text of a server that is late with its answer: the status panel's and the overview's.
inline QColor OverdueColor()
{
    return QColor(204, 102, 0);
}
