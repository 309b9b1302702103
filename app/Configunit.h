#pragma once
// The Configure dialog: edits the server address and port, the poll delay and the number of line
// groups of the shared settings, and saves them to the configuration file.

#include "app/Design.h"

class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;

class TConfigForm : public TDesignDialog {
    Q_OBJECT
public:
    // Creating the dialog runs FormCreate, which fills the boxes once.
    explicit TConfigForm(QWidget* parent = nullptr);

    // Components, named as in the dialog's design.
    QLabel* Image2 = nullptr;
    QFrame* Panel2 = nullptr;
    QLineEdit* AddrEdit = nullptr;
    QLineEdit* PortEdit = nullptr;
    QLineEdit* DelayEdit = nullptr;
    QLineEdit* GroupNumEdit = nullptr;
    QFrame* Panel1 = nullptr;
    QPushButton* Button1 = nullptr;
    QPushButton* Button2 = nullptr;

public slots:
    void Button1Click();
    void Button2Click();

private:
    void FormCreate();
};

extern TConfigForm* ConfigForm;
