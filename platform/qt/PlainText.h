#pragma once
// Texts from the server and the files shown where Qt would take markup for markup: tooltips.

#include <QString>

// The text as a tooltip shows it literally: unchanged when Qt would read it as plain text anyway,
// escaped (line ends kept) when it looks like markup.
QString PlainToolTip(const QString& text);
