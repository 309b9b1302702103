#include "app/ToolWindow.h"

#include "app/Design.h"
#include "settings/qt/Placement.h"

#include <QKeyEvent>
#include <QSettings>

TToolWindow::TToolWindow(const char* geometryKey, QSize preferred, QWidget* parent)
    : QWidget(parent, Qt::Window), geometryKey_(geometryKey), preferred_(preferred)
{
}

TToolWindow::~TToolWindow()
{
    // Destroyed with the main window, which closes without closing this one first.
    if (isVisible())
        SaveGeometry();
}

void TToolWindow::PlaceOnce()
{
    if (placed_)
        return;
    placed_ = true;
    PlaceWindowFirstTime(*this, geometryKey_, preferred_);
}

void TToolWindow::SaveGeometry()
{
    // A window never placed has no geometry of the operator's to keep.
    if (!placed_)
        return;
    if (std::unique_ptr<QSettings> store = OpenPlacementStore())
        store->setValue(QLatin1String(geometryKey_), saveGeometry());
}

void TToolWindow::hideEvent(QHideEvent* event)
{
    SaveGeometry();
    QWidget::hideEvent(event);
}

void TToolWindow::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}
