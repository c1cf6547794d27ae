// The administrator's start-up as app/main.cpp does it, ending at the first idle point
// after the main window is shown. With NORVANE_BENCH_COUNT set it prints instead how many
// controls of each kind the window has where (for the floor): the client area outside the
// tabs, then each tab page, then the menu items.
#include "Main.h"
#include "startup_idle.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>

#include <cstdio>

namespace {

// Labels, check boxes, text boxes, combo boxes, buttons, frames, editors.
template <class Find>
void PrintCounts(Find find) {
    int lineEdits = 0;
    for (QLineEdit* e : find(static_cast<QLineEdit*>(nullptr)))
        lineEdits += qobject_cast<QComboBox*>(e->parentWidget()) ? 0 : 1;  // a combo box's own is not counted
    std::printf("%lld %lld %d %lld %lld %lld %lld ", static_cast<long long>(find(static_cast<QLabel*>(nullptr)).size()),
                static_cast<long long>(find(static_cast<QCheckBox*>(nullptr)).size()), lineEdits,
                static_cast<long long>(find(static_cast<QComboBox*>(nullptr)).size()),
                static_cast<long long>(find(static_cast<QPushButton*>(nullptr)).size()),
                static_cast<long long>(find(static_cast<QGroupBox*>(nullptr)).size()),
                static_cast<long long>(find(static_cast<QPlainTextEdit*>(nullptr)).size()));
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Norvane Admin"));
    norvane::Main window;
    window.show();
    if (!qEnvironmentVariableIsEmpty("NORVANE_BENCH_COUNT")) {
        QWidget* client = window.centralWidget();
        PrintCounts([&](auto* kind) {
            return client->findChildren<std::remove_pointer_t<decltype(kind)>*>(Qt::FindDirectChildrenOnly);
        });
        for (int i = 0; i < window.tabMain->count(); ++i) {
            QWidget* page = window.tabMain->widget(i);
            PrintCounts([&](auto* kind) { return page->findChildren<std::remove_pointer_t<decltype(kind)>*>(); });
        }
        std::printf("%lld\n", static_cast<long long>(window.findChildren<QAction*>().size()));
        return 0;
    }
    norvane::bench::EndAtFirstIdle end(&window);
    return QApplication::exec();
}
