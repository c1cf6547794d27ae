// The connection check over the PostgreSQL ODBC driver against the server that
// pg_start.sh started for these tests.
#include "ConnectionCheck.h"
#include "support/OdbcIni.h"

#include <QFile>

#include <gtest/gtest.h>

namespace {

using norvane::CheckConnection;
using norvane::test::OdbcIni;

int ServerPort() {
    QFile file(QStringLiteral(NORVANE_PG_STATE "/port"));
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    return file.readAll().trimmed().toInt();
}

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

}  // namespace
