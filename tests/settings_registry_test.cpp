// The Registry module over a real store file: what text each stored form reads as, and
// what each write stores.
#include "Registry.h"
#include "SqliteStore.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

using namespace norvane;

namespace {

const std::string Key = "SOFTWARE\\Tarsel\\Norvane";

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = std::filesystem::temp_directory_path() /
              ("norvane-reg-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir);
        path = (dir / "sub" / "registry.db").string();
        Registry::UseStore(std::make_unique<SqliteStore>(path));
        Registry::SetBaseKey(HKEY_LOCAL_MACHINE_ROOT, Key);
    }
    void TearDown() override {
        Registry::UseStore(nullptr);
        std::filesystem::remove_all(dir);
    }

    // Stores raw bytes of a type, as another program (or the server) might have.
    void Put(const std::string& name, std::uint32_t type, const std::string& bytes, const std::string& key = Key) {
        KeyStore& s = Registry::Store();
        HKey k = 0;
        ASSERT_EQ(s.CreateKey(HKEY_LOCAL_MACHINE_ROOT, key, Access::AllAccess, k), 0);
        ASSERT_EQ(s.SetValue(k, name, type, reinterpret_cast<const unsigned char*>(bytes.data()),
                             static_cast<std::uint32_t>(bytes.size())),
                  0);
        s.CloseKey(k);
    }
    // The stored type and bytes, read back from the store itself.
    std::pair<std::uint32_t, std::string> Raw(const std::string& name) {
        KeyStore& s = Registry::Store();
        HKey k = 0;
        if (s.OpenKey(HKEY_LOCAL_MACHINE_ROOT, Key, Access::QueryValue, k) != 0)
            return {0, "<no key>"};
        std::vector<ValueEntry> values;
        s.EnumValues(k, values);
        s.CloseKey(k);
        for (auto& v : values)
            if (v.name == name)
                return {v.type, v.data};
        return {0, "<no value>"};
    }

    std::filesystem::path dir;
    std::string path;
};

TEST_F(RegistryTest, StringsReadWithOneTrailingNulRemoved) {
    using namespace std::string_literals;
    Put("One", RegType::Sz, "1812\0"s);
    Put("None", RegType::Sz, "1812");
    Put("Two", RegType::Sz, "1812\0\0"s);
    Put("Empty0", RegType::Sz, "");
    Put("Empty1", RegType::Sz, "\0"s);
    Put("Multi", RegType::MultiSz, "a\0b\0\0"s);
    EXPECT_EQ(Registry::ReadString("", "One"), "1812");
    EXPECT_EQ(Registry::ReadString("", "None"), "1812");
    EXPECT_EQ(Registry::ReadString("", "Two"), "1812\0"s);
    EXPECT_EQ(Registry::ReadString("", "Empty0"), "");
    EXPECT_EQ(Registry::ReadString("", "Empty1"), "");
    EXPECT_EQ(Registry::ReadString("", "Multi"), "a\0b\0"s);
}

TEST_F(RegistryTest, DwordsReadAsSignedDecimalAndOtherTypesAsEmpty) {
    using namespace std::string_literals;
    Put("Port", RegType::Dword, "\x14\x07\0\0"s);  // 1812
    Put("All", RegType::Dword, "\xff\xff\xff\xff"s);
    Put("Expand", RegType::ExpandSz, "%PATH%\0"s);
    Put("Binary", RegType::Binary, "\x01\x02"s);
    EXPECT_EQ(Registry::ReadString("", "Port"), "1812");
    EXPECT_EQ(Registry::ReadString("", "All"), "-1");
    EXPECT_EQ(Registry::ReadString("", "Expand"), "");
    EXPECT_EQ(Registry::ReadString("", "Binary"), "");
    EXPECT_EQ(Registry::ReadString("", "Missing"), "");
    EXPECT_NE(Registry::LastStatus(), 0);
}

TEST_F(RegistryTest, NamesAndPathsMatchWithoutRegardToCase) {
    ASSERT_EQ(Registry::WriteString("", "UserName", "radius"), 0);
    EXPECT_EQ(Registry::ReadString("", "username"), "radius");
    ASSERT_EQ(Registry::WriteString("", "Username", "other"), 0);
    EXPECT_EQ(Registry::ReadString("", "USERNAME"), "other");
    Registry::SetBaseKey(HKEY_LOCAL_MACHINE_ROOT, "software\\TARSEL\\norvane");
    EXPECT_EQ(Registry::ReadString("", "UserName"), "other");

    // One value, not two, and it kept the name it was first stored under.
    KeyStore& s = Registry::Store();
    HKey k = 0;
    ASSERT_EQ(s.OpenKey(HKEY_LOCAL_MACHINE_ROOT, Key, Access::QueryValue, k), 0);
    std::vector<ValueEntry> values;
    s.EnumValues(k, values);
    s.CloseKey(k);
    ASSERT_EQ(values.size(), 1u);
    EXPECT_EQ(values[0].name, "UserName");
}

TEST_F(RegistryTest, ReadingAMissingKeyChangesNothing) {
    EXPECT_EQ(Registry::ReadString("", "Mode"), "");
    EXPECT_EQ(Registry::LastStatus(), Status::FileNotFound);
    // Not even a store file appears.
    EXPECT_FALSE(std::filesystem::exists(path));

    ASSERT_EQ(Registry::WriteString("", "Other", "x"), 0);
    Registry::SetBaseKey(HKEY_LOCAL_MACHINE_ROOT, "SOFTWARE\\Tarsel\\Elsewhere");
    EXPECT_EQ(Registry::ReadString("", "Mode"), "");
    HKey k = 0;
    EXPECT_EQ(Registry::Store().OpenKey(HKEY_LOCAL_MACHINE_ROOT, "SOFTWARE\\Tarsel\\Elsewhere", Access::QueryValue, k),
              Status::FileNotFound);
}

TEST_F(RegistryTest, WritingCreatesTheKeyAndStoresTextWithItsNul) {
    using namespace std::string_literals;
    ASSERT_EQ(Registry::WriteString("", "UsersFile", "Users"), 0);
    EXPECT_EQ(Raw("UsersFile"), std::make_pair(RegType::Sz, "Users\0"s));
    ASSERT_EQ(Registry::WriteString("", "LogFile", ""), 0);
    EXPECT_EQ(Raw("LogFile"), std::make_pair(RegType::Sz, "\0"s));

    // Every key above the new one exists too.
    HKey k = 0;
    EXPECT_EQ(Registry::Store().OpenKey(HKEY_LOCAL_MACHINE_ROOT, "SOFTWARE\\Tarsel", Access::QueryValue, k), 0);
    Registry::Store().CloseKey(k);

    // A DWORD becomes a string when written again.
    Put("AuthPort", RegType::Dword, "\x14\x07\0\0"s);
    ASSERT_EQ(Registry::WriteString("", "AuthPort", Registry::ReadString("", "AuthPort")), 0);
    EXPECT_EQ(Raw("AuthPort"), std::make_pair(RegType::Sz, "1812\0"s));

    // The store holds database passwords: owner only.
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(RegistryTest, SubkeyJoinsTheBasePathWithOneBackslash) {
    EXPECT_EQ(Registry::KeyPath(""), Key);
    EXPECT_EQ(Registry::KeyPath("Extra"), Key + "\\Extra");
    ASSERT_EQ(Registry::WriteString("Extra", "Name", "v"), 0);
    Registry::SetBaseKey(HKEY_LOCAL_MACHINE_ROOT, Key + "\\Extra");
    EXPECT_EQ(Registry::ReadString("", "Name"), "v");
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

TEST_F(RegistryTest, ABatchLandsWholeOrNotAtAll) {
    ASSERT_EQ(Registry::WriteString("", "Mode", "1"), 0);
    ASSERT_EQ(Registry::BeginBatch(), 0);
    ASSERT_EQ(Registry::WriteString("", "Mode", "2"), 0);
    ASSERT_EQ(Registry::WriteString("", "Debug", "5"), 0);
    Registry::RollbackBatch();
    EXPECT_EQ(Registry::ReadString("", "Mode"), "1");
    EXPECT_EQ(Registry::ReadString("", "Debug"), "");

    ASSERT_EQ(Registry::BeginBatch(), 0);
    ASSERT_EQ(Registry::WriteString("", "Mode", "2"), 0);
    ASSERT_EQ(Registry::WriteString("", "Debug", "5"), 0);
    ASSERT_EQ(Registry::CommitBatch(), 0);
    // Another connection sees both.
    SqliteStore other(path);
    HKey k = 0;
    ASSERT_EQ(other.OpenKey(HKEY_LOCAL_MACHINE_ROOT, Key, Access::QueryValue, k), 0);
    std::vector<ValueEntry> values;
    other.EnumValues(k, values);
    EXPECT_EQ(values.size(), 2u);
}

}  // namespace
