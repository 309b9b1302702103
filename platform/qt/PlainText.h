#pragma once
// Texts from the server and the files shown where Qt would take markup for markup: tooltips.

#include <QString>

// Within a tooltip, a run of this many characters without a space gets a break opportunity (a
// zero-width space) after it, so a long word wraps instead of making the tip wider than the screen.
inline constexpr qsizetype kTipRunChars = 24;

// The text as a tooltip shows it literally, at most kTipChars characters (cut with an ellipsis).
// Unchanged when it is short and Qt would read it as plain text anyway; otherwise escaped (line
// ends kept) and wrapping, so no text makes the tip wider than the screen.
QString PlainToolTip(const QString& text);
