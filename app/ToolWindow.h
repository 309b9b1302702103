#pragma once
// What the windows of their own beside the main window (the line overview, the alerts window) share:
// placed the first time they are shown, where the operator left them or over the main window; their
// geometry kept in the per-user store when they hide and when the main window takes them down;
// Escape closes them.

#include <QSize>
#include <QWidget>

class TToolWindow : public QWidget {
    Q_OBJECT

public:
    // geometryKey: where the geometry is kept in the per-user store ("Overview/Geometry").
    TToolWindow(const char* geometryKey, QSize preferred, QWidget* parent);
    ~TToolWindow() override;

protected:
    // Places the window, once, before it is first shown.
    void PlaceOnce();

    void keyPressEvent(QKeyEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void SaveGeometry();

    const char* geometryKey_;
    QSize preferred_;
    bool placed_ = false;
};
