#pragma once
// The look every window of the program shares.

#include <QFont>
#include <QRect>

class QFrame;
class QWidget;

// "MS Sans Serif" 11 pixels where it exists; elsewhere the closest sans serif with CJK glyphs.
QFont DesignFont();

// A sunken horizontal rule at a fixed place in a dialog.
QFrame* MakeRule(const char* objectName, const QRect& geometry, QWidget* parent);

// Centres a dialog on the desktop rather than over the main window.
void CentreOnDesktop(QWidget& dialog);
