#include "DisplayCheck.h"

#include <QByteArray>
#include <QMessageLogger>
#include <QString>
#include <QtGlobal>

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace norvane {

namespace {

struct HeldMessage {
    QtMsgType type;
    QByteArray category;
    QString text;
};

bool g_armed = false;
QtMessageHandler g_previous = nullptr;
std::vector<HeldMessage> g_held;

[[noreturn]] void ExitNoDisplay(const QString& reason) {
    const int status = ReportNoDisplay(reason);
    std::fflush(stderr);
    // Qt is half started; nothing of it may run on the way out.
    std::_Exit(status);
}

void HoldMessage(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type == QtFatalMsg && text.contains(QLatin1String("platform plugin"))) {
        // The platform's own warning says best what went wrong ("could not connect to
        // display :9"); the plugin loader's ("Could not find the Qt platform plugin") next.
        QString reason = QStringLiteral("no Qt platform plugin could be started");
        for (const HeldMessage& m : g_held)
            if (m.category.startsWith("qt.qpa.") && !m.text.contains(QLatin1String("platform plugin")))
                ExitNoDisplay(m.text);
        for (const HeldMessage& m : g_held)
            if (m.category == "qt.qpa.plugin")
                reason = m.text;
        ExitNoDisplay(reason);
    }
    if (type == QtFatalMsg) {
        g_previous ? g_previous(type, context, text) : qt_message_output(type, context, text);
        return;
    }
    g_held.push_back({type, QByteArray(context.category ? context.category : "default"), text});
}

}  // namespace

int ReportNoDisplay(const QString& reason) {
    std::fprintf(stderr, "norvane-admin: needs a graphical display: %s\n", qPrintable(reason));
    return 1;
}

QString MissingDisplay() {
    // A platform chosen by name is Qt's to open; the guard reports when it cannot.
    if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") || !qEnvironmentVariableIsEmpty("DISPLAY") ||
        !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        return {};
    return QStringLiteral("neither DISPLAY nor WAYLAND_DISPLAY is set");
}

PlatformFailureGuard::PlatformFailureGuard() {
    g_held.clear();
    g_armed = true;
    g_previous = qInstallMessageHandler(HoldMessage);
}

PlatformFailureGuard::~PlatformFailureGuard() { disarm(); }

void PlatformFailureGuard::disarm() {
    if (!g_armed)
        return;
    g_armed = false;
    qInstallMessageHandler(g_previous);
    std::vector<HeldMessage> held;
    held.swap(g_held);
    for (const HeldMessage& m : held) {
        const QMessageLogger logger(nullptr, 0, nullptr, m.category.constData());
        switch (m.type) {
        case QtDebugMsg: logger.debug("%s", qPrintable(m.text)); break;
        case QtInfoMsg: logger.info("%s", qPrintable(m.text)); break;
        case QtWarningMsg: logger.warning("%s", qPrintable(m.text)); break;
        default: logger.critical("%s", qPrintable(m.text)); break;
        }
    }
}

}  // namespace norvane
