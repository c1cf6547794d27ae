// The floor for start-up: a bare Qt Widgets main window with as many controls of each kind
// as the administrator's (counts as arguments), on seven tabs, shown until idle.
// Usage: bench_startup_floor LABELS CHECKBOXES LINEEDITS COMBOS BUTTONS FRAMES EDITORS ACTIONS
#include <QAbstractEventDispatcher>
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

#include <array>
#include <cstdlib>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    std::array<int, 8> n{40, 40, 17, 3, 8, 6, 2, 7};
    for (int i = 0; i < 8 && i + 1 < argc; ++i)
        n[static_cast<std::size_t>(i)] = std::atoi(argv[i + 1]);
    QMainWindow window;
    auto* tabs = new QTabWidget;
    std::array<QWidget*, 7> pages{};
    for (std::size_t p = 0; p < pages.size(); ++p) {
        pages[p] = new QWidget;
        tabs->addTab(pages[p], QStringLiteral("Tab %1").arg(p));
    }
    window.setCentralWidget(tabs);
    int k = 0;
    // Spread over the pages; absolute positions, as the administrator places its controls.
    auto place = [&](QWidget* w) {
        w->setParent(pages[static_cast<std::size_t>(k % 7)]);
        w->setGeometry(8 + (k % 5) * 100, 8 + (k / 5 % 12) * 26, 96, 22);
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
    QMenu* file = window.menuBar()->addMenu(QStringLiteral("&File"));
    for (int i = 0; i < n[7]; ++i)
        file->addAction(QStringLiteral("Item %1").arg(i));
    window.resize(500, 330);
    window.show();
    QObject::connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock, &app,
                     [] { QCoreApplication::exit(0); });
    return QApplication::exec();
}
