// The REGEDIT4 importer on any text, into real store files on a memory file system.
#include "properties.h"

#include <QDir>

#include <cstdlib>
#include <unistd.h>

namespace {

std::string StorePath(const char* which) {
    const QString dir = QDir("/dev/shm").exists() ? QStringLiteral("/dev/shm") : QDir::tempPath();
    return (dir + QStringLiteral("/norvane-fuzz-%1-%2.db").arg(::getpid()).arg(QLatin1String(which))).toStdString();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string a = StorePath("a");
    static const std::string b = StorePath("b");
    const std::string broken = norvane::fuzz::CheckRegImport(data, size, a, b);
    if (!broken.empty()) {
        std::fprintf(stderr, "%s\n", broken.c_str());
        std::abort();
    }
    return 0;
}
