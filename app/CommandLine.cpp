#include "CommandLine.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>

namespace norvane {

namespace {

int Refuse(const QString& why) {
    std::fprintf(stderr, "norvane-admin: %s (norvane-admin --help shows the options)\n", qPrintable(why));
    return 2;
}

}  // namespace

int RunCommandLine(int argc, char** argv) {
    // A core application only: no platform plugin, so this works without a display.
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("norvane-admin"));
    QCoreApplication::setApplicationVersion(QStringLiteral(NORVANE_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Norvane Administrator: edits the settings, the clients file and the users file of the\n"
                       "Norvane RADIUS server on this machine, and installs or removes its service.\n"
                       "It takes no arguments but these options."));
    // Not addHelpOption(): its --help-all offers Qt's own options, which are refused here.
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Shows this help."));
    parser.addOption(help);
    const QCommandLineOption version = parser.addVersionOption();
    if (!parser.parse(QCoreApplication::arguments()))
        return Refuse(parser.errorText());
    if (!parser.positionalArguments().isEmpty())
        return Refuse(QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().constFirst()));
    if (parser.isSet(help)) {
        std::fputs(qPrintable(parser.helpText()), stdout);
        return 0;
    }
    if (parser.isSet(version)) {
        std::printf("norvane-admin %s\n", NORVANE_VERSION);
        return 0;
    }
    return Refuse(QStringLiteral("nothing to do"));
}

}  // namespace norvane
