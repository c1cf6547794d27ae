// The connection check over the SQLite ODBC driver, and over the PostgreSQL driver
// against servers that cannot answer.
#include "ConnectionCheck.h"
#include "support/OdbcIni.h"

#include <QHostAddress>
#include <QProcess>
#include <QTcpServer>
#include <QThread>

#include <gtest/gtest.h>

namespace {

using norvane::CheckConnection;
using norvane::test::MakeAccounts;
using norvane::test::OdbcIni;

TEST(ToolsConnectionCheck, CountsTheRowsOfBothTables) {
    OdbcIni ini;
    MakeAccounts(ini.path("accounts.db"), 4, 7);
    ini.AddSqlite("Accounts", ini.path("accounts.db"));
    const auto result = CheckConnection("Accounts", "anyone", "anything");
    ASSERT_TRUE(result.ok) << result.error.toStdString();
    EXPECT_EQ(result.masterAccounts, 4);
    EXPECT_EQ(result.subAccounts, 7);
    EXPECT_TRUE(result.error.isEmpty());

    // A second check on the same data source works as well: nothing of the first is left
    // open. unixODBC finds a name whatever the case of its ASCII letters, and so does the check.
    EXPECT_TRUE(CheckConnection("ACCOUNTS", "", "").ok);
}

TEST(ToolsConnectionCheck, EmptyTablesCountZero) {
    OdbcIni ini;
    MakeAccounts(ini.path("empty.db"), 0, 0);
    ini.AddSqlite("Empty", ini.path("empty.db"));
    const auto result = CheckConnection("Empty", "", "");
    ASSERT_TRUE(result.ok) << result.error.toStdString();
    EXPECT_EQ(result.masterAccounts, 0);
    EXPECT_EQ(result.subAccounts, 0);
}

TEST(ToolsConnectionCheck, MissingSubAccountsFailsAfterTheFirstCount) {
    OdbcIni ini;
    MakeAccounts(ini.path("half.db"), 1, 0, false);
    ini.AddSqlite("Half", ini.path("half.db"));
    const auto result = CheckConnection("Half", "", "");
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.masterAccounts, 0) << "the first count is discarded";
    EXPECT_TRUE(result.error.contains("SubAccounts")) << result.error.toStdString();
}

// Every name the driver manager would hand to its [Default] data source fails before any
// driver is loaded, though [Default] here is a database that would answer the check. A
// driver given the password inside a connection text makes a file named after that text;
// none appears anywhere.
TEST(ToolsConnectionCheck, OnlyADataSourceOfThatNameWithItsDriverIsReached) {
    norvane::test::OwnWorkingDirectory work;
    OdbcIni ini;
    MakeAccounts(ini.path("fallback.db"), 9, 9);
    MakeAccounts(ini.path("accounts.db"), 2, 3);
    const QString accounts = ini.path("accounts.db");
    ini.AddSqlite("Default", ini.path("fallback.db"));
    ini.AddSqlite("Accounts", accounts);
    ini.AddDataSource("NoDriver", "", {{"Database", accounts}});
    ini.AddDataSource("MissingDriver", "NoSuchDriver", {{"Database", accounts}});
    ini.AddDataSource("RelativeDriver", "odbc/libsqlite3odbc.so", {{"Database", accounts}});
    // The user's own data source of a name hides the system's, even when its driver is missing.
    ini.AddSqlite("Shadowed", accounts);
    ini.AddDataSource("Shadowed", "NoSuchDriver", {{"Database", accounts}}, true);
    const QString secret = QStringLiteral("pw-7f3a9c;leak");
    const std::string before = norvane::test::PlacesAFileCouldAppear({ini.path("")});

    for (const char* name : {"", "Default", "DEFAULT", "NoSuchSource", "Accounts ", " Accounts", "Accounts;",
                             "[Accounts]", "NoDriver", "MissingDriver", "RelativeDriver", "Shadowed"}) {
        SCOPED_TRACE(name);
        const auto result = CheckConnection(name, "radius", secret);
        EXPECT_FALSE(result.ok) << result.masterAccounts;
        EXPECT_FALSE(result.error.isEmpty());
        EXPECT_FALSE(result.error.contains(secret));
    }
    EXPECT_TRUE(CheckConnection("NoSuchSource", "", "").error.contains("Data source name not found"));
    EXPECT_TRUE(CheckConnection("MissingDriver", "", "").error.contains("NoSuchDriver"));

    EXPECT_EQ(norvane::test::PlacesAFileCouldAppear({ini.path("")}), before);
    const auto result = CheckConnection("Accounts", "radius", secret);
    ASSERT_TRUE(result.ok) << result.error.toStdString();
    EXPECT_EQ(result.masterAccounts, 2);
    EXPECT_EQ(result.subAccounts, 3);
}

// Counts arrive as the driver writes them out; the server's own past-32-bit count is
// checked against PostgreSQL in tools_pg_test.cpp.
TEST(ToolsConnectionCheck, CountTextMustBeAWholeThirtyTwoBitNumber) {
    using norvane::CountFromText;
    EXPECT_EQ(CountFromText("0"), 0);
    EXPECT_EQ(CountFromText("2147483647"), 2147483647);
    EXPECT_EQ(CountFromText("-2147483648"), -2147483647 - 1);
    EXPECT_EQ(CountFromText("12.0"), 12);  // a count given as a decimal
    EXPECT_EQ(CountFromText(" 7 "), 7);
    EXPECT_EQ(CountFromText("2147483648"), std::nullopt);
    EXPECT_EQ(CountFromText("-2147483649"), std::nullopt);
    EXPECT_EQ(CountFromText("3000000000"), std::nullopt);
    EXPECT_EQ(CountFromText("99999999999999999999999"), std::nullopt);
    EXPECT_EQ(CountFromText("1e12"), std::nullopt);
    EXPECT_EQ(CountFromText("2.5"), std::nullopt);
    EXPECT_EQ(CountFromText(""), std::nullopt);
    EXPECT_EQ(CountFromText("many"), std::nullopt);
}

TEST(ToolsConnectionCheck, ClosedPortFails) {
    quint16 port = 0;
    {
        QTcpServer probe;
        ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
        port = probe.serverPort();
    }  // closed again: nothing listens there now
    OdbcIni ini;
    ini.AddPostgres("Closed", port, "norvane");
    const auto result = CheckConnection("Closed", "norvane", "pw", 5);
    EXPECT_FALSE(result.ok);
    EXPECT_FALSE(result.error.isEmpty());
}

TEST(ToolsConnectionCheck, SilentServerEndsAtTheLoginTimeout) {
    // The kernel completes the connection, but nothing ever answers the driver.
    QTcpServer silent;
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost, 0));
    OdbcIni ini;
    ini.AddPostgres("Silent", silent.serverPort(), "norvane");
    const auto result = CheckConnection("Silent", "norvane", "pw", 2);
    EXPECT_FALSE(result.ok);
    EXPECT_TRUE(result.error.contains("did not finish within 2 seconds")) << result.error.toStdString();
}

// Another process holds the database: the SQLite driver takes no query timeout and would
// wait out its own 100 s, but the check ends at its limit and says why.
TEST(ToolsConnectionCheck, ALockedDatabaseEndsAtTheLimit) {
    OdbcIni ini;
    const QString db = ini.path("locked.db");
    MakeAccounts(db, 1, 1);
    ini.AddSqlite("Locked", db);
    QProcess holder;
    holder.start("sqlite3", {db});
    ASSERT_TRUE(holder.waitForStarted());
    holder.write(".timeout 5000\nBEGIN EXCLUSIVE;\nINSERT INTO SubAccounts VALUES(9, 1);\n");
    ASSERT_TRUE(holder.waitForBytesWritten());
    sqlite3* probe = nullptr;
    ASSERT_EQ(sqlite3_open(db.toLocal8Bit().constData(), &probe), SQLITE_OK);
    while (sqlite3_exec(probe, "BEGIN IMMEDIATE; ROLLBACK;", nullptr, nullptr, nullptr) == SQLITE_OK)
        QThread::msleep(10);
    sqlite3_close(probe);
    const auto result = CheckConnection("Locked", "", "", 2);
    EXPECT_FALSE(result.ok);
    EXPECT_TRUE(result.error.contains("did not finish within 2 seconds")) << result.error.toStdString();
    holder.closeWriteChannel();
    ASSERT_TRUE(holder.waitForFinished());
    EXPECT_TRUE(CheckConnection("Locked", "", "").ok);
}

}  // namespace
