// Every input kept under fuzz/corpus/ (seeds, and each input that once broke a property)
// replayed through the same properties the fuzz targets check.
#include "properties.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>

namespace {

using Check = std::function<std::string(const std::uint8_t*, std::size_t)>;

void Replay(const char* target, const Check& check) {
    const QDir dir(QStringLiteral(NORVANE_FUZZ_CORPUS "/") + QLatin1String(target));
    const QStringList files = dir.entryList(QDir::Files, QDir::Name);
    ASSERT_FALSE(files.isEmpty()) << "no inputs in " << dir.path().toStdString();
    for (const QString& name : files) {
        QFile f(dir.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << name.toStdString();
        const QByteArray bytes = f.readAll();
        const std::string broken =
            check(reinterpret_cast<const std::uint8_t*>(bytes.constData()), static_cast<std::size_t>(bytes.size()));
        EXPECT_EQ(broken, "") << target << "/" << name.toStdString();
    }
}

TEST(ReliabilityFuzz, Numbers) { Replay("numbers", norvane::fuzz::CheckNumbers); }

TEST(ReliabilityFuzz, RegValue) { Replay("regvalue", norvane::fuzz::CheckRegValue); }

TEST(ReliabilityFuzz, RegImport) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string a = dir.filePath("a.db").toStdString();
    const std::string b = dir.filePath("b.db").toStdString();
    Replay("regimport",
           [&](const std::uint8_t* d, std::size_t n) { return norvane::fuzz::CheckRegImport(d, n, a, b); });
}

TEST(ReliabilityFuzz, FileText) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("file");
    Replay("filetext", [&](const std::uint8_t* d, std::size_t n) {
        std::string broken = norvane::fuzz::CheckFileBytes(d, n);
        return broken.empty() ? norvane::fuzz::CheckFileEditor(d, n, path) : broken;
    });
}

}  // namespace
