// The store file under the things that go wrong in real use: two writers at once, a second
// process that holds the store, a save interrupted by a kill, other users who could change
// the file or what lies beside it, and things at the path that are not our store.
#include "Registry.h"
#include "Settings.h"
#include "SqliteStore.h"

#include <gtest/gtest.h>

#include <sqlite3.h>

#include <cerrno>
#include <csignal>
#include <exception>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <grp.h>
#include <pwd.h>
#include <set>
#include <spawn.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

using namespace norvane;
namespace fs = std::filesystem;

namespace {

const char* Writer() {
    const char* writer = std::getenv("SETTINGS_WRITER");
    EXPECT_NE(writer, nullptr);
    return writer ? writer : "/nonexistent";
}

// A process of the test's, its standard output on a pipe; killed if still running at the end.
class Child {
public:
    explicit Child(const std::vector<std::string>& args) {
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        int fds[2];
        if (::pipe(fds) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        if (posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
            m_pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(fds[1]);
        m_out = fds[0];
    }
    ~Child() {
        Kill();
        if (m_out >= 0)
            ::close(m_out);
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    // Reads its output up to the line; false when it ended first.
    bool WaitFor(const std::string& line) {
        std::string seen;
        char c;
        while (::read(m_out, &c, 1) == 1) {
            if (c != '\n') {
                seen += c;
                continue;
            }
            if (seen == line)
                return true;
            seen.clear();
        }
        return false;
    }
    int Wait() {
        int status = 0;
        if (m_pid <= 0 || ::waitpid(m_pid, &status, 0) != m_pid)
            return -1;
        m_pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    void Kill() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            Wait();
        }
    }
    bool started() const { return m_pid > 0; }

private:
    pid_t m_pid = -1;
    int m_out = -1;
};

struct ScratchDir {
    std::string path;
    ScratchDir() {
        char tmpl[] = "/tmp/norvane-store-test-XXXXXX";
        path = ::mkdtemp(tmpl) ? tmpl : "";
        EXPECT_FALSE(path.empty());
    }
    ~ScratchDir() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
};

std::string Bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

mode_t Mode(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

std::int64_t ApplicationId(const std::string& path) {
    sqlite3* db = nullptr;
    std::int64_t id = -1;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db, "PRAGMA application_id", -1, &st, nullptr) == SQLITE_OK &&
            sqlite3_step(st) == SQLITE_ROW)
            id = sqlite3_column_int64(st, 0);
        sqlite3_finalize(st);
    }
    sqlite3_close(db);
    return id;
}

void Sql(const std::string& path, const char* sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
    sqlite3_close(db);
}

// What a fresh start of the program makes of the store, and what a save does: a store of
// its own each time, as each run of the program has.
struct Outcome {
    std::int32_t status = -1;
    std::string text;
    std::string value;  // "Password", when the load went ahead
};

std::unique_ptr<SqliteStore> UseStoreAt(const std::string& path) {
    auto store = std::make_unique<SqliteStore>(path);
    Registry::SetBaseKey(Settings::Root, Settings::KeyPath);
    return store;
}

Outcome Load(const std::string& path) {
    Registry::UseStore(UseStoreAt(path));
    Outcome o;
    o.status = Registry::BeginRead();
    o.text = Registry::LastErrorText();
    if (o.status == Status::Success) {
        o.value = Registry::ReadString("", "Password");
        Registry::EndRead();
    }
    Registry::UseStore(std::make_unique<SqliteStore>("/nonexistent/registry.db"));
    return o;
}

Outcome Save(const std::string& path, const std::string& password) {
    Registry::UseStore(UseStoreAt(path));
    Outcome o;
    o.status = Registry::BeginBatch();
    if (o.status == Status::Success)
        o.status = Registry::WriteString("", "Password", password);
    if (o.status == Status::Success)
        o.status = Registry::CommitBatch();
    else
        Registry::RollbackBatch();
    o.text = Registry::LastErrorText();
    Registry::UseStore(std::make_unique<SqliteStore>("/nonexistent/registry.db"));
    return o;
}

// A user of the test's own, made with useradd and removed with userdel when the test ends
// however it ends; only root can make one. A user left by a test that crashed goes first.
class OtherUser {
public:
    OtherUser() {
        if (::geteuid() != 0)
            return;
        const std::string prefix = "norvane-t-store-";
        std::vector<std::string> stale;
        ::setpwent();
        while (const passwd* pw = ::getpwent()) {
            const std::string name = pw->pw_name;
            if (name.rfind(prefix, 0) == 0 && !fs::exists("/proc/" + name.substr(prefix.size())))
                stale.push_back(name);
        }
        ::endpwent();
        for (const std::string& name : stale)
            Run({"userdel", name});
        name = prefix + std::to_string(::getpid());
        if (Run({"useradd", "--no-create-home", "--user-group", "--shell", "/usr/sbin/nologin", name}) != 0)
            return;
        const passwd* pw = ::getpwnam(name.c_str());
        if (!pw)
            return;
        uid = pw->pw_uid;
        gid = pw->pw_gid;
        made = true;
    }
    ~OtherUser() {
        if (made)
            Run({"userdel", name});
    }
    OtherUser(const OtherUser&) = delete;
    OtherUser& operator=(const OtherUser&) = delete;

    // Runs work in a child process as this user; what it returns comes back.
    std::string Do(const std::function<std::string()>& work) const {
        int fds[2];
        if (::pipe(fds) != 0)
            return "no pipe";
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::close(fds[0]);
            std::string out = "cannot become " + name;
            // Whatever happens, the child never goes back into the test.
            try {
                if (::setgroups(0, nullptr) == 0 && ::setgid(gid) == 0 && ::setuid(uid) == 0)
                    out = work();
            } catch (const std::exception& e) {
                out = e.what();
            }
            [[maybe_unused]] const ssize_t n = ::write(fds[1], out.data(), out.size());
            ::_exit(0);
        }
        ::close(fds[1]);
        std::string out;
        char buf[512];
        for (ssize_t n; (n = ::read(fds[0], buf, sizeof buf)) > 0;)
            out.append(buf, static_cast<std::size_t>(n));
        ::close(fds[0]);
        ::waitpid(pid, nullptr, 0);
        return out;
    }

    std::string name;
    uid_t uid = 0;
    gid_t gid = 0;
    bool made = false;

private:
    static int Run(const std::vector<std::string>& args) {
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
        pid_t pid = -1;
        int status = -1;
        if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0)
            ::waitpid(pid, &status, 0);
        posix_spawn_file_actions_destroy(&actions);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
};

}  // namespace

TEST(SettingsStore, TwoProcessesWritingAtOnceBothSucceed) {
    ScratchDir dir;
    const std::string path = dir.path + "/registry.db";

    Child a({Writer(), path, "A", "500"});
    Child b({Writer(), path, "B", "500"});
    ASSERT_TRUE(a.started());
    ASSERT_TRUE(b.started());
    EXPECT_EQ(a.Wait(), 0);
    EXPECT_EQ(b.Wait(), 0);

    SqliteStore store(path);
    HKey k = 0;
    ASSERT_EQ(store.OpenKey(HKEY_LOCAL_MACHINE_ROOT, "SOFTWARE\\Tarsel\\Norvane", Access::QueryValue, k), 0);
    std::vector<ValueEntry> values;
    ASSERT_EQ(store.EnumValues(k, values), 0);
    EXPECT_EQ(values.size(), 1000u);
    store.CloseKey(k);
}

TEST(SettingsStore, MadeOwnerOnlyAndRefusedWhereAnotherUserCouldChangeIt) {
    ScratchDir tmp;
    const std::string top = tmp.path + "/new";
    const std::string dir = top + "/deeper";
    const std::string path = dir + "/registry.db";
    const std::string link = dir + "/link.db";

    // Whatever the umask, what the store makes is its owner's only.
    const mode_t umask = ::umask(0);
    const Outcome first = Save(path, "secret");
    ::umask(umask);
    ASSERT_EQ(first.status, 0) << first.text;
    EXPECT_EQ(Mode(top), 0700u);
    EXPECT_EQ(Mode(dir), 0700u);
    EXPECT_EQ(Mode(path), 0600u);

    OtherUser other;
    struct Case {
        std::string what;
        std::function<void()> make, undo;
        std::string refusal;  // what the refusal says besides the store's path; "" when it is used
        std::string at;       // the path the program is pointed at, when not the store itself
    };
    auto chmodTo = [](const std::string& p, mode_t m) { return [=] { ASSERT_EQ(::chmod(p.c_str(), m), 0); }; };
    std::vector<Case> cases = {
        {"store directory writable by all", chmodTo(dir, 0777), chmodTo(dir, 0700), "chmod go-w " + dir, {}},
        {"store directory like /tmp", chmodTo(dir, 01777), chmodTo(dir, 0700), "directory of its own", {}},
        {"directory above writable by all", chmodTo(top, 0777), chmodTo(top, 0700), "chmod go-w " + top, {}},
        {"sticky directory above, like /tmp", chmodTo(top, 01777), chmodTo(top, 0700), "", {}},
        {"store writable by all", chmodTo(path, 0666), chmodTo(path, 0600), "chmod go-w " + path, {}},
    };
    if (other.made) {
        ASSERT_EQ(::chmod(tmp.path.c_str(), 0755), 0);
        const std::string journal = path + "-journal";
        // What another user could leave while the directory was open to all (as the umask
        // 000 made it): a journal to be played back, a link to the store.
        auto plant = [&, top, dir](const std::function<int()>& work) {
            return [&, top, dir, work] {
                ASSERT_EQ(::chmod(top.c_str(), 0755), 0);
                ASSERT_EQ(::chmod(dir.c_str(), 0777), 0);
                EXPECT_EQ(other.Do([&] { return std::to_string(work()); }), "0");
                // The administrator closes the directory again: what was left stays.
                ASSERT_EQ(::chmod(dir.c_str(), 0700), 0);
                ASSERT_EQ(::chmod(top.c_str(), 0700), 0);
            };
        };
        cases.push_back({"journal left by another user",
                         plant([journal] {
                             std::ofstream(journal) << "not what was saved";
                             return fs::exists(journal) ? 0 : 1;
                         }),
                         [journal] { ::unlink(journal.c_str()); },
                         "journal " + journal,
                         {}});
        cases.push_back({"link of another user's", plant([link] { return ::symlink("registry.db", link.c_str()); }),
                         [link] { ::unlink(link.c_str()); }, "symbolic link that belongs to the user " + other.name,
                         link});
        cases.push_back({"store of another user's",
                         [&] { ASSERT_EQ(::chown(path.c_str(), other.uid, -1), 0); },
                         [&] { ASSERT_EQ(::chown(path.c_str(), ::geteuid(), -1), 0); },
                         "belongs to the user " + other.name,
                         {}});
        cases.push_back({"store directory of another user's",
                         [&] { ASSERT_EQ(::chown(dir.c_str(), other.uid, -1), 0); },
                         [&] { ASSERT_EQ(::chown(dir.c_str(), ::geteuid(), -1), 0); },
                         "belongs to the user " + other.name,
                         {}});
        const std::string open = tmp.path + "/open";
        const std::string hop = open + "/hop";
        auto acl = [](const std::string& entry, const std::string& p) {
            return [=] { ASSERT_EQ(std::system(("setfacl " + entry + " " + p).c_str()), 0); };
        };
        const std::string grant = "-m u:" + other.name + ":rwx";
        cases.push_back({"ACL entry letting another user write the store",
                         acl(grant, path),
                         acl("-b", path),
                         "setfacl -b " + path,
                         {}});
        cases.push_back({"ACL entry letting another user write its directory",
                         acl(grant, dir),
                         acl("-b", dir),
                         "setfacl -b " + dir,
                         {}});
        // A link of root's in a folder open to all: its owner could not change it, but anyone
        // can swap it for another (rename, RENAME_EXCHANGE) between the check and the open.
        cases.push_back({"link in a folder every user may write",
                         [=] {
                             ASSERT_EQ(::mkdir(open.c_str(), 0777), 0);
                             ASSERT_EQ(::chmod(open.c_str(), 0777), 0);
                             ASSERT_EQ(::symlink(dir.c_str(), hop.c_str()), 0);
                         },
                         [=] {
                             ::unlink(hop.c_str());
                             ::rmdir(open.c_str());
                         },
                         "chmod go-w " + open, hop + "/registry.db"});
        cases.push_back({"store writable by another user's group",
                         [&] {
                             ASSERT_EQ(::chown(path.c_str(), -1, other.gid), 0);
                             ASSERT_EQ(::chmod(path.c_str(), 0620), 0);
                         },
                         [&] {
                             ASSERT_EQ(::chown(path.c_str(), -1, ::getegid()), 0);
                             ASSERT_EQ(::chmod(path.c_str(), 0600), 0);
                         },
                         "the group " + other.name,
                         {}});
    }

    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        c.make();
        const std::string saved = Bytes(path);
        const std::string at = c.at.empty() ? path : c.at;
        const mode_t modes[] = {Mode(top), Mode(dir), Mode(path)};
        const Outcome load = Load(at);
        const Outcome save = Save(at, "leaked");
        if (c.refusal.empty()) {
            EXPECT_EQ(load.status, 0) << load.text;
            EXPECT_EQ(load.value, "secret");
            EXPECT_EQ(save.status, 0) << save.text;
            EXPECT_EQ(Save(at, "secret").status, 0);
        } else {
            for (const Outcome& o : {load, save}) {
                EXPECT_EQ(o.status, Status::AccessDenied) << o.text;
                EXPECT_NE(o.text.find(at), std::string::npos) << o.text;
                EXPECT_NE(o.text.find(c.refusal), std::string::npos) << o.text;
            }
            EXPECT_EQ(Bytes(path), saved);
        }
        // Nothing was tightened behind the operator's back.
        EXPECT_EQ(Mode(top), modes[0]);
        EXPECT_EQ(Mode(dir), modes[1]);
        EXPECT_EQ(Mode(path), modes[2]);
        c.undo();
    }

    if (other.made) {
        // A group write bit made by umask 002 is harmless when the group is the user's own.
        const std::string home = tmp.path + "/home";
        ASSERT_EQ(::mkdir(home.c_str(), 0755), 0);
        ASSERT_EQ(::chown(home.c_str(), other.uid, other.gid), 0);
        const std::string own = other.Do([&] {
            ::umask(002);
            const std::string demo = home + "/demo";
            if (::mkdir(demo.c_str(), 0777) != 0 || (Mode(demo) & 0020) == 0)
                return std::string("no group-writable directory");
            const Outcome o = Save(demo + "/registry.db", "mine");
            return std::to_string(o.status) + " " + o.text;
        });
        EXPECT_EQ(own, "0 ");
    }
    if (::geteuid() != 0)
        GTEST_SKIP() << "the other users' cases need root, to make a user of their own";
    EXPECT_TRUE(other.made) << "useradd did not make the test's user";
}

TEST(SettingsStore, OnlyARegularFileOfOursIsUsed) {
    ScratchDir tmp;
    const std::string path = tmp.path + "/registry.db";
    auto expectRefused = [&](const std::string& kind) {
        SCOPED_TRACE(kind);
        for (const Outcome& o : {Load(path), Save(path, "leaked")}) {
            EXPECT_EQ(o.status, Status::BadDatabase) << o.text;
            EXPECT_NE(o.text.find(path), std::string::npos) << o.text;
            EXPECT_NE(o.text.find(kind), std::string::npos) << o.text;
        }
    };

    // A FIFO would keep an open for reading waiting for a writer forever.
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    expectRefused("FIFO");
    ASSERT_EQ(::unlink(path.c_str()), 0);
    ASSERT_EQ(::mkdir(path.c_str(), 0700), 0);
    expectRefused("directory");
    ASSERT_EQ(::rmdir(path.c_str()), 0);

    // Another program's database is neither read as ours nor given our tables or secrets.
    Sql(path, "CREATE TABLE accounts(name TEXT, password TEXT); INSERT INTO accounts VALUES('ada', 'x');");
    const std::string foreign = Bytes(path);
    expectRefused("another program");
    EXPECT_EQ(Bytes(path), foreign);
    ASSERT_EQ(::unlink(path.c_str()), 0);

    // An empty file is a store not yet written: reading leaves it empty, a save makes it ours.
    { std::ofstream(path).flush(); }
    ASSERT_EQ(::chmod(path.c_str(), 0600), 0);
    const Outcome empty = Load(path);
    EXPECT_EQ(empty.status, 0) << empty.text;
    EXPECT_EQ(empty.value, "");
    EXPECT_EQ(Bytes(path), "");
    EXPECT_EQ(Save(path, "new").status, 0);
    EXPECT_EQ(ApplicationId(path), 0x4E564144);
    EXPECT_EQ(Load(path).value, "new");
    ASSERT_EQ(::unlink(path.c_str()), 0);

    // A store of an earlier version (no application id) is ours; reading it changes nothing.
    Sql(path,
        "CREATE TABLE keys(id INTEGER PRIMARY KEY, root INTEGER NOT NULL, path TEXT NOT NULL COLLATE NOCASE,"
        " UNIQUE(root, path));"
        "CREATE TABLE vals(key_id INTEGER NOT NULL REFERENCES keys(id) ON DELETE CASCADE,"
        " name TEXT NOT NULL COLLATE NOCASE, type INTEGER NOT NULL, data BLOB NOT NULL, PRIMARY KEY(key_id, name));"
        "INSERT INTO keys(root, path) VALUES(2147483650, ''), (2147483650, 'SOFTWARE'),"
        " (2147483650, 'SOFTWARE\\Tarsel'), (2147483650, 'SOFTWARE\\Tarsel\\Norvane');"
        "INSERT INTO vals VALUES(4, 'Password', 1, CAST('old' || char(0) AS BLOB));");
    ASSERT_EQ(::chmod(path.c_str(), 0600), 0);
    const std::string earlier = Bytes(path);
    EXPECT_EQ(Load(path).value, "old");
    EXPECT_EQ(Bytes(path), earlier);
    EXPECT_EQ(Save(path, "newer").status, 0);
    EXPECT_EQ(Load(path).value, "newer");
    EXPECT_EQ(ApplicationId(path), 0x4E564144);

    // A name that looks like an SQLite URI is a file name, taken from the working directory:
    // no parameter of it is obeyed, and no other file is written.
    const fs::path cwd = fs::current_path();
    fs::current_path(tmp.path);
    { std::ofstream("real.db") << "left alone"; }
    const std::string uri = "file:real.db?mode=memory";
    const Outcome saved = Save(uri, "kept");
    fs::current_path(cwd);
    EXPECT_EQ(saved.status, 0) << saved.text;
    EXPECT_EQ(Bytes(tmp.path + "/real.db"), "left alone");
    EXPECT_EQ(Load(tmp.path + "/" + uri).value, "kept");
}

TEST(SettingsStore, AStoreReplacedOrRemovedWhileOpenIsOpenedAnew) {
    ScratchDir tmp;
    const std::string path = tmp.path + "/registry.db";
    // Backups made beforehand, each restored by a rename as mv and rsync do.
    ASSERT_EQ(Save(tmp.path + "/1.db", "from the backup").status, 0);
    ASSERT_EQ(Save(tmp.path + "/2.db", "again").status, 0);
    auto restore = [&](const char* backup) { ASSERT_EQ(::rename((tmp.path + backup).c_str(), path.c_str()), 0); };
    Registry::UseStore(UseStoreAt(path));
    ASSERT_EQ(Registry::WriteString("", "Password", "first"), 0) << Registry::LastErrorText();

    // Restored, then deleted: each load and save uses the file at the path now.
    restore("/1.db");
    ASSERT_EQ(Registry::BeginRead(), 0) << Registry::LastErrorText();
    EXPECT_EQ(Registry::ReadString("", "Password"), "from the backup");
    Registry::EndRead();
    restore("/2.db");
    ASSERT_EQ(Registry::BeginBatch(), 0) << Registry::LastErrorText();
    EXPECT_EQ(Registry::WriteString("", "Password", "saved"), 0) << Registry::LastErrorText();
    EXPECT_EQ(Registry::CommitBatch(), 0) << Registry::LastErrorText();
    EXPECT_EQ(Load(path).value, "saved");  // Load puts a store of its own in place

    Registry::UseStore(UseStoreAt(path));
    ASSERT_EQ(Registry::WriteString("", "Password", "before removal"), 0);
    ASSERT_EQ(::unlink(path.c_str()), 0);
    EXPECT_EQ(Registry::ReadString("", "Password"), "");
    EXPECT_NE(Registry::LastErrorText().find("does not exist"), std::string::npos) << Registry::LastErrorText();
    EXPECT_EQ(Registry::WriteString("", "Password", "after removal"), 0) << Registry::LastErrorText();
    Registry::UseStore(nullptr);
    EXPECT_EQ(Load(path).value, "after removal");
    EXPECT_EQ(Mode(path), 0600u);
}

TEST(SettingsStore, ABusyStoreFailsWholeOnceItsWaitIsOver) {
    ScratchDir tmp;
    const std::string path = tmp.path + "/registry.db";
    ASSERT_EQ(Save(path, "before").status, 0);

    auto owned = std::make_unique<SqliteStore>(path);
    SqliteStore& store = *owned;
    // Shared with the notifier, which may outlive a failed case.
    auto seen = std::make_shared<std::vector<bool>>();
    std::vector<bool>& waits = *seen;
    Registry::SetWaitNotifier([seen](bool waiting) { seen->push_back(waiting); });
    Registry::UseStore(std::move(owned));
    Registry::SetBaseKey(Settings::Root, Settings::KeyPath);
    store.SetBusyTimeout(std::chrono::milliseconds(600));
    {
        Child holder({Writer(), path, "hold", "4000"});
        ASSERT_TRUE(holder.WaitFor("held"));
        // Each fails whole after one wait, says where, and tells the window when it waited.
        EXPECT_EQ(Registry::BeginRead(), Status::Busy);
        EXPECT_NE(Registry::LastErrorText().find(path + " is in use"), std::string::npos) << Registry::LastErrorText();
        EXPECT_EQ(waits, (std::vector<bool>{true, false}));
        // The reads of that load try the store no more: no second wait, the same reason.
        for (const Settings::Definition& d : Settings::Table)
            EXPECT_EQ(Registry::ReadString("", d.name), "");
        EXPECT_EQ(Registry::LastStatus(), Status::Busy);
        EXPECT_NE(Registry::LastErrorText().find(path + " is in use"), std::string::npos);
        EXPECT_EQ(waits, (std::vector<bool>{true, false}));
        Registry::EndRead();
        EXPECT_EQ(Registry::BeginBatch(), Status::Busy);
        EXPECT_NE(Registry::LastErrorText().find(path), std::string::npos) << Registry::LastErrorText();
        EXPECT_EQ(Registry::WriteString("", "Password", "during"), Status::Busy);
        EXPECT_NE(Registry::LastErrorText().find(path), std::string::npos) << Registry::LastErrorText();
        EXPECT_EQ(waits, (std::vector<bool>{true, false, true, false, true, false}));
        EXPECT_EQ(holder.Wait(), 0);
    }
    // Once it is free, a write outside a batch is a transaction of its own: it has landed
    // for the next reader as soon as it returns.
    EXPECT_EQ(Registry::WriteString("", "Password", "after"), 0);
    EXPECT_EQ(Load(path).value, "after");

    // A wait that ends in time: one wait, shown and over, and the load goes ahead.
    Registry::UseStore(std::make_unique<SqliteStore>(path));
    Registry::SetBaseKey(Settings::Root, Settings::KeyPath);
    waits.clear();
    Child holder({Writer(), path, "hold", "1500"});
    ASSERT_TRUE(holder.WaitFor("held"));
    EXPECT_EQ(Registry::BeginRead(), 0) << Registry::LastErrorText();
    EXPECT_EQ(waits, (std::vector<bool>{true, false}));
    EXPECT_EQ(Registry::ReadString("", "Password"), "after");
    Registry::EndRead();
    Registry::SetWaitNotifier(nullptr);
    Registry::UseStore(nullptr);
}

TEST(SettingsStore, ASaveEndsOnlyOnceTheRemovalOfItsJournalIsOnDisk) {
    // A power loss just after a confirmed save must not bring its journal back and undo it:
    // each time the journal goes, the store's directory is synced before the save returns.
    if (std::system("strace -V >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "needs strace (scripts/deps test installs it)";
    ScratchDir tmp;
    const std::string path = tmp.path + "/registry.db";
    const std::string log = tmp.path + "/trace";
    const std::string command =
        "strace -f -e trace=openat,unlink,unlinkat,fsync,fdatasync -o " + log + " " + Writer() + " " + path + " P 3";
    ASSERT_EQ(std::system(command.c_str()), 0);

    std::ifstream trace(log);
    std::set<std::string> directoryFds;
    int removed = 0, pending = 0, synced = 0;
    for (std::string line; std::getline(trace, line);) {
        const std::size_t result = line.rfind(" = ");
        const std::string fd = result == std::string::npos ? "" : line.substr(result + 3);
        if (line.find("\"" + path + "-journal\"") != std::string::npos && line.find("unlink") != std::string::npos &&
            fd == "0") {
            ++removed;
            ++pending;
        } else if (const std::size_t open = line.find("openat(AT_FDCWD, \""); open != std::string::npos) {
            const std::size_t from = open + 18;
            const std::string opened = line.substr(from, line.find('"', from) - from);
            if (opened == tmp.path)
                directoryFds.insert(fd);
            else
                directoryFds.erase(fd);  // the number now stands for another file
            if (opened == path + "-journal")
                pending = 0;  // the next save began: a sync from here on is too late
        } else if (pending && fd == "0") {
            for (const char* sync : {"fsync(", "fdatasync("})
                if (const std::size_t at = line.find(sync); at != std::string::npos) {
                    const std::size_t from = at + std::strlen(sync);
                    if (directoryFds.count(line.substr(from, line.find(')', from) - from))) {
                        ++synced;
                        --pending;
                    }
                }
        }
    }
    EXPECT_GT(removed, 0);
    EXPECT_EQ(synced, removed);
}

TEST(SettingsStore, ALoadDuringSavesSeesOneSave) {
    ScratchDir tmp;
    const std::string path = tmp.path + "/registry.db";
    Child saver({Writer(), path, "batches"});
    ASSERT_TRUE(saver.WaitFor("saving"));

    Registry::UseStore(std::make_unique<SqliteStore>(path));
    Registry::SetBaseKey(Settings::Root, Settings::KeyPath);
    int mixed = 0;
    std::set<std::string> seen;
    // 300 loads, and more until the saves have gone on between them.
    for (int load = 0; load < 300 || (seen.size() < 3 && load < 3000); ++load) {
        ASSERT_EQ(Registry::BeginRead(), 0) << Registry::LastErrorText();
        std::set<std::string> values;
        for (const Settings::Definition& d : Settings::Table)
            values.insert(Registry::ReadString("", d.name));
        Registry::EndRead();
        mixed += values.size() != 1;
        seen.insert(*values.begin());
    }
    saver.Kill();
    Registry::UseStore(nullptr);
    EXPECT_EQ(mixed, 0);
    EXPECT_GE(seen.size(), 3u);
}

TEST(SettingsStore, AnInterruptedSaveIsNamedToAUserWhoMayOnlyRead) {
    OtherUser reader;
    if (!reader.made)
        GTEST_SKIP() << "needs root, to make a user who may only read the store";
    ScratchDir tmp;
    ASSERT_EQ(::chmod(tmp.path.c_str(), 0755), 0);
    const std::string path = tmp.path + "/registry.db";
    ASSERT_EQ(Save(path, "before").status, 0);
    ASSERT_EQ(::chmod(path.c_str(), 0644), 0);
    {
        Child saver({Writer(), path, "hold", "600000", "write"});
        ASSERT_TRUE(saver.WaitFor("held"));
        saver.Kill();  // mid-save: its journal stays, and only a writer may play it back
    }
    ASSERT_GT(fs::file_size(path + "-journal"), 0u);

    auto readerLoads = [&] {
        return reader.Do([&] {
            const Outcome o = Load(path);
            Registry::UseStore(UseStoreAt(path));
            const std::string value = Registry::ReadString("", "Password");
            return std::to_string(o.status) + "|" + o.value + "|" + o.text + "|" + value + "|" +
                   Registry::LastErrorText();
        });
    };
    const std::string blocked = readerLoads();
    EXPECT_EQ(blocked.rfind("5||The settings store " + path + " cannot be read: a save to it was interrupted", 0), 0u)
        << blocked;
    EXPECT_NE(blocked.find("an administrator must open the store once"), std::string::npos) << blocked;
    EXPECT_EQ(blocked.find("does not exist"), std::string::npos) << blocked;

    // The administrator's next start-up undoes it; then the reader reads the last save.
    const Outcome admin = Load(path);
    EXPECT_EQ(admin.status, 0) << admin.text;
    EXPECT_EQ(admin.value, "before");
    EXPECT_FALSE(fs::exists(path + "-journal"));
    EXPECT_EQ(readerLoads(), "0|before||before|");
}
