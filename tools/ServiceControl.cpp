#include "ServiceControl.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>

namespace norvane::ServiceControl {

namespace {

QString ExecutablePath(const QString& programDirectory) {
    return QDir(programDirectory).absoluteFilePath(ExecutableName);
}

}  // namespace

bool ExecutablePresent(const QString& programDirectory) {
    const QFileInfo info(ExecutablePath(programDirectory));
    // The name must match as written, also on a file system that ignores letter case.
    return info.isFile() && info.fileName() == ExecutableName &&
           QDir(programDirectory).entryList(QDir::Files | QDir::Hidden | QDir::System).contains(ExecutableName);
}

bool Start(const QString& programDirectory, const QString& argument, QString* error) {
    const QString program = ExecutablePath(programDirectory);
    if (!QFileInfo::exists(program)) {
        if (error)
            *error = QStringLiteral("%1 does not exist.").arg(QDir::toNativeSeparators(program));
        return false;
    }
    QProcess process;
    process.setProgram(program);
    process.setArguments({argument});
    process.setWorkingDirectory(QDir(programDirectory).absolutePath());
    if (process.startDetached())
        return true;
    if (error) {
        *error = process.errorString();
        if (error->isEmpty() || process.error() == QProcess::UnknownError)
            *error = QStringLiteral("%1 could not be started.").arg(process.program());
    }
    return false;
}

}  // namespace norvane::ServiceControl
