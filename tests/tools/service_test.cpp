// Starting the server executable, with a stand-in program that records its command line.
#include "ServiceControl.h"
#include "support/Recorder.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace {

namespace ServiceControl = norvane::ServiceControl;
namespace test = norvane::test;

void WriteFile(const QString& path, const QByteArray& bytes, QFile::Permissions permissions) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    file.write(bytes);
    file.close();
    ASSERT_TRUE(file.setPermissions(permissions));
}

const QFile::Permissions Executable = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
const QFile::Permissions Plain = QFile::ReadOwner | QFile::WriteOwner;

// A shell script: a program on Linux only when it may be executed, never one on Windows.
const QByteArray Script = "#!/bin/sh\necho \"$@\" > \"$(dirname \"$0\")/args\"\n";

TEST(ToolsServiceControl, PresentOnlyAsARegularFileOfThatName) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    EXPECT_FALSE(ServiceControl::ExecutablePresent(dir.path()));

    ASSERT_TRUE(QDir(dir.path()).mkdir("Corvex.exe"));
    EXPECT_FALSE(ServiceControl::ExecutablePresent(dir.path())) << "a folder of that name";
    ASSERT_TRUE(QDir(dir.path()).rmdir("Corvex.exe"));

    WriteFile(dir.filePath("corvex.exe"), Script, Executable);
    EXPECT_FALSE(ServiceControl::ExecutablePresent(dir.path())) << "another letter case";

    // Gone first: a file system that ignores letter case would keep the old name.
    ASSERT_TRUE(QFile::remove(dir.filePath("corvex.exe")));
    WriteFile(dir.filePath("Corvex.exe"), Script, Executable);
    EXPECT_TRUE(ServiceControl::ExecutablePresent(dir.path()));
}

TEST(ToolsServiceControl, StartPassesExactlyOneArgumentWithoutAShell) {
    QTemporaryDir base;
    ASSERT_TRUE(base.isValid());
    // A folder name a shell would split and expand.
    const QString folder = base.filePath("Program Files $(touch pwned) 'x'");
    ASSERT_TRUE(QDir().mkpath(folder));
    test::PutRecorder(folder);

    for (const QString& argument : {QStringLiteral("-install"), QStringLiteral("-remove")}) {
        QString error = "untouched";
        ASSERT_TRUE(ServiceControl::Start(folder, argument, &error)) << error.toStdString();
        const QStringList record = test::TakeRecord(folder);
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

#ifndef _WIN32
    // Windows has no execute permission (and Wine would run the script as a Linux program).
    WriteFile(dir.filePath("Corvex.exe"), Script, Plain);
    ASSERT_TRUE(ServiceControl::ExecutablePresent(dir.path()));
    error.clear();
    EXPECT_FALSE(ServiceControl::Start(dir.path(), "-install", &error)) << "not executable";
    EXPECT_FALSE(error.isEmpty());
#endif

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
