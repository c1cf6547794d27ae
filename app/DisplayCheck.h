#pragma once
// Tells the operator in one line that the administrator needs a graphical display, where
// Qt would otherwise abort with advice to reinstall the program.

#include <QString>

namespace norvane {

// Why no display can be opened, found before Qt tries: empty when one may be there.
QString MissingDisplay();
// Says so in one line on stderr; returns the exit status for it, 1.
int ReportNoDisplay(const QString& reason);

// While it is armed, Qt's messages are held back; a fatal failure to start the platform
// becomes one line on stderr and exit status 1. Disarming replays what was held, so no
// message of Qt's is lost once the platform is up.
class PlatformFailureGuard {
public:
    PlatformFailureGuard();
    ~PlatformFailureGuard();
    PlatformFailureGuard(const PlatformFailureGuard&) = delete;
    PlatformFailureGuard& operator=(const PlatformFailureGuard&) = delete;

    void disarm();
};

}  // namespace norvane
