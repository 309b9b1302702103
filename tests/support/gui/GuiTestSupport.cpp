#include "support/gui/GuiTestSupport.h"

#include "board/BoardLock.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QMessageBox>
#include <QMetaEnum>
#include <QThread>
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

QString BoxTextOf(const std::function<void()>& fn)
{
    QString text;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) {
                text = box->text();
                box->done(QMessageBox::Ok);
            }
        }
    });
    poll.start(10);
    fn();
    return text;
}

bool BoardLockEventGuard::eventFilter(QObject* watched, QEvent* event)
{
    if (QThread::currentThread() == thread() && HoldsBoardLock()) {
        const char* type = QMetaEnum::fromType<QEvent::Type>().valueToKey(event->type());
        QString receiver = QString::fromLatin1(watched->metaObject()->className());
        if (!watched->objectName().isEmpty())
            receiver += QStringLiteral(" '%1'").arg(watched->objectName());
        BoardLockFault("event " + std::string(type ? type : "(unnamed)") + " (" + std::to_string(int(event->type())) +
                       ") delivered to " + receiver.toStdString() + " while the GUI thread holds " +
                       BoardLocksHeldHere() + ": an event loop runs under a board lock");
    }
    return false;
}
