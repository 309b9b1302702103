#pragma once
// One line of text that never asks for more width than it is given: the server's texts in the
// overview's legend may be 30,000 bytes long. The name is elided to what the width leaves beside
// its suffix (the count), so the count always shows; a suffix wider than half the label goes on a
// second line. The whole text is the tooltip and what a screen reader reads.

#include <QLabel>

class TElidedLabel : public QLabel {
public:
    explicit TElidedLabel(QWidget* parent = nullptr);

    // Shows name, cut with an ellipsis where needed, followed by suffix. Plain text.
    void SetTexts(const QString& name, const QString& suffix);
    // name + suffix, cut at kTipChars characters.
    QString FullText() const;

    QSize minimumSizeHint() const override;
    QSize sizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void Elide();

    QString name_;
    QString suffix_;
};
