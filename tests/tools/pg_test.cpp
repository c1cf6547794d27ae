// The connection check over the PostgreSQL ODBC driver against the server that
// pg_start.sh started for these tests.
#include "ConnectionCheck.h"
#include "support/OdbcIni.h"

#include <QFile>

#include <gtest/gtest.h>

#include "OdbcApi.h"

namespace {

using norvane::CheckConnection;
using norvane::test::OdbcIni;

int ServerPort() {
    QFile file(QStringLiteral(NORVANE_PG_STATE "/port"));
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    return file.readAll().trimmed().toInt();
}

// Holds an exclusive lock on MasterAccounts, in a transaction of its own, while it lives.
class TableLock {
public:
    explicit TableLock(const char* dataSource) {
        auto text = [](const char* t) { return reinterpret_cast<SQLCHAR*>(const_cast<char*>(t)); };
        SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &m_env);
        SQLSetEnvAttr(m_env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
        SQLAllocHandle(SQL_HANDLE_DBC, m_env, &m_dbc);
        m_held =
            SQL_SUCCEEDED(
                SQLConnect(m_dbc, text(dataSource), SQL_NTS, text("norvane"), SQL_NTS, text("norvane-pw"), SQL_NTS)) &&
            SQL_SUCCEEDED(
                SQLSetConnectAttr(m_dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0)) &&
            SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, m_dbc, &m_stmt)) &&
            SQL_SUCCEEDED(SQLExecDirect(m_stmt, text("LOCK TABLE MasterAccounts IN ACCESS EXCLUSIVE MODE"), SQL_NTS));
    }
    ~TableLock() {
        SQLEndTran(SQL_HANDLE_DBC, m_dbc, SQL_ROLLBACK);
        SQLFreeHandle(SQL_HANDLE_STMT, m_stmt);
        SQLDisconnect(m_dbc);
        SQLFreeHandle(SQL_HANDLE_DBC, m_dbc);
        SQLFreeHandle(SQL_HANDLE_ENV, m_env);
    }
    TableLock(const TableLock&) = delete;
    TableLock& operator=(const TableLock&) = delete;
    bool held() const { return m_held; }

private:
    SQLHENV m_env = SQL_NULL_HANDLE;
    SQLHDBC m_dbc = SQL_NULL_HANDLE;
    SQLHSTMT m_stmt = SQL_NULL_HANDLE;
    bool m_held = false;
};

class ToolsPgConnectionCheck : public ::testing::Test {
protected:
    void SetUp() override {
        port = ServerPort();
        ASSERT_GT(port, 0) << "no server: the tools_pg_start fixture did not run";
        ini.AddPostgres("Norvane", port, "norvane");
    }
    OdbcIni ini;
    int port = 0;
};

TEST_F(ToolsPgConnectionCheck, RightPasswordCountsBothTables) {
    const auto result = CheckConnection("Norvane", "norvane", "norvane-pw");
    ASSERT_TRUE(result.ok) << result.error.toStdString();
    EXPECT_EQ(result.masterAccounts, 3);
    EXPECT_EQ(result.subAccounts, 5);
}

TEST_F(ToolsPgConnectionCheck, WrongPasswordFailsWithTheServersWords) {
    auto result = CheckConnection("Norvane", "norvane", "norvane-pw2");
    EXPECT_FALSE(result.ok);
    EXPECT_TRUE(result.error.contains("password authentication failed")) << result.error.toStdString();

    result = CheckConnection("Norvane", "nobody-here", "norvane-pw");
    EXPECT_FALSE(result.ok);
    EXPECT_FALSE(result.error.isEmpty());
}

// A [Default] data source that would accept the login stands in for no other name, and
// nothing is written anywhere.
TEST_F(ToolsPgConnectionCheck, NoOtherNameReachesTheServer) {
    norvane::test::OwnWorkingDirectory work;
    ini.AddPostgres("Default", port, "norvane");
    const std::string before = norvane::test::PlacesAFileCouldAppear({ini.path("")});
    for (const char* name : {"", "Default", "default", "NoSuchSource", "Norvane "}) {
        const auto result = CheckConnection(name, "norvane", "norvane-pw");
        EXPECT_FALSE(result.ok) << name;
        EXPECT_FALSE(result.error.contains("norvane-pw")) << result.error.toStdString();
    }
    EXPECT_EQ(norvane::test::PlacesAFileCouldAppear({ini.path("")}), before);
    EXPECT_TRUE(CheckConnection("Norvane", "norvane", "norvane-pw").ok);
}

TEST_F(ToolsPgConnectionCheck, PasswordWithConnectionStringCharactersArrivesWhole) {
    const auto result = CheckConnection("Norvane", "norvane_semi", "a;b}c {d");
    ASSERT_TRUE(result.ok) << result.error.toStdString();
    EXPECT_EQ(result.masterAccounts, 3);
    EXPECT_EQ(result.subAccounts, 5);
    // The part before the semicolon is not accepted as the password.
    EXPECT_FALSE(CheckConnection("Norvane", "norvane_semi", "a").ok);
}

// In these databases Count(*) is the row count plus 2147483646, computed by the server.
TEST_F(ToolsPgConnectionCheck, CountsUpToTheLargestThirtyTwoBitNumber) {
    ini.AddPostgres("AtLimit", port, "norvane_max");
    const auto result = CheckConnection("AtLimit", "norvane", "norvane-pw");
    ASSERT_TRUE(result.ok) << result.error.toStdString();
    EXPECT_EQ(result.masterAccounts, 2147483647);
    EXPECT_EQ(result.subAccounts, 2147483647);
}

TEST_F(ToolsPgConnectionCheck, CountPastThirtyTwoBitsFails) {
    ini.AddPostgres("PastLimit", port, "norvane_over");
    const auto result = CheckConnection("PastLimit", "norvane", "norvane-pw");
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.masterAccounts, 0);
    EXPECT_TRUE(result.error.contains("2147483648")) << result.error.toStdString();
}

// While another session holds the table, the check ends at its limit (here 2 s, not the
// window's 15 s) with the server's reason; afterwards it counts again.
TEST_F(ToolsPgConnectionCheck, ALockedTableEndsTheCheckAtItsLimit) {
    {
        const TableLock lock("Norvane");
        ASSERT_TRUE(lock.held());
        const auto result = CheckConnection("Norvane", "norvane", "norvane-pw", 2);
        EXPECT_FALSE(result.ok);
        EXPECT_TRUE(result.error.contains("did not finish within 2 seconds") &&
                    result.error.contains("statement timeout"))
            << result.error.toStdString();
    }
    EXPECT_TRUE(CheckConnection("Norvane", "norvane", "norvane-pw", 2).ok);
}

}  // namespace
