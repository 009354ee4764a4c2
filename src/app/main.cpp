#include "app/SingleInstance.h"
#include "app/TMainWnd.h"
#include "app/UiLocale.h"
#include "app/UserDialogs.h"
#include "app/WriteRecovery.h"

#include <QApplication>
#include <QDir>
#include <exception>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("KELBO"));
    QGuiApplication::setDesktopFileName(QStringLiteral("kelbo"));
    // One KELBO per session: a later start hands its command line to the running one, which comes to the front.
    const QString instance = SingleInstance::defaultName();
    if (SingleInstance::handOff(instance, QCoreApplication::arguments(), QDir::currentPath())) {
        return 0;
    }
    // Standard buttons and file dialogs in the user's language, and a proportional face for the windows.
    setUpUiLocale();
    try {
        // A log write that a crash cut off is put right before any table is opened.
        RecoverInterruptedWrites(nullptr);
        TMainWnd wnd(QCoreApplication::arguments());
        SingleInstance later;
        later.listen(instance);
        QObject::connect(&later, &SingleInstance::started, &wnd,
                         [&wnd](const QStringList& arguments, const QString& currentDir) {
                             wnd.OpenFromCommandLine(arguments, currentDir);
                         });
        wnd.StartUp();
        wnd.show();
        app.exec();
    } catch (const std::exception& e) {
        // An error during start-up is shown; the program still ends normally.
        dialogs().ShowError(nullptr, QString::fromUtf8(e.what()));
    }
    return 0;
}
