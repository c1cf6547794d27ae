// The administrator: one main window over the server's settings.
#include "CommandLine.h"
#include "DisplayCheck.h"
#include "Main.h"

#include <QApplication>
#include <QIcon>

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
    // The menu entry's icon, from the icon theme it is installed in; a Wayland compositor
    // matches the window to its menu entry by the desktop file name.
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral(NORVANE_APP_ID)));
    QGuiApplication::setDesktopFileName(QStringLiteral(NORVANE_APP_ID));
    norvane::Main window;
    window.show();
    return QApplication::exec();
}
