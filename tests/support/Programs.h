#pragma once
// Running the real programs of the installed shape: a process with its own environment,
// and small executable scripts that stand in where a test must record what it was given.

#include <QByteArray>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

#include <ostream>

// Failures show texts as texts.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

namespace norvane::test {

struct Finished {
    int status = -1;
    bool crashed = false;
    QString out;
    QString err;
};

inline Finished RunProgram(const QString& program, const QStringList& arguments, const QProcessEnvironment& env) {
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(program, arguments);
    Finished f;
    if (!process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished();
        ADD_FAILURE() << qPrintable(program) << " did not end";
        return f;
    }
    f.status = process.exitCode();
    f.crashed = process.exitStatus() == QProcess::CrashExit;
    f.out = QString::fromLocal8Bit(process.readAllStandardOutput());
    f.err = QString::fromLocal8Bit(process.readAllStandardError());
    return f;
}

// "name: value" or "NAME=value" lines as a map.
inline QMap<QString, QString> Fields(const QString& text, const QString& separator) {
    QMap<QString, QString> fields;
    for (const QString& line : text.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const qsizetype at = line.indexOf(separator);
        if (at > 0)
            fields.insert(line.left(at), line.mid(at + separator.size()));
    }
    return fields;
}

inline void WriteScript(const QString& path, const QByteArray& text) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << qPrintable(path);
    file.write(text);
    file.close();
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup |
                        QFile::ReadOther | QFile::ExeOther);
}

}  // namespace norvane::test
