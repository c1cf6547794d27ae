// The store file under the things that go wrong in real use: two writers at once.
#include "Registry.h"
#include "SqliteStore.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

using namespace norvane;

namespace {

pid_t Spawn(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
        return -1;
    return pid;
}

int Wait(pid_t pid) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

TEST(SettingsStore, TwoProcessesWritingAtOnceBothSucceed) {
    const char* writer = std::getenv("SETTINGS_WRITER");
    ASSERT_NE(writer, nullptr);
    auto dir = std::filesystem::temp_directory_path() / ("norvane-two-" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    const std::string path = (dir / "registry.db").string();

    pid_t a = Spawn({writer, path, "A", "500"});
    pid_t b = Spawn({writer, path, "B", "500"});
    ASSERT_GT(a, 0);
    ASSERT_GT(b, 0);
    EXPECT_EQ(Wait(a), 0);
    EXPECT_EQ(Wait(b), 0);

    SqliteStore store(path);
    HKey k = 0;
    ASSERT_EQ(store.OpenKey(HKEY_LOCAL_MACHINE_ROOT, "SOFTWARE\\Tarsel\\Norvane", Access::QueryValue, k), 0);
    std::vector<ValueEntry> values;
    ASSERT_EQ(store.EnumValues(k, values), 0);
    EXPECT_EQ(values.size(), 1000u);
    store.CloseKey(k);
    std::filesystem::remove_all(dir);
}
