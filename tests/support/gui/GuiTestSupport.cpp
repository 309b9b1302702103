#include "support/gui/GuiTestSupport.h"

#include "support/TestSupport.h"

#include <QApplication>
#include <QTimer>
#include <QWidget>

LinkTiming WindowTiming()
{
    LinkTiming t = ShortTiming();
    t.firstConnectTimeout = std::chrono::milliseconds(50);
    return t;
}

void CloseStrayWindowsAfter(int milliseconds)
{
    QTimer::singleShot(milliseconds, [] {
        while (QWidget* popup = QApplication::activePopupWidget())
            popup->close();
        while (QWidget* modal = QApplication::activeModalWidget())
            modal->close();
    });
}
