// The working tabs: the server executable's presence, the two file editors on first view,
// reload and save, and the service buttons starting a stand-in server program.
#include "Main.h"
#include "MessageBox.h"
#include "TextFileEditor.h"
#include "support/Recorder.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QApplication>
#include <QDialog>
#include <QPointer>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

using namespace norvane;

namespace {

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

void WriteAll(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

class Tabs : public ::testing::Test {
protected:
    void SetUp() override {
        MessageBox::setTestMode(true);
        MessageBox::takeShown();
        QDir().mkpath(env.path("data"));
        QDir().mkpath(env.path("other"));
        QDir().mkpath(env.path("program"));
        main = std::make_unique<Main>();
        main->setProgramDirectory(env.path("program"));
        main->show();
        main->txtFiles[0]->setText(env.path("data"));
        main->txtFiles[2]->setText("Users");
    }
    void Visit(int tab) {
        main->tabMain->setCurrentIndex(Main::TabConfiguration);
        main->tabMain->setCurrentIndex(tab);
    }
    test::TestEnv env;
    std::unique_ptr<Main> main;
};

TEST_F(Tabs, ClientsLoadOnFirstViewAndKeepEditsUntilReload) {
    WriteAll(env.path("data/Clients"), "10.0.0.1 secret\r\n");
    Visit(Main::TabClients);
    EXPECT_EQ(main->rtbClients->toPlainText(), "10.0.0.1 secret\n");
    EXPECT_FALSE(main->rtbClients->FileName().isEmpty());

    main->rtbClients->setPlainText("edited");
    Visit(Main::TabUsers);
    Visit(Main::TabClients);
    EXPECT_EQ(main->rtbClients->toPlainText(), "edited");

    // A new data directory changes nothing until Reload; Save still writes where it loaded.
    WriteAll(env.path("other/Clients"), "192.168.1.1 other\r\n");
    main->txtFiles[0]->setText(env.path("other"));
    main->SaveAll();
    Visit(Main::TabClients);
    EXPECT_EQ(main->rtbClients->toPlainText(), "edited");
    main->cmdClientsSave_Click();
    EXPECT_TRUE(MessageBox::takeShown().isEmpty());
    EXPECT_EQ(ReadAll(env.path("data/Clients")), "edited");
    EXPECT_EQ(ReadAll(env.path("other/Clients")), "192.168.1.1 other\r\n");

    QTest::mouseClick(main->Command1, Qt::LeftButton);
    EXPECT_EQ(main->rtbClients->toPlainText(), "192.168.1.1 other\n");
    main->rtbClients->setPlainText("now here");
    main->cmdClientsSave_Click();
    EXPECT_EQ(ReadAll(env.path("other/Clients")), "now here");
    EXPECT_EQ(ReadAll(env.path("data/Clients")), "edited");
    EXPECT_FALSE(main->DirtyFlag());  // the files are not settings
}

TEST_F(Tabs, AMissingFileLeavesTheEditorEmptyAndSaveFails) {
    Visit(Main::TabClients);
    EXPECT_TRUE(main->rtbClients->toPlainText().isEmpty());
    EXPECT_TRUE(main->rtbClients->FileName().isEmpty());

    main->rtbClients->setPlainText("typed before any load");
    QTest::mouseClick(main->cmdClientsSave, Qt::LeftButton);
    auto shown = MessageBox::takeShown();
    ASSERT_EQ(shown.size(), 1);
    // Why the load failed, and of which file.
    EXPECT_EQ(shown[0].text, "No such file or directory");
    // Which file was looked for, and what to do: create it, then Reload.
    EXPECT_TRUE(shown[0].detailedText.startsWith("File: " + QDir::toNativeSeparators(env.path("data/Clients")) + "\n"));
    EXPECT_TRUE(shown[0].detailedText.contains("Create it")) << shown[0].detailedText.toStdString();
    EXPECT_EQ(shown[0].title, "Norvane Admin");
    EXPECT_EQ(shown[0].icon, MessageBox::Icon::None);
    EXPECT_FALSE(QFile::exists(env.path("data/Clients")));
    // With no data directory, the empty box is what to fix.
    main->txtFiles[0]->clear();
    QTest::mouseClick(main->cmdClientsSave, Qt::LeftButton);
    shown = MessageBox::takeShown();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_TRUE(shown[0].detailedText.contains("\"Data Directory:\" box")) << shown[0].detailedText.toStdString();
    main->txtFiles[0]->setText(env.path("data"));

    // The next visit tries again and finds the file that appeared meanwhile.
    WriteAll(env.path("data/Clients"), "10.0.0.9 s\n");
    Visit(Main::TabClients);
    EXPECT_EQ(main->rtbClients->toPlainText(), "10.0.0.9 s\n");
}

// Symbolic links are an administrator's tool on Windows (QFile::link makes a shortcut there).
#ifndef _WIN32
TEST_F(Tabs, ASaveThatCannotBeDoneNamesTheFile) {
    // The users file is a link; repointed after the load, the save is refused in the
    // program's own words, which name both files.
    WriteAll(env.path("other/users.real"), "ada\tPassword = \"x\"\r\n");
    WriteAll(env.path("other/shadow"), "root:x\n");
    ASSERT_TRUE(QFile::link(env.path("other/users.real"), env.path("data/Users")));
    Visit(Main::TabUsers);
    ASSERT_EQ(main->rtbUsers->toPlainText(), "ada\tPassword = \"x\"\n");
    main->rtbUsers->appendPlainText("ben\tPassword = \"y\"");
    ASSERT_TRUE(QFile::remove(env.path("data/Users")));
    ASSERT_TRUE(QFile::link(env.path("other/shadow"), env.path("data/Users")));
    QTest::mouseClick(main->cmdUsersSave, Qt::LeftButton);
    auto shown = MessageBox::takeShown();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_TRUE(shown[0].text.contains(env.path("other/shadow")) &&
                shown[0].text.contains(env.path("other/users.real")))
        << shown[0].text.toStdString();
    EXPECT_EQ(shown[0].detailedText, "File: " + env.path("data") + "/Users");
    EXPECT_EQ(ReadAll(env.path("other/shadow")), "root:x\n");
    EXPECT_EQ(ReadAll(env.path("other/users.real")), "ada\tPassword = \"x\"\r\n");

    // A save the platform refuses shows its description: the data directory is gone.
    QTest::mouseClick(main->Command2, Qt::LeftButton);
    ASSERT_EQ(main->rtbUsers->toPlainText(), "root:x\n");
    ASSERT_TRUE(QFile::remove(env.path("data/Users")));
    ASSERT_TRUE(QDir(env.path("data")).removeRecursively());
    QTest::mouseClick(main->cmdUsersSave, Qt::LeftButton);
    shown = MessageBox::takeShown();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0].text, "No such file or directory");
    EXPECT_EQ(shown[0].detailedText, "File: " + env.path("data") + "/Users");
}
#endif

TEST_F(Tabs, PathsAreJoinedAsText) {
    EXPECT_EQ(main->ClientsPath(), env.path("data") + "\\Clients");
    EXPECT_EQ(main->UsersPath(), env.path("data") + "\\Users");

    // A data directory ending in a separator doubles it, and the file is still found.
    WriteAll(env.path("data/Clients"), "x\n");
    main->txtFiles[0]->setText(env.path("data") + "\\");
    EXPECT_EQ(main->ClientsPath(), env.path("data") + "\\\\Clients");
    Visit(Main::TabClients);
    EXPECT_EQ(main->rtbClients->toPlainText(), "x\n");

    // No users file name: the path names the directory, which does not load.
    main->txtFiles[0]->setText(env.path("data"));
    main->txtFiles[2]->setText("");
    EXPECT_EQ(main->UsersPath(), env.path("data") + "\\");
    Visit(Main::TabUsers);
    EXPECT_TRUE(main->rtbUsers->toPlainText().isEmpty());
    EXPECT_TRUE(main->rtbUsers->FileName().isEmpty());
}

TEST_F(Tabs, UsersFileRoundTripKeepsTabsAndBytes) {
    const QByteArray original("ada\tPassword = \"x\"\r\nben\tcaf\xe9\r\nno final line end");
    WriteAll(env.path("data/Users"), original);
    Visit(Main::TabUsers);
    main->cmdUsersSave_Click();
    EXPECT_EQ(ReadAll(env.path("data/Users")), original);

    main->rtbUsers->setFocus();
    main->rtbUsers->moveCursor(QTextCursor::End);
    QTest::keyClick(main->rtbUsers, Qt::Key_Tab, Qt::ControlModifier);
    QTest::keyClicks(main->rtbUsers, "z");
    main->cmdUsersSave_Click();
    EXPECT_EQ(ReadAll(env.path("data/Users")), original + "\tz");
}

// Another administrator's change between the load and the save is not written over
// unasked: appended, replaced by rename with the same size, or only rewritten alike.
TEST_F(Tabs, AFileChangedOnDiskIsNotOverwrittenUnasked) {
    const QString users = env.path("data/Users");
    WriteAll(users, "ada\tpw\n");
    Visit(Main::TabUsers);
    main->rtbUsers->appendPlainText("mine\tpw");
    QFile other(users);
    ASSERT_TRUE(other.open(QIODevice::Append));
    other.write("theirs\tpw\n");
    other.close();
    main->cmdUsersSave_Click();  // answered No
    auto shown = MessageBox::takeShown();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_TRUE(shown[0].text.contains(QDir::toNativeSeparators(users))) << shown[0].text.toStdString();
    EXPECT_EQ(shown[0].buttons, MessageBox::Buttons::YesNo);
    EXPECT_EQ(ReadAll(users), "ada\tpw\ntheirs\tpw\n");
    MessageBox::answerNext(MessageBox::Answer::Yes);
    main->cmdUsersSave_Click();
    EXPECT_EQ(MessageBox::takeShown().size(), 1);
    const QByteArray mine = ReadAll(users);
    EXPECT_EQ(mine, main->rtbUsers->bytesToSave());

    QByteArray swapped = mine;
    swapped[0] = 'A';
    WriteAll(users + ".new", swapped);
    std::filesystem::rename(QFile::encodeName(users + ".new").toStdString(), QFile::encodeName(users).toStdString());
    main->cmdUsersSave_Click();
    EXPECT_EQ(MessageBox::takeShown().size(), 1);
    EXPECT_EQ(ReadAll(users), swapped);
    WriteAll(users, mine);
    main->cmdUsersSave_Click();
    EXPECT_TRUE(MessageBox::takeShown().isEmpty());
    EXPECT_EQ(ReadAll(users), mine);
}

// A file too large to show without holding up the window is refused by name and size; a
// missing one still passes in silence.
TEST_F(Tabs, AFileTooLargeToShowIsRefusedByName) {
    QFile big(env.path("data/Users"));
    ASSERT_TRUE(big.open(QIODevice::WriteOnly) && big.resize(TextFileEditor::MaxShownBytes + 1));
    big.close();
    Visit(Main::TabUsers);
    const auto shown = MessageBox::takeShown();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_TRUE(shown[0].text.contains(QDir::toNativeSeparators(env.path("data/Users"))) &&
                shown[0].text.contains(QString::number(TextFileEditor::MaxShownBytes + 1)))
        << shown[0].text.toStdString();
    EXPECT_TRUE(main->rtbUsers->FileName().isEmpty());
    ASSERT_TRUE(big.remove());
    QTest::mouseClick(main->Command2, Qt::LeftButton);
    EXPECT_TRUE(MessageBox::takeShown().isEmpty());
}

class Service : public Tabs {
protected:
    // A stand-in server program that records how it was started.
    void PlaceServer() { test::PutRecorder(env.path("program")); }
    // Its one argument, once it ran in its own folder.
    QString TakeArgument() {
        const QStringList record = test::TakeRecord(env.path("program"));
        EXPECT_EQ(record.size(), 3) << record.join(u'|').toStdString();
        if (record.size() != 3)
            return {};
        EXPECT_EQ(record[0], "1");
        EXPECT_EQ(QDir(record[2]).canonicalPath(), QDir(env.path("program")).canonicalPath());
        return record[1];
    }
};

TEST_F(Service, ButtonsFollowTheExecutableOnEveryVisit) {
    Visit(Main::TabServiceControl);
    EXPECT_FALSE(main->cmdInstall->isEnabled());
    EXPECT_FALSE(main->cmdRemove->isEnabled());
    EXPECT_FALSE(main->lblNotFound->isHidden());
    EXPECT_EQ(main->lblNotFound->toolTip(),
              "Corvex.exe is looked for in " + QDir::toNativeSeparators(env.path("program")));

    PlaceServer();
    Visit(Main::TabServiceControl);
    EXPECT_TRUE(main->cmdInstall->isEnabled());
    EXPECT_TRUE(main->cmdRemove->isEnabled());
    EXPECT_TRUE(main->lblNotFound->isHidden());

    QFile::remove(env.path("program/Corvex.exe"));
    QDir().mkdir(env.path("program/Corvex.exe"));  // a directory of that name is no program
    Visit(Main::TabServiceControl);
    EXPECT_FALSE(main->cmdInstall->isEnabled());
    EXPECT_FALSE(main->lblNotFound->isHidden());
}

TEST_F(Service, InstallAndRemoveStartTheServerWithOneArgument) {
    PlaceServer();
    Visit(Main::TabServiceControl);
    main->tabMain->setCurrentIndex(Main::TabConfiguration);
    Main::SetValue(main->chkTrimName[0], 1);
    main->SaveAll();
    ASSERT_FALSE(main->DirtyFlag());

    main->cmdRemove_Click();
    EXPECT_EQ(TakeArgument(), "-remove");
    EXPECT_FALSE(main->DirtyFlag());
    main->cmdInstall_Click();
    EXPECT_EQ(TakeArgument(), "-install");
    EXPECT_TRUE(main->DirtyFlag());
    EXPECT_TRUE(MessageBox::takeShown().isEmpty());
}

TEST_F(Service, AServerThatCannotStartIsReported) {
    // Neither a program nor, on Linux, executable; Wine would run even a script.
    WriteAll(env.path("program/Corvex.exe"), "not a program");
    QFile::setPermissions(env.path("program/Corvex.exe"), QFile::ReadOwner | QFile::WriteOwner);
    Visit(Main::TabServiceControl);
    main->cmdRemove_Click();
    auto shown = MessageBox::takeShown();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_TRUE(shown[0].text.contains("Corvex.exe"));
}

}  // namespace

namespace {

// Help > About: the version, shown modally, the same window again after OK, a new one after
// a close from the title bar.
TEST(HelpAbout, ShowsTheVersionModallyAndKeepsTheWindow) {
    test::TestEnv env;
    MessageBox::setTestMode(true);
    Main main;
    main.show();

    QList<QPointer<QDialog>> seen;
    auto inspectThen = [&](bool closeFromTitleBar) {
        QTimer::singleShot(0, [&, closeFromTitleBar] {
            auto* about = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(about, nullptr);
            EXPECT_EQ(about->objectName(), "About");
            EXPECT_EQ(about->findChild<QLabel*>("lblVersion")->text(), "Version: 2.5.267");
            seen << about;
            if (closeFromTitleBar)
                about->close();
            else
                QTest::mouseClick(about->findChild<QPushButton*>("cmdOK"), Qt::LeftButton);
        });
        main.mAbout->trigger();
    };
    inspectThen(false);
    inspectThen(false);
    ASSERT_EQ(seen.size(), 2);
    EXPECT_EQ(seen[0], seen[1]);
    EXPECT_FALSE(seen[0]->isVisible());

    inspectThen(true);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(seen[2].isNull());
    inspectThen(false);
    ASSERT_EQ(seen.size(), 4);
    EXPECT_FALSE(seen[3].isNull());
}

}  // namespace
