#include "SqliteStore.h"

#include "StoreFile.h"
#include "ValueText.h"

#include <sqlite3.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>
#include <thread>
#include <vector>

namespace norvane {
namespace {

constexpr std::uint32_t WriteAccess = Access::SetValue | Access::CreateSubKey | Access::CreateLink;

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
    void bind(int i, const std::string& s) {
        sqlite3_bind_text(m_stmt, i, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
    }
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

const char* const CreateSchema =
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

// Written into the file's header with the tables: this is how a store knows its own file.
constexpr std::int64_t ApplicationId = 0x4E564144;  // "NVAD"
const char* const StampSchema = "PRAGMA application_id = 1314275652";
static_assert(ApplicationId == 1314275652);

// A moment, after which the operator is told that the store is busy.
constexpr std::chrono::milliseconds NoticeAfter{150};

// Rows of a statement run once, each as its columns' text.
int Rows(sqlite3* db, const std::string& sql, std::vector<std::vector<std::string>>& rows) {
    rows.clear();
    sqlite3_stmt* st = nullptr;
    int rc = sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_finalize(st);
        return rc;
    }
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
        std::vector<std::string> row;
        for (int c = 0; c < sqlite3_column_count(st); ++c) {
            auto p = reinterpret_cast<const char*>(sqlite3_column_text(st, c));
            row.emplace_back(p ? p : "");
        }
        rows.push_back(std::move(row));
    }
    sqlite3_finalize(st);
    return rc == SQLITE_DONE ? SQLITE_OK : rc;
}

// Stores made before the application id was written: exactly our two tables, our columns.
bool EarlierStore(sqlite3* db, const std::vector<std::vector<std::string>>& objects) {
    const std::vector<std::vector<std::string>> ours = {{"index", "sqlite_autoindex_keys_1"},
                                                        {"index", "sqlite_autoindex_vals_1"},
                                                        {"table", "keys"},
                                                        {"table", "vals"}};
    if (objects != ours)
        return false;
    const std::pair<const char*, std::vector<std::vector<std::string>>> columns[] = {
        {"keys", {{"id", "integer"}, {"root", "integer"}, {"path", "text"}}},
        {"vals", {{"key_id", "integer"}, {"name", "text"}, {"type", "integer"}, {"data", "blob"}}},
    };
    for (const auto& [table, expected] : columns) {
        std::vector<std::vector<std::string>> rows;
        if (Rows(db, std::string("SELECT name, type FROM pragma_table_info('") + table + "')", rows) != SQLITE_OK)
            return false;
        for (auto& row : rows)
            for (auto& cell : row)
                cell = AsciiLower(cell);
        if (rows != expected)
            return false;
    }
    return true;
}

}  // namespace

// A relative path is taken from the working directory once, here: it names the same file
// however the directory changes later.
SqliteStore::SqliteStore(std::string path) : m_path(path.empty() ? path : std::filesystem::absolute(path).string()) {}

SqliteStore::~SqliteStore() { Disconnect(); }

std::int32_t SqliteStore::FailWith(std::int32_t status, const std::string& text) {
    m_lastError = text;
    return status;
}

std::int32_t SqliteStore::ReadOnly() {
    // Rights are named only when they are the cause: root is refused by a read-only mount too.
    if (auto why = StoreFile::NotWritableBecause(m_real.empty() ? m_path : m_real))
        return FailWith(Status::AccessDenied, "The settings store " + m_path + " cannot be changed: " + *why + ".");
    if (::geteuid() == 0)
        return FailWith(Status::AccessDenied, "The settings store " + m_path +
                                                  " cannot be changed, though this program runs as root: the system "
                                                  "refuses writes to it (an immutable file, lsattr " +
                                                  m_real + ", or a file system that refuses writes).");
    return FailWith(Status::AccessDenied, "The settings store " + m_path +
                                              " may be read but not written by this user; changing it needs "
                                              "administrator rights (" +
                                              StoreFile::AdminHint() + ").");
}

std::int32_t SqliteStore::Fail(int code) {
    const std::string words = m_db ? sqlite3_errmsg(m_db) : sqlite3_errstr(code);
    const std::string store = "The settings store " + m_path;
    if (code == SQLITE_READONLY_DBMOVED)
        return FailWith(Status::IoFailed, store +
                                              " was replaced or removed while this program was using it; nothing was "
                                              "written, and the next attempt uses the file that is there now.");
    if (code == SQLITE_READONLY_ROLLBACK)
        // A hot journal that this user may not play back: the store is not missing.
        return FailWith(Status::AccessDenied, store +
                                                  " cannot be read: a save to it was interrupted, and an "
                                                  "administrator must open the store once to finish undoing it (" +
                                                  StoreFile::AdminHint() + ").");
    switch (code & 0xFF) {
    case SQLITE_READONLY: return ReadOnly();
    case SQLITE_PERM:
    case SQLITE_AUTH:
    case SQLITE_CANTOPEN: {
        const int err = m_db ? sqlite3_system_errno(m_db) : 0;
        const bool denied = err == EACCES || err == EPERM;
        return FailWith(Status::AccessDenied,
                        store + " cannot be opened (" + words + ")" +
                            (denied ? "; it needs administrator rights (" + StoreFile::AdminHint() + ")." : "."));
    }
    case SQLITE_FULL: return FailWith(Status::DiskFull, store + " cannot be written: the disk is full.");
    case SQLITE_BUSY:
    case SQLITE_LOCKED: {
        const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(m_busyTimeout).count();
        return FailWith(Status::Busy, store + " is in use by another program, which has held it for " +
                                          std::to_string(seconds) + (seconds == 1 ? " second" : " seconds") +
                                          "; try again when that program is done.");
    }
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        return FailWith(Status::BadDatabase, store + " is damaged or not a database (" + words +
                                                 "); move it aside and restore it from a backup.");
    default: return FailWith(Status::IoFailed, store + " cannot be read or written: " + words + ".");
    }
}

int SqliteStore::OnBusy(void* self, int count) { return static_cast<SqliteStore*>(self)->KeepWaiting(count); }

int SqliteStore::KeepWaiting(int count) {
    // Our own wait instead of sqlite3_busy_timeout, so that a long one can be shown.
    // One wait for the whole operation, however many statements meet the busy store.
    const auto now = std::chrono::steady_clock::now();
    if (count == 0 && m_scopes == 0)
        m_waiting = false;
    if (!m_waiting) {
        m_waiting = true;
        m_waitStart = now;
    }
    const auto waited = now - m_waitStart;
    if (waited >= m_busyTimeout)
        return 0;
    if (!m_waitShown && waited >= NoticeAfter && m_notifier) {
        m_waitShown = true;
        m_notifier(true);
    }
    const std::chrono::steady_clock::duration step = std::chrono::milliseconds(std::min(10, 1 << std::min(count, 4)));
    std::this_thread::sleep_for(std::min(step, m_busyTimeout - waited));
    return 1;
}

void SqliteStore::WaitOver() {
    m_waiting = false;
    if (!m_waitShown)
        return;
    m_waitShown = false;
    if (m_notifier)
        m_notifier(false);
}

int SqliteStore::Exec(const char* sql) { return sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr); }

void SqliteStore::Rollback() {
    Exec("ROLLBACK");
    // Tables made in the transaction went with it.
    m_schema = Schema::Unknown;
}

bool SqliteStore::Moved() {
    int moved = 0;
    if (sqlite3_file_control(m_db, "main", SQLITE_FCNTL_HAS_MOVED, &moved) != SQLITE_OK)
        return true;
    std::error_code ec;
    const std::filesystem::path now = std::filesystem::canonical(std::filesystem::absolute(m_path), ec);
    return moved != 0 || ec || now.string() != m_real;
}

bool SqliteStore::Durable() {
    // EXTRA syncs the directory once the journal is gone, so a confirmed save survives a
    // power loss; WAL would do so too but shuts out an account that may only read. Setting
    // it reads the schema, so on a busy store it waits within the operation's one wait.
    if (!m_durable)
        m_durable = Exec("PRAGMA synchronous = EXTRA") == SQLITE_OK;
    return m_durable;
}

std::int32_t SqliteStore::Connect(bool create) {
    // A store replaced by a rename or deleted since it was opened is opened anew, the file
    // that is at the path now; never in the middle of a transaction or with keys open.
    if (m_db && !m_inBatch && !m_inRead && m_open.empty() && Moved())
        Disconnect();
    if (m_db && (!create || !m_readOnly))
        return Status::Success;

    // Nothing is made or opened where another user could change the store.
    if (create)
        if (auto problem = StoreFile::MakeDirectories(m_path))
            return FailWith(problem->status, problem->text);
    StoreFile::Checked checked;
    if (auto problem = StoreFile::Check(m_path, &checked))
        return FailWith(problem->status, problem->text);
    if (!checked.exists) {
        if (!create)
            return FailWith(Status::FileNotFound, "The settings store " + m_path + " does not exist.");
        // Created owner-only before SQLite touches it: the store holds database passwords.
        if (auto problem = StoreFile::Create(checked.real))
            return FailWith(problem->status, problem->text);
        if (auto problem = StoreFile::Check(m_path, &checked))
            return FailWith(problem->status, problem->text);
        if (!checked.exists)
            return FailWith(Status::FileNotFound, "The settings store " + m_path + " does not exist.");
    }
    Disconnect();  // open read-only before: the file may have become writable, try again

    // The file that was checked, by its resolved absolute path: never a URI ("file:..."),
    // and no link on the way that could be pointed elsewhere between the check and the open.
    m_real = checked.real;
    const int flags = SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_NOFOLLOW;
    int rc = sqlite3_open_v2(m_real.c_str(), &m_db, SQLITE_OPEN_READWRITE | flags, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_close(m_db);
        m_db = nullptr;
        rc = sqlite3_open_v2(m_real.c_str(), &m_db, SQLITE_OPEN_READONLY | flags, nullptr);
        if (rc != SQLITE_OK) {
            std::int32_t status = Fail(rc);
            sqlite3_close(m_db);
            m_db = nullptr;
            return status;
        }
    }
    struct stat st {};
    if (Moved() || ::stat(m_real.c_str(), &st) != 0 || st.st_dev != checked.dev || st.st_ino != checked.ino) {
        Disconnect();
        return FailWith(Status::AccessDenied, "The settings store " + m_path +
                                                  " is not used: the file at its path changed while it was being "
                                                  "opened, so it is not the file that was checked; try again, and "
                                                  "look for another program or user replacing it.");
    }
    sqlite3_extended_result_codes(m_db, 1);
    m_readOnly = sqlite3_db_readonly(m_db, "main") == 1;
    m_schema = Schema::Unknown;
    // Two administrators (or the tool and the program) saving at once wait for each other.
    sqlite3_busy_handler(m_db, &SqliteStore::OnBusy, this);
    Exec("PRAGMA foreign_keys = ON");
    Durable();
    return Status::Success;
}

std::int32_t SqliteStore::CheckSchema() {
    if (m_schema == Schema::Ours)
        return Status::Success;
    std::vector<std::vector<std::string>> rows;
    if (int rc = Rows(m_db, "PRAGMA application_id", rows))
        return Fail(rc);
    const std::int64_t id = rows.empty() ? 0 : std::stoll(rows[0][0]);
    m_stamped = id == ApplicationId;
    if (m_stamped) {
        m_schema = Schema::Ours;
        return Status::Success;
    }
    if (int rc = Rows(m_db, "SELECT type, name FROM sqlite_master ORDER BY type, name", rows))
        return Fail(rc);
    if (id == 0 && rows.empty()) {
        m_schema = Schema::Empty;  // a store not yet written
        return Status::Success;
    }
    if (id == 0 && EarlierStore(m_db, rows)) {
        m_schema = Schema::Ours;
        return Status::Success;
    }
    m_schema = Schema::Unknown;
    return FailWith(Status::BadDatabase, "The file " + m_path +
                                             " is a database of another program, not a settings store, and was left "
                                             "as it is; point NORVANE_REGISTRY at the settings store, or move that "
                                             "file away.");
}

std::int32_t SqliteStore::EnsureSchema() {
    if (std::int32_t st = CheckSchema())
        return st;
    if (m_schema == Schema::Empty) {
        if (int rc = Exec(CreateSchema))
            return Fail(rc);
        m_schema = Schema::Ours;
    }
    if (!m_stamped) {
        if (int rc = Exec(StampSchema))
            return Fail(rc);
        m_stamped = true;
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
        if (m_inBatch || m_inRead)
            Exec("ROLLBACK");
        sqlite3_close(m_db);
        m_db = nullptr;
    }
    m_inBatch = false;
    m_inRead = false;
    m_durable = false;
    m_schema = Schema::Unknown;
}

std::int32_t SqliteStore::FindKey(std::uint32_t root, const std::string& path, std::int64_t& id) {
    if (std::int32_t st = CheckSchema())
        return st;
    if (m_schema == Schema::Empty)
        return FailWith(Status::FileNotFound, "the key does not exist");
    Statement s(Prepared("SELECT id FROM keys WHERE root = ?1 AND path = ?2"));
    if (!s.ok())
        return Fail(s.prepareCode());
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
    WaitScope wait(*this);
    if (std::int32_t st = Connect(false))
        return st;
    if ((access & WriteAccess) && m_readOnly)
        return ReadOnly();
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
    WaitScope wait(*this);
    if (std::int32_t st = Connect(true))
        return st;
    if (m_readOnly)
        return ReadOnly();
    const std::string p = Normalise(path);

    // Every missing key above the new one comes with it, all or none.
    std::int64_t id = 0;
    std::int32_t st = Atomically([&] {
        std::int32_t status = EnsureSchema();
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
    WaitScope wait(*this);
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
    WaitScope wait(*this);
    const OpenKeyInfo* info = Lookup(key);
    if (!info)
        return FailWith(Status::InvalidHandle, "the key is not open");
    if (!(info->access & Access::SetValue))
        return FailWith(Status::AccessDenied, "the key was not opened for writing");
    if (m_readOnly)
        return ReadOnly();
    if (!m_inBatch && !Durable())
        return Fail(SQLITE_BUSY);
    // Outside a batch the statement is a transaction of its own.
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
    WaitScope wait(*this);
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

namespace {

// The keys below "P\" are the paths between "P\" and "P]" in the NOCASE order of the
// (root, path) index: "\" and "]" are neighbours and no letter folds between them. Below
// the root every path but "" is a descendant; a blob sorts after every text.
struct Subtree {
    std::string prefix;  // "P\", or "" below the root
    std::string end;     // "P]", or empty for the root (bound as a blob)
    explicit Subtree(const std::string& path)
        : prefix(path.empty() ? std::string() : path + "\\"), end(path.empty() ? std::string() : path + "]") {}
    void bindEnd(sqlite3_stmt* st, int i) const {
        if (end.empty())
            sqlite3_bind_zeroblob(st, i, 0);
        else
            sqlite3_bind_text(st, i, end.data(), static_cast<int>(end.size()), SQLITE_TRANSIENT);
    }
};

}  // namespace

std::int32_t SqliteStore::EnumSubKeys(HKey key, std::vector<std::string>& names) {
    names.clear();
    WaitScope wait(*this);
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
    const Subtree below(k.text(1));

    // One seek per child: after a child, the next path after it; after a grandchild, the
    // first path past that child's subtree. Listing never reads the grandchildren.
    std::string from = below.prefix;
    bool inclusive = false;
    while (true) {
        Statement s(Prepared(inclusive ? "SELECT path FROM keys WHERE root = ?1 AND path >= ?2 AND path < ?3"
                                         " ORDER BY path LIMIT 1"
                                       : "SELECT path FROM keys WHERE root = ?1 AND path > ?2 AND path < ?3"
                                         " ORDER BY path LIMIT 1"));
        if (!s.ok())
            return Fail(s.prepareCode());
        s.bind(1, root);
        s.bind(2, from);
        below.bindEnd(s.get(), 3);
        const int rc = s.step();
        if (rc == SQLITE_DONE)
            return Status::Success;
        if (rc != SQLITE_ROW)
            return Fail(rc);
        const std::string path = s.text(0);
        const std::string rest = path.substr(below.prefix.size());
        const std::size_t sep = rest.find('\\');
        if (sep == std::string::npos) {
            names.push_back(rest);
            from = path;
            inclusive = false;
        } else {
            from = below.prefix + rest.substr(0, sep) + "]";
            inclusive = true;
        }
    }
}

std::int32_t SqliteStore::DeleteValue(HKey key, const std::string& name) {
    WaitScope wait(*this);
    const OpenKeyInfo* info = Lookup(key);
    if (!info)
        return FailWith(Status::InvalidHandle, "the key is not open");
    if (!(info->access & Access::SetValue))
        return FailWith(Status::AccessDenied, "the key was not opened for writing");
    if (m_readOnly)
        return ReadOnly();
    if (!m_inBatch && !Durable())
        return Fail(SQLITE_BUSY);
    std::int32_t st = WriteStatement("DELETE FROM vals WHERE key_id = ?1 AND name = ?2", [&](sqlite3_stmt* s) {
        sqlite3_bind_int64(s, 1, info->id);
        sqlite3_bind_text(s, 2, name.data(), static_cast<int>(name.size()), SQLITE_TRANSIENT);
    });
    if (st == Status::Success && sqlite3_changes(m_db) == 0)
        return FailWith(Status::FileNotFound, "the value does not exist");
    return st;
}

std::int32_t SqliteStore::DeleteTree(std::uint32_t root, const std::string& path) {
    WaitScope wait(*this);
    if (std::int32_t st = Connect(false))
        return st;
    if (m_readOnly)
        return ReadOnly();
    const std::string p = Normalise(path);
    return Atomically([&] {
        std::int64_t id = 0;
        if (std::int32_t st = FindKey(root, p, id))
            return st;
        // The values go with their keys (ON DELETE CASCADE).
        const Subtree below(p);
        if (std::int32_t st =
                WriteStatement("DELETE FROM keys WHERE root = ?1 AND path > ?2 AND path < ?3", [&](sqlite3_stmt* s) {
                    sqlite3_bind_int64(s, 1, root);
                    sqlite3_bind_text(s, 2, below.prefix.data(), static_cast<int>(below.prefix.size()),
                                      SQLITE_TRANSIENT);
                    below.bindEnd(s, 3);
                }))
            return st;
        return WriteStatement("DELETE FROM keys WHERE id = ?1", [&](sqlite3_stmt* s) { sqlite3_bind_int64(s, 1, id); });
    });
}

std::int32_t SqliteStore::Atomically(const std::function<std::int32_t()>& work) {
    // Inside a batch the batch's transaction holds the work; otherwise it gets its own.
    if (m_inBatch)
        return work();
    if (!Durable())
        return Fail(SQLITE_BUSY);
    if (int rc = Exec("BEGIN IMMEDIATE"); rc != SQLITE_OK)
        return Fail(rc);
    std::int32_t st = work();
    if (st == Status::Success)
        if (int rc = Exec("COMMIT"); rc != SQLITE_OK)
            st = Fail(rc);
    if (st != Status::Success)
        Rollback();
    return st;
}

std::int32_t SqliteStore::BeginBatch() {
    if (m_inBatch)
        return Status::Success;
    WaitScope wait(*this);
    if (std::int32_t st = Connect(true))
        return st;
    if (m_readOnly)
        return ReadOnly();
    // A connection that could not be made durable when it opened (the store was busy) is
    // made so now or writes nothing: a save must not end before it is on disk.
    if (!Durable())
        return Fail(SQLITE_BUSY);
    // IMMEDIATE takes the write lock now, so a second writer waits here, not halfway; a
    // store that stays busy fails the batch, never its writes one by one.
    if (int rc = Exec("BEGIN IMMEDIATE"); rc != SQLITE_OK)
        return Fail(rc);
    if (std::int32_t st = EnsureSchema()) {
        Rollback();
        return st;
    }
    m_inBatch = true;
    return Status::Success;
}

std::int32_t SqliteStore::CommitBatch() {
    if (!m_inBatch)
        return Status::Success;
    WaitScope wait(*this);
    m_inBatch = false;
    if (int rc = Exec("COMMIT"); rc != SQLITE_OK) {
        std::int32_t st = Fail(rc);
        Rollback();
        return st;
    }
    return Status::Success;
}

void SqliteStore::RollbackBatch() {
    if (!m_inBatch)
        return;
    m_inBatch = false;
    Rollback();
}

std::int32_t SqliteStore::BeginRead() {
    if (m_inRead || m_inBatch)
        return Status::Success;
    WaitScope wait(*this);
    if (std::int32_t st = Connect(false))
        return st;
    if (int rc = Exec("BEGIN"); rc != SQLITE_OK)
        return Fail(rc);
    // The first read takes the shared lock: the one wait, and from here one state of the
    // file until EndRead. Looking at the schema is that read.
    m_schema = Schema::Unknown;
    if (std::int32_t st = CheckSchema()) {
        Rollback();
        return st;
    }
    m_inRead = true;
    return Status::Success;
}

void SqliteStore::EndRead() {
    if (!m_inRead)
        return;
    m_inRead = false;
    Exec("COMMIT");
}

}  // namespace norvane
