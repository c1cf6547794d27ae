#include "SqliteStore.h"

#include <sqlite3.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace norvane {
namespace {

constexpr std::uint32_t WriteAccess = Access::SetValue | Access::CreateSubKey | Access::CreateLink;

// Case-insensitive the way the store's NOCASE collation is: ASCII letters only.
char Fold(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool StartsWithNoCase(const std::string& text, const std::string& prefix) {
    if (text.size() < prefix.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (Fold(text[i]) != Fold(prefix[i]))
            return false;
    return true;
}

// A key path without leading or trailing separators; "" is the root itself.
std::string Normalise(const std::string& path) {
    std::size_t b = path.find_first_not_of('\\');
    if (b == std::string::npos)
        return {};
    std::size_t e = path.find_last_not_of('\\');
    return path.substr(b, e - b + 1);
}

class Statement {
public:
    // A statement the store keeps prepared; it is reset for its next use when done.
    explicit Statement(std::pair<sqlite3_stmt*, int> prepared) : m_stmt(prepared.first), m_rc(prepared.second) {}
    ~Statement() {
        if (m_stmt) {
            sqlite3_reset(m_stmt);
            sqlite3_clear_bindings(m_stmt);
        }
    }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    bool ok() const { return m_rc == SQLITE_OK; }
    int prepareCode() const { return m_rc; }
    sqlite3_stmt* get() const { return m_stmt; }
    void bind(int i, std::int64_t v) { sqlite3_bind_int64(m_stmt, i, v); }
    void bind(int i, const std::string& s) { sqlite3_bind_text(m_stmt, i, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT); }
    int step() { return sqlite3_step(m_stmt); }
    std::int64_t integer(int c) const { return sqlite3_column_int64(m_stmt, c); }
    std::string text(int c) const {
        auto p = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, c));
        return p ? std::string(p, static_cast<std::size_t>(sqlite3_column_bytes(m_stmt, c))) : std::string();
    }
    std::string blob(int c) const {
        auto p = static_cast<const char*>(sqlite3_column_blob(m_stmt, c));
        return p ? std::string(p, static_cast<std::size_t>(sqlite3_column_bytes(m_stmt, c))) : std::string();
    }

private:
    sqlite3_stmt* m_stmt = nullptr;
    int m_rc;
};

const char* const Schema =
    "CREATE TABLE IF NOT EXISTS keys("
    " id INTEGER PRIMARY KEY,"
    " root INTEGER NOT NULL,"
    " path TEXT NOT NULL COLLATE NOCASE,"
    " UNIQUE(root, path));"
    "CREATE TABLE IF NOT EXISTS vals("
    " key_id INTEGER NOT NULL REFERENCES keys(id) ON DELETE CASCADE,"
    " name TEXT NOT NULL COLLATE NOCASE,"
    " type INTEGER NOT NULL,"
    " data BLOB NOT NULL,"
    " PRIMARY KEY(key_id, name));"
    // The root key always exists, as on Windows.
    "INSERT OR IGNORE INTO keys(root, path) VALUES(2147483650, '');";

}  // namespace

SqliteStore::SqliteStore(std::string path) : m_path(std::move(path)) {}

SqliteStore::~SqliteStore() { Disconnect(); }

std::int32_t SqliteStore::FailWith(std::int32_t status, const std::string& text) {
    m_lastError = text;
    return status;
}

std::int32_t SqliteStore::Fail(int code) {
    std::string words = m_db ? sqlite3_errmsg(m_db) : sqlite3_errstr(code);
    switch (code & 0xFF) {
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH:
    case SQLITE_CANTOPEN:
        return FailWith(Status::AccessDenied, words);
    case SQLITE_FULL:
        return FailWith(Status::DiskFull, words);
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return FailWith(Status::Busy, words);
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        return FailWith(Status::BadDatabase, words);
    default:
        return FailWith(Status::IoFailed, words);
    }
}

std::int32_t SqliteStore::Connect(bool create) {
    if (m_db && (!create || !m_readOnly))
        return Status::Success;

    struct stat st {};
    bool exists = ::stat(m_path.c_str(), &st) == 0;
    if (!exists && !create)
        return FailWith(Status::FileNotFound, "the settings store " + m_path + " does not exist");
    if (!exists) {
        std::error_code ec;
        auto parent = std::filesystem::path(m_path).parent_path();
        if (!parent.empty())
            std::filesystem::create_directories(parent, ec);
        // Created owner-only before SQLite touches it: the store holds database passwords.
        int fd = ::open(m_path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0 && errno != EEXIST) {
            int err = errno;
            return FailWith(err == EACCES || err == EPERM || err == EROFS ? Status::AccessDenied
                            : err == ENOSPC                             ? Status::DiskFull
                                                                        : Status::IoFailed,
                            "cannot create the settings store " + m_path + ": " + std::strerror(err));
        }
        if (fd >= 0)
            ::close(fd);
    }
    Disconnect();  // open read-only before: the file may have become writable, try again

    int rc = sqlite3_open_v2(m_path.c_str(), &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_close(m_db);
        m_db = nullptr;
        rc = sqlite3_open_v2(m_path.c_str(), &m_db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
        if (rc != SQLITE_OK) {
            std::int32_t status = Fail(rc);
            sqlite3_close(m_db);
            m_db = nullptr;
            return status;
        }
    }
    m_readOnly = sqlite3_db_readonly(m_db, "main") == 1;
    // Two administrators (or the tool and the program) saving at once wait for each other.
    sqlite3_busy_timeout(m_db, 30000);
    sqlite3_exec(m_db, "PRAGMA foreign_keys = ON", nullptr, nullptr, nullptr);
    if (!m_readOnly) {
        rc = sqlite3_exec(m_db, Schema, nullptr, nullptr, nullptr);
        if (rc != SQLITE_OK)
            return Fail(rc);
    }
    return Status::Success;
}

const SqliteStore::OpenKeyInfo* SqliteStore::Lookup(HKey key) const {
    auto it = m_open.find(key);
    return it == m_open.end() ? nullptr : &it->second;
}

HKey SqliteStore::Remember(std::int64_t id, std::uint32_t access) {
    HKey handle = m_nextHandle++;
    m_open[handle] = {id, access};
    return handle;
}

std::pair<sqlite3_stmt*, int> SqliteStore::Prepared(const char* sql) {
    // Each statement is compiled once per connection: a save runs the same few dozens of times.
    auto it = m_prepared.find(sql);
    if (it != m_prepared.end())
        return {it->second, SQLITE_OK};
    sqlite3_stmt* stmt = nullptr;
    int rc = sqlite3_prepare_v3(m_db, sql, -1, SQLITE_PREPARE_PERSISTENT, &stmt, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_finalize(stmt);
        return {nullptr, rc};
    }
    m_prepared.emplace(sql, stmt);
    return {stmt, SQLITE_OK};
}

void SqliteStore::Disconnect() {
    for (auto& [sql, stmt] : m_prepared)
        sqlite3_finalize(stmt);
    m_prepared.clear();
    if (m_db) {
        if (m_inBatch)
            sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(m_db);
        m_db = nullptr;
    }
    m_inBatch = false;
}

std::int32_t SqliteStore::FindKey(std::uint32_t root, const std::string& path, std::int64_t& id) {
    Statement s(Prepared("SELECT id FROM keys WHERE root = ?1 AND path = ?2"));
    if (!s.ok())
        // A readable file without our tables holds no keys.
        return m_readOnly ? FailWith(Status::FileNotFound, "the key does not exist") : Fail(s.prepareCode());
    s.bind(1, static_cast<std::int64_t>(root));
    s.bind(2, path);
    int rc = s.step();
    if (rc == SQLITE_ROW) {
        id = s.integer(0);
        return Status::Success;
    }
    if (rc == SQLITE_DONE)
        return FailWith(Status::FileNotFound, "the key does not exist");
    return Fail(rc);
}

std::int32_t SqliteStore::OpenKey(std::uint32_t root, const std::string& path, std::uint32_t access, HKey& key) {
    key = 0;
    if (std::int32_t st = Connect(false))
        return st;
    if ((access & WriteAccess) && m_readOnly)
        return FailWith(Status::AccessDenied, "the settings store " + m_path + " may be read but not written");
    std::int64_t id = 0;
    if (std::int32_t st = FindKey(root, Normalise(path), id))
        return st;
    key = Remember(id, access);
    return Status::Success;
}

std::int32_t SqliteStore::InsertKey(std::uint32_t root, const std::string& path, std::int64_t& id) {
    Statement ins(Prepared("INSERT INTO keys(root, path) VALUES(?1, ?2) ON CONFLICT(root, path) DO NOTHING"));
    if (!ins.ok())
        return Fail(ins.prepareCode());
    ins.bind(1, static_cast<std::int64_t>(root));
    ins.bind(2, path);
    int rc = ins.step();
    if (rc != SQLITE_DONE)
        return Fail(rc);
    return FindKey(root, path, id);
}

std::int32_t SqliteStore::WriteStatement(const char* sql, const std::function<void(sqlite3_stmt*)>& bind) {
    Statement s(Prepared(sql));
    if (!s.ok())
        return Fail(s.prepareCode());
    bind(s.get());
    int rc = s.step();
    return rc == SQLITE_DONE ? Status::Success : Fail(rc);
}

std::int32_t SqliteStore::CreateKey(std::uint32_t root, const std::string& path, std::uint32_t access, HKey& key) {
    key = 0;
    if (std::int32_t st = Connect(true))
        return st;
    if (m_readOnly)
        return FailWith(Status::AccessDenied, "the settings store " + m_path + " may be read but not written");
    const std::string p = Normalise(path);

    // Every missing key above the new one comes with it, all or none.
    std::int64_t id = 0;
    std::int32_t st = Atomically([&] {
        std::int32_t status = Status::Success;
        for (std::size_t pos = 0; status == Status::Success;) {
            pos = p.find('\\', pos);
            status = InsertKey(root, p.substr(0, pos), id);
            if (pos == std::string::npos)
                break;
            ++pos;
        }
        return status;
    });
    if (st == Status::Success)
        key = Remember(id, access);
    return st;
}

std::int32_t SqliteStore::QueryValue(HKey key, const std::string& name, std::uint32_t* type, unsigned char* data,
                                     std::uint32_t* size) {
    const OpenKeyInfo* info = Lookup(key);
    if (!info)
        return FailWith(Status::InvalidHandle, "the key is not open");
    if (!(info->access & Access::QueryValue))
        return FailWith(Status::AccessDenied, "the key was not opened for reading");
    Statement s(Prepared("SELECT type, data FROM vals WHERE key_id = ?1 AND name = ?2"));
    if (!s.ok())
        return Fail(s.prepareCode());
    s.bind(1, info->id);
    s.bind(2, name);
    int rc = s.step();
    if (rc == SQLITE_DONE)
        return FailWith(Status::FileNotFound, "the value does not exist");
    if (rc != SQLITE_ROW)
        return Fail(rc);
    std::string bytes = s.blob(1);
    if (type)
        *type = static_cast<std::uint32_t>(s.integer(0));
    if (!size)
        return data ? FailWith(Status::MoreData, "no size given") : Status::Success;
    const auto needed = static_cast<std::uint32_t>(bytes.size());
    if (data) {
        if (*size < needed) {
            *size = needed;
            return FailWith(Status::MoreData, "the buffer is too small");
        }
        if (needed)
            std::memcpy(data, bytes.data(), needed);
    }
    *size = needed;
    return Status::Success;
}

std::int32_t SqliteStore::SetValue(HKey key, const std::string& name, std::uint32_t type, const unsigned char* data,
                                   std::uint32_t size) {
    const OpenKeyInfo* info = Lookup(key);
    if (!info)
        return FailWith(Status::InvalidHandle, "the key is not open");
    if (!(info->access & Access::SetValue) || m_readOnly)
        return FailWith(Status::AccessDenied, "the settings store " + m_path + " may be read but not written");
    return WriteStatement(
        "INSERT INTO vals(key_id, name, type, data) VALUES(?1, ?2, ?3, ?4)"
        " ON CONFLICT(key_id, name) DO UPDATE SET type = excluded.type, data = excluded.data",
        [&](sqlite3_stmt* st) {
            sqlite3_bind_int64(st, 1, info->id);
            sqlite3_bind_text(st, 2, name.data(), static_cast<int>(name.size()), SQLITE_TRANSIENT);
            sqlite3_bind_int64(st, 3, type);
            if (size == 0)
                sqlite3_bind_zeroblob(st, 4, 0);
            else
                sqlite3_bind_blob(st, 4, data, static_cast<int>(size), SQLITE_TRANSIENT);
        });
}

std::int32_t SqliteStore::CloseKey(HKey key) {
    return m_open.erase(key) ? Status::Success : FailWith(Status::InvalidHandle, "the key is not open");
}

std::int32_t SqliteStore::EnumValues(HKey key, std::vector<ValueEntry>& values) {
    values.clear();
    const OpenKeyInfo* info = Lookup(key);
    if (!info)
        return FailWith(Status::InvalidHandle, "the key is not open");
    Statement s(Prepared("SELECT name, type, data FROM vals WHERE key_id = ?1 ORDER BY rowid"));
    if (!s.ok())
        return Fail(s.prepareCode());
    s.bind(1, info->id);
    int rc;
    while ((rc = s.step()) == SQLITE_ROW)
        values.push_back({s.text(0), static_cast<std::uint32_t>(s.integer(1)), s.blob(2)});
    return rc == SQLITE_DONE ? Status::Success : Fail(rc);
}

std::int32_t SqliteStore::EnumSubKeys(HKey key, std::vector<std::string>& names) {
    names.clear();
    const OpenKeyInfo* info = Lookup(key);
    if (!info)
        return FailWith(Status::InvalidHandle, "the key is not open");
    Statement k(Prepared("SELECT root, path FROM keys WHERE id = ?1"));
    if (!k.ok())
        return Fail(k.prepareCode());
    k.bind(1, info->id);
    if (k.step() != SQLITE_ROW)
        return FailWith(Status::FileNotFound, "the key does not exist");
    const std::int64_t root = k.integer(0);
    const std::string prefix = k.text(1).empty() ? std::string() : k.text(1) + "\\";

    Statement s(Prepared("SELECT path FROM keys WHERE root = ?1 ORDER BY path"));
    if (!s.ok())
        return Fail(s.prepareCode());
    s.bind(1, root);
    int rc;
    while ((rc = s.step()) == SQLITE_ROW) {
        std::string p = s.text(0);
        if (p.size() > prefix.size() && StartsWithNoCase(p, prefix) && p.find('\\', prefix.size()) == std::string::npos)
            names.push_back(p.substr(prefix.size()));
    }
    return rc == SQLITE_DONE ? Status::Success : Fail(rc);
}

std::int32_t SqliteStore::DeleteValue(HKey key, const std::string& name) {
    const OpenKeyInfo* info = Lookup(key);
    if (!info)
        return FailWith(Status::InvalidHandle, "the key is not open");
    if (!(info->access & Access::SetValue) || m_readOnly)
        return FailWith(Status::AccessDenied, "the settings store " + m_path + " may be read but not written");
    std::int32_t st = WriteStatement("DELETE FROM vals WHERE key_id = ?1 AND name = ?2", [&](sqlite3_stmt* s) {
        sqlite3_bind_int64(s, 1, info->id);
        sqlite3_bind_text(s, 2, name.data(), static_cast<int>(name.size()), SQLITE_TRANSIENT);
    });
    if (st == Status::Success && sqlite3_changes(m_db) == 0)
        return FailWith(Status::FileNotFound, "the value does not exist");
    return st;
}

std::int32_t SqliteStore::DeleteTree(std::uint32_t root, const std::string& path) {
    if (std::int32_t st = Connect(false))
        return st;
    if (m_readOnly)
        return FailWith(Status::AccessDenied, "the settings store " + m_path + " may be read but not written");
    const std::string p = Normalise(path);
    std::int64_t id = 0;
    if (std::int32_t st = FindKey(root, p, id))
        return st;

    std::vector<std::int64_t> doomed;
    {
        Statement s(Prepared("SELECT id, path FROM keys WHERE root = ?1"));
        if (!s.ok())
            return Fail(s.prepareCode());
        s.bind(1, static_cast<std::int64_t>(root));
        const std::string prefix = p.empty() ? std::string() : p + "\\";
        while (s.step() == SQLITE_ROW) {
            std::string kp = s.text(1);
            if (s.integer(0) == id || StartsWithNoCase(kp, prefix))
                doomed.push_back(s.integer(0));
        }
    }
    return Atomically([&] {
        for (std::int64_t k : doomed)
            if (std::int32_t st = WriteStatement("DELETE FROM keys WHERE id = ?1",
                                                 [&](sqlite3_stmt* s) { sqlite3_bind_int64(s, 1, k); }))
                return st;
        return Status::Success;
    });
}

std::int32_t SqliteStore::Atomically(const std::function<std::int32_t()>& work) {
    // Inside a batch the batch's transaction holds the work; otherwise it gets its own.
    if (m_inBatch)
        return work();
    if (int rc = sqlite3_exec(m_db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr); rc != SQLITE_OK)
        return Fail(rc);
    std::int32_t st = work();
    if (st == Status::Success)
        if (int rc = sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr); rc != SQLITE_OK)
            st = Fail(rc);
    if (st != Status::Success)
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
    return st;
}

std::int32_t SqliteStore::BeginBatch() {
    if (m_inBatch)
        return Status::Success;
    if (std::int32_t st = Connect(true))
        return st;
    if (m_readOnly)
        return FailWith(Status::AccessDenied, "the settings store " + m_path + " may be read but not written");
    // IMMEDIATE takes the write lock now, so a second writer waits here, not halfway.
    int rc = sqlite3_exec(m_db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        return Fail(rc);
    m_inBatch = true;
    return Status::Success;
}

std::int32_t SqliteStore::CommitBatch() {
    if (!m_inBatch)
        return Status::Success;
    int rc = sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
        std::int32_t st = Fail(rc);
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        m_inBatch = false;
        return st;
    }
    m_inBatch = false;
    return Status::Success;
}

void SqliteStore::RollbackBatch() {
    if (!m_inBatch)
        return;
    sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
    m_inBatch = false;
}

}  // namespace norvane
