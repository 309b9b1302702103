#include "app/Design.h"

#include <QFrame>
#include <QScreen>
#include <QWidget>

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
