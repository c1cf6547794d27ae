// A second process that uses a store at the same time as the test.
//   settings_store_writer STORE PREFIX COUNT   writes COUNT values PREFIX0.. one by one
//   settings_store_writer STORE batches        saves the 24 settings in batches, batch N
//                                              writing N to all of them, until killed;
//                                              says "saving" once the first has landed
//   settings_store_writer STORE hold MS [write]
//                                              holds the store in an exclusive transaction
//                                              for MS ms (after changing every value with
//                                              write), then commits
// Exits non-zero at the first failure.
#include "Registry.h"
#include "Settings.h"
#include "SqliteStore.h"

#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <unistd.h>

namespace {

using namespace norvane;

void Say(const std::string& line) {
    const std::string text = line + "\n";
    [[maybe_unused]] const ssize_t n = ::write(STDOUT_FILENO, text.data(), text.size());
}

int Hold(const char* path, int ms, bool write) {
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path, &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
        return 1;
    // A small page cache makes the change spill into the file before the commit: the
    // journal is then synced and hot, as a save killed halfway leaves it.
    const char* sql = write ? "PRAGMA cache_size = 10; BEGIN EXCLUSIVE; UPDATE vals SET data = randomblob(400000);"
                            : "BEGIN EXCLUSIVE;";
    if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK) {
        std::fprintf(stderr, "hold: %s\n", sqlite3_errmsg(db));
        return 1;
    }
    Say("held");
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    const int rc = sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    return rc == SQLITE_OK ? 0 : 1;
}

int Batches() {
    for (unsigned long n = 0;; ++n) {
        const std::string text = std::to_string(n);
        if (std::int32_t st = Registry::BeginBatch()) {
            std::fprintf(stderr, "batch %lu: status %d: %s\n", n, st, Registry::LastErrorText().c_str());
            return 1;
        }
        for (const Settings::Definition& d : Settings::Table)
            if (std::int16_t st = Registry::WriteString("", d.saveName, text)) {
                std::fprintf(stderr, "batch %lu: status %d: %s\n", n, st, Registry::LastErrorText().c_str());
                return 1;
            }
        if (std::int32_t st = Registry::CommitBatch()) {
            std::fprintf(stderr, "batch %lu: status %d: %s\n", n, st, Registry::LastErrorText().c_str());
            return 1;
        }
        if (n == 0)
            Say("saving");
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3)
        return 2;
    if (std::strcmp(argv[2], "hold") == 0 && argc >= 4)
        return Hold(argv[1], std::atoi(argv[3]), argc > 4 && std::strcmp(argv[4], "write") == 0);
    Registry::UseStore(std::make_unique<SqliteStore>(argv[1]));
    Registry::SetBaseKey(HKEY_LOCAL_MACHINE_ROOT, "SOFTWARE\\Tarsel\\Norvane");
    if (std::strcmp(argv[2], "batches") == 0)
        return Batches();
    if (argc != 4)
        return 2;
    const int count = std::atoi(argv[3]);
    for (int i = 0; i < count; ++i) {
        std::string name = std::string(argv[2]) + std::to_string(i);
        if (std::int16_t st = Registry::WriteString("", name, std::to_string(i))) {
            std::fprintf(stderr, "%s: status %d: %s\n", name.c_str(), st, Registry::LastErrorText().c_str());
            return 1;
        }
    }
    return 0;
}
