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
