#pragma once
// The stand-in for the server's Corvex.exe (corvex_recorder.cpp, built beside the tests):
// put into a folder under that name, it records how it was started.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QString>
#include <QStringList>
#include <QTest>

#include <gtest/gtest.h>

namespace norvane::test {

// Copies the recorder into the folder as Corvex.exe.
inline void PutRecorder(const QString& folder) {
    const QString target = folder + "/Corvex.exe";
    const QString recorder = QCoreApplication::applicationDirPath() + "/" NORVANE_CORVEX_RECORDER;
    QFile::remove(target);
    ASSERT_TRUE(QFile::copy(recorder, target)) << recorder.toStdString();
    ASSERT_TRUE(QFile(target).setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
}

// What the recorder in the folder wrote, once it has: the number of arguments, each
// argument and the folder it ran in; empty when it did not run within 30 seconds. The
// record is taken away, so that the next run writes a new one.
inline QStringList TakeRecord(const QString& folder) {
    const QString path = folder + "/args";
    QElapsedTimer timer;
    timer.start();
    while (!QFile::exists(path) && timer.elapsed() < 30000)
        QTest::qWait(20);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QStringList record = QString::fromUtf8(file.readAll()).remove(u'\r').split(u'\n', Qt::SkipEmptyParts);
    file.remove();
    return record;
}

}  // namespace norvane::test
