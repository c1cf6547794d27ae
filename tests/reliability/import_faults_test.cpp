// Every store call of an import failing in turn: a REGEDIT4 file lands whole or not at all.
#include "RegFile.h"
#include "SqliteStore.h"
#include "support/FaultyStore.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <unistd.h>

using namespace norvane;
namespace fs = std::filesystem;

namespace {

// What is committed below the vendor's key, read over a connection of its own.
std::string Tree(const fs::path& file) {
    SqliteStore store(file.string());
    std::string text;
    EXPECT_EQ(RegFile::ExportTree(store, "SOFTWARE\\Tarsel", text).status, 0);
    return text;
}

void Import(KeyStore& store, const char* text) {
    const RegFile::Outcome o = RegFile::ImportFile(store, RegFile::Parse(text));
    ASSERT_EQ(o.status, 0) << o.message;
}

}  // namespace

TEST(ReliabilityImportFaults, EveryFailingStepLeavesTheStoreAsItWas) {
    const fs::path dir = fs::path(::testing::TempDir()) / ("norvane-import-faults-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    const fs::path before = dir / "before.db", work = dir / "work.db";
    {
        SqliteStore store(before.string());
        Import(store,
               "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarsel\\Norvane]\n\"AuthPort\"=\"1812\"\n"
               "\"LogFile\"=\"/var/log/"
               "corvex.log\"\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarsel\\Gone\\Below]\n\"x\"=\"1\"\n");
    }
    // A subtree deleted, values replaced, removed and added, keys made two levels deep.
    const char* file =
        "REGEDIT4\n\n[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarsel\\Gone]\n\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarsel\\Norvane]\n\"AuthPort\"=\"1645\"\n\"LogFile\"=-\n"
        "\"Options\"=dword:00000003\n\"Servers\"=hex(7):61,00,62,00,00\n\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarsel\\Norvane\\New\\Deep]\n@=\"x\"\n";
    const std::string old = Tree(before);

    fs::copy_file(before, work, fs::copy_options::overwrite_existing);
    test::FaultyStore counting(std::make_unique<SqliteStore>(work.string()), 0);
    Import(counting, file);
    const std::string imported = Tree(work);
    ASSERT_NE(imported, old);

    int failed = 0;
    for (int n = 1; n <= counting.calls() + 1; ++n) {
        fs::copy_file(before, work, fs::copy_options::overwrite_existing);
        test::FaultyStore store(std::make_unique<SqliteStore>(work.string()), n);
        const RegFile::Outcome o = RegFile::ImportFile(store, RegFile::Parse(file));
        if (!store.faulted()) {
            EXPECT_EQ(n, counting.calls() + 1);
            EXPECT_EQ(o.status, 0) << o.message;
            EXPECT_EQ(Tree(work), imported);
            break;
        }
        // A failure that does not matter (closing a key) may still end in success.
        EXPECT_EQ(Tree(work), o.status == 0 ? imported : old) << "call " << n << ": " << o.message;
        if (o.status != 0) {
            ++failed;
            EXPECT_NE(o.message.find("injected fault"), std::string::npos) << o.message;
            // Nothing of the failed import is left open: the same store imports the file.
            Import(store.inner(), file);
            EXPECT_EQ(Tree(work), imported) << "call " << n;
        }
    }
    EXPECT_GE(failed, 10);
    fs::remove_all(dir);
}
