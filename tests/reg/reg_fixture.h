#pragma once
// What the norvane-reg tests share: a store file of their own in a fresh directory, and
// reads of it that go around the commands.

#include "SqliteStore.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace norvane::regtest {

namespace fs = std::filesystem;

constexpr const char* Key = "HKLM\\SOFTWARE\\Tarsel\\Norvane";
constexpr const char* FullKey = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarsel\\Norvane";
constexpr const char* Path = "SOFTWARE\\Tarsel\\Norvane";

struct Result {
    int exit = -1;
    std::string out;
    std::string err;
};

inline std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void WriteFile(const fs::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

inline std::string S(const char* bytes, std::size_t n) { return std::string(bytes, n); }

class StoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/norvane-reg-test-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        m_dir = tmpl;
        m_store = m_dir / "registry.db";
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(m_dir, ec);
    }

    static mode_t Mode(const fs::path& path) {
        struct stat st {};
        return lstat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
    }

    // The value as the store holds it, read without the command.
    std::optional<ValueEntry> Stored(const std::string& path, const std::string& name) {
        SqliteStore store(m_store.string());
        HKey key = 0;
        if (store.OpenKey(HKEY_LOCAL_MACHINE_ROOT, path, Access::QueryValue, key) != Status::Success)
            return std::nullopt;
        std::vector<ValueEntry> values;
        EXPECT_EQ(store.EnumValues(key, values), Status::Success);
        store.CloseKey(key);
        for (const ValueEntry& v : values)
            if (v.name == name)
                return v;
        return std::nullopt;
    }

    bool KeyExists(const std::string& path) {
        SqliteStore store(m_store.string());
        HKey key = 0;
        if (store.OpenKey(HKEY_LOCAL_MACHINE_ROOT, path, Access::QueryValue, key) != Status::Success)
            return false;
        store.CloseKey(key);
        return true;
    }

    static void ExpectOneLineError(const Result& r) {
        EXPECT_EQ(r.exit, 1);
        EXPECT_EQ(r.err.rfind("ERROR: ", 0), 0u) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    }

    fs::path m_dir;
    fs::path m_store;
};

}  // namespace norvane::regtest
