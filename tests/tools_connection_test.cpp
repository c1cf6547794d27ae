// The connection check over the SQLite ODBC driver, and over the PostgreSQL driver
// against servers that cannot answer.
#include "ConnectionCheck.h"
#include "tools_OdbcIni.h"

#include <QHostAddress>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QTcpServer>

#include <gtest/gtest.h>

namespace {

using norvane::CheckConnection;
using norvane::test::OdbcIni;

// Builds an SQLite database file with the statements given, through Qt's own SQLite driver.
void MakeDatabase(const QString& file, const QStringList& statements) {
    const QString name = QStringLiteral("tools-make-") + file;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(file);
        ASSERT_TRUE(db.open()) << db.lastError().text().toStdString();
        QSqlQuery query(db);
        for (const QString& statement : statements)
            ASSERT_TRUE(query.exec(statement)) << statement.toStdString() << ": "
                                               << query.lastError().text().toStdString();
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
}

const QStringList Tables{
    QStringLiteral("CREATE TABLE MasterAccounts (id INTEGER PRIMARY KEY, name TEXT)"),
    QStringLiteral("CREATE TABLE SubAccounts (id INTEGER PRIMARY KEY, master INTEGER)"),
};

QStringList WithRows(int masters, int subs) {
    QStringList statements = Tables;
    for (int i = 1; i <= masters; ++i)
        statements << QStringLiteral("INSERT INTO MasterAccounts VALUES (%1, 'm%1')").arg(i);
    for (int i = 1; i <= subs; ++i)
        statements << QStringLiteral("INSERT INTO SubAccounts VALUES (%1, 1)").arg(i);
    return statements;
}

TEST(ToolsConnectionCheck, CountsTheRowsOfBothTables) {
    OdbcIni ini;
    MakeDatabase(ini.path("accounts.db"), WithRows(4, 7));
    ini.AddSqlite("Accounts", ini.path("accounts.db"));
    const auto result = CheckConnection("Accounts", "anyone", "anything");
    ASSERT_TRUE(result.ok) << result.error.toStdString();
    EXPECT_EQ(result.masterAccounts, 4);
    EXPECT_EQ(result.subAccounts, 7);
    EXPECT_TRUE(result.error.isEmpty());

    // A second check on the same data source works as well: nothing of the first is left open.
    EXPECT_TRUE(CheckConnection("Accounts", "", "").ok);
    EXPECT_TRUE(QSqlDatabase::connectionNames().isEmpty());
}

TEST(ToolsConnectionCheck, EmptyTablesCountZero) {
    OdbcIni ini;
    MakeDatabase(ini.path("empty.db"), Tables);
    ini.AddSqlite("Empty", ini.path("empty.db"));
    const auto result = CheckConnection("Empty", "", "");
    ASSERT_TRUE(result.ok) << result.error.toStdString();
    EXPECT_EQ(result.masterAccounts, 0);
    EXPECT_EQ(result.subAccounts, 0);
}

TEST(ToolsConnectionCheck, MissingSubAccountsFailsAfterTheFirstCount) {
    OdbcIni ini;
    MakeDatabase(ini.path("half.db"), {Tables[0], QStringLiteral("INSERT INTO MasterAccounts VALUES (1, 'a')")});
    ini.AddSqlite("Half", ini.path("half.db"));
    const auto result = CheckConnection("Half", "", "");
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.masterAccounts, 0) << "the first count is discarded";
    EXPECT_TRUE(result.error.contains("SubAccounts")) << result.error.toStdString();
}

TEST(ToolsConnectionCheck, UnknownDataSourceFailsWithTheDriverManagersWords) {
    OdbcIni ini;
    ini.AddSqlite("Known", ini.path("k.db"));
    const auto result = CheckConnection("NoSuchSource", "user", "pw");
    EXPECT_FALSE(result.ok);
    EXPECT_TRUE(result.error.contains("Data source name not found", Qt::CaseInsensitive)) << result.error.toStdString();
    EXPECT_TRUE(QSqlDatabase::connectionNames().isEmpty());
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
    EXPECT_FALSE(result.error.isEmpty());
}

}  // namespace
