#pragma once
// The program entry, kept out of main.cpp so it can be linked into tests.

#include "link/Link.h"

#include <QApplication>
#include <functional>

// Shows an exception that escapes an event handler in the standard error box, and goes on.
class TApplication : public QApplication {
public:
    TApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

// Installs the message handler that shows the core's boxes with QMessageBox.
void InstallMessageBoxes();

// The steps of the start-up, in their order; each is reported once it is done.
enum class StartupStep {
    Application,     // the application object exists and has its title
    Settings,        // CurConfig holds the defaults and the first read of Quorvane.cfg
    MainWindow,      // Form1 exists: its placement is restored and the first session started
    AboutDialog,     // Form2 exists
    ConfigureDialog, // ConfigForm exists and has read Quorvane.cfg
    MessageLoop,     // the message loop, which shows the main window, is about to run
    Done,            // the message loop has ended (or thrown), the windows still exist
};

// What a test may watch or replace in the start-up; the program passes none of it. step hears each
// step; timing sees the link timing the main window is given (tests record it, then shorten it);
// loop runs instead of the message loop (which it may run itself, or throw from).
struct StartupHooks {
    std::function<void(StartupStep)> step;
    std::function<void(LinkTiming&)> timing;
    std::function<int(QApplication&)> loop;
};

// The start-up order: title, settings, main window, About, Configure, message loop.
int RunApplication(int argc, char* argv[], const StartupHooks& hooks = StartupHooks());
