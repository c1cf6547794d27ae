// The floor for start-up: a bare Qt Widgets main window holding as many controls of each
// kind as the administrator's, where it holds them: some above a tab control of seven
// pages, the rest on those pages, so the first page shown is as full as the
// administrator's. Default style and font; shown until the first idle point.
// Usage: bench_startup_floor COUNTS... (as bench_startup_admin prints them with
// NORVANE_BENCH_COUNT set: seven kinds for the client area and for each page, then menu items)
#include "startup_idle.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>

#include <cstdlib>
#include <vector>

namespace {

constexpr int Kinds = 7;  // labels, check boxes, text boxes, combo boxes, buttons, frames, editors
constexpr int Pages = 7;

// Fills a container with the counts given, in rows, at absolute positions as the
// administrator places its controls.
void Fill(QWidget* container, const int* n) {
    int k = 0;
    auto place = [&](QWidget* w) {
        w->setParent(container);
        w->setGeometry(8 + (k % 5) * 96, 4 + (k / 5 % 8) * 24, 92, 22);
        ++k;
    };
    for (int i = 0; i < n[0]; ++i)
        place(new QLabel(QStringLiteral("Label %1:").arg(i)));
    for (int i = 0; i < n[1]; ++i)
        place(new QCheckBox(QStringLiteral("Option %1").arg(i)));
    for (int i = 0; i < n[2]; ++i)
        place(new QLineEdit(QStringLiteral("value %1").arg(i)));
    for (int i = 0; i < n[3]; ++i) {
        auto* c = new QComboBox;
        c->setEditable(i % 2 == 0);
        c->addItem(QStringLiteral("All"));
        place(c);
    }
    for (int i = 0; i < n[4]; ++i)
        place(new QPushButton(QStringLiteral("&Button %1").arg(i)));
    for (int i = 0; i < n[5]; ++i)
        place(new QGroupBox(QStringLiteral("Frame %1").arg(i)));
    for (int i = 0; i < n[6]; ++i)
        place(new QPlainTextEdit);
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    std::vector<int> n(Kinds * (Pages + 1) + 1, 0);
    for (std::size_t i = 0; i < n.size() && static_cast<int>(i) + 1 < argc; ++i)
        n[i] = std::atoi(argv[i + 1]);

    QMainWindow window;
    auto* client = new QWidget;
    client->setFixedSize(505, 290);
    window.setCentralWidget(client);
    Fill(client, &n[0]);
    auto* tabs = new QTabWidget(client);
    tabs->setGeometry(8, 48, 489, 233);
    for (int p = 0; p < Pages; ++p) {
        auto* page = new QWidget;
        tabs->addTab(page, QStringLiteral("Page %1").arg(p));
        Fill(page, &n[Kinds * (p + 1)]);
    }
    QMenu* file = window.menuBar()->addMenu(QStringLiteral("&File"));
    for (int i = 0; i < n[Kinds * (Pages + 1)]; ++i)
        file->addAction(QStringLiteral("Item %1").arg(i));
    window.show();
    norvane::bench::EndAtFirstIdle end(&window);
    return QApplication::exec();
}
