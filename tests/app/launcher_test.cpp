// The menu entry's launcher and polkit action as they are installed. The launcher must ask
// pkexec for exactly the program the action names (that is what gives the action's
// password prompt and lets pkexec keep the display), and take the display along. A real
// pkexec cannot run unattended: a recording stand-in takes its place on PATH.

#include "StoreFile.h"
#include "support/Programs.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QXmlStreamReader>

#include <gtest/gtest.h>

#include <unistd.h>

using norvane::test::Fields;
using norvane::test::Finished;
using norvane::test::RunProgram;
using norvane::test::WriteScript;

namespace {

const QString Program = QStringLiteral(NORVANE_INSTALLED_PROGRAM);

QString ReadText(const QString& path) {
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << qPrintable(path);
    return QString::fromUtf8(file.readAll());
}

QString Configured(const QString& suffix) {
    const QStringList found = QDir(QStringLiteral(NORVANE_PACKAGING_DIR)).entryList({QStringLiteral("*") + suffix});
    EXPECT_EQ(found.size(), 1) << qPrintable(suffix);
    return found.isEmpty() ? QString() : ReadText(QStringLiteral(NORVANE_PACKAGING_DIR "/") + found.first());
}

// A world the launcher runs in, readable by the unprivileged user it runs as: the
// launcher, a pkexec and a program that write down their arguments and environment, and
// the two tools the scripts need, so that no pkexec of the machine is ever on PATH.
class LauncherWorld {
public:
    LauncherWorld() {
        QFile::setPermissions(m_dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther |
                                                QFile::ExeOther | QFile::ReadGroup | QFile::ExeGroup);
        for (const char* sub : {"stand", "tools", "home", "record"})
            QDir(m_dir.path()).mkdir(QString::fromLatin1(sub));
        // The unprivileged run writes its records here.
        QFile::setPermissions(path("record"), QFileDevice::Permissions(0x7777));
        for (const char* tool : {"id", "env", "tr"})
            QFile::link(QStringLiteral("/usr/bin/") + QString::fromLatin1(tool),
                        path("tools/") + QString::fromLatin1(tool));
        const QByteArray recorder =
            "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$NORVANE_RECORD/${0##*/}.args\"\n"
            "env > \"$NORVANE_RECORD/${0##*/}.env\"\n"
            "tr '\\0' ' ' < /proc/$PPID/cmdline > \"$NORVANE_RECORD/${0##*/}.parent\"\n"
            "[ \"${0##*/}\" != pkexec ] || exit \"${NORVANE_PKEXEC_EXIT:-0}\"\n";
        WriteScript(path("stand/pkexec"), recorder);
        WriteScript(path("stand/program"), recorder);

        const QString launcher = ReadText(QStringLiteral(NORVANE_PACKAGING_DIR "/norvane-admin-pkexec"));
        WriteScript(path("launcher"), launcher.toUtf8());
        // The same launcher, running the stand-in where it would run the program itself.
        QString direct = launcher;
        direct.replace(QStringLiteral("program='%1'").arg(Program),
                       QStringLiteral("program='%1'").arg(path("stand/program")));
        EXPECT_NE(direct, launcher);
        WriteScript(path("direct-launcher"), direct.toUtf8());
    }

    QString path(const char* relative) const { return m_dir.path() + QLatin1Char('/') + QString::fromLatin1(relative); }

    // The environment of a desktop session, reduced to what is set here.
    QProcessEnvironment session(bool withPkexec = true) const {
        QProcessEnvironment env;
        env.insert(QStringLiteral("PATH"), (withPkexec ? path("stand") + QLatin1Char(':') : QString()) + path("tools"));
        env.insert(QStringLiteral("HOME"), path("home"));
        env.insert(QStringLiteral("NORVANE_RECORD"), path("record"));
        return env;
    }

    // Runs a launcher as an operator who is not root: as nobody when the test is root.
    Finished runAsUser(const char* launcher, const QProcessEnvironment& env, const QStringList& arguments = {}) const {
        if (geteuid() != 0)
            return RunProgram(path(launcher), arguments, env);
        return RunProgram(QStringLiteral("/usr/bin/setpriv"),
                          QStringList{QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                                      QStringLiteral("--clear-groups"), path(launcher)} +
                              arguments,
                          env);
    }

    QStringList arguments(const char* who) const {
        return ReadText(path("record/") + QString::fromLatin1(who) + QStringLiteral(".args"))
            .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    QString parent(const char* who) const {
        return ReadText(path("record/") + QString::fromLatin1(who) + QStringLiteral(".parent"));
    }
    QMap<QString, QString> environment(const char* who) const {
        return Fields(ReadText(path("record/") + QString::fromLatin1(who) + QStringLiteral(".env")),
                      QStringLiteral("="));
    }
    bool ran(const char* who) const {
        return QFile::exists(path("record/") + QString::fromLatin1(who) + QStringLiteral(".args"));
    }
    void forget() const {
        for (const QString& f : QDir(path("record")).entryList(QDir::Files))
            QFile::remove(path("record/") + f);
    }

private:
    QTemporaryDir m_dir;
};

}  // namespace

TEST(AdminLauncher, ActionMenuEntryAndLauncherNameTheInstalledProgram) {
    QXmlStreamReader policy(Configured(QStringLiteral(".policy")));
    QMultiMap<QString, QString> annotations;
    QStringList allowActive;
    int actions = 0;
    while (!policy.atEnd()) {
        if (policy.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (policy.name() == QLatin1String("action"))
            ++actions;
        else if (policy.name() == QLatin1String("annotate")) {
            const QString key = policy.attributes().value(QLatin1String("key")).toString();
            annotations.insert(key, policy.readElementText());
        } else if (policy.name() == QLatin1String("allow_active"))
            allowActive << policy.readElementText();
    }
    EXPECT_FALSE(policy.hasError()) << qPrintable(policy.errorString());
    // One action for the program the launcher runs, one for the command the window advises
    // as pkexec finds it on PATH once installed; sudo is advised only where it is installed.
    const QString advice = QString::fromStdString(norvane::StoreFile::AdminHint());
    const QString command =
        QFileInfo(QStringLiteral(NORVANE_INSTALLED_COMMAND)).path() + '/' + advice.section(' ', 1, 1);
    EXPECT_TRUE(advice.startsWith(QLatin1String("pkexec "))) << qPrintable(advice);
    EXPECT_EQ(advice.contains(" or sudo "), !QStandardPaths::findExecutable(QStringLiteral("sudo")).isEmpty());
    EXPECT_EQ(actions, 2);
    EXPECT_EQ(annotations.values(QStringLiteral("org.freedesktop.policykit.exec.path")),
              (QStringList{command, Program}));
    EXPECT_EQ(annotations.values(QStringLiteral("org.freedesktop.policykit.exec.allow_gui")), QStringList(2, "true"));
    EXPECT_EQ(allowActive, QStringList(2, QStringLiteral("auth_admin_keep")));

    EXPECT_TRUE(
        Configured(QStringLiteral(".desktop")).contains(QStringLiteral("\nExec=" NORVANE_INSTALLED_LAUNCHER "\n")));
    const QString launcher = ReadText(QStringLiteral(NORVANE_PACKAGING_DIR "/norvane-admin-pkexec"));
    EXPECT_EQ(
        launcher.count(QRegularExpression(QStringLiteral("^program='%1'$").arg(QRegularExpression::escape(Program)),
                                          QRegularExpression::MultilineOption)),
        1);
}

TEST(AdminLauncher, AsAnOperatorItAsksPkexecForTheProgramAndKeepsTheDisplay) {
    const LauncherWorld world;

    // X11: pkexec runs the program itself, which is what matches the action.
    QProcessEnvironment x11 = world.session();
    x11.insert(QStringLiteral("DISPLAY"), QStringLiteral(":7"));
    x11.insert(QStringLiteral("XAUTHORITY"), QStringLiteral("/run/user/4242/xauth_Ab12"));
    Finished f = world.runAsUser("launcher", x11, {QStringLiteral("--version")});
    EXPECT_EQ(f.status, 0) << qPrintable(f.err);
    EXPECT_EQ(world.arguments("pkexec"), (QStringList{Program, QStringLiteral("--version")}));
    // pkexec gives up when the process that started it is gone: that must be the launcher.
    EXPECT_TRUE(world.parent("pkexec").contains(world.path("launcher"))) << qPrintable(world.parent("pkexec"));
    EXPECT_EQ(world.environment("pkexec").value(QStringLiteral("DISPLAY")), QStringLiteral(":7"));
    EXPECT_EQ(world.environment("pkexec").value(QStringLiteral("XAUTHORITY")),
              QStringLiteral("/run/user/4242/xauth_Ab12"));

    // X11 with the cookie in its default place, which root would not look in.
    world.forget();
    x11.remove(QStringLiteral("XAUTHORITY"));
    ASSERT_TRUE(QFile(world.path("home/.Xauthority")).open(QIODevice::WriteOnly));
    QFile::setPermissions(world.path("home/.Xauthority"), QFile::ReadOwner | QFile::ReadOther);
    f = world.runAsUser("launcher", x11);
    EXPECT_EQ(f.status, 0) << qPrintable(f.err);
    EXPECT_EQ(world.arguments("pkexec"), QStringList{Program});
    EXPECT_EQ(world.environment("pkexec").value(QStringLiteral("XAUTHORITY")), world.path("home/.Xauthority"));

    // Wayland alone: pkexec would drop WAYLAND_DISPLAY, so env carries it as a full path.
    world.forget();
    QProcessEnvironment wayland = world.session();
    wayland.insert(QStringLiteral("WAYLAND_DISPLAY"), QStringLiteral("wayland-1"));
    wayland.insert(QStringLiteral("XDG_RUNTIME_DIR"), QStringLiteral("/run/user/4242"));
    f = world.runAsUser("launcher", wayland);
    EXPECT_EQ(f.status, 0) << qPrintable(f.err);
    EXPECT_EQ(world.arguments("pkexec"),
              (QStringList{QStringLiteral("env"), QStringLiteral("WAYLAND_DISPLAY=/run/user/4242/wayland-1"),
                           QStringLiteral("QT_QPA_PLATFORM=wayland"), Program}));
    EXPECT_FALSE(world.ran("program"));
}

TEST(AdminLauncher, AsRootOrWithoutPkexecItRunsTheProgramItself) {
    const LauncherWorld world;
    QProcessEnvironment env = world.session(false);
    env.insert(QStringLiteral("DISPLAY"), QStringLiteral(":7"));

    // No pkexec: the operator still gets the window, which says what it cannot read.
    Finished f = world.runAsUser("direct-launcher", env);
    EXPECT_EQ(f.status, 0) << qPrintable(f.err);
    EXPECT_TRUE(world.ran("program"));
    EXPECT_EQ(f.err.count(QLatin1Char('\n')), 1) << qPrintable(f.err);
    EXPECT_TRUE(f.err.contains(QLatin1String("pkexec"))) << qPrintable(f.err);

    // pkexec could not ask (no agent, no authority: 127): the window opens without rights;
    // dismissed by the operator (126): nothing more.
    for (const QString exit : {"127", "126"}) {
        world.forget();
        env.insert(QStringLiteral("PATH"), world.session().value(QStringLiteral("PATH")));
        env.insert(QStringLiteral("NORVANE_PKEXEC_EXIT"), exit);
        world.runAsUser("direct-launcher", env);
        EXPECT_TRUE(world.ran("pkexec"));
        EXPECT_EQ(world.ran("program"), exit == "127") << qPrintable(exit);
    }

    if (geteuid() != 0)
        GTEST_SKIP() << "running the launcher as root needs a test run as root";
    world.forget();
    env = world.session();
    env.insert(QStringLiteral("DISPLAY"), QStringLiteral(":7"));
    f = RunProgram(world.path("direct-launcher"), {QStringLiteral("--version")}, env);
    EXPECT_EQ(f.status, 0) << qPrintable(f.err);
    EXPECT_FALSE(world.ran("pkexec"));
    EXPECT_EQ(world.arguments("program"), QStringList{QStringLiteral("--version")});
    EXPECT_EQ(world.environment("program").value(QStringLiteral("DISPLAY")), QStringLiteral(":7"));
}
