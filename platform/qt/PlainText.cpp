#include "platform/qt/PlainText.h"

#include "platform/Utf8.h"

#include <QTextDocument>
#include <utility>

namespace {

// A plain tooltip this short stays as it is: Qt wraps a wider one at its spaces only.
constexpr qsizetype kPlainTipLine = 80;

QString CutTip(const QString& text)
{
    qsizetype chars = 0;
    qsizetype keep = 0; // where the last character that fits beside the ellipsis ends
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i].isLowSurrogate() && i > 0 && text[i - 1].isHighSurrogate())
            continue;
        if (++chars == qsizetype(kTipChars))
            keep = i;
        else if (chars > qsizetype(kTipChars))
            return text.left(keep) + QChar(0x2026);
    }
    return text;
}

bool HasLongLine(const QString& text)
{
    qsizetype run = 0;
    for (const QChar ch : text) {
        run = ch == QLatin1Char('\n') ? 0 : run + 1;
        if (run > kPlainTipLine)
            return true;
    }
    return false;
}

} // namespace

QString PlainToolTip(const QString& text)
{
    QString tip = CutTip(text);
    if (!Qt::mightBeRichText(tip) && !HasLongLine(tip))
        return tip;
    QString html = QStringLiteral("<p style='white-space:pre-wrap'>");
    html.reserve(html.size() + tip.size() * 11 / 10 + 8);
    qsizetype run = 0;
    for (const QChar ch : std::as_const(tip)) {
        if (ch == QLatin1Char('\n')) {
            html += QStringLiteral("<br>");
            run = 0;
            continue;
        }
        if (ch.isSpace()) {
            run = 0;
        } else if (!ch.isLowSurrogate() && run >= kTipRunChars) {
            html += QChar(0x200B);
            run = 0;
        }
        switch (ch.unicode()) {
        case '<':
            html += QStringLiteral("&lt;");
            break;
        case '>':
            html += QStringLiteral("&gt;");
            break;
        case '&':
            html += QStringLiteral("&amp;");
            break;
        case '"':
            html += QStringLiteral("&quot;");
            break;
        default:
            html += ch;
        }
        if (!ch.isSpace() && !ch.isHighSurrogate())
            ++run;
    }
    return html + QStringLiteral("</p>");
}
