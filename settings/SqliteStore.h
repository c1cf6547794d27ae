#pragma once
// The embedded settings store: one SQLite file of keys (root and path) and named values
// with their type and exact bytes. Paths and names match without regard to case.

#include "KeyStore.h"

#include <chrono>
#include <functional>
#include <map>
#include <utility>
#include <string>

struct sqlite3;
struct sqlite3_stmt;

namespace norvane {

class SqliteStore : public KeyStore {
public:
    explicit SqliteStore(std::string path);
    ~SqliteStore() override;
    SqliteStore(const SqliteStore&) = delete;
    SqliteStore& operator=(const SqliteStore&) = delete;

    const std::string& path() const { return m_path; }

    std::int32_t OpenKey(std::uint32_t root, const std::string& path, std::uint32_t access, HKey& key) override;
    std::int32_t CreateKey(std::uint32_t root, const std::string& path, std::uint32_t access, HKey& key) override;
    std::int32_t QueryValue(HKey key, const std::string& name, std::uint32_t* type, unsigned char* data,
                            std::uint32_t* size) override;
    std::int32_t SetValue(HKey key, const std::string& name, std::uint32_t type, const unsigned char* data,
                          std::uint32_t size) override;
    std::int32_t CloseKey(HKey key) override;
    std::int32_t EnumValues(HKey key, std::vector<ValueEntry>& values) override;
    std::int32_t EnumSubKeys(HKey key, std::vector<std::string>& names) override;
    std::int32_t DeleteValue(HKey key, const std::string& name) override;
    std::int32_t DeleteTree(std::uint32_t root, const std::string& path) override;
    std::int32_t BeginBatch() override;
    std::int32_t CommitBatch() override;
    void RollbackBatch() override;
    std::int32_t BeginRead() override;
    void EndRead() override;
    std::string Location() const override { return m_path; }
    void SetWaitNotifier(WaitNotifier notifier) override { m_notifier = std::move(notifier); }
    std::string LastErrorText() const override { return m_lastError; }

    // How long an operation waits for another process that holds the store (30 s).
    void SetBusyTimeout(std::chrono::milliseconds timeout) { m_busyTimeout = timeout; }

private:
    enum class Schema { Unknown, Empty, Ours };
    // Tells the notifier that a long wait is over when the operation that waited returns.
    class WaitScope {
    public:
        explicit WaitScope(SqliteStore& store) : m_store(store) { ++m_store.m_scopes; }
        ~WaitScope() {
            if (--m_store.m_scopes == 0)
                m_store.WaitOver();
        }
        WaitScope(const WaitScope&) = delete;
        WaitScope& operator=(const WaitScope&) = delete;

    private:
        SqliteStore& m_store;
    };

    struct OpenKeyInfo {
        std::int64_t id;
        std::uint32_t access;
    };
    // Opens the database when it is not open yet; create asks for the file to be made.
    std::int32_t Connect(bool create);
    void Disconnect();
    std::pair<sqlite3_stmt*, int> Prepared(const char* sql);
    std::int32_t Fail(int sqliteCode);  // maps an SQLite result to a status, keeping its words
    std::int32_t FailWith(std::int32_t status, const std::string& text);
    std::int32_t ReadOnly();
    // The file at the path is no longer the one this connection has open (replaced by a
    // rename, deleted, or a link on the way pointed elsewhere).
    bool Moved();
    // synchronous = EXTRA, which a connection must have before it writes; false when the
    // store stayed busy past the operation's wait.
    bool Durable();
    int Exec(const char* sql);
    void Rollback();
    // Recognises the file as one of our stores (or an empty one) before anything is read.
    std::int32_t CheckSchema();
    // Inside a write transaction: the tables exist and the file says whose it is.
    std::int32_t EnsureSchema();
    static int OnBusy(void* self, int count);
    int KeepWaiting(int count);
    void WaitOver();
    std::int32_t FindKey(std::uint32_t root, const std::string& path, std::int64_t& id);
    std::int32_t InsertKey(std::uint32_t root, const std::string& path, std::int64_t& id);
    // Runs work in one transaction of its own, or in the open batch's.
    std::int32_t Atomically(const std::function<std::int32_t()>& work);
    std::int32_t WriteStatement(const char* sql, const std::function<void(sqlite3_stmt*)>& bind);
    const OpenKeyInfo* Lookup(HKey key) const;
    HKey Remember(std::int64_t id, std::uint32_t access);

    std::string m_path;
    std::string m_real;  // the file the connection opened, with no link on the way
    sqlite3* m_db = nullptr;
    bool m_durable = false;
    int m_scopes = 0;
    bool m_waiting = false;
    bool m_readOnly = false;
    bool m_inBatch = false;
    bool m_inRead = false;
    Schema m_schema = Schema::Unknown;
    bool m_stamped = false;  // the file carries our application id
    std::chrono::milliseconds m_busyTimeout{30000};
    WaitNotifier m_notifier;
    bool m_waitShown = false;
    std::chrono::steady_clock::time_point m_waitStart;
    std::string m_lastError;
    std::map<HKey, OpenKeyInfo> m_open;
    std::map<std::string, sqlite3_stmt*> m_prepared;
    HKey m_nextHandle = 1;
};

}  // namespace norvane
