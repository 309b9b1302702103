#include "platform/qt/PlainText.h"
#include "platform/Utf8.h"
#include "support/gui/LinuxOnly.h"

#include <QApplication>
#include <QLabel>
#include <QScreen>
#include <QTextDocument>
#include <QToolTip>
#include <gtest/gtest.h>

namespace {

// What the tooltip's label shows, as text: markup when it looks like markup, else plain text.
QString Shown(const QString& tip)
{
    QTextDocument doc;
    if (Qt::mightBeRichText(tip))
        doc.setHtml(tip);
    else
        doc.setPlainText(tip);
    QString text = doc.toPlainText();
    text.remove(QChar(0x200B));
    text.replace(QChar::Nbsp, QLatin1Char(' '));
    return text;
}

qsizetype CodePoints(const QString& text)
{
    return text.toUcs4().size();
}

// The tooltip label Qt shows, once shown.
QWidget* TipLabel()
{
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->inherits("QTipLabel") && w->isVisible())
            return w;
    }
    return nullptr;
}

struct TipCase {
    const char* name;
    QString text;
};

TEST(PlainToolTipTest, EveryTextIsShownLiterallyCutAndNoWiderThanTheScreen)
{
    QUORVANE_LINUX_ONLY("Qt lays a word-wrapped tip out 80 average characters wide: 872 pixels in Wine's default font, "
                        "wider than the 800-pixel offscreen screen");
    const QString cjk = QString::fromUtf8("通话中");
    const TipCase cases[] = {
        {"short", QStringLiteral("Link up\nsince 14:03")},
        {"markup", QStringLiteral("<b>Talking</b> & <i>more</i>")},
        {"30 KB starting with markup", QStringLiteral("<b>") + QString(30000, QLatin1Char('x'))},
        {"30 KB of words", QStringLiteral("<img src=x> ") + QStringLiteral("word ").repeated(6000)},
        {"long plain line", QString(5000, QLatin1Char('y'))},
        {"long Chinese", cjk.repeated(3000)},
        {"astral", QString::fromUtf8("\xF0\x9F\x98\x80").repeated(2500)},
    };
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    for (const TipCase& c : cases) {
        SCOPED_TRACE(c.name);
        const QString tip = PlainToolTip(c.text);
        const QString shown = Shown(tip);
        const qsizetype chars = CodePoints(c.text);
        if (chars <= qsizetype(kTipChars)) {
            EXPECT_EQ(shown, c.text);
        } else {
            EXPECT_EQ(CodePoints(shown), qsizetype(kTipChars));
            EXPECT_TRUE(shown.endsWith(QChar(0x2026)));
            EXPECT_TRUE(c.text.startsWith(shown.chopped(1)));
        }

        QToolTip::showText(screen.center(), tip);
        QWidget* label = TipLabel();
        ASSERT_NE(label, nullptr);
        EXPECT_LE(label->width(), screen.width());
        QToolTip::hideText();
    }
}

TEST(PlainToolTipTest, AShortPlainTextStaysAsItIs)
{
    const QString text = QStringLiteral("Link up since 14:03:27\nlast answer 1 s ago");
    EXPECT_EQ(PlainToolTip(text), text);
}

} // namespace
