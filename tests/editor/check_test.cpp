// The connection check as the operator runs it from the window: what it reads from the
// boxes, what it reports, and that it leaves settings and pointer as they were.
#include "Main.h"
#include "MessageBox.h"
#include "Registry.h"
#include "support/TestEnv.h"
#include "support/OdbcIni.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include "TextFileEditor.h"

#include <gtest/gtest.h>

#include <optional>

using namespace norvane;

namespace {

using test::MakeAccounts;

int PostgresPort() {
    QFile file(QStringLiteral(NORVANE_PG_STATE "/port"));
    return file.open(QIODevice::ReadOnly) ? file.readAll().trimmed().toInt() : 0;
}

// Types a password pair so the frame's "&Check" button is enabled, as an operator would.
void TypePasswords(QLineEdit* password, QLineEdit* verify, const QString& first, const QString& second) {
    password->clear();
    verify->clear();
    QTest::keyClicks(password, first);
    QTest::keyClicks(verify, second);
}

class Check : public ::testing::Test {
protected:
    void SetUp() override {
        MessageBox::setTestMode(true);
        MessageBox::takeShown();
        main = std::make_unique<Main>();
        main->show();
        Main::SetValue(main->chkMode[1], 1);  // the "ODBC DSN" tab can be used
        Main::SetValue(main->chkTrimName[0], 1);
        main->SaveAll();
        main->tabMain->setCurrentIndex(Main::TabOdbcDsn);
    }
    // Presses the button and returns the one message it showed.
    // The window is busy until the answer has been read, and itself only: no pointer
    // for the whole application, so the message box keeps its arrow.
    MessageBox::Shown Press(int index) {
        EXPECT_TRUE(main->cmdCheck[index]->isEnabled());
        std::optional<Qt::CursorShape> during;
        MessageBox::setOnShow([&](const MessageBox::Shown&) {
            during = main->cursor().shape();
            EXPECT_EQ(QApplication::overrideCursor(), nullptr);
        });
        QTest::mouseClick(main->cmdCheck[index], Qt::LeftButton);
        MessageBox::setOnShow(nullptr);
        EXPECT_EQ(during, Qt::WaitCursor);
        EXPECT_EQ(main->cursor().shape(), Qt::ArrowCursor);  // the normal pointer again
        auto shown = MessageBox::takeShown();
        EXPECT_EQ(shown.size(), 1);
        return shown.value(0);
    }
    test::TestEnv env;
    test::OdbcIni ini;
    std::unique_ptr<Main> main;
};

TEST_F(Check, CountsBothTablesOfTheNamedDataSource) {
    MakeAccounts(ini.path("full.db"), 3, 5);
    MakeAccounts(ini.path("empty.db"), 0, 0);
    ini.AddSqlite("Full", ini.path("full.db"));
    ini.AddSqlite("Empty", ini.path("empty.db"));
    main->cbDSN[0]->setEditText("Full");
    TypePasswords(main->txtPassword[0], main->txtPassword[1], "pw", "pw");
    main->SaveAll();
    const bool dirty = main->DirtyFlag();
    auto shown = Press(0);
    EXPECT_EQ(shown.text, "Check Connection Succeeded. (3 MBRs, 5 SAs)");
    EXPECT_EQ(shown.title, "Norvane Admin");
    EXPECT_EQ(shown.icon, MessageBox::Icon::None);
    EXPECT_EQ(main->DirtyFlag(), dirty);

    // Typed, not saved: the check uses the box as it stands and stores nothing.
    main->cbDSN[0]->setEditText("Empty");
    EXPECT_EQ(Press(0).text, "Check Connection Succeeded. (0 MBRs, 0 SAs)");
    Registry::SetBaseKey(HKEY_LOCAL_MACHINE_ROOT, "SOFTWARE\\Tarsel\\Norvane");
    EXPECT_EQ(Registry::ReadString("", "ODBCDatasource"), "Full");
}

TEST_F(Check, FailuresSayCheckConnectionFailed) {
    MakeAccounts(ini.path("half.db"), 2, 0, false);
    ini.AddSqlite("NoSubAccounts", ini.path("half.db"));
    TypePasswords(main->txtPassword[0], main->txtPassword[1], "x", "x");
    main->cbDSN[0]->setEditText("NoSubAccounts");
    auto shown = Press(0);
    EXPECT_EQ(shown.text, "Check Connection failed");
    EXPECT_TRUE(shown.detailedText.contains("SubAccounts")) << shown.detailedText.toStdString();

    main->cbDSN[0]->setEditText("NoSuchDataSource");
    EXPECT_EQ(Press(0).text, "Check Connection failed");

    // A first run: no data source named, only the password typed. Nothing is made of the
    // password anywhere, not even a file named after it.
    test::OwnWorkingDirectory work;
    const std::string before = test::PlacesAFileCouldAppear({env.root(), ini.path("")});
    main->cbDSN[0]->setEditText("");
    TypePasswords(main->txtPassword[0], main->txtPassword[1], "first-run-pw", "first-run-pw");
    EXPECT_EQ(Press(0).text, "Check Connection failed");
    EXPECT_EQ(test::PlacesAFileCouldAppear({env.root(), ini.path("")}), before);
}

TEST_F(Check, PostgresWithTheAccountingFramesOwnPassword) {
    const int port = PostgresPort();
    ASSERT_GT(port, 0) << "no PostgreSQL server: the tools_pg_start fixture did not run";
    ini.AddPostgres("Norvane", port, "norvane");

    Main::SetValue(main->chkDiffAcct, 1);
    main->cbDSN[1]->setEditText("Norvane");
    main->txtUsername[1]->setText("norvane");
    // The main pair is wrong; only txtPassword(2) is right, and it is what counts.
    TypePasswords(main->txtPassword[0], main->txtPassword[1], "wrong", "wrong");
    TypePasswords(main->txtPassword[2], main->txtPassword[3], "norvane-pw", "norvane-pw");
    EXPECT_EQ(Press(1).text, "Check Connection Succeeded. (3 MBRs, 5 SAs)");

    TypePasswords(main->txtPassword[2], main->txtPassword[3], "not-it", "not-it");
    EXPECT_EQ(Press(1).text, "Check Connection failed");

    main->cbDSN[0]->setEditText("Norvane");
    main->txtUsername[0]->setText("norvane");
    TypePasswords(main->txtPassword[0], main->txtPassword[1], "norvane-pw", "norvane-pw");
    EXPECT_EQ(Press(0).text, "Check Connection Succeeded. (3 MBRs, 5 SAs)");
}

TEST(Demo, ANewcomersFirstCheckSucceeds) {
    MessageBox::setTestMode(true);
    MessageBox::takeShown();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ASSERT_EQ(QProcess::execute(QStringLiteral(NORVANE_DEMO_SETUP), {dir.path()}), 0);
    qputenv("NORVANE_REGISTRY", (dir.path() + "/registry.db").toLocal8Bit());
    qputenv("ODBCSYSINI", dir.path().toLocal8Bit());
    qputenv("ODBCINI", (dir.path() + "/odbc.ini").toLocal8Bit());
    Registry::UseStore(nullptr);

    Main main;
    main.show();
    EXPECT_EQ(main.cbDSN[0]->currentText(), "NorvaneDemo");
    EXPECT_TRUE(main.tabMain->isTabEnabled(Main::TabOdbcDsn));
    main.tabMain->setCurrentIndex(Main::TabOdbcDsn);
    ASSERT_TRUE(main.cmdCheck[0]->isEnabled());
    QTest::mouseClick(main.cmdCheck[0], Qt::LeftButton);
    auto shown = MessageBox::takeShown();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0].text, "Check Connection Succeeded. (3 MBRs, 5 SAs)");

    main.tabMain->setCurrentIndex(Main::TabClients);
    EXPECT_FALSE(main.rtbClients->toPlainText().isEmpty());
    Registry::UseStore(nullptr);
}

}  // namespace
