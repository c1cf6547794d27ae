// Draws the main window, one picture per tab, and the About window into PNG files, so the
// layout can be compared with its tables by eye. Run it on the offscreen platform:
//   QT_QPA_PLATFORM=offscreen norvane-pictures <directory>
#include "About.h"
#include "Main.h"
#include "MessageBox.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QPixmap>
#include <QTabWidget>
#include <QTemporaryDir>

#include <cstdio>

namespace {

bool save(QWidget* window, const QString& path) {
    QApplication::processEvents();
    if (!window->grab().save(path)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QString directory = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("pictures");
    if (!QDir().mkpath(directory)) {
        std::fprintf(stderr, "cannot create %s\n", qPrintable(directory));
        return 1;
    }
    // A store of our own, empty, so the pictures never show or touch the machine's settings.
    QTemporaryDir store;
    qputenv("NORVANE_REGISTRY", QDir(store.path()).filePath(QStringLiteral("registry.db")).toLocal8Bit());
    norvane::MessageBox::setTestMode(true);

    norvane::Main main;
    // Every control that a rule can show, shown: ODBC mode without Text, a text backup
    // from the database, trimming, a separate accounting source, both proxy branches.
    using norvane::Main;
    Main::SetValue(main.chkMode[1], 1);
    Main::SetValue(main.chkMode[0], 0);
    Main::SetValue(main.chkMode[2], 1);
    Main::SetValue(main.chkTrimName[0], 1);
    Main::SetValue(main.chkDiffAcct, 1);
    for (int i : {0, 1, 3})
        Main::SetValue(main.chkProxy[i], 1);
    main.show();

    bool ok = true;
    const char* names[] = {"configuration", "odbc-dsn", "advanced", "cache", "service-control", "clients", "users"};
    for (int tab = 0; tab < main.tabMain->count(); ++tab) {
        main.tabMain->setCurrentIndex(tab);
        ok &= save(&main, QDir(directory).filePath(QStringLiteral("main-%1-%2.png").arg(tab + 1).arg(names[tab])));
    }

    norvane::About about(&main);
    about.show();
    ok &= save(&about, QDir(directory).filePath(QStringLiteral("about.png")));
    return ok ? 0 : 1;
}
