#include "app/ElidedLabel.h"

#include "platform/Utf8.h"
#include "platform/qt/PlainText.h"

#include <QEvent>
#include <QFontMetrics>
#include <algorithm>

namespace {

// Eliding measures the whole text: nothing wider than a screen needs more characters than this.
constexpr qsizetype kElideChars = 512;

} // namespace

TElidedLabel::TElidedLabel(QWidget* parent) : QLabel(parent)
{
    setTextFormat(Qt::PlainText);
    setWordWrap(false);
}

void TElidedLabel::SetTexts(const QString& name, const QString& suffix)
{
    if (name == name_ && suffix == suffix_)
        return;
    name_ = name;
    suffix_ = suffix;
    const QString full = FullText();
    setToolTip(PlainToolTip(full));
    setAccessibleName(full);
    Elide();
}

QString TElidedLabel::FullText() const
{
    const qsizetype keep = qsizetype(kTipChars) - suffix_.size();
    if (name_.size() <= keep)
        return name_ + suffix_;
    return name_.left(std::max<qsizetype>(keep - 1, 0)) + QChar(0x2026) + suffix_;
}

QSize TElidedLabel::minimumSizeHint() const
{
    return {0, QLabel::minimumSizeHint().height()};
}

QSize TElidedLabel::sizeHint() const
{
    return {0, QLabel::sizeHint().height()};
}

void TElidedLabel::resizeEvent(QResizeEvent* event)
{
    QLabel::resizeEvent(event);
    Elide();
}

void TElidedLabel::changeEvent(QEvent* event)
{
    QLabel::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        Elide();
}

void TElidedLabel::Elide()
{
    const QFontMetrics fm(font());
    const int room = contentsRect().width() - fm.horizontalAdvance(suffix_);
    QString name = name_.size() > kElideChars ? name_.left(kElideChars - 1) + QChar(0x2026) : name_;
    // One line: a line end or another control character from the server shows as U+FFFD.
    for (QChar& ch : name) {
        if (ch.unicode() < 0x20 || ch.unicode() == 0x7F || ch == QChar::LineSeparator ||
            ch == QChar::ParagraphSeparator)
            ch = QChar::ReplacementCharacter;
    }
    const int width = contentsRect().width();
    QString shown;
    if (fm.horizontalAdvance(name) <= room || fm.horizontalAdvance(suffix_) <= width / 2) {
        shown = fm.elidedText(name, Qt::ElideRight, std::max(room, 0)) + suffix_;
    } else {
        // A long suffix ("408, 408 unchanged") goes on a line of its own under the name.
        shown = fm.elidedText(name, Qt::ElideRight, width) + QLatin1Char('\n') +
                fm.elidedText(suffix_.trimmed(), Qt::ElideRight, width);
    }
    if (text() != shown)
        setText(shown);
}
