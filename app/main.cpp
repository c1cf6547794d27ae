// The administrator: one main window over the server's settings.
#include "CommandLine.h"
#include "DisplayCheck.h"
#include "Main.h"

#include <QApplication>

int main(int argc, char** argv) {
    // Every argument is --help, --version or a mistake; none of them opens a window.
    if (argc > 1)
        return norvane::RunCommandLine(argc, argv);
    if (const QString why = norvane::MissingDisplay(); !why.isEmpty())
        return norvane::ReportNoDisplay(why);

    norvane::PlatformFailureGuard guard;
    QApplication app(argc, argv);
    guard.disarm();
    QApplication::setApplicationName(QStringLiteral("Norvane Admin"));
    // Lets a Wayland compositor match the window to its menu entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral(NORVANE_APP_ID));
    norvane::Main window;
    window.show();
    return QApplication::exec();
}
