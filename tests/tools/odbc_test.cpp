// The data-source enumeration over unixODBC, with ini files of the test's own.
#include "ODBC32.h"
#include "support/OdbcIni.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using norvane::test::OdbcIni;
namespace ODBC32 = norvane::ODBC32;

struct Enumeration {
    std::vector<std::string> names;
    std::vector<std::int16_t> codes;  // every return code, the last one included
};

// The loop the main window runs: go on while a fetch succeeded, with or without info.
Enumeration Enumerate() {
    Enumeration result;
    auto fetched = ODBC32::FetchDataSource(ODBC32::SQL_FETCH_FIRST);
    result.codes.push_back(fetched.rc);
    while (fetched.rc == 0 || fetched.rc == 1) {
        result.names.push_back(fetched.name);
        fetched = ODBC32::FetchDataSource(ODBC32::SQL_FETCH_NEXT);
        result.codes.push_back(fetched.rc);
        if (result.codes.size() > 1000)
            break;  // a driver manager that never ends the list
    }
    return result;
}

class ToolsODBC32 : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(ODBC32::AllocEnv(), 0); }
    void TearDown() override { ODBC32::FreeEnv(); }
    OdbcIni ini;  // built before SetUp allocates the environment
};

TEST_F(ToolsODBC32, LongNamesDoNotEndTheList) {
    const std::string forty(40, 'L');
    const std::string long300 = "Data-source " + std::string(288, 'x');
    ini.AddSqlite("UserSource", ini.path("u.db"), true);
    for (const std::string& name : {std::string("Zeta"), std::string("Alpha"), forty, long300, std::string("Beta")})
        ini.AddSqlite(QString::fromStdString(name), ini.path("s.db"));

    const Enumeration listed = Enumerate();
    // unixODBC gives the user's data sources first, then the system's, each in file order.
    const std::vector<std::string> expected{"UserSource", "Zeta", "Alpha", forty, long300, "Beta"};
    EXPECT_EQ(listed.names, expected);
    ASSERT_FALSE(listed.codes.empty());
    EXPECT_EQ(listed.codes.back(), 100) << "the list ends with no data";
}

TEST_F(ToolsODBC32, NoDataSourcesGiveAnEmptyList) {
    const auto first = ODBC32::FetchDataSource(ODBC32::SQL_FETCH_FIRST);
    EXPECT_EQ(first.rc, 100);
    EXPECT_TRUE(first.name.empty());
}

TEST_F(ToolsODBC32, ReloadSeesDataSourcesAddedSinceStartUp) {
    ini.AddSqlite("First", ini.path("a.db"));
    EXPECT_EQ(Enumerate().names, std::vector<std::string>{"First"});
    ini.AddSqlite("Second", ini.path("b.db"));
    // The same environment, a new enumeration from the start.
    EXPECT_EQ(Enumerate().names, (std::vector<std::string>{"First", "Second"}));
}

TEST_F(ToolsODBC32, FreeEnvResetsTheHandle) {
    ini.AddSqlite("Only", ini.path("a.db"));
    EXPECT_NE(ODBC32::hEnv(), 0u);
    ODBC32::FreeEnv();
    EXPECT_EQ(ODBC32::hEnv(), 0u);
    // Without an environment the first fetch fails, so a reload changes nothing.
    const auto fetched = ODBC32::FetchDataSource(ODBC32::SQL_FETCH_FIRST);
    EXPECT_NE(fetched.rc, 0);
    EXPECT_NE(fetched.rc, 1);
    ODBC32::FreeEnv();  // a second free is harmless
    EXPECT_EQ(ODBC32::hEnv(), 0u);

    ASSERT_EQ(ODBC32::AllocEnv(), 0);
    EXPECT_NE(ODBC32::hEnv(), 0u);
    EXPECT_EQ(Enumerate().names, std::vector<std::string>{"Only"});
}

}  // namespace
