#pragma once
// The Configure dialog.

#include <QDialog>

class TConfigForm : public QDialog {
    Q_OBJECT
public:
    explicit TConfigForm(QWidget* parent = nullptr);
};

extern TConfigForm* ConfigForm;
