// The administrator's start-up as app/main.cpp does it, ending as soon as the main window
// is shown and the event loop has nothing left to do. With NORVANE_BENCH_COUNT set it
// prints how many controls of each kind the window has (for the floor) instead.
#include "Main.h"

#include <QAbstractEventDispatcher>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include <cstdio>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Norvane Admin"));
    norvane::Main window;
    window.show();
    if (!qEnvironmentVariableIsEmpty("NORVANE_BENCH_COUNT")) {
        int lineEdits = 0;
        for (QLineEdit* e : window.findChildren<QLineEdit*>())
            lineEdits += qobject_cast<QComboBox*>(e->parentWidget()) ? 0 : 1;
        std::printf("%lld %lld %d %lld %lld %lld %lld %lld\n", static_cast<long long>(window.findChildren<QLabel*>().size()),
                    static_cast<long long>(window.findChildren<QCheckBox*>().size()), lineEdits,
                    static_cast<long long>(window.findChildren<QComboBox*>().size()),
                    static_cast<long long>(window.findChildren<QPushButton*>().size()),
                    static_cast<long long>(window.findChildren<QGroupBox*>().size()),
                    static_cast<long long>(window.findChildren<QPlainTextEdit*>().size()),
                    static_cast<long long>(window.findChildren<QAction*>().size()));
        return 0;
    }
    // Idle: the first time the event loop is about to wait for something to happen.
    QObject::connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock, &app,
                     [] { QCoreApplication::exit(0); });
    return QApplication::exec();
}
