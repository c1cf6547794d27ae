// norvane-admin as an operator starts it: the real binary's command line and display
// handling, and its window, read by the probe plugin, when it runs through a link.

#include "support/Programs.h"
#include "support/TestEnv.h"

#include "Registry.h"
#include "Settings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace norvane;
using norvane::test::Fields;
using norvane::test::Finished;
using norvane::test::RunProgram;

namespace {

const QString Admin = QStringLiteral(NORVANE_ADMIN_BINARY);

QProcessEnvironment WithoutDisplay() {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "XDG_SESSION_TYPE"})
        env.remove(QString::fromLatin1(name));
    return env;
}

// A refused start: one line on stderr that says why, nothing on stdout, a plain exit.
void ExpectOneLine(const Finished& f, int status, const QString& saying) {
    EXPECT_FALSE(f.crashed) << qPrintable(f.err);
    EXPECT_EQ(f.status, status) << qPrintable(f.err);
    EXPECT_TRUE(f.out.isEmpty()) << qPrintable(f.out);
    EXPECT_EQ(f.err.count(QLatin1Char('\n')), 1) << qPrintable(f.err);
    EXPECT_TRUE(f.err.startsWith(QLatin1String("norvane-admin: ")) && f.err.endsWith(QLatin1Char('\n')))
        << qPrintable(f.err);
    EXPECT_TRUE(f.err.contains(saying)) << qPrintable(f.err) << " does not say " << qPrintable(saying);
}

}  // namespace

TEST(AdminCommandLine, HelpAndVersionWorkWithoutADisplay) {
    for (const char* option : {"--version", "-v"}) {
        const Finished f = RunProgram(Admin, {QString::fromLatin1(option)}, WithoutDisplay());
        EXPECT_EQ(f.status, 0) << option << qPrintable(f.err);
        EXPECT_EQ(f.out, QStringLiteral("norvane-admin " NORVANE_VERSION "\n")) << option;
        EXPECT_TRUE(f.err.isEmpty()) << qPrintable(f.err);
    }
    for (const char* option : {"--help", "-h"}) {
        const Finished f = RunProgram(Admin, {QString::fromLatin1(option)}, WithoutDisplay());
        EXPECT_EQ(f.status, 0) << option << qPrintable(f.err);
        EXPECT_TRUE(f.out.contains(QLatin1String("--version")) && f.out.contains(QLatin1String("--help")))
            << qPrintable(f.out);
        EXPECT_TRUE(f.err.isEmpty()) << qPrintable(f.err);
    }
}

TEST(AdminCommandLine, EveryOtherArgumentIsRefusedInOneLineWithStatusTwo) {
    // Qt's own options too: the program takes none, and none of them opens a window.
    const QStringList refused[] = {{"--bogus"}, {"settings.reg"},      {"--help-all"}, {"-platform", "offscreen"},
                                   {"--"},      {"--version", "extra"}};
    QProcessEnvironment env = WithoutDisplay();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    for (const QStringList& arguments : refused) {
        SCOPED_TRACE(qPrintable(arguments.join(QLatin1Char(' '))));
        ExpectOneLine(RunProgram(Admin, arguments, env), 2, QStringLiteral("--help"));
    }
}

TEST(AdminCommandLine, WithoutADisplayItSaysSoInOneLineWithStatusOne) {
    ExpectOneLine(RunProgram(Admin, {}, WithoutDisplay()), 1, QStringLiteral("needs a graphical display"));

    // A display that is named but not there, as after an ssh login without X forwarding.
    int unused = 987;
    while (QFileInfo::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(unused)))
        ++unused;
    QProcessEnvironment gone = WithoutDisplay();
    gone.insert(QStringLiteral("DISPLAY"), QStringLiteral(":%1").arg(unused));
    const Finished f = RunProgram(Admin, {}, gone);
    ExpectOneLine(f, 1, QStringLiteral("needs a graphical display"));
    EXPECT_TRUE(f.err.contains(QStringLiteral(":%1").arg(unused))) << qPrintable(f.err);
    EXPECT_FALSE(f.err.contains(QLatin1String("einstall"))) << qPrintable(f.err);

    QProcessEnvironment unknown = WithoutDisplay();
    unknown.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("nosuchplatform"));
    ExpectOneLine(RunProgram(Admin, {}, unknown), 1, QStringLiteral("nosuchplatform"));
}

TEST(AdminWindow, StartedThroughALinkItShowsTheStoreAndFindsTheServerBesideTheRealBinary) {
    test::TestEnv world;
    world.UseEmptyOdbcIni();
    Registry::SetBaseKey(Settings::Root, Settings::KeyPath);
    ASSERT_EQ(Registry::WriteString("", "AuthPort", "1645"), 0);

    // As installed: the real binary in a directory of its own, a link to it on PATH.
    const QString programDir = world.path(QStringLiteral("lib/norvane"));
    const QString binDir = world.path(QStringLiteral("bin"));
    ASSERT_TRUE(QDir().mkpath(programDir) && QDir().mkpath(binDir));
    ASSERT_TRUE(QFile::copy(Admin, programDir + QStringLiteral("/norvane-admin")));
    ASSERT_TRUE(QFile::link(programDir + QStringLiteral("/norvane-admin"), binDir + QStringLiteral("/norvane-admin")));

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("QT_PLUGIN_PATH"), QStringLiteral(NORVANE_PROBE_PATH));
    env.insert(QStringLiteral("QT_QPA_GENERIC_PLUGINS"), QStringLiteral("norvaneprobe"));
    env.insert(QStringLiteral("NORVANE_PROBE"), QStringLiteral("txtAuthPort,cmdInstall,cmdRemove,lblNotFound"));
    env.insert(QStringLiteral("NORVANE_PROBE_TAB"), QStringLiteral("Service Control"));
    auto probe = [&] {
        const Finished f = RunProgram(binDir + QStringLiteral("/norvane-admin"), {}, env);
        EXPECT_EQ(f.status, 0) << qPrintable(f.out) << qPrintable(f.err);
        return Fields(f.out, QStringLiteral(": "));
    };

    // A server beside the link is not beside the program.
    ASSERT_TRUE(QFile(binDir + QStringLiteral("/Corvex.exe")).open(QIODevice::WriteOnly));
    auto shown = probe();
    EXPECT_EQ(shown.value(QStringLiteral("dir")), QDir(programDir).canonicalPath());
    EXPECT_EQ(shown.value(QStringLiteral("txtAuthPort")), QStringLiteral("1645"));
    EXPECT_EQ(shown.value(QStringLiteral("cmdInstall")), QStringLiteral("disabled,shown"));
    EXPECT_EQ(shown.value(QStringLiteral("cmdRemove")), QStringLiteral("disabled,shown"));
    EXPECT_TRUE(shown.value(QStringLiteral("lblNotFound")).endsWith(QLatin1String(",shown")));

    ASSERT_TRUE(QFile(programDir + QStringLiteral("/Corvex.exe")).open(QIODevice::WriteOnly));
    shown = probe();
    EXPECT_EQ(shown.value(QStringLiteral("cmdInstall")), QStringLiteral("enabled,shown"));
    EXPECT_EQ(shown.value(QStringLiteral("cmdRemove")), QStringLiteral("enabled,shown"));
    EXPECT_TRUE(shown.value(QStringLiteral("lblNotFound")).endsWith(QLatin1String(",hidden")));
}
