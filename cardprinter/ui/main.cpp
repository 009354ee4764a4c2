// The card program: holds the contacts the log program hands over on the session bus, lists them, and prints the
// chosen ones as QSL cards (Japanese postcards, 100 x 148 mm) on the system's printers or into a PDF.
#include "CardSettings.h"
#include "CardWindow.h"
#include "CardoApplication.h"
#include "app/UiLocale.h"
#include "app/WindowPlace.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusError>
#include <QTimer>
#include <cstdio>

int main(int argc, char** argv)
{
    // Started by the bus without a display (tests, scripts): draw offscreen.
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
        && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("kelbo-cardprinter"));
    QApplication::setApplicationDisplayName(QStringLiteral("KELBO カード印刷"));
    QApplication::setDesktopFileName(QStringLiteral("kelbo-cardprinter"));
    // Qt's own dialogs (print preview, print dialog, OK/Cancel) in the operator's language, and a proportional
    // face for the windows (the card font is for the cards only).
    setUpUiLocale();
    QApplication::setQuitOnLastWindowClosed(false);

    CardoApplication cardo;
    CardWindow window(cardo);
    // The window opens beside KELBO's, not over it, and then where the operator last left it.
    keepWindowPlace(&window, cardSettingsPath());
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.registerObject(QStringLiteral("/CARDO/Application"), &cardo,
                            QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllProperties)) {
        std::fprintf(stderr, "kelbo-cardprinter: cannot export the object: %s\n",
                     qPrintable(bus.lastError().message()));
        return 1;
    }
    if (!bus.registerService(QStringLiteral("CARDO.Application"))) {
        std::fprintf(stderr, "kelbo-cardprinter: cannot own CARDO.Application: %s\n",
                     qPrintable(bus.lastError().message()));
        return 1;
    }
    // Leave with the bus: a private test bus goes away with its session.
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, &app, [&bus] {
        if (!bus.isConnected()) {
            QApplication::quit();
        }
    });
    watch.start(1000);
    return QApplication::exec();
}
