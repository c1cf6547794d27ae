// An administrator that saves over and over: loads the settings into a real main window,
// then puts iteration after iteration into its boxes and saves each one.
// Usage: reliability_saver TAG FIRST COUNT   (the store is $NORVANE_REGISTRY)
// Prints "ready" once the window is loaded and "saved N" after each save returns; exits
// 1 at the first save that fails or that shows any message.
#include "Main.h"
#include "MessageBox.h"
#include "support/reliability_values.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

// Straight to the pipe: what was printed before a kill must reach the test.
void Say(const std::string& line) {
    const std::string text = line + "\n";
    [[maybe_unused]] const ssize_t n = ::write(STDOUT_FILENO, text.data(), text.size());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: reliability_saver TAG FIRST COUNT\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    using namespace norvane;
    MessageBox::setTestMode(true);

    const QString tag = QString::fromLocal8Bit(argv[1]);
    const std::uint64_t first = std::strtoull(argv[2], nullptr, 10);
    const std::uint64_t count = std::strtoull(argv[3], nullptr, 10);

    Main window;
    Say("ready");
    for (std::uint64_t i = first; i < first + count; ++i) {
        test::ApplySave(window, tag, i);
        const bool saved = window.SaveAll();
        const auto shown = MessageBox::takeShown();
        if (!saved || !shown.isEmpty()) {
            std::fprintf(stderr, "save %s %llu failed: %s\n", argv[1], static_cast<unsigned long long>(i),
                         shown.isEmpty() ? "(no message)" : shown.first().text.toLocal8Bit().constData());
            return 1;
        }
        Say("saved " + std::to_string(i));
    }
    return 0;
}
