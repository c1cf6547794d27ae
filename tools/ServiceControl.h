#pragma once
// Finds the server executable beside the administrator and starts it to install or
// remove its service.

#include <QString>

namespace norvane::ServiceControl {

inline const QString ExecutableName = QStringLiteral("Corvex.exe");

// A regular file named exactly "Corvex.exe" in the directory.
bool ExecutablePresent(const QString& programDirectory);

// Starts "Corvex.exe <argument>" from the directory without waiting and without a shell.
// False with the reason in *error when it could not be started.
bool Start(const QString& programDirectory, const QString& argument, QString* error);

}  // namespace norvane::ServiceControl
