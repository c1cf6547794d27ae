#pragma once
// What the benchmarks share.

#include <QDir>
#include <QString>

namespace norvane::bench {

// Stores and files live on a real disk: the build tree unless NORVANE_BENCH_DIR says
// otherwise. A template for QTemporaryDir.
inline QString BenchDir() {
    const QString dir = qEnvironmentVariableIsEmpty("NORVANE_BENCH_DIR") ? QDir::currentPath()
                                                                         : qEnvironmentVariable("NORVANE_BENCH_DIR");
    return dir + "/norvane-bench-XXXXXX";
}

}  // namespace norvane::bench
