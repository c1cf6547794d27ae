// norvane-reg's commands in-process, over a real store file and real export files.

#include "Commands.h"
#include "RegFile.h"
#include "reg_fixture.h"

#include <sqlite3.h>

using namespace norvane;
using namespace norvane::regtest;

namespace {

class RegCommand : public StoreTest {
protected:
    // The command over the test's store, as the program runs it. With an answer, someone
    // at a terminal types it when asked; without, there is nobody to ask.
    Result Run(const std::vector<std::string>& args, std::optional<std::string> answer = std::nullopt) {
        SqliteStore store(m_store.string());
        std::istringstream in(answer.value_or("") + "\n");
        std::ostringstream out;
        std::ostringstream err;
        RegCommands::Console io{in, out, err, answer.has_value()};
        Result r;
        r.exit = RegCommands::Run(store, args, io);
        r.out = out.str();
        r.err = err.str();
        return r;
    }
};

}  // namespace

TEST_F(RegCommand, AddQueryDeleteEachType) {
    struct Case {
        std::vector<std::string> add;  // after "add KEY"
        std::string name;
        std::uint32_t type;
        std::string bytes;
        std::string shown;  // the query line
    };
    const Case cases[] = {
        {{"/v", "Port", "/d", "1812"}, "Port", RegType::Sz, S("1812\0", 5), "    Port    REG_SZ    1812"},
        {{"/v", "Blank", "/t", "reg_sz"}, "Blank", RegType::Sz, S("\0", 1), "    Blank    REG_SZ    "},
        {{"/ve", "/d", "default text"},
         "",
         RegType::Sz,
         S("default text\0", 13),
         "    (Default)    REG_SZ    default text"},
        {{"/v", "Path", "/t", "REG_EXPAND_SZ", "/d", "%ProgramFiles%\\Norvane"},
         "Path",
         RegType::ExpandSz,
         S("%ProgramFiles%\\Norvane\0", 23),
         "    Path    REG_EXPAND_SZ    %ProgramFiles%\\Norvane"},
        {{"/v", "List", "/t", "REG_MULTI_SZ", "/d", "one\\0two words\\0three"},
         "List",
         RegType::MultiSz,
         S("one\0two words\0three\0\0", 21),
         "    List    REG_MULTI_SZ    one\\0two words\\0three"},
        {{"/v", "NoList", "/t", "REG_MULTI_SZ", "/d", ""},
         "NoList",
         RegType::MultiSz,
         S("\0", 1),
         "    NoList    REG_MULTI_SZ    "},
        {{"/v", "Dec", "/t", "REG_DWORD", "/d", "1812"},
         "Dec",
         RegType::Dword,
         S("\x14\x07\0\0", 4),
         "    Dec    REG_DWORD    0x714"},
        {{"/v", "Max", "/t", "REG_DWORD", "/d", "0xFFFFFFFF"},
         "Max",
         RegType::Dword,
         "\xff\xff\xff\xff",
         "    Max    REG_DWORD    0xffffffff"},
        {{"/v", "Top", "/t", "REG_DWORD", "/d", "4294967295"},
         "Top",
         RegType::Dword,
         "\xff\xff\xff\xff",
         "    Top    REG_DWORD    0xffffffff"},
        {{"/v", "Bin", "/t", "REG_BINARY", "/d", "00aB7f"},
         "Bin",
         RegType::Binary,
         S("\0\xab\x7f", 3),
         "    Bin    REG_BINARY    00AB7F"},
        {{"/v", "Slash", "/d", "/var/lib/norvane"},
         "Slash",
         RegType::Sz,
         S("/var/lib/norvane\0", 17),
         "    Slash    REG_SZ    /var/lib/norvane"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"add", Key};
        args.insert(args.end(), c.add.begin(), c.add.end());
        const Result r = Run(args);
        ASSERT_EQ(r.exit, 0) << c.name << ": " << r.err;
        const auto v = Stored(Path, c.name);
        ASSERT_TRUE(v) << c.name;
        EXPECT_EQ(v->type, c.type) << c.name;
        EXPECT_EQ(v->data, c.bytes) << c.name;

        const std::vector<std::string> query = c.name.empty() ? std::vector<std::string>{"query", Key, "/ve"}
                                                              : std::vector<std::string>{"query", Key, "/v", c.name};
        const Result q = Run(query);
        EXPECT_EQ(q.exit, 0) << q.err;
        EXPECT_EQ(q.out, std::string(FullKey) + "\n" + c.shown + "\n");
    }

    // The whole key: its values in order, then its subkeys.
    ASSERT_EQ(Run({"add", std::string(Key) + "\\Sub"}).exit, 0);
    const Result all = Run({"query", "HKEY_LOCAL_MACHINE\\software\\tarsel\\norvane"});
    EXPECT_EQ(all.exit, 0) << all.err;
    std::string expected = "HKEY_LOCAL_MACHINE\\software\\tarsel\\norvane\n";
    for (const Case& c : cases)
        expected += c.shown + "\n";
    expected += "\nHKEY_LOCAL_MACHINE\\software\\tarsel\\norvane\\Sub\n";
    EXPECT_EQ(all.out, expected);

    // A value that exists is kept unless /f says otherwise.
    ExpectOneLineError(Run({"add", Key, "/v", "Port", "/d", "1645"}));
    EXPECT_EQ(Stored(Path, "Port")->data, S("1812\0", 5));
    ASSERT_EQ(Run({"add", Key, "/v", "port", "/t", "REG_DWORD", "/d", "1645", "/f"}).exit, 0);
    EXPECT_EQ(Stored(Path, "Port")->type, RegType::Dword);
    EXPECT_EQ(Stored(Path, "Port")->data, S("\x6d\x06\0\0", 4));

    // Deleting a value, then a subtree.
    ASSERT_EQ(Run({"delete", Key, "/v", "Bin", "/f"}).exit, 0);
    EXPECT_FALSE(Stored(Path, "Bin"));
    EXPECT_TRUE(Stored(Path, "Max"));
    ASSERT_EQ(Run({"delete", Key, "/ve", "/f"}).exit, 0);
    EXPECT_FALSE(Stored(Path, ""));
    ExpectOneLineError(Run({"delete", Key, "/v", "Bin", "/f"}));
    // Nobody to ask: without /f the key stays.
    ExpectOneLineError(Run({"delete", Key}));
    EXPECT_TRUE(KeyExists(Path));
    ASSERT_EQ(Run({"delete", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarsel", "/f"}).exit, 0);
    EXPECT_FALSE(KeyExists(Path));
    EXPECT_FALSE(KeyExists(std::string(Path) + "\\Sub"));
    EXPECT_TRUE(KeyExists("SOFTWARE"));
}

TEST_F(RegCommand, MissingThingsAndBadArgumentsFail) {
    ASSERT_EQ(Run({"add", Key, "/v", "Port", "/d", "1812"}).exit, 0);

    const Result missingKey = Run({"query", "HKLM\\SOFTWARE\\Nowhere"});
    ExpectOneLineError(missingKey);
    EXPECT_NE(missingKey.err.find("HKEY_LOCAL_MACHINE\\SOFTWARE\\Nowhere"), std::string::npos) << missingKey.err;
    EXPECT_EQ(missingKey.out, "");
#ifndef _WIN32
    EXPECT_NE(missingKey.err.find("the settings store is " + DefaultStorePath()), std::string::npos) << missingKey.err;
#endif
    const Result missingValue = Run({"query", Key, "/v", "Nothing"});
    ExpectOneLineError(missingValue);
    EXPECT_NE(missingValue.err.find("Nothing"), std::string::npos) << missingValue.err;
    ExpectOneLineError(Run({"query", Key, "/ve"}));
    ExpectOneLineError(Run({"delete", "HKLM\\SOFTWARE\\Nowhere", "/f"}));
    ExpectOneLineError(Run({"export", "HKLM\\SOFTWARE\\Nowhere", (m_dir / "x.reg").string()}));
    EXPECT_FALSE(fs::exists(m_dir / "x.reg"));
    ExpectOneLineError(Run({"import", (m_dir / "absent.reg").string()}));

    const std::vector<std::vector<std::string>> bad = {
        {},
        {"list", Key},
        {"query"},
        {"query", "HKCU\\SOFTWARE"},
        {"query", "SOFTWARE\\Tarsel"},
        {"query", Key, "/v"},
        {"query", Key, "/x"},
        {"query", Key, "extra"},
        {"add", Key, "/v", "a", "/ve"},
        {"add", Key, "/v", "a", "/t", "REG_QWORDY", "/d", "1"},
        {"add", Key, "/v", "a", "/t", "REG_DWORD", "/d", "4294967296"},
        {"add", Key, "/v", "a", "/t", "REG_DWORD", "/d", "-1"},
        {"add", Key, "/v", "a", "/t", "REG_DWORD", "/d", "12x"},
        {"add", Key, "/v", "a", "/t", "REG_DWORD", "/d", "0x"},
        {"add", Key, "/v", "a", "/t", "REG_BINARY", "/d", "abc"},
        {"add", Key, "/v", "a", "/t", "REG_BINARY", "/d", "zz"},
        {"add", Key, "/v", "a", "/t", "REG_MULTI_SZ", "/d", "a\\0\\0b"},
        {"add", "HKEY_USERS\\x", "/v", "a", "/d", "b"},
        {"delete", "HKLM", "/f"},
        {"export", Key},
        {"import"},
    };
    for (const auto& args : bad) {
        const Result r = Run(args);
        std::string shown;
        for (const auto& a : args)
            shown += a + " ";
        EXPECT_EQ(r.exit, 1) << shown;
        EXPECT_EQ(r.err.rfind("ERROR: ", 0), 0u) << shown << r.err;
    }
    // None of the refused adds left anything behind.
    EXPECT_FALSE(Stored(Path, "a"));
    EXPECT_EQ(Stored(Path, "Port")->data, S("1812\0", 5));
}

TEST_F(RegCommand, ImportThenExportGivesBackTheSameFile) {
    // Every form a value can take, in the order the export writes them back.
    const std::string file =
        "REGEDIT4\r\n"
        "\r\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarsel\\Norvane]\r\n"
        "@=\"default text\"\r\n"
        "\"Port\"=\"1812\"\r\n"
        "\"NoNul\"=hex(1):31,38,31,32\r\n"
        "\"TwoNuls\"=hex(1):31,38,31,32,00,00\r\n"
        "\"Empty\"=\"\"\r\n"
        "\"ZeroLength\"=hex(1):\r\n"
        "\"Expand\"=hex(2):25,50,41,54,48,25,00\r\n"
        "\"Multi\"=hex(7):61,00,62,00,00\r\n"
        "\"Small\"=dword:00000714\r\n"
        "\"Max\"=dword:ffffffff\r\n"
        "\"Say \\\"hi\\\" C:\\\\dir\\\\\"=\"it's \\\"quoted\\\" \\\\ back\"\r\n"
        "\"Blob\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,\\\r\n"
        "  16,17,18,19,1a,1b,1c,1d,1e,1f,20,21,22,23,24,25,26,27,28,29,2a,2b,2c,2d,2e,\\\r\n"
        "  2f,30,31,32,33,34,35,36,37,38,39,3a,3b\r\n"
        "\"Tab\"=hex(1):61,09,62,00\r\n"
        "\"High\"=\"caf\xe9\"\r\n"
        "\"EmptyBinary\"=hex:\r\n"
        "\"None\"=hex(0):01,02\r\n"
        "\"ShortDword\"=hex(4):01,02\r\n"
        "\r\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarsel\\Norvane\\Alpha]\r\n"
        "\"x\"=dword:00000000\r\n"
        "\r\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarsel\\Norvane\\Alpha\\Deep]\r\n"
        "\r\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarsel\\Norvane\\beta]\r\n"
        "\"y\"=\"z\"\r\n"
        "\r\n";
    WriteFile(m_dir / "in.reg", file);
    const Result imported = Run({"import", (m_dir / "in.reg").string()});
    ASSERT_EQ(imported.exit, 0) << imported.err;

    // The bytes landed as the file says.
    EXPECT_EQ(Stored(Path, "NoNul")->data, "1812");
    EXPECT_EQ(Stored(Path, "NoNul")->type, RegType::Sz);
    EXPECT_EQ(Stored(Path, "TwoNuls")->data, S("1812\0\0", 6));
    EXPECT_EQ(Stored(Path, "Empty")->data, S("\0", 1));
    EXPECT_EQ(Stored(Path, "ZeroLength")->data, "");
    EXPECT_EQ(Stored(Path, "Max")->data, "\xff\xff\xff\xff");
    EXPECT_EQ(Stored(Path, "Say \"hi\" C:\\dir\\")->data, S("it's \"quoted\" \\ back\0", 21));
    EXPECT_EQ(Stored(Path, "Blob")->data.size(), 60u);

    const Result exported = Run({"export", Key, (m_dir / "out.reg").string()});
    ASSERT_EQ(exported.exit, 0) << exported.err;
    EXPECT_EQ(ReadFile(m_dir / "out.reg"), file);

    // The same file with LF line ends, into a fresh store, comes out the same.
    std::string lf;
    for (char c : file)
        if (c != '\r')
            lf += c;
    fs::remove(m_store);
    WriteFile(m_dir / "lf.reg", lf);
    ASSERT_EQ(Run({"import", (m_dir / "lf.reg").string()}).exit, 0);
    ASSERT_EQ(Run({"export", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarsel\\Norvane", (m_dir / "out2.reg").string()}).exit, 0);
    EXPECT_EQ(ReadFile(m_dir / "out2.reg"), file);

    // Deletions that regedit files carry.
    WriteFile(m_dir / "del.reg",
              "REGEDIT4\r\n\r\n[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarsel\\Norvane\\Alpha]\r\n\r\n"
              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarsel\\Norvane]\r\n\"Port\"=-\r\n\"NotThere\"=-\r\n"
              "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\NotThereEither]\r\n");
    const Result deleted = Run({"import", (m_dir / "del.reg").string()});
    ASSERT_EQ(deleted.exit, 0) << deleted.err;
    EXPECT_FALSE(KeyExists(std::string(Path) + "\\Alpha"));
    EXPECT_FALSE(KeyExists(std::string(Path) + "\\Alpha\\Deep"));
    EXPECT_TRUE(KeyExists(std::string(Path) + "\\beta"));
    EXPECT_FALSE(Stored(Path, "Port"));
    EXPECT_TRUE(Stored(Path, "NoNul"));
}

TEST_F(RegCommand, MalformedImportChangesNothing) {
    ASSERT_EQ(Run({"add", Key, "/v", "Port", "/d", "1812"}).exit, 0);
    ASSERT_EQ(Run({"export", "HKLM\\SOFTWARE", (m_dir / "before.reg").string()}).exit, 0);

    // Good sections before and after the bad line: none of them may land.
    WriteFile(m_dir / "bad.reg",
              "REGEDIT4\r\n"
              "\r\n"
              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarsel\\Norvane]\r\n"
              "\"Port\"=\"1645\"\r\n"
              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarsel\\Norvane\\New]\r\n"
              "\"a\"=dword:00000001\r\n"
              "\"b\"=hex:01,zz,03\r\n"
              "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarsel]\r\n");
    const Result r = Run({"import", (m_dir / "bad.reg").string()});
    ExpectOneLineError(r);
    EXPECT_NE(r.err.find("line 7"), std::string::npos) << r.err;

    // Keys the registry could not hold: deeper than 512 levels, names over 255 characters.
    const auto deep = [](int levels) {
        std::string key = "HKEY_LOCAL_MACHINE\\SOFTWARE";
        for (int i = 1; i < levels; ++i)
            key += "\\k";
        return key;
    };
    const std::string longName = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarsel\\" + std::string(256, 'n');
    const std::pair<std::string, std::string> limits[] = {
        {"REGEDIT4\r\n\r\n[" + std::string(FullKey) + "]\r\n\"Port\"=\"1645\"\r\n[" + deep(513) + "]\r\n", "line 5"},
        {"REGEDIT4\r\n\r\n[" + longName + "]\r\n\"Port\"=\"1645\"\r\n", "line 3"},
        {"REGEDIT4\r\n\r\n[-" + longName + "]\r\n", "line 3"},
    };
    for (const auto& [text, line] : limits) {
        WriteFile(m_dir / "limit.reg", text);
        const Result limit = Run({"import", (m_dir / "limit.reg").string()});
        ExpectOneLineError(limit);
        EXPECT_NE(limit.err.find(line), std::string::npos) << limit.err;
        EXPECT_NE(limit.err.find("the registry allows"), std::string::npos) << limit.err;
    }
    ExpectOneLineError(Run({"add", deep(513) + "\\x"}));

    ASSERT_EQ(Run({"export", "HKLM\\SOFTWARE", (m_dir / "after.reg").string()}).exit, 0);
    EXPECT_EQ(ReadFile(m_dir / "after.reg"), ReadFile(m_dir / "before.reg"));
    EXPECT_EQ(Stored(Path, "Port")->data, S("1812\0", 5));
    EXPECT_FALSE(KeyExists(std::string(Path) + "\\New"));

    // Right at the limits they go in.
    WriteFile(m_dir / "limit.reg",
              "REGEDIT4\r\n\r\n[" + deep(512) + "]\r\n[" + longName.substr(0, longName.size() - 1) + "]\r\n");
    const Result atLimits = Run({"import", (m_dir / "limit.reg").string()});
    EXPECT_EQ(atLimits.exit, 0) << atLimits.err;
    EXPECT_TRUE(KeyExists(*RegFile::ParseKeyName(deep(512))));
    EXPECT_TRUE(KeyExists("SOFTWARE\\Tarsel\\" + std::string(255, 'n')));
}

namespace {

// The real store, with its Nth write refused as a full disk would refuse it.
class FailingStore : public SqliteStore {
public:
    FailingStore(std::string path, int failAt) : SqliteStore(std::move(path)), m_left(failAt) {}
    std::int32_t SetValue(HKey key, const std::string& name, std::uint32_t type, const unsigned char* data,
                          std::uint32_t size) override {
        if (--m_left == 0)
            return Status::DiskFull;
        return SqliteStore::SetValue(key, name, type, data, size);
    }

private:
    int m_left;
};

}  // namespace

TEST_F(RegCommand, ImportThatFailsHalfwayLeavesTheStoreAsItWas) {
    ASSERT_EQ(Run({"add", Key, "/v", "Port", "/d", "1812"}).exit, 0);
    const auto parsed = RegFile::Parse(
        "REGEDIT4\r\n\r\n"
        "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarsel\\Norvane]\r\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Other]\r\n\"a\"=\"1\"\r\n\"b\"=\"2\"\r\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Third]\r\n\"c\"=\"3\"\r\n");
    ASSERT_FALSE(parsed.error);
    {
        FailingStore store(m_store.string(), 3);
        const RegFile::Outcome o = RegFile::ImportFile(store, parsed);
        EXPECT_EQ(o.status, Status::DiskFull);
        EXPECT_NE(o.message.find("line 8"), std::string::npos) << o.message;
    }
    EXPECT_EQ(Stored(Path, "Port")->data, S("1812\0", 5));
    EXPECT_FALSE(KeyExists("SOFTWARE\\Other"));
    EXPECT_FALSE(KeyExists("SOFTWARE\\Third"));

    // The same file with nothing refused lands whole.
    {
        FailingStore store(m_store.string(), 0);
        EXPECT_EQ(RegFile::ImportFile(store, parsed).status, Status::Success);
    }
    EXPECT_FALSE(KeyExists(Path));
    EXPECT_EQ(Stored("SOFTWARE\\Third", "c")->data, S("3\0", 2));
}

TEST_F(RegCommand, ExportAsksBeforeReplacingAndWritesAWholeOwnerOnlyFile) {
    // Big enough that a small file size limit stops its write halfway.
    ASSERT_EQ(Run({"add", Key, "/v", "Password", "/d", std::string(4000, 's')}).exit, 0);
    const fs::path file = m_dir / "settings.reg";

    // A new export may be read by its owner only, whatever the umask.
    const mode_t umask = ::umask(0);
    const Result made = Run({"export", Key, file.string()});
    ::umask(umask);
    ASSERT_EQ(made.exit, 0) << made.err;
    EXPECT_EQ(Mode(file), 0600u);
    const std::string exported = ReadFile(file);
    EXPECT_NE(exported.find("\"Password\"=\"" + std::string(4000, 's') + "\""), std::string::npos);

    // A file in its place is kept when nobody at a terminal can be asked.
    WriteFile(file, "kept\r\n");
    ASSERT_EQ(chmod(file.c_str(), 0644), 0);
    const Result refused = Run({"export", Key, file.string()});
    ExpectOneLineError(refused);
    EXPECT_NE(refused.err.find("/y"), std::string::npos) << refused.err;
    EXPECT_EQ(ReadFile(file), "kept\r\n");
    EXPECT_EQ(Mode(file), 0644u);

    // At a terminal it asks: No keeps the file, Yes replaces it, owner-only.
    const std::string question = "File " + file.string() + " already exists. Overwrite (Yes/No)? ";
    const Result no = Run({"export", Key, file.string()}, "no");
    EXPECT_EQ(no.exit, 1) << no.out;
    EXPECT_EQ(no.out, question);
    EXPECT_EQ(ReadFile(file), "kept\r\n");
    const Result yes = Run({"export", Key, file.string()}, "Yes");
    EXPECT_EQ(yes.exit, 0) << yes.out;
    EXPECT_EQ(yes.out.rfind(question, 0), 0u) << yes.out;
    EXPECT_EQ(ReadFile(file), exported);
    EXPECT_EQ(Mode(file), 0600u);

    // /y replaces without asking; a file kept stricter than owner-only stays so.
    WriteFile(file, "kept\r\n");
    ASSERT_EQ(chmod(file.c_str(), 0400), 0);
    const Result forced = Run({"export", Key, file.string(), "/y"});
    EXPECT_EQ(forced.exit, 0) << forced.err;
    EXPECT_EQ(ReadFile(file), exported);
    EXPECT_EQ(Mode(file), 0400u);

    // A link in its place is not written through.
    fs::create_symlink(m_dir / "elsewhere.reg", m_dir / "link.reg");
    ExpectOneLineError(Run({"export", Key, (m_dir / "link.reg").string(), "/y"}));
    EXPECT_FALSE(fs::exists(m_dir / "elsewhere.reg"));

    // Never onto the store: by its name, another name for it (a hard link) or its journal.
    ASSERT_EQ(Run({"add", "HKLM\\SOFTWARE\\Other", "/v", "Kept", "/d", "yes"}).exit, 0);
    fs::create_hard_link(m_store, m_dir / "hard.db");
    const std::string store = ReadFile(m_store);
    for (const fs::path& target : {m_store, m_dir / "." / "hard.db", fs::path(m_store.string() + "-journal")}) {
        const Result onto = Run({"export", Key, target.string(), "/y"});
        ExpectOneLineError(onto);
        EXPECT_NE(onto.err.find("is the settings store"), std::string::npos) << onto.err;
    }
    EXPECT_EQ(ReadFile(m_store), store);
    EXPECT_EQ(Stored("SOFTWARE\\Other", "Kept")->data, S("yes", 4));

    // A name with control characters is refused by add as by import; one already stored is
    // named by the export that cannot write it.
    for (const std::vector<std::string>& bad :
         {std::vector<std::string>{"add", Key + std::string("\\a\tb")}, std::vector<std::string>{"add", Key, "/v",
                                                                                                 "a\x01"
                                                                                                 "b",
                                                                                                 "/d", "x"}}) {
        const Result r = Run(bad);
        ExpectOneLineError(r);
        EXPECT_NE(r.err.find("control characters"), std::string::npos) << r.err;
    }
    {
        SqliteStore direct(m_store.string());
        HKey k = 0;
        ASSERT_EQ(direct.OpenKey(HKEY_LOCAL_MACHINE_ROOT, Path, Access::AllAccess, k), 0);
        ASSERT_EQ(direct.SetValue(k, "bad\x01name", RegType::Sz, reinterpret_cast<const unsigned char*>("x"), 2), 0);
        direct.CloseKey(k);
    }
    const Result named = Run({"export", Key, (m_dir / "bad.reg").string()});
    ExpectOneLineError(named);
    EXPECT_NE(named.err.find("bad\\x01name"), std::string::npos) << named.err;
}

TEST_F(RegCommand, WhatIsNotOurStoreIsLeftAsItIs) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(m_store.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(
        sqlite3_exec(db, "CREATE TABLE notes(text TEXT); INSERT INTO notes VALUES('mine')", nullptr, nullptr, nullptr),
        SQLITE_OK);
    sqlite3_close(db);
    ASSERT_EQ(chmod(m_store.c_str(), 0600), 0);
    const std::string foreign = ReadFile(m_store);
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"query", Key},
                                               {"add", Key, "/v", "Password", "/d", "secret", "/f"},
                                               {"export", Key, (m_dir / "x.reg").string()}}) {
        const Result r = Run(args);
        ExpectOneLineError(r);
        EXPECT_NE(r.err.find(m_store.string() + " is a database of another program"), std::string::npos) << r.err;
    }
    EXPECT_EQ(ReadFile(m_store), foreign);
    EXPECT_FALSE(fs::exists(m_dir / "x.reg"));

    // A FIFO is refused at once, not waited on for a writer.
    fs::remove(m_store);
    ASSERT_EQ(mkfifo(m_store.c_str(), 0600), 0);
    const Result fifo = Run({"query", Key});
    ExpectOneLineError(fifo);
    EXPECT_NE(fifo.err.find("FIFO"), std::string::npos) << fifo.err;
}
