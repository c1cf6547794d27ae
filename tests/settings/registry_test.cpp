// The Registry module over the store of the platform it runs on: the embedded store file
// here, the Windows registry in the Windows build (run under Wine). The same cases run on
// both; where the two stores differ, the case says which way each goes.
#include "Registry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <utility>
#include <vector>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include "SqliteStore.h"
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace norvane;
using namespace std::string_literals;

namespace {

#ifdef _WIN32
constexpr bool OnWindowsRegistry = true;
#else
constexpr bool OnWindowsRegistry = false;
#endif

std::string Unique() {
    std::random_device rd;
    return std::to_string(rd()) + "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
}

// Letters of the other case, to see that names and paths match without regard to it.
std::string OtherCase(std::string s) {
    for (char& c : s) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
        else if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return s;
}

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override {
#ifdef _WIN32
        // The registry outlives the test: every case works under a key of its own.
        base = "SOFTWARE\\NorvaneTest\\" + Unique();
#else
        // A store file of the case's own, found the way the program finds it.
        dir = std::filesystem::temp_directory_path() / ("norvane-reg-" + Unique());
        std::filesystem::remove_all(dir);
        path = (dir / "sub" / "registry.db").string();
        ::setenv("NORVANE_REGISTRY", path.c_str(), 1);
        base = "SOFTWARE";
#endif
        Key = base + "\\Tarsel\\Norvane";
        Registry::UseStore(MakePlatformStore());
        Registry::SetBaseKey(HKEY_LOCAL_MACHINE_ROOT, Key);
    }
    void TearDown() override {
#ifdef _WIN32
        Registry::Store().DeleteTree(HKEY_LOCAL_MACHINE_ROOT, base);
        // The common parent goes once no other case (perhaps running at the same time)
        // holds a key under it; RegDeleteKeyA refuses a key that still has subkeys.
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\NorvaneTest");
        HKey k = 0;
        EXPECT_EQ(Registry::Store().OpenKey(HKEY_LOCAL_MACHINE_ROOT, base, Access::QueryValue, k),
                  Status::FileNotFound);
#endif
        Registry::UseStore(nullptr);
#ifndef _WIN32
        ::unsetenv("NORVANE_REGISTRY");
        std::filesystem::remove_all(dir);
#endif
    }

    // Stores raw bytes of a type, as another program (or the server) might have.
    void Put(const std::string& name, std::uint32_t type, const std::string& bytes) {
        KeyStore& s = Registry::Store();
        HKey k = 0;
        ASSERT_EQ(s.CreateKey(HKEY_LOCAL_MACHINE_ROOT, Key, Access::AllAccess, k), 0);
        // The byte just past the data is the string's own NUL: a store that added a NUL
        // of its own there would be caught by Raw.
        ASSERT_EQ(s.SetValue(k, name, type, reinterpret_cast<const unsigned char*>(bytes.c_str()),
                             static_cast<std::uint32_t>(bytes.size())),
                  0);
        s.CloseKey(k);
    }
    // Every value of the key in the order the store lists them.
    std::vector<ValueEntry> Values(const std::string& key) {
        KeyStore& s = Registry::Store();
        HKey k = 0;
        std::vector<ValueEntry> values;
        if (s.OpenKey(HKEY_LOCAL_MACHINE_ROOT, key, Access::QueryValue, k) != 0)
            return values;
        EXPECT_EQ(s.EnumValues(k, values), 0);
        s.CloseKey(k);
        return values;
    }
    // The stored type and bytes, read back from the store itself.
    std::pair<std::uint32_t, std::string> Raw(const std::string& name) {
        for (auto& v : Values(Key))
            if (v.name == name)
                return {v.type, v.data};
        return {0, "<no value>"};
    }
    bool KeyExists(const std::string& key) {
        HKey k = 0;
        if (Registry::Store().OpenKey(HKEY_LOCAL_MACHINE_ROOT, key, Access::QueryValue, k) != 0)
            return false;
        Registry::Store().CloseKey(k);
        return true;
    }

    std::string base;  // everything the case writes lies under this key
    std::string Key;   // the settings key of the case
#ifndef _WIN32
    std::filesystem::path dir;
    std::string path;
#endif
};

TEST_F(RegistryTest, StringsReadWithOneTrailingNulRemoved) {
    Put("One", RegType::Sz, "1812\0"s);
    Put("None", RegType::Sz, "1812");
    Put("Two", RegType::Sz, "1812\0\0"s);
    Put("Empty0", RegType::Sz, "");
    Put("Empty1", RegType::Sz, "\0"s);
    Put("Multi", RegType::MultiSz, "a\0b\0\0"s);
    // Each is stored as given, without a NUL added or taken away.
    EXPECT_EQ(Raw("One"), std::make_pair(RegType::Sz, "1812\0"s));
    EXPECT_EQ(Raw("None"), std::make_pair(RegType::Sz, "1812"s));
    EXPECT_EQ(Raw("Two"), std::make_pair(RegType::Sz, "1812\0\0"s));
    EXPECT_EQ(Raw("Empty0"), std::make_pair(RegType::Sz, ""s));
    EXPECT_EQ(Raw("Empty1"), std::make_pair(RegType::Sz, "\0"s));
    EXPECT_EQ(Raw("Multi"), std::make_pair(RegType::MultiSz, "a\0b\0\0"s));

    EXPECT_EQ(Registry::ReadString("", "One"), "1812");
    EXPECT_EQ(Registry::ReadString("", "None"), "1812");
    EXPECT_EQ(Registry::ReadString("", "Two"), "1812\0"s);
    EXPECT_EQ(Registry::ReadString("", "Empty0"), "");
    EXPECT_EQ(Registry::ReadString("", "Empty1"), "");
    EXPECT_EQ(Registry::ReadString("", "Multi"), "a\0b\0"s);
    EXPECT_EQ(Registry::LastStatus(), 0);

    // QueryValue hands back every stored byte; only ReadString drops the one NUL.
    HKey k = 0;
    ASSERT_EQ(Registry::Store().OpenKey(HKEY_LOCAL_MACHINE_ROOT, Key, Access::QueryValue, k), 0);
    Registry::Value v;
    EXPECT_EQ(Registry::QueryValue(k, "Two", v), 0);
    EXPECT_EQ(v.text, "1812\0\0"s);
    EXPECT_EQ(Registry::QueryValue(k, "Multi", v), 0);
    EXPECT_EQ(v.text, "a\0b\0\0"s);
    EXPECT_EQ(v.type, RegType::MultiSz);
    Registry::Store().CloseKey(k);
}

TEST_F(RegistryTest, DwordsReadAsSignedDecimalAndOtherTypesAsEmpty) {
    Put("Port", RegType::Dword, "\x14\x07\0\0"s);  // 1812
    Put("All", RegType::Dword, "\xff\xff\xff\xff"s);
    Put("Expand", RegType::ExpandSz, "%PATH%\0"s);
    Put("Binary", RegType::Binary, "\x01\x02"s);
    EXPECT_EQ(Registry::ReadString("", "Port"), "1812");
    EXPECT_EQ(Registry::ReadString("", "All"), "-1");
    EXPECT_EQ(Registry::ReadString("", "Expand"), "");
    EXPECT_EQ(Registry::LastStatus(), Status::Unsupported);
    EXPECT_EQ(Registry::ReadString("", "Binary"), "");
    EXPECT_EQ(Registry::LastStatus(), Status::Unsupported);
    EXPECT_EQ(Registry::ReadString("", "Missing"), "");
    EXPECT_EQ(Registry::LastStatus(), Status::FileNotFound);
    EXPECT_FALSE(Registry::LastErrorText().empty());

    // SetValue stores a REG_DWORD as its four little-endian bytes, and other types not at all.
    HKey k = 0;
    ASSERT_EQ(Registry::Store().OpenKey(HKEY_LOCAL_MACHINE_ROOT, Key, Access::AllAccess, k), 0);
    Registry::Value v;
    v.number = -2;
    EXPECT_EQ(Registry::SetValue(k, "Minus", RegType::Dword, v), 0);
    v.text = "x";
    EXPECT_EQ(Registry::SetValue(k, "Skipped", RegType::Binary, v), 0);
    Registry::Store().CloseKey(k);
    EXPECT_EQ(Raw("Minus"), std::make_pair(RegType::Dword, "\xfe\xff\xff\xff"s));
    EXPECT_EQ(Raw("Skipped").second, "<no value>");
    EXPECT_EQ(Registry::ReadString("", "Minus"), "-2");
}

TEST_F(RegistryTest, NamesAndPathsMatchWithoutRegardToCase) {
    ASSERT_EQ(Registry::WriteString("", "UserName", "radius"), 0);
    EXPECT_EQ(Registry::ReadString("", "username"), "radius");
    ASSERT_EQ(Registry::WriteString("", "Username", "other"), 0);
    EXPECT_EQ(Registry::ReadString("", "USERNAME"), "other");
    Registry::SetBaseKey(HKEY_LOCAL_MACHINE_ROOT, OtherCase(Key));
    EXPECT_EQ(Registry::ReadString("", "UserName"), "other");
    ASSERT_EQ(Registry::WriteString("", "userNAME", "third"), 0);

    // One value, not two, and it kept the name it was first stored under.
    const auto values = Values(Key);
    ASSERT_EQ(values.size(), 1u);
    EXPECT_EQ(values[0].name, "UserName");
    EXPECT_EQ(values[0].data, "third\0"s);
    // The key kept the case of its first writing too.
    std::vector<std::string> subKeys;
    HKey k = 0;
    ASSERT_EQ(Registry::Store().OpenKey(HKEY_LOCAL_MACHINE_ROOT, base + "\\TARSEL", Access::AllAccess, k), 0);
    EXPECT_EQ(Registry::Store().EnumSubKeys(k, subKeys), 0);
    Registry::Store().CloseKey(k);
    EXPECT_EQ(subKeys, std::vector<std::string>{"Norvane"});
}

TEST_F(RegistryTest, ReadingAMissingKeyChangesNothing) {
    EXPECT_EQ(Registry::ReadString("", "Mode"), "");
    EXPECT_EQ(Registry::LastStatus(), Status::FileNotFound);
    EXPECT_FALSE(KeyExists(Key));
    EXPECT_FALSE(KeyExists(base + "\\Tarsel"));
#ifndef _WIN32
    // Not even a store file appears.
    EXPECT_FALSE(std::filesystem::exists(path));
#endif

    ASSERT_EQ(Registry::WriteString("", "Other", "x"), 0);
    Registry::SetBaseKey(HKEY_LOCAL_MACHINE_ROOT, base + "\\Tarsel\\Elsewhere");
    EXPECT_EQ(Registry::ReadString("", "Mode"), "");
    EXPECT_EQ(Registry::LastStatus(), Status::FileNotFound);
    EXPECT_FALSE(KeyExists(base + "\\Tarsel\\Elsewhere"));
    // A missing value in a key that exists adds nothing to it either.
    Registry::SetBaseKey(HKEY_LOCAL_MACHINE_ROOT, Key);
    EXPECT_EQ(Registry::ReadString("", "Mode"), "");
    EXPECT_EQ(Values(Key).size(), 1u);
}

TEST_F(RegistryTest, WritingCreatesTheKeyAndStoresTextWithItsNul) {
    ASSERT_EQ(Registry::WriteString("", "UsersFile", "Users"), 0);
    EXPECT_EQ(Raw("UsersFile"), std::make_pair(RegType::Sz, "Users\0"s));
    ASSERT_EQ(Registry::WriteString("", "LogFile", ""), 0);
    EXPECT_EQ(Raw("LogFile"), std::make_pair(RegType::Sz, "\0"s));
    EXPECT_EQ(Registry::ReadString("", "UsersFile"), "Users");

    // Every key above the new one exists too.
    EXPECT_TRUE(KeyExists(base + "\\Tarsel"));

    // A DWORD becomes a string when written again.
    Put("AuthPort", RegType::Dword, "\x14\x07\0\0"s);
    ASSERT_EQ(Registry::WriteString("", "AuthPort", Registry::ReadString("", "AuthPort")), 0);
    EXPECT_EQ(Raw("AuthPort"), std::make_pair(RegType::Sz, "1812\0"s));

    // 8-bit text goes in and comes out as the same bytes.
    ASSERT_EQ(Registry::WriteString("", "Realm", "caf\xe9 \xb5"), 0);
    EXPECT_EQ(Registry::ReadString("", "Realm"), "caf\xe9 \xb5");
}

TEST_F(RegistryTest, SubkeyJoinsTheBasePathWithOneBackslash) {
    EXPECT_EQ(Registry::KeyPath(""), Key);
    EXPECT_EQ(Registry::KeyPath("Extra"), Key + "\\Extra");
    ASSERT_EQ(Registry::WriteString("Extra", "Name", "v"), 0);
    EXPECT_EQ(Registry::ReadString("Extra", "Name"), "v");
    Registry::SetBaseKey(HKEY_LOCAL_MACHINE_ROOT, Key + "\\Extra");
    EXPECT_EQ(Registry::ReadString("", "Name"), "v");
}

TEST_F(RegistryTest, AKeyOpenedForReadingReadsAndRefusesWrites) {
    ASSERT_EQ(Registry::WriteString("", "Mode", "3"), 0);
    KeyStore& s = Registry::Store();
    HKey k = 0;
    ASSERT_EQ(s.OpenKey(HKEY_LOCAL_MACHINE_ROOT, Key, Access::QueryValue, k), 0);
    Registry::Value v;
    EXPECT_EQ(Registry::QueryValue(k, "Mode", v), 0);
    EXPECT_EQ(v.text, "3\0"s);
    v.text = "4";
    EXPECT_EQ(Registry::SetValue(k, "Mode", RegType::Sz, v), Status::AccessDenied);
    EXPECT_FALSE(s.LastErrorText().empty());
    EXPECT_EQ(s.DeleteValue(k, "Mode"), Status::AccessDenied);
    s.CloseKey(k);
    EXPECT_EQ(Registry::ReadString("", "Mode"), "3");
}

TEST_F(RegistryTest, BatchesAreAllOrNothingOnlyInTheEmbeddedStore) {
    ASSERT_EQ(Registry::WriteString("", "Mode", "1"), 0);
    ASSERT_EQ(Registry::BeginBatch(), 0);
    ASSERT_EQ(Registry::WriteString("", "Mode", "2"), 0);
    ASSERT_EQ(Registry::WriteString("", "Debug", "5"), 0);
    Registry::RollbackBatch();
    if (OnWindowsRegistry) {
        // The registry has no transactions: each write of a batch stands on its own.
        EXPECT_EQ(Registry::ReadString("", "Mode"), "2");
        EXPECT_EQ(Registry::ReadString("", "Debug"), "5");
    } else {
        EXPECT_EQ(Registry::ReadString("", "Mode"), "1");
        EXPECT_EQ(Registry::ReadString("", "Debug"), "");
    }

    ASSERT_EQ(Registry::BeginBatch(), 0);
    ASSERT_EQ(Registry::WriteString("", "Mode", "6"), 0);
    ASSERT_EQ(Registry::WriteString("", "Debug", "7"), 0);
    ASSERT_EQ(Registry::CommitBatch(), 0);
    // A second store of its own (on the embedded one another connection) sees both.
    auto other = MakePlatformStore();
    HKey k = 0;
    ASSERT_EQ(other->OpenKey(HKEY_LOCAL_MACHINE_ROOT, Key, Access::QueryValue, k), 0);
    std::vector<ValueEntry> values;
    EXPECT_EQ(other->EnumValues(k, values), 0);
    other->CloseKey(k);
    std::map<std::string, std::string> seen;
    for (const auto& v : values)
        seen[v.name] = v.data;
    EXPECT_EQ(seen, (std::map<std::string, std::string>{{"Debug", "7\0"s}, {"Mode", "6\0"s}}));
}

TEST_F(RegistryTest, ValuesAreListedInOrderOfFirstWritingOrByName) {
    for (const char* name : {"Zeta", "alpha", "Mid", "Beta"})
        ASSERT_EQ(Registry::WriteString("", name, name), 0);
    ASSERT_EQ(Registry::WriteString("", "ALPHA", "again"), 0);
    std::vector<std::string> names;
    for (const auto& v : Values(Key))
        names.push_back(v.name);
    if (OnWindowsRegistry) {
        // Wine keeps a key's values sorted by name, without regard to case (Windows
        // itself lists them in the order they were first written).
        EXPECT_EQ(names, (std::vector<std::string>{"alpha", "Beta", "Mid", "Zeta"}));
    } else {
        EXPECT_EQ(names, (std::vector<std::string>{"Zeta", "alpha", "Mid", "Beta"}));
    }
}

TEST_F(RegistryTest, SubkeysAreListedAndDeletedWhateverTheirNames) {
    // Names that sort around "\" and "]" (the bounds of a key's subtree in the store's index),
    // that differ only in case, and that are wildcards to LIKE.
    const std::vector<std::string> children = {"c", "c!", "c]z", "c^", "C_x", "c[", "c%", "b", "D"};
    for (const std::string& child : children)
        ASSERT_EQ(Registry::WriteString(child, "v", child), 0) << child;
    for (const char* deeper : {"c\\x", "c\\x\\y", "c!\\y", "c]z\\w"})
        ASSERT_EQ(Registry::WriteString(deeper, "v", deeper), 0) << deeper;
    auto subKeys = [&](const std::string& path) {
        std::vector<std::string> names;
        HKey k = 0;
        EXPECT_EQ(
            Registry::Store().OpenKey(HKEY_LOCAL_MACHINE_ROOT, path, Access::QueryValue | Access::EnumerateSubKeys, k),
            0)
            << path;
        EXPECT_EQ(Registry::Store().EnumSubKeys(k, names), 0) << path;
        Registry::Store().CloseKey(k);
        std::sort(names.begin(), names.end());
        return names;
    };
    std::vector<std::string> expected = children;
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(subKeys(Key), expected);
    EXPECT_EQ(subKeys(Key + "\\C"), std::vector<std::string>{"x"});
    EXPECT_EQ(subKeys(Key + "\\c!"), std::vector<std::string>{"y"});
    EXPECT_EQ(subKeys(Key + "\\c\\x"), std::vector<std::string>{"y"});
    EXPECT_EQ(subKeys(Key + "\\c%"), std::vector<std::string>{});

    // A subtree goes whole, and nothing beside it.
    ASSERT_EQ(Registry::Store().DeleteTree(HKEY_LOCAL_MACHINE_ROOT, Key + "\\c"), 0);
    EXPECT_FALSE(KeyExists(Key + "\\c"));
    EXPECT_FALSE(KeyExists(Key + "\\c\\x\\y"));
    expected.erase(std::find(expected.begin(), expected.end(), "c"));
    EXPECT_EQ(subKeys(Key), expected);
    EXPECT_EQ(subKeys(Key + "\\c!"), std::vector<std::string>{"y"});
    EXPECT_EQ(Registry::ReadString("c]z\\w", "v"), "c]z\\w");
}

#ifndef _WIN32
// What only the embedded store has: a file of its own.

TEST_F(RegistryTest, TheStoreFileIsItsOwnersOnly) {
    ASSERT_EQ(Registry::WriteString("", "Password", "secret"), 0);
    // The store holds database passwords: owner only.
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(RegistryTest, AStoreThatMayBeReadButNotWrittenStillReads) {
    ASSERT_EQ(Registry::WriteString("", "Mode", "3"), 0);
    Registry::UseStore(nullptr);
    ASSERT_EQ(::chmod(path.c_str(), 0400), 0);
    ASSERT_EQ(::chmod(std::filesystem::path(path).parent_path().c_str(), 0500), 0);
    if (::access(path.c_str(), W_OK) == 0) {
        ::chmod(std::filesystem::path(path).parent_path().c_str(), 0700);
        GTEST_SKIP() << "running as a user whom file permissions do not stop (root)";
    }
    Registry::UseStore(std::make_unique<SqliteStore>(path));
    EXPECT_EQ(Registry::ReadString("", "Mode"), "3");
    EXPECT_EQ(Registry::WriteString("", "Mode", "4"), Status::AccessDenied);
    EXPECT_FALSE(Registry::LastErrorText().empty());
    EXPECT_EQ(Registry::ReadString("", "Mode"), "3");
    ::chmod(std::filesystem::path(path).parent_path().c_str(), 0700);
}
#endif

}  // namespace
