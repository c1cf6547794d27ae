// Reading the 24 settings and one save made durable, against plain SQLite doing the same
// number of lookups and one transaction of 24 rows with the store's synchronous=EXTRA; and
// norvane-reg's export of many keys against reading the same rows once in path order.
#include "Main.h"
#include "ODBC32.h"
#include "RegFile.h"
#include "Registry.h"
#include "Settings.h"
#include "SqliteStore.h"

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
                     "PRAGMA synchronous=EXTRA;"
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

// A store of its own with N sibling keys of one value each, as an export meets them.
struct ManyKeys {
    QTemporaryDir dir{BenchDir()};
    std::string path = dir.filePath("registry.db").toStdString();
    static constexpr const char* Parent = "SOFTWARE\\Bench";
    explicit ManyKeys(int n) {
        SqliteStore store(path);
        store.BeginBatch();
        for (int i = 0; i < n; ++i) {
            HKey key = 0;
            store.CreateKey(HKEY_LOCAL_MACHINE_ROOT, std::string(Parent) + "\\Key" + std::to_string(i),
                            Access::AllAccess, key);
            const std::string value = std::to_string(i) + '\0';
            store.SetValue(key, "Value", RegType::Sz, reinterpret_cast<const unsigned char*>(value.data()),
                           static_cast<std::uint32_t>(value.size()));
            store.CloseKey(key);
        }
        store.CommitBatch();
    }
};

void BM_Export(benchmark::State& state) {
    ManyKeys keys(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        // As norvane-reg exports: one read transaction around the whole tree.
        SqliteStore store(keys.path);
        std::string text;
        if (store.BeginRead() != 0 || RegFile::ExportTree(store, ManyKeys::Parent, text).status != 0)
            state.SkipWithError("export failed");
        store.EndRead();
        benchmark::DoNotOptimize(text);
    }
}
BENCHMARK(BM_Export)->Arg(10000)->Arg(30000)->Unit(benchmark::kMillisecond)->UseRealTime();

// Every key and value of the subtree read once, in path order, by one query.
void BM_Floor_ReadKeysInOrder(benchmark::State& state) {
    ManyKeys keys(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        sqlite3* db = nullptr;
        sqlite3_open_v2(keys.path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(
            db,
            "SELECT k.path, v.name, v.type, v.data FROM keys k LEFT JOIN vals v ON v.key_id = k.id"
            " WHERE k.root = 2147483650 AND (k.path = ?1 OR (k.path > ?1 || '\\' AND k.path < ?1 || ']'))"
            " ORDER BY k.path, v.rowid",
            -1, &st, nullptr);
        sqlite3_bind_text(st, 1, ManyKeys::Parent, -1, SQLITE_STATIC);
        std::string rows;
        while (sqlite3_step(st) == SQLITE_ROW)
            for (int c : {0, 1, 3})
                if (const auto* p = static_cast<const char*>(sqlite3_column_blob(st, c)))
                    rows.append(p, static_cast<std::size_t>(sqlite3_column_bytes(st, c)));
        sqlite3_finalize(st);
        sqlite3_close(db);
        benchmark::DoNotOptimize(rows);
    }
}
BENCHMARK(BM_Floor_ReadKeysInOrder)->Arg(10000)->Arg(30000)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
