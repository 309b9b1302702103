#pragma once
// The look every window of the program shares.

#include <QDialog>
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

// Places a window of its own (the overview, the alerts window) when it is first shown: where the
// operator left it (the geometry kept under geometryKey in the per-user store), else at the
// preferred size, its frame no larger than nine tenths of the screen, centred over the window it
// was asked from and all of it on the screen.
void PlaceWindowFirstTime(QWidget& window, const char* geometryKey, QSize preferred);

// What the two dialogs share: a fixed dialog frame without minimise or maximise box, the design
// font, a fixed client size, and centring on the desktop each time the dialog is shown.
class TDesignDialog : public QDialog {
public:
    TDesignDialog(const char* objectName, const char* caption, QSize clientSize, QWidget* parent);
    void setVisible(bool visible) override;
};
