// The clients and users files: any bytes through decode and encode, and through the
// editor widget itself (offscreen).
#include "properties.h"

#include <QApplication>
#include <QDir>

#include <cstdlib>
#include <unistd.h>

namespace {
QApplication* app = nullptr;
}

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    app = new QApplication(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const QString path = (QDir("/dev/shm").exists() ? QStringLiteral("/dev/shm") : QDir::tempPath()) +
                                QStringLiteral("/norvane-fuzz-%1-file").arg(::getpid());
    std::string broken = norvane::fuzz::CheckFileBytes(data, size);
    if (broken.empty())
        broken = norvane::fuzz::CheckFileEditor(data, size, path);
    if (!broken.empty()) {
        std::fprintf(stderr, "%s\n", broken.c_str());
        std::abort();
    }
    return 0;
}
