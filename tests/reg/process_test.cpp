// norvane-reg as the operator runs it: the real binary over a real store file, for what
// only a process shows (exit codes, the terminal, another user, a file size limit).

#include "reg_fixture.h"

#include <fcntl.h>
#include <grp.h>
#include <pty.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace norvane;
using namespace norvane::regtest;

namespace {

constexpr uid_t Nobody = 65534;

class RegProcess : public StoreTest {
protected:
    // In a child process: becomes the command over the test's store.
    [[noreturn]] void Exec(std::vector<std::string> args) {
        args.insert(args.begin(), NORVANE_REG_BINARY);
        std::vector<char*> cargs;
        for (auto& a : args)
            cargs.push_back(a.data());
        cargs.push_back(nullptr);
        setenv("NORVANE_REGISTRY", m_store.c_str(), 1);
        execv(cargs[0], cargs.data());
        _exit(127);
    }

    // Runs the binary with its standard input on /dev/null, so it never waits for an
    // answer; asUser drops to that user first (for a store that root cannot be kept from);
    // a file size limit makes its writes fail past that many bytes.
    Result Run(const std::vector<std::string>& args, std::optional<uid_t> asUser = std::nullopt,
               rlim_t fileSizeLimit = RLIM_INFINITY) {
        const fs::path out = m_dir / "stdout";
        const fs::path err = m_dir / "stderr";
        if (asUser) {
            // The child opens these after it has become asUser.
            for (const fs::path& p : {out, err}) {
                WriteFile(p, "");
                EXPECT_EQ(chown(p.c_str(), *asUser, *asUser), 0);
            }
        }
        const pid_t pid = fork();
        if (pid == 0) {
            const int in = open("/dev/null", O_RDONLY);
            const int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
            const int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
            if (in < 0 || o < 0 || e < 0)
                _exit(126);
            dup2(in, 0);
            dup2(o, 1);
            dup2(e, 2);
            if (asUser && (setgroups(0, nullptr) != 0 || setgid(*asUser) != 0 || setuid(*asUser) != 0))
                _exit(126);
            if (fileSizeLimit != RLIM_INFINITY) {
                const rlimit limit = {fileSizeLimit, fileSizeLimit};
                if (setrlimit(RLIMIT_FSIZE, &limit) != 0)
                    _exit(126);
            }
            Exec(args);
        }
        Result r;
        int status = 0;
        if (pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status))
            r.exit = WEXITSTATUS(status);
        r.out = ReadFile(out);
        r.err = ReadFile(err);
        return r;
    }

    // Runs the binary on a terminal of its own and types the answer; out holds all that
    // the terminal showed.
    Result RunOnTerminal(const std::vector<std::string>& args, const std::string& answer) {
        int terminal = -1;
        const pid_t pid = forkpty(&terminal, nullptr, nullptr, nullptr);
        if (pid == 0)
            Exec(args);
        Result r;
        if (pid < 0)
            return r;
        const std::string typed = answer + "\n";
        EXPECT_EQ(write(terminal, typed.data(), typed.size()), static_cast<ssize_t>(typed.size()));
        char buf[512];
        for (ssize_t n; (n = read(terminal, buf, sizeof buf)) > 0;)  // EIO once the command has ended
            r.out.append(buf, static_cast<std::size_t>(n));
        close(terminal);
        int status = 0;
        if (waitpid(pid, &status, 0) == pid && WIFEXITED(status))
            r.exit = WEXITSTATUS(status);
        return r;
    }
};

}  // namespace

TEST_F(RegProcess, ExitCodesAndStreams) {
    const Result added = Run({"ADD", Key, "/v", "Port", "/d", "1812"});
    EXPECT_EQ(added.exit, 0) << added.err;
    EXPECT_EQ(added.out, "The operation completed successfully.\n");
    EXPECT_EQ(added.err, "");
    const Result q = Run({"query", Key, "/v", "port"});
    EXPECT_EQ(q.exit, 0) << q.err;
    EXPECT_EQ(q.out, std::string(FullKey) + "\n    Port    REG_SZ    1812\n");
    for (const std::vector<std::string>& args : {std::vector<std::string>{}, {"list", Key}, {"delete", Key}}) {
        const Result r = Run(args);
        ExpectOneLineError(r);
        EXPECT_EQ(r.out, "");
    }
    const Result usage = Run({"/?"});
    EXPECT_EQ(usage.exit, 0);
    EXPECT_EQ(usage.out.rfind("usage: norvane-reg query", 0), 0u) << usage.out;
}

TEST_F(RegProcess, StoreThatCannotBeWritten) {
    ASSERT_EQ(Run({"add", Key, "/v", "Port", "/d", "1812"}).exit, 0);
    WriteFile(m_dir / "in.reg",
              "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarsel\\Norvane]\r\n\"Port\"=\"1645\"\r\n");

    // Root writes whatever the mode says, so as root the command runs as nobody over a
    // store that root owns and others may only read.
    std::optional<uid_t> asUser;
    if (geteuid() == 0) {
        asUser = Nobody;
        ASSERT_EQ(chmod(m_dir.c_str(), 0755), 0);
        ASSERT_EQ(chmod(m_store.c_str(), 0644), 0);
        ASSERT_EQ(chmod((m_dir / "in.reg").c_str(), 0644), 0);
        if (Run({"/?"}, asUser).exit != 0)
            GTEST_SKIP() << "running as root, and the user nobody cannot reach " << NORVANE_REG_BINARY
                         << ", so the store cannot be made unwritable for the command";
    } else {
        ASSERT_EQ(chmod(m_store.c_str(), 0400), 0);
    }

    const Result add = Run({"add", Key, "/v", "Port", "/d", "1645", "/f"}, asUser);
    ExpectOneLineError(add);
    ExpectOneLineError(Run({"add", std::string(Key) + "\\New"}, asUser));
    ExpectOneLineError(Run({"delete", Key, "/v", "Port", "/f"}, asUser));
    ExpectOneLineError(Run({"import", (m_dir / "in.reg").string()}, asUser));

    // It still reads.
    const Result q = Run({"query", Key, "/v", "Port"}, asUser);
    EXPECT_EQ(q.exit, 0) << q.err;
    EXPECT_EQ(q.out, std::string(FullKey) + "\n    Port    REG_SZ    1812\n");
    EXPECT_EQ(Stored(Path, "Port")->data, S("1812\0", 5));
    EXPECT_FALSE(KeyExists(std::string(Path) + "\\New"));
}

TEST_F(RegProcess, ExportAsksAtATerminalAndFailsWholeAtAFileSizeLimit) {
    // Big enough that a small file size limit stops its write halfway.
    ASSERT_EQ(Run({"add", Key, "/v", "Password", "/d", std::string(4000, 's')}).exit, 0);
    const fs::path file = m_dir / "settings.reg";
    ASSERT_EQ(Run({"export", Key, file.string()}).exit, 0);
    const std::string exported = ReadFile(file);

    // At a terminal it asks: No keeps the file, Yes replaces it.
    WriteFile(file, "kept\r\n");
    const std::string question = "File " + file.string() + " already exists. Overwrite (Yes/No)? ";
    const Result no = RunOnTerminal({"export", Key, file.string()}, "no");
    EXPECT_EQ(no.exit, 1) << no.out;
    EXPECT_NE(no.out.find(question), std::string::npos) << no.out;
    EXPECT_EQ(ReadFile(file), "kept\r\n");
    const Result yes = RunOnTerminal({"export", Key, file.string()}, "yes");
    EXPECT_EQ(yes.exit, 0) << yes.out;
    EXPECT_NE(yes.out.find(question), std::string::npos) << yes.out;
    EXPECT_EQ(ReadFile(file), exported);

    // A write that fails halfway leaves the old file whole and nothing beside it.
    WriteFile(file, "kept\r\n");
    ExpectOneLineError(Run({"export", Key, file.string(), "/y"}, std::nullopt, 2048));
    EXPECT_EQ(ReadFile(file), "kept\r\n");
    for (const auto& entry : fs::directory_iterator(m_dir))
        EXPECT_EQ(entry.path().filename().string().find(".settings.reg"), std::string::npos) << entry.path();
}

TEST_F(RegProcess, VersionIsTheProgramsOwn) {
    const Result r = Run({"--version"});
    EXPECT_EQ(r.exit, 0);
    EXPECT_EQ(r.out, "norvane-reg " NORVANE_VERSION "\n");
}
