#pragma once
// The program entry, kept out of main.cpp so it can be linked into tests.

#include <QApplication>

// Shows an exception that escapes an event handler in the standard error box, and goes on.
class TApplication : public QApplication {
public:
    TApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

// Installs the message handler that shows the core's boxes with QMessageBox.
void InstallMessageBoxes();

// The start-up order: settings, title, main window, About, Configure, message loop.
int RunApplication(int argc, char* argv[]);
