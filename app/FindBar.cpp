#include "app/FindBar.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>

TFindBar::TFindBar(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("FindBar"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(2, 1, 2, 1);
    layout->setSpacing(6);
    auto* caption = new QLabel(QStringLiteral("&Find:"), this);
    FindEdit = new QLineEdit(this);
    FindEdit->setObjectName(QStringLiteral("FindEdit"));
    FindEdit->setPlaceholderText(QStringLiteral("line number or text"));
    FindEdit->setClearButtonEnabled(true);
    caption->setBuddy(FindEdit);
    FindStatusLab = new QLabel(this);
    FindStatusLab->setObjectName(QStringLiteral("FindStatusLab"));
    FindStatusLab->setTextFormat(Qt::PlainText);
    FindStatusLab->setMinimumWidth(90);
    layout->addWidget(caption);
    layout->addWidget(FindEdit, 1);
    layout->addWidget(FindStatusLab);
    connect(FindEdit, &QLineEdit::returnPressed, this, [this] { emit FindRequested(false); });
    connect(FindEdit, &QLineEdit::textEdited, this, [this] { ShowStatus(QString(), false); });
    hide();
}

void TFindBar::Open()
{
    show();
    FindEdit->setFocus(Qt::ShortcutFocusReason);
    FindEdit->selectAll();
}

void TFindBar::ShowStatus(const QString& text, bool failed)
{
    FindStatusLab->setText(text);
    QPalette pal = FindEdit->palette();
    pal.setColor(QPalette::Base, failed ? QColor(255, 210, 210) : palette().color(QPalette::Base));
    FindEdit->setPalette(pal);
}

void TFindBar::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        hide();
        emit Closed();
        return;
    }
    QWidget::keyPressEvent(event);
}
