// Settings from a real store file into the window and back, read from the store itself.
#include "FileText.h"
#include "Main.h"
#include "MessageBox.h"
#include "ODBC32.h"
#include "Registry.h"
#include "Settings.h"
#include "support/TestEnv.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#ifndef _WIN32
#include <sqlite3.h>

#include <arpa/inet.h>
#include <grp.h>
#include <ifaddrs.h>
#include <netinet/in.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace norvane;
using namespace std::string_literals;

namespace {

const std::string Key = "SOFTWARE\\Tarsel\\Norvane";

void Put(const std::string& name, std::uint32_t type, const std::string& bytes) {
    KeyStore& s = Registry::Store();
    HKey k = 0;
    ASSERT_EQ(s.CreateKey(HKEY_LOCAL_MACHINE_ROOT, Key, Access::AllAccess, k), 0);
    ASSERT_EQ(s.SetValue(k, name, type, reinterpret_cast<const unsigned char*>(bytes.data()),
                         static_cast<std::uint32_t>(bytes.size())),
              0);
    s.CloseKey(k);
}
void PutText(const std::string& name, const std::string& text) { Put(name, RegType::Sz, text + '\0'); }

test::TestEnv::Stored Stored() { return test::TestEnv::StoredValues(); }
std::pair<std::uint32_t, std::string> Sz(const std::string& text) { return {RegType::Sz, text + '\0'}; }

#ifndef _WIN32
// Whether another connection could read the store at this moment.
bool ReadableNow(const QString& path) {
    sqlite3* db = nullptr;
    bool readable = sqlite3_open_v2(path.toLocal8Bit().constData(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK &&
                    sqlite3_exec(db, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    return readable;
}
#endif

// A control's own Enabled flag, whether or not its tab can be used just now.
bool OwnEnabled(const QWidget* w) { return w->isEnabledTo(w->parentWidget()); }

class RoundTrip : public ::testing::Test {
protected:
    void SetUp() override {
        MessageBox::setTestMode(true);
        MessageBox::takeShown();
        env.UseEmptyOdbcIni();
    }
    void TearDown() override {
        if (ODBC32::hEnv())
            ODBC32::FreeEnv();
    }
    test::TestEnv env;
};

TEST_F(RoundTrip, FirstRunWithoutTheKey) {
    Main main;
    for (auto* box : main.findChildren<QLineEdit*>())
        EXPECT_TRUE(box->text().isEmpty()) << box->objectName().toStdString();
    for (auto* box : main.findChildren<QCheckBox*>())
        EXPECT_EQ(Main::Value(box), box == main.chkMode[0] ? 1 : 0) << box->objectName().toStdString();
    EXPECT_TRUE(main.frmAcct->isHidden());
    EXPECT_FALSE(main.tabMain->isTabEnabled(Main::TabOdbcDsn));
    EXPECT_FALSE(main.tabMain->isTabEnabled(Main::TabAdvanced));
    EXPECT_FALSE(main.tabMain->isTabEnabled(Main::TabCache));
    EXPECT_EQ(main.tabMain->currentIndex(), Main::TabConfiguration);
    EXPECT_FALSE(OwnEnabled(main.cmdCheck[0]));
    EXPECT_FALSE(OwnEnabled(main.cmdCheck[1]));
    EXPECT_EQ(main.cbIPAddress->currentText(), "All");
    EXPECT_FALSE(main.DirtyFlag());

    ASSERT_TRUE(main.SaveAll());
    auto stored = Stored();
    EXPECT_EQ(stored.size(), 22u);  // both ports stay unwritten while their boxes hold no number
    EXPECT_FALSE(stored.count("AuthPort"));
    EXPECT_FALSE(stored.count("AcctPort"));
    EXPECT_EQ(stored["IgnoreCase"], Sz("0"));
    EXPECT_EQ(stored["Mode"], Sz("0"));
    EXPECT_EQ(stored["TrimName"], Sz("0"));
    EXPECT_EQ(stored["ODBCDatasource"], Sz("Corvex"));
    EXPECT_EQ(stored["AcctODBCDatasource"], Sz(""));
    EXPECT_EQ(stored["UsersFile"], Sz("Users"));
    EXPECT_EQ(stored["IPAddress"], Sz("All"));
    EXPECT_EQ(stored["Password"], Sz(""));
}

TEST_F(RoundTrip, TypicalAndEdgeValuesComeBackAsTheServerExpects) {
    PutText("IgnoreCase", "1");
    PutText("AuthPort", "1645abc");
    Put("AcctPort", RegType::Dword, "\x15\x07\0\0"s);  // 1813
    PutText("ReqAcctAuth", "2");
    PutText("AllowMalformed", "2");
    PutText("TrimName", "3");
    PutText("Mode", "3");
    PutText("Proxy", "11");
    PutText("Options", "2064");  // "Do Not Check Users" and "MS Access Mode"
    PutText("SNMP", "3");
    PutText("Debug", "9");
    PutText("LogFile", " spaced.log ");
    PutText("UserName", "radius");
    PutText("Password", "secret");
    PutText("AcctODBCDatasource", "X");
    PutText("AcctUserName", "acct");
    PutText("AcctPassword", "acctpw");
    PutText("TestDatabaseSecs", "soon");
    PutText("DataDirectory", "/srv/norvane");
    PutText("UsersFile", "People");
    PutText("ServerOwnValue", "keep me");

    Main main;
    EXPECT_EQ(main.txtAuthPort->text(), "1645");
    EXPECT_EQ(main.txtAcctPort->text(), "1813");
    EXPECT_EQ(Main::Value(main.chkIgnoreCase), 1);
    EXPECT_EQ(Main::Value(main.chkReqSecret), 0);
    EXPECT_EQ(Main::Value(main.chkMalformed), 1);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(Main::Value(main.chkTrimName[i]), 1);
    EXPECT_EQ(Main::Value(main.chkMode[0]), 0);
    EXPECT_EQ(Main::Value(main.chkMode[1]), 1);
    EXPECT_EQ(Main::Value(main.chkMode[2]), 1);
    EXPECT_FALSE(main.chkMode[2]->isHidden());
    EXPECT_FALSE(main.chkMode[3]->isHidden());  // shown, unchecked, under a checked "Text Backup"
    EXPECT_EQ(Main::Value(main.chkMode[3]), 0);
    EXPECT_TRUE(main.tabMain->isTabEnabled(Main::TabOdbcDsn));
    EXPECT_EQ(Main::Value(main.chkOptions[11]), 1);
    EXPECT_EQ(Main::Value(main.chkOptions[4]), 0);
    EXPECT_EQ(main.txtLogFile[0]->text(), " spaced.log ");
    EXPECT_EQ(main.cbDSN[1]->currentText(), "X");
    EXPECT_EQ(Main::Value(main.chkDiffAcct), 0);
    EXPECT_TRUE(main.frmAcct->isHidden());
    EXPECT_TRUE(OwnEnabled(main.cmdCheck[0]));
    EXPECT_FALSE(main.DirtyFlag());

    ASSERT_TRUE(main.SaveAll());
    auto stored = Stored();
    EXPECT_EQ(stored["IgnoreCase"], Sz("3"));
    EXPECT_EQ(stored["AuthPort"], Sz("1645"));
    EXPECT_EQ(stored["AcctPort"], Sz("1813"));  // was a DWORD, now text
    EXPECT_EQ(stored["ReqAcctAuth"], Sz("0"));
    EXPECT_EQ(stored["AllowMalformed"], Sz("1"));
    EXPECT_EQ(stored["TrimName"], Sz("3"));
    EXPECT_EQ(stored["Mode"], Sz("3"));
    EXPECT_EQ(stored["Proxy"], Sz("11"));
    EXPECT_EQ(stored["Options"], Sz("2048"));
    EXPECT_EQ(stored["SNMP"], Sz("3"));
    EXPECT_EQ(stored["Debug"], Sz("9"));
    EXPECT_EQ(stored["LogFile"], Sz(" spaced.log "));  // saving trims nothing
    EXPECT_EQ(stored["UserName"], Sz("radius"));       // "Username" written into the same value
    EXPECT_FALSE(stored.count("Username"));
    EXPECT_EQ(stored["Password"], Sz("secret"));
    EXPECT_EQ(stored["AcctODBCDatasource"], Sz(""));
    EXPECT_EQ(stored["AcctUserName"], Sz(""));
    EXPECT_EQ(stored["AcctPassword"], Sz(""));
    EXPECT_EQ(stored["TestDatabaseSecs"], Sz("soon"));
    EXPECT_EQ(stored["UsersFile"], Sz("People"));
    EXPECT_EQ(stored["ServerOwnValue"], Sz("keep me"));
    EXPECT_FALSE(main.DirtyFlag());
}

TEST_F(RoundTrip, UneditedTextsKeepEveryByteAndShowTheirStart) {
    // Settings imported from a Windows machine carry Latin-1 bytes the locale cannot show;
    // others are UTF-8; one is longer than a text box holds by default.
    const std::string latin1 = "C:\\Norvane\\r\xe9seau ";
    const std::string utf8 = "/srv/r\xc3\xa9seau/";
    const char* texts[] = {"LogFile",          "AcctLogFile",        "ODBCDatasource", "UserName",
                           "Password",         "AcctODBCDatasource", "AcctUserName",   "AcctPassword",
                           "TestDatabaseSecs", "DataDirectory",      "AcctDirectory",  "UsersFile"};
    std::map<std::string, std::string> put;
    int i = 0;
    for (const char* name : texts)
        put[name] = (i++ % 2 ? latin1 : utf8) + name;
    put["AcctLogFile"] = std::string(40006, 'x') + latin1;
    for (const auto& [name, value] : put)
        PutText(name, value);

    Main main;
    EXPECT_EQ(main.txtLogFile[1]->text(), QString::fromLatin1(put["AcctLogFile"]));  // whole, é shown
    for (QLineEdit* box : main.findChildren<QLineEdit*>())
        EXPECT_EQ(box->cursorPosition(), 0) << box->objectName().toStdString();
    ASSERT_EQ(Main::Value(main.chkDiffAcct), 1);
    for (int save = 0; save < 2; ++save) {
        ASSERT_TRUE(main.SaveAll());
        auto stored = Stored();
        for (const auto& [name, value] : put)
            EXPECT_EQ(stored[name], Sz(value)) << name << ", save " << save;
    }

    // Edited boxes are stored in the locale's encoding, the others still as they were.
    main.txtFiles[0]->setText(QString::fromUtf8("/srv/caf\xc3\xa9"));
    main.txtUsername[0]->setText(main.txtUsername[0]->text());
    main.txtLogFile[0]->setText(main.txtLogFile[0]->text() + "2");
    ASSERT_TRUE(main.SaveAll());
    auto stored = Stored();
    const std::string cafe = QString::fromUtf8("/srv/caf\xc3\xa9").toLocal8Bit().toStdString();  // the system's text
    EXPECT_EQ(stored["DataDirectory"], Sz(cafe));
    EXPECT_EQ(stored["LogFile"], Sz(put["LogFile"] + "2"));  // UTF-8 to begin with
    EXPECT_EQ(stored["UserName"], Sz(put["UserName"]));      // set to what it showed
    EXPECT_EQ(stored["AcctLogFile"], Sz(put["AcctLogFile"]));
    main.txtFiles[1]->setText(main.txtFiles[1]->text() + "x");  // Latin-1, shown as U+FFFD
    ASSERT_TRUE(main.SaveAll());
    EXPECT_EQ(Stored()["AcctDirectory"],
              Sz(QString::fromLocal8Bit(put["AcctDirectory"] + "x").toLocal8Bit().toStdString()));

    // An edited Latin-1 value keeps the bytes around the edit; a character Latin-1 (and the
    // Windows code page) lacks beside them is refused with the reason, and nothing of the
    // save is stored.
    main.txtFiles[2]->setText(main.txtFiles[2]->text().mid(3));
    ASSERT_TRUE(main.SaveAll());
    EXPECT_EQ(Stored()["UsersFile"], Sz(put["UsersFile"].substr(3)));
    MessageBox::takeShown();
    main.txtFiles[2]->setText(main.txtFiles[2]->text() + QString::fromUtf8("\xc5\x81"));  // Ł
    main.txtFiles[0]->setText("/srv/other");
    EXPECT_FALSE(main.SaveAll());
    const auto shown = MessageBox::takeShown();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_TRUE(shown[0].text.contains("UsersFile") && shown[0].text.contains(EightBitCharacterSet()))
        << shown[0].text.toStdString();
    EXPECT_EQ(Stored()["UsersFile"], Sz(put["UsersFile"].substr(3)));
    EXPECT_EQ(Stored()["DataDirectory"], Sz(cafe));
}

TEST_F(RoundTrip, ModesAndProxiesAcrossTheirRange) {
    const std::pair<const char*, const char*> modes[] = {{"0", "0"}, {"1", "1"}, {"2", "2"},  {"3", "3"},
                                                         {"4", "4"}, {"9", "4"}, {"-1", "0"}, {"2.5", "1"}};
    for (auto [stored, saved] : modes) {
        test::TestEnv fresh;
        PutText("Mode", stored);
        PutText("Proxy", "16");
        Main main;
        ASSERT_TRUE(main.SaveAll());
        EXPECT_EQ(Stored()["Mode"], Sz(saved)) << "Mode " << stored;
        EXPECT_EQ(Stored()["Proxy"], Sz("0"));
    }
}

TEST_F(RoundTrip, AccountingValuesFollowUseDifferentAccountingDsn) {
    PutText("AcctODBCDatasource", "AcctDB");
    PutText("AcctUserName", "acct");
    PutText("AcctPassword", "pw");
    Main main;
    EXPECT_EQ(Main::Value(main.chkDiffAcct), 1);
    EXPECT_FALSE(main.frmAcct->isHidden());
    EXPECT_TRUE(OwnEnabled(main.cmdCheck[1]));
    main.cbDSN[1]->setEditText("");
    ASSERT_TRUE(main.SaveAll());
    EXPECT_EQ(Stored()["AcctODBCDatasource"], Sz("Corvex"));
    EXPECT_EQ(Stored()["AcctUserName"], Sz("acct"));

    Main::SetValue(main.chkDiffAcct, 0);
    ASSERT_TRUE(main.SaveAll());
    EXPECT_EQ(Stored()["AcctODBCDatasource"], Sz(""));
    EXPECT_EQ(Stored()["AcctUserName"], Sz(""));
    EXPECT_EQ(Stored()["AcctPassword"], Sz(""));
}

TEST_F(RoundTrip, PortsWithoutANumberLeaveTheStoredPort) {
    PutText("AuthPort", "1812");
    Main main;
    for (const char* text : {"", "0", "letters"}) {
        main.txtAuthPort->setText(text);
        ASSERT_TRUE(main.SaveAll());
        EXPECT_EQ(Stored()["AuthPort"], Sz("1812")) << text;
    }
    main.txtAuthPort->setText("1645 ");
    ASSERT_TRUE(main.SaveAll());
    EXPECT_EQ(Stored()["AuthPort"], Sz("1645"));
}

TEST_F(RoundTrip, SaveAndCloseAnswerToTheDirtyFlag) {
    Main main;
    main.show();
    main.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&main, test::ActivationWait));
    main.txtFiles[0]->setText("/data");
    EXPECT_TRUE(main.DirtyFlag());
    // File > Save, through the desktop's Save key.
    QTest::keyClick(&main, Qt::Key_S, Qt::ControlModifier);
    auto shown = MessageBox::takeShown();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0].text, "Norvane Configuration Saved");
    EXPECT_EQ(shown[0].title, "Norvane Admin");
    EXPECT_FALSE(main.DirtyFlag());

    // "Trim Name" unchecked: closing checks it, which is an edit, so it asks.
    Main::SetValue(main.chkTrimName[0], 0);
    main.SaveAll();
    MessageBox::answerNext(MessageBox::Answer::No);
    EXPECT_TRUE(main.close());
    shown = MessageBox::takeShown();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0].text, "Save Changes?");
    EXPECT_EQ(shown[0].title, "Norvane Administrator");
    EXPECT_EQ(shown[0].buttons, MessageBox::Buttons::YesNo);
    EXPECT_EQ(shown[0].icon, MessageBox::Icon::Question);
    EXPECT_EQ(Stored()["TrimName"], Sz("0"));  // No wrote nothing
}

TEST_F(RoundTrip, ClosingWithYesSavesAndExitNeverAsks) {
    {
        Main main;
        main.show();
        Main::SetValue(main.chkTrimName[0], 1);
        main.SaveAll();
        main.txtFiles[0]->setText("/saved-on-close");
        MessageBox::answerNext(MessageBox::Answer::Yes);
        EXPECT_TRUE(main.close());
        EXPECT_EQ(MessageBox::takeShown().size(), 1);
        EXPECT_EQ(Stored()["DataDirectory"], Sz("/saved-on-close"));
    }
    {
        Main main;
        main.show();
        main.txtFiles[0]->setText("/lost");
        main.mExit_Click();
        EXPECT_TRUE(MessageBox::takeShown().isEmpty());
        EXPECT_EQ(Stored()["DataDirectory"], Sz("/saved-on-close"));
    }
    {
        // Saved and nothing changed since, "Trim Name" checked: no prompt.
        Main main;
        main.show();
        Main::SetValue(main.chkTrimName[0], 1);
        main.SaveAll();
        EXPECT_TRUE(main.close());
        EXPECT_TRUE(MessageBox::takeShown().isEmpty());
    }
}

// The store file, its folder and the driver manager's ini files: what only Linux runs.
#ifndef _WIN32
TEST_F(RoundTrip, AFailedSaveIsReportedAndKeepsTheWindowOpen) {
    PutText("DataDirectory", "/before");
    Main main;
    main.show();
    main.txtFiles[0]->setText("/after");
    // The store cannot write its journal beside it: every write of the save fails.
    ASSERT_TRUE(QDir().mkdir(env.storePath() + "-journal"));

    main.mSave_Click();
    auto shown = MessageBox::takeShown();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_NE(shown[0].text, "Norvane Configuration Saved");
    // Nothing of the save was stored, and the operator learns which store refused it.
    EXPECT_TRUE(shown[0].text.startsWith("The settings were not saved.")) << shown[0].text.toStdString();
    EXPECT_TRUE(shown[0].text.contains(env.storePath())) << shown[0].text.toStdString();
    EXPECT_FALSE(shown[0].text.contains("DataDirectory")) << shown[0].text.toStdString();
    EXPECT_TRUE(main.DirtyFlag());

    MessageBox::answerNext(MessageBox::Answer::Yes);
    EXPECT_FALSE(main.close());
    EXPECT_TRUE(main.isVisible());
    EXPECT_EQ(MessageBox::takeShown().size(), 2);  // the question, then the failure

    QDir().rmdir(env.storePath() + "-journal");
    EXPECT_EQ(Stored()["DataDirectory"], Sz("/before"));
    MessageBox::answerNext(MessageBox::Answer::Yes);
    EXPECT_TRUE(main.close());
    EXPECT_EQ(Stored()["DataDirectory"], Sz("/after"));
}

TEST_F(RoundTrip, AStoreTheOperatorMayNotReadIsNamedAndNeverOverwrittenUnasked) {
    PutText("AuthPort", "1812");
    PutText("DataDirectory", "/srv/norvane");
    Registry::UseStore(nullptr);
    const QByteArray store = QFile::encodeName(env.storePath());
    const QByteArray dir = QFile::encodeName(env.root());
    // The store as /var/lib/norvane keeps it: its owner's alone. The window runs as an
    // account that is not that owner (nobody, when the test runs as root).
    const bool asRoot = ::geteuid() == 0;
    // A directory the account may pass through, and one it may not even look into.
    for (const mode_t dirMode : {0711, asRoot ? 0700 : 0}) {
        SCOPED_TRACE(dirMode);
        ASSERT_EQ(::chmod(dir.constData(), dirMode), 0);
        ASSERT_EQ(::chmod(store.constData(), asRoot ? 0600 : 0), 0);

        EXPECT_EXIT(
            {
                if (asRoot && (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0))
                    std::_Exit(3);
                bool ok = true;
                auto expect = [&](bool what, const char* why) {
                    if (!what)
                        std::fprintf(stderr, "not so: %s\n", why);
                    ok = ok && what;
                };
                {
                    Main main;
                    auto shown = MessageBox::takeShown();
                    expect(shown.size() == 1, "one message at start-up");
                    expect(shown.value(0).text.contains(env.storePath()), "it names the store file");
                    expect(main.txtAuthPort->text().isEmpty() && !main.DirtyFlag(), "the window shows the defaults");

                    // File > Save asks before it replaces what the window never showed.
                    MessageBox::answerNext(MessageBox::Answer::No);
                    main.mSave_Click();
                    shown = MessageBox::takeShown();
                    expect(shown.size() == 1 && shown[0].buttons == MessageBox::Buttons::YesNo, "the save asks first");
                    expect(main.DirtyFlag() == false, "nothing changed");
                    MessageBox::answerNext(MessageBox::Answer::Yes);
                    main.txtAuthPort->setText("1645");
                    main.mSave_Click();
                    shown = MessageBox::takeShown();
                    expect(shown.size() == 2 && shown[1].text.contains(env.storePath()),
                           "a refused save names the store");
                    expect(main.DirtyFlag(), "the edit is still unsaved");
                }
                std::_Exit(ok ? 0 : 1);
            },
            ::testing::ExitedWithCode(0), "");
    }

    ASSERT_EQ(::chmod(store.constData(), 0600), 0);
    ASSERT_EQ(::chmod(dir.constData(), 0700), 0);
    EXPECT_EQ(Stored()["AuthPort"], Sz("1812"));
    EXPECT_EQ(Stored()["DataDirectory"], Sz("/srv/norvane"));
}

// Counts the times a widget's pointer changed, and remembers the shapes it took.
class PointerWatch : public QObject {
public:
    PointerWatch() { qApp->installEventFilter(this); }
    ~PointerWatch() override { qApp->removeEventFilter(this); }
    QList<Qt::CursorShape> shapes;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::CursorChange && watched->objectName() == "Main")
            shapes << static_cast<QWidget*>(watched)->cursor().shape();
        return false;
    }
};

TEST_F(RoundTrip, AStoreHeldByAnotherProcessIsWaitedForOnceWithTheBusyPointer) {
    for (const Settings::Definition& d : Settings::Table)
        PutText(d.name, "2");
    PutText("DataDirectory", "/srv/norvane");
    Registry::UseStore(nullptr);

    // Another program holds the store in an exclusive transaction for a while.
    QProcess holder;
    holder.start("sqlite3", {env.storePath(), "BEGIN EXCLUSIVE;", ".shell sleep 1.5", "COMMIT;"});
    ASSERT_TRUE(holder.waitForStarted());
    for (int i = 0; i < 200 && ReadableNow(env.storePath()); ++i)
        QTest::qWait(10);
    ASSERT_FALSE(ReadableNow(env.storePath())) << "the holder never took the store";

    PointerWatch pointer;
    Main main;
    EXPECT_TRUE(holder.waitForFinished(10000));
    EXPECT_TRUE(MessageBox::takeShown().isEmpty());
    // Every value as stored, none of them blank for having waited.
    EXPECT_EQ(main.txtFiles[0]->text(), "/srv/norvane");
    EXPECT_EQ(main.txtAuthPort->text(), "2");
    EXPECT_EQ(main.txtCheckDB->text(), "2");
    EXPECT_EQ(Main::Value(main.chkMode[1]), 1);
    EXPECT_EQ(pointer.shapes, QList<Qt::CursorShape>({Qt::WaitCursor, Qt::ArrowCursor}));
}

TEST_F(RoundTrip, DataSourcesFromTheDriverManager) {
    const QString longName = QString(40, 'L');
    QFile inst(env.path("odbc/odbcinst.ini"));
    ASSERT_TRUE(inst.open(QIODevice::WriteOnly));
    inst.write("[SQLite3]\nDriver=" NORVANE_ODBC_DRIVER_DIR "/libsqlite3odbc.so\n");
    inst.close();
    QFile ini(env.path("odbc/odbc.ini"));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    for (const QString& name : {QString("Alpha"), longName, QString("Beta")})
        ini.write(QString("[%1]\nDriver=SQLite3\nDatabase=%2\n\n").arg(name, env.path("x.db")).toLocal8Bit());
    ini.close();
    PutText("ODBCDatasource", "NotOnThisMachine");

    Main main;
    EXPECT_EQ(main.cbDSN[0]->currentText(), "NotOnThisMachine");
    QStringList first, second;
    for (int i = 0; i < main.cbDSN[0]->count(); ++i)
        first << main.cbDSN[0]->itemText(i);
    for (int i = 0; i < main.cbDSN[1]->count(); ++i)
        second << main.cbDSN[1]->itemText(i);
    EXPECT_EQ(first, second);
    EXPECT_TRUE(first.contains(longName));
    EXPECT_TRUE(first.contains("Alpha"));
    EXPECT_TRUE(first.contains("Beta"));
    EXPECT_FALSE(main.DirtyFlag());

    main.cbDSN[1]->setEditText("Typed");
    main.mReloadDSN_Click();
    EXPECT_EQ(main.cbDSN[0]->currentText(), "NotOnThisMachine");
    EXPECT_EQ(main.cbDSN[1]->currentText(), "Typed");
    EXPECT_EQ(main.cbDSN[0]->count(), 3);
}

TEST_F(RoundTrip, NoDataSourcesLeavesTheListsEmpty) {
    PutText("ODBCDatasource", "Saved");
    Main main;
    EXPECT_EQ(main.cbDSN[0]->count(), 0);
    EXPECT_EQ(main.cbDSN[1]->count(), 0);
    main.mReloadDSN_Click();
    EXPECT_EQ(main.cbDSN[0]->currentText(), "Saved");
}

TEST_F(RoundTrip, TheAddressListHoldsThisMachinesAddresses) {
    // What the C library says this machine's IPv4 addresses are.
    QStringList expected;
    ifaddrs* list = nullptr;
    ASSERT_EQ(getifaddrs(&list), 0);
    for (ifaddrs* a = list; a; a = a->ifa_next)
        if (a->ifa_addr && a->ifa_addr->sa_family == AF_INET) {
            char text[INET_ADDRSTRLEN];
            inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(a->ifa_addr)->sin_addr, text, sizeof text);
            if (QString(text) != "0.0.0.0")
                expected << text;
        }
    freeifaddrs(list);
    ASSERT_FALSE(expected.isEmpty());

    const QString saved = expected.last();
    PutText("IPAddress", saved.toStdString());
    Main main;
    QStringList items;
    for (int i = 1; i < main.cbIPAddress->count(); ++i)
        items << main.cbIPAddress->itemText(i);
    EXPECT_EQ(main.cbIPAddress->itemText(0), "All");
    std::sort(items.begin(), items.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(items, expected);
    EXPECT_EQ(main.cbIPAddress->currentText(), saved);
    ASSERT_TRUE(main.SaveAll());
    EXPECT_EQ(Stored()["IPAddress"], Sz(main.cbIPAddress->currentText().toStdString()));
}
#endif

}  // namespace
