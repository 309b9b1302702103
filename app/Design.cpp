#include "app/Design.h"

#include "settings/qt/Placement.h"

#include <QFrame>
#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <QWidget>

#include <algorithm>

QFont DesignFont()
{
    QFont font;
    font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Microsoft Sans Serif"),
                      QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("Sans Serif")});
    font.setPixelSize(11);
    return font;
}

QFrame* MakeRule(const char* objectName, const QRect& geometry, QWidget* parent)
{
    auto* rule = new QFrame(parent);
    rule->setObjectName(QLatin1String(objectName));
    rule->setFrameStyle(QFrame::HLine | QFrame::Sunken);
    rule->setLineWidth(1);
    rule->setGeometry(geometry);
    return rule;
}

void CentreOnDesktop(QWidget& dialog)
{
    if (QScreen* s = dialog.screen())
        dialog.move(s->availableGeometry().center() - dialog.rect().center());
}

TDesignDialog::TDesignDialog(const char* objectName, const char* caption, QSize clientSize, QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QLatin1String(objectName));
    setWindowTitle(QLatin1String(caption));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFont(DesignFont());
    setFixedSize(clientSize);
}

void TDesignDialog::setVisible(bool visible)
{
    // Centred on the desktop rather than over the main window.
    if (visible && !isVisible())
        CentreOnDesktop(*this);
    QDialog::setVisible(visible);
}

void PlaceWindowFirstTime(QWidget& window, const char* geometryKey, QSize preferred)
{
    if (std::unique_ptr<QSettings> store = OpenPlacementStore()) {
        const QByteArray geometry = store->value(QLatin1String(geometryKey)).toByteArray();
        if (!geometry.isEmpty() && window.restoreGeometry(geometry))
            return;
    }
    // The window has no frame until it is shown: the window manager's frame round the window it was
    // asked from stands in for it.
    QWidget* over = window.parentWidget() ? window.parentWidget()->window() : nullptr;
    QScreen* screen = over ? over->screen() : QGuiApplication::primaryScreen();
    const QRect room = screen ? screen->availableGeometry() : QRect(QPoint(0, 0), preferred);
    QMargins frame;
    if (over && over->isVisible()) {
        const QRect outer = over->frameGeometry();
        const QRect inner = over->geometry();
        frame = QMargins(inner.left() - outer.left(), inner.top() - outer.top(), outer.right() - inner.right(),
                         outer.bottom() - inner.bottom());
    }
    const QSize size(std::min(preferred.width(), room.width() * 9 / 10 - frame.left() - frame.right()),
                     std::min(preferred.height(), room.height() * 9 / 10 - frame.top() - frame.bottom()));
    window.resize(size);
    QRect place(QPoint(0, 0), size.grownBy(frame));
    place.moveCenter(over ? over->frameGeometry().center() : room.center());
    place.moveLeft(std::clamp(place.left(), room.left(), std::max(room.left(), room.right() + 1 - place.width())));
    place.moveTop(std::clamp(place.top(), room.top(), std::max(room.top(), room.bottom() + 1 - place.height())));
    // A window's position is that of its frame.
    window.move(place.topLeft());
}
