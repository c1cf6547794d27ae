// Prepares a demo for a newcomer: a settings store with example settings, a data
// directory with example Clients and Users files, and an SQLite data source with a few
// accounts, all inside one folder. Nothing outside that folder is touched, and what is
// already there (the operator's own demo edits) is kept.
#include "Registry.h"
#include "SqliteStore.h"

#include <sqlite3.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;

namespace {

bool WriteIfMissing(const fs::path& path, const std::string& text) {
    if (fs::exists(path))
        return true;
    std::ofstream out(path, std::ios::binary);
    out << text;
    return static_cast<bool>(out);
}

bool SeedDatabase(const fs::path& path) {
    if (fs::exists(path))
        return true;
    sqlite3* db = nullptr;
    if (sqlite3_open(path.c_str(), &db) != SQLITE_OK)
        return false;
    const char* sql =
        "CREATE TABLE MasterAccounts(Id INTEGER PRIMARY KEY, Name TEXT NOT NULL);"
        "CREATE TABLE SubAccounts(Id INTEGER PRIMARY KEY, MasterId INTEGER NOT NULL, Login TEXT NOT NULL);"
        "INSERT INTO MasterAccounts(Name) VALUES ('Harbour Books'), ('Quayside Cafe'), ('Lantern Works');"
        "INSERT INTO SubAccounts(MasterId, Login) VALUES (1,'ada'),(1,'ben'),(2,'cleo'),(2,'dan'),(3,'eve');";
    char* error = nullptr;
    const bool ok = sqlite3_exec(db, sql, nullptr, nullptr, &error) == SQLITE_OK;
    if (!ok)
        std::fprintf(stderr, "demo database: %s\n", error ? error : "?");
    sqlite3_free(error);
    sqlite3_close(db);
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: norvane-demo-setup DIR\n");
        return 2;
    }
    const fs::path dir = fs::absolute(argv[1]);
    const fs::path data = dir / "data";
    std::error_code ec;
    fs::create_directories(data, ec);
    if (ec) {
        std::fprintf(stderr, "cannot create %s: %s\n", data.c_str(), ec.message().c_str());
        return 1;
    }

    bool ok = SeedDatabase(dir / "demo.sqlite");
    ok &= WriteIfMissing(dir / "odbcinst.ini",
                         "[SQLite3]\nDescription=SQLite3 ODBC Driver\n"
                         "Driver=" NORVANE_ODBC_DRIVER_DIR "/libsqlite3odbc.so\n");
    ok &= WriteIfMissing(dir / "odbc.ini", "[NorvaneDemo]\nDriver=SQLite3\nDatabase=" + (dir / "demo.sqlite").string() +
                                               "\n\n[NorvaneDemoAcct]\nDriver=SQLite3\nDatabase=" +
                                               (dir / "demo.sqlite").string() + "\n");
    ok &= WriteIfMissing(data / "Clients", "127.0.0.1 testing123\r\n192.168.10.1 harbour-nas-secret\r\n");
    ok &= WriteIfMissing(data / "Users", "ada\tPassword = \"ada-demo\"\r\nben\tPassword = \"ben-demo\"\r\n");

    const fs::path store = dir / "registry.db";
    if (!fs::exists(store)) {
        using namespace norvane;
        Registry::UseStore(std::make_unique<SqliteStore>(store.string()));
        Registry::SetBaseKey(HKEY_LOCAL_MACHINE_ROOT, "SOFTWARE\\Tarsel\\Norvane");
        const std::pair<const char*, std::string> values[] = {
            {"IgnoreCase", "3"},
            {"AuthPort", "1812"},
            {"ReqAcctAuth", "1"},
            {"AllowMalformed", "0"},
            {"TrimName", "1"},
            {"AcctPort", "1813"},
            {"Mode", "3"},
            {"Proxy", "0"},
            {"Options", "4097"},
            {"SNMP", "1"},
            {"Debug", "0"},
            {"LogFile", "/var/log/norvane/auth.log"},
            {"AcctLogFile", "/var/log/norvane/acct.log"},
            {"ODBCDatasource", "NorvaneDemo"},
            {"Username", "demo"},
            {"Password", "demo"},
            {"AcctODBCDatasource", ""},
            {"AcctUsername", ""},
            {"AcctPassword", ""},
            {"TestDatabaseSecs", "60"},
            {"DataDirectory", data.string()},
            {"AcctDirectory", (dir / "acct").string()},
            {"UsersFile", "Users"},
            {"IPAddress", "All"},
        };
        Registry::BeginBatch();
        for (const auto& [name, value] : values)
            ok &= Registry::WriteString("", name, value) == 0;
        ok &= Registry::CommitBatch() == 0;
    }
    if (!ok)
        std::fprintf(stderr, "the demo in %s is incomplete\n", dir.c_str());
    return ok ? 0 : 1;
}
