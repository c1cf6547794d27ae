// Starting the server executable, with a stand-in script that records its command line.
#include "ServiceControl.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace {

namespace ServiceControl = norvane::ServiceControl;

void WriteFile(const QString& path, const QByteArray& bytes, QFile::Permissions permissions) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    file.write(bytes);
    file.close();
    ASSERT_TRUE(file.setPermissions(permissions));
}

const QFile::Permissions Executable = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
const QFile::Permissions Plain = QFile::ReadOwner | QFile::WriteOwner;

// Writes the number of arguments, each argument and the working folder, one per line.
const QByteArray Recorder =
    "#!/bin/sh\n"
    "out=\"$(dirname \"$0\")/args\"\n"
    "{ echo \"$#\"; for a in \"$@\"; do echo \"$a\"; done; pwd; } > \"$out.tmp\" && mv \"$out.tmp\" \"$out\"\n";

QStringList WaitForRecord(const QString& path) {
    QElapsedTimer timer;
    timer.start();
    while (!QFile::exists(path) && timer.elapsed() < 30000)
        QTest::qWait(20);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
}

TEST(ToolsServiceControl, PresentOnlyAsARegularFileOfThatName) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    EXPECT_FALSE(ServiceControl::ExecutablePresent(dir.path()));

    ASSERT_TRUE(QDir(dir.path()).mkdir("Corvex.exe"));
    EXPECT_FALSE(ServiceControl::ExecutablePresent(dir.path())) << "a folder of that name";
    ASSERT_TRUE(QDir(dir.path()).rmdir("Corvex.exe"));

    WriteFile(dir.filePath("corvex.exe"), Recorder, Executable);
    EXPECT_FALSE(ServiceControl::ExecutablePresent(dir.path())) << "another letter case";

    WriteFile(dir.filePath("Corvex.exe"), Recorder, Executable);
    EXPECT_TRUE(ServiceControl::ExecutablePresent(dir.path()));
}

TEST(ToolsServiceControl, StartPassesExactlyOneArgumentWithoutAShell) {
    QTemporaryDir base;
    ASSERT_TRUE(base.isValid());
    // A folder name a shell would split and expand.
    const QString folder = base.filePath("Program Files $(touch pwned) 'x'");
    ASSERT_TRUE(QDir().mkpath(folder));
    WriteFile(folder + "/Corvex.exe", Recorder, Executable);

    for (const QString& argument : {QStringLiteral("-install"), QStringLiteral("-remove")}) {
        QFile::remove(folder + "/args");
        QString error = "untouched";
        ASSERT_TRUE(ServiceControl::Start(folder, argument, &error)) << error.toStdString();
        const QStringList record = WaitForRecord(folder + "/args");
        ASSERT_EQ(record.size(), 3) << record.join('|').toStdString();
        EXPECT_EQ(record[0], "1");
        EXPECT_EQ(record[1], argument);
        EXPECT_EQ(QDir(record[2]).canonicalPath(), QDir(folder).canonicalPath()) << "runs in its own folder";
    }
    EXPECT_FALSE(QFile::exists(base.filePath("pwned")));
    EXPECT_FALSE(QFile::exists(folder + "/pwned"));
}

TEST(ToolsServiceControl, StartFailsWithAReasonWhenItCannotRun) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QString error;
    EXPECT_FALSE(ServiceControl::Start(dir.path(), "-install", &error)) << "no file at all";
    EXPECT_FALSE(error.isEmpty());

    WriteFile(dir.filePath("Corvex.exe"), Recorder, Plain);
    ASSERT_TRUE(ServiceControl::ExecutablePresent(dir.path()));
    error.clear();
    EXPECT_FALSE(ServiceControl::Start(dir.path(), "-install", &error)) << "not executable";
    EXPECT_FALSE(error.isEmpty());

    // Executable, but not a program this system can run.
    WriteFile(dir.filePath("Corvex.exe"), QByteArray("MZ\x90\0\3\0\0\0garbage", 16), Executable);
    error.clear();
    EXPECT_FALSE(ServiceControl::Start(dir.path(), "-remove", &error)) << "not a program";
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(QFile::exists(dir.filePath("args")));

    // A missing error pointer is allowed.
    EXPECT_FALSE(ServiceControl::Start(dir.path(), "-remove", nullptr));
}

}  // namespace
