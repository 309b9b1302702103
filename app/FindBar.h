#pragma once
// The find bar above the status panel: a line number or a text, and where the search stands. Hidden
// until the operator asks for it.

#include <QWidget>

class QLabel;
class QLineEdit;

class TFindBar : public QWidget {
    Q_OBJECT
public:
    explicit TFindBar(QWidget* parent = nullptr);

    QLineEdit* FindEdit = nullptr;
    QLabel* FindStatusLab = nullptr;

    // Shows the bar with the field's text selected, ready for a new search.
    void Open();
    // "3 of 17", "no match", ... beside the field; a failed search colours the field.
    void ShowStatus(const QString& text, bool failed);

signals:
    void FindRequested(bool backwards);
    void Closed();

protected:
    void keyPressEvent(QKeyEvent* event) override;
};
