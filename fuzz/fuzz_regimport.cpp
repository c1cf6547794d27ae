// The REGEDIT4 importer on any text, into real store files on a memory file system.
#include "properties.h"

#include <QDir>
#include <QTemporaryDir>

#include <cstdlib>

namespace {

// In a directory of the run's own, gone when it ends: the store refuses a directory where
// others may create files, such as /dev/shm itself.
std::string StorePath(const char* which) {
    static const QTemporaryDir dir((QDir("/dev/shm").exists() ? QStringLiteral("/dev/shm") : QDir::tempPath()) +
                                   QStringLiteral("/norvane-fuzz-XXXXXX"));
    if (!dir.isValid())
        std::abort();
    return dir.filePath(QLatin1String(which) + QStringLiteral(".db")).toStdString();
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
