// Reading the 24 settings and one save made durable, against plain SQLite doing the same
// number of lookups and one transaction of 24 rows with synchronous=FULL.
#include "Main.h"
#include "ODBC32.h"
#include "Registry.h"
#include "Settings.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>

#include "bench_support.h"

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <memory>
#include <string>

using namespace norvane;
using norvane::bench::BenchDir;

namespace {

struct Store {
    QTemporaryDir dir{BenchDir()};
    std::unique_ptr<Main> main;
    Store() {
        QDir().mkpath(dir.filePath("odbc"));
        QFile(dir.filePath("odbc/odbc.ini")).open(QIODevice::WriteOnly);
        QFile(dir.filePath("odbc/odbcinst.ini")).open(QIODevice::WriteOnly);
        qputenv("ODBCSYSINI", dir.filePath("odbc").toLocal8Bit());
        qputenv("ODBCINI", dir.filePath("odbc/odbc.ini").toLocal8Bit());
        qputenv("NORVANE_REGISTRY", dir.filePath("registry.db").toLocal8Bit());
        Registry::UseStore(nullptr);
        main = std::make_unique<Main>();
        main->txtLogFile[0]->setText("/var/log/corvex/auth.log");
        main->txtAuthPort->setText("1812");
        main->SaveAll();
    }
    ~Store() {
        main.reset();
        if (ODBC32::hEnv())
            ODBC32::FreeEnv();
        Registry::UseStore(nullptr);
    }
};

void BM_ReadString24(benchmark::State& state) {
    Store s;
    Registry::SetBaseKey(Settings::Root, Settings::KeyPath);
    for (auto _ : state)
        for (const Settings::Definition& d : Settings::Table)
            benchmark::DoNotOptimize(Registry::ReadString("", d.name));
}
BENCHMARK(BM_ReadString24)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_SaveAll(benchmark::State& state) {
    Store s;
    int i = 0;
    for (auto _ : state) {
        state.PauseTiming();
        s.main->txtCheckDB->setText(QString::number(++i));  // every save a different one
        state.ResumeTiming();
        if (!s.main->SaveAll())
            state.SkipWithError("SaveAll failed");
    }
}
BENCHMARK(BM_SaveAll)->Unit(benchmark::kMillisecond)->UseRealTime();

// Plain SQLite: one table of 24 named values in a file on the same disk.
struct Plain {
    QTemporaryDir dir{BenchDir()};
    sqlite3* db = nullptr;
    Plain() {
        sqlite3_open(dir.filePath("plain.db").toLocal8Bit().constData(), &db);
        sqlite3_exec(db,
                     "PRAGMA synchronous=FULL;"
                     "CREATE TABLE vals(name TEXT PRIMARY KEY COLLATE NOCASE, type INTEGER, data BLOB);",
                     nullptr, nullptr, nullptr);
        Write(0);
    }
    ~Plain() { sqlite3_close(db); }
    bool Write(int i) {
        if (sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK)
            return false;
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db,
                           "INSERT INTO vals(name, type, data) VALUES(?1, 1, ?2)"
                           " ON CONFLICT(name) DO UPDATE SET type = excluded.type, data = excluded.data",
                           -1, &st, nullptr);
        for (const Settings::Definition& d : Settings::Table) {
            const std::string v = std::string(d.name) + std::to_string(i);
            sqlite3_bind_text(st, 1, d.saveName, -1, SQLITE_STATIC);
            sqlite3_bind_blob(st, 2, v.data(), static_cast<int>(v.size() + 1), SQLITE_TRANSIENT);
            sqlite3_step(st);
            sqlite3_reset(st);
        }
        sqlite3_finalize(st);
        return sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
    }
};

void BM_Floor_SqliteSelect24(benchmark::State& state) {
    Plain p;
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(p.db, "SELECT type, data FROM vals WHERE name = ?1", -1, &st, nullptr);
    for (auto _ : state) {
        for (const Settings::Definition& d : Settings::Table) {
            sqlite3_bind_text(st, 1, d.name, -1, SQLITE_STATIC);
            if (sqlite3_step(st) == SQLITE_ROW)
                benchmark::DoNotOptimize(std::string(static_cast<const char*>(sqlite3_column_blob(st, 1)),
                                                     static_cast<std::size_t>(sqlite3_column_bytes(st, 1))));
            sqlite3_reset(st);
        }
    }
    sqlite3_finalize(st);
}
BENCHMARK(BM_Floor_SqliteSelect24)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_Floor_SqliteTransaction24(benchmark::State& state) {
    Plain p;
    int i = 0;
    for (auto _ : state)
        if (!p.Write(++i))
            state.SkipWithError("commit failed");
}
BENCHMARK(BM_Floor_SqliteTransaction24)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
