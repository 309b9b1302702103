#include "app/Application.h"

#include "app/Aboutunit.h"
#include "app/Configunit.h"
#include "app/Unit1.h"
#include "common/Texts.h"
#include "platform/qt/Gbk.h"
#include "settings/Config.h"

#include <QMessageBox>
#include <exception>

namespace {

void ShowErrorBox(const QString& text)
{
    QMessageBox::critical(nullptr, QCoreApplication::applicationName(), text);
}

} // namespace

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        ShowErrorBox(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        ShowErrorBox(QString());
    }
    return false;
}

void InstallMessageBoxes()
{
    SetMessageHandler([](const TagMessage& m) {
        QMessageBox box(m.icon == MsgIcon::Error ? QMessageBox::Critical : QMessageBox::NoIcon,
                        m.caption.empty() ? QCoreApplication::applicationName() : FromGbk(m.caption), FromGbk(m.text),
                        QMessageBox::Ok);
        box.setTextFormat(Qt::PlainText);
        box.exec();
    });
}

int RunApplication(int argc, char* argv[], const StartupHooks& hooks)
{
    auto reached = [&hooks](StartupStep step) {
        if (hooks.step)
            hooks.step(step);
    };
    TApplication app(argc, argv);
    app.setApplicationName(QLatin1String(Texts::kAppTitle));
    app.setOrganizationName(QStringLiteral("Halverdon"));
    InstallMessageBoxes();
    reached(StartupStep::Application);

    // Built here rather than before main: its error box needs the application object.
    CreateCurConfig();
    reached(StartupStep::Settings);

    LinkTiming timing;
    if (hooks.timing)
        hooks.timing(timing);
    int result = 0;
    try {
        Form1 = new TForm1(timing);
        reached(StartupStep::MainWindow);
        Form2 = new TForm2(Form1);
        reached(StartupStep::AboutDialog);
        ConfigForm = new TConfigForm(Form1);
        reached(StartupStep::ConfigureDialog);
        reached(StartupStep::MessageLoop);
        Form1->show();
        if (hooks.loop)
            hooks.loop(app);
        else
            app.exec();
    } catch (const std::exception& e) {
        ShowErrorBox(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        ShowErrorBox(QString());
    }
    reached(StartupStep::Done);
    delete Form1;
    Form1 = nullptr;
    Form2 = nullptr;
    ConfigForm = nullptr;
    return result;
}
