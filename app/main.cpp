// The administrator: one main window over the server's settings.
#include "Main.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Norvane Admin"));
    norvane::Main window;
    window.show();
    return QApplication::exec();
}
