// norvane-reg's operations: parsing their switches, reading and writing the store, and
// writing export files. The program's main (main.cpp) only opens the store and the console.

#include "Commands.h"

#include "RegFile.h"
#include "ValueText.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace norvane::RegCommands {

namespace {

constexpr const char* Usage =
    "usage: norvane-reg query KEY [/v NAME | /ve]\n"
    "       norvane-reg add KEY [/v NAME | /ve] [/t TYPE] [/d DATA] [/f]\n"
    "       norvane-reg delete KEY [/v NAME | /ve] [/f]\n"
    "       norvane-reg export KEY FILE [/y]\n"
    "       norvane-reg import FILE\n"
    "       norvane-reg --version\n"
    "KEY is HKLM\\path or HKEY_LOCAL_MACHINE\\path. TYPE is REG_SZ (the default), REG_EXPAND_SZ,\n"
    "REG_MULTI_SZ (entries separated by \\0 in DATA), REG_DWORD (decimal or 0x hex) or\n"
    "REG_BINARY (hex digits). export asks before it replaces a FILE unless /y is given; the\n"
    "FILE it writes may be read by its owner only, since it holds the database passwords.\n";

struct Failure {
    std::string message;
};

[[noreturn]] void Fail(const std::string& message) { throw Failure{message}; }

struct Options {
    std::vector<std::string> positional;
    std::optional<std::string> name;  // /v NAME, or "" for /ve
    std::optional<std::string> type;
    std::optional<std::string> data;
    bool force = false;
    bool overwrite = false;  // export /y
};

// Switches are matched without case, as reg does; /v, /t and /d take the next argument
// whatever it looks like, so DATA may itself begin with a slash.
Options ParseOptions(const Arguments& args, const std::string& allowed) {
    Options o;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        // Only the switch names count as switches: a file path begins with a slash too.
        const std::string sw = arg.size() > 1 && arg[0] == '/' ? AsciiLower(arg.substr(1)) : std::string();
        if (std::string(" v ve t d f y ").find(" " + sw + " ") == std::string::npos) {
            o.positional.push_back(arg);
            continue;
        }
        if (allowed.find(" " + sw + " ") == std::string::npos)
            Fail("the switch " + arg + " is not known here");
        auto next = [&]() -> std::string {
            if (i + 1 >= args.size())
                Fail("the switch " + arg + " needs a value");
            return args[++i];
        };
        if (sw == "v" || sw == "ve") {
            if (o.name)
                Fail("give /v or /ve once");
            o.name = sw == "v" ? next() : std::string();
        } else if (sw == "t") {
            if (o.type)
                Fail("give /t once");
            o.type = next();
        } else if (sw == "d") {
            if (o.data)
                Fail("give /d once");
            o.data = next();
        } else if (sw == "f") {
            o.force = true;
        } else if (sw == "y") {
            o.overwrite = true;
        }
    }
    return o;
}

std::string KeyArgument(const std::string& text) {
    const auto path = RegFile::ParseKeyName(text);
    if (!path)
        Fail("not a key of HKEY_LOCAL_MACHINE (HKLM): " + text);
    if (const auto why = RegFile::KeyNameProblem(*path))
        Fail(*why);
    return *path;
}

// The reads of one command see one state of the store, whoever writes meanwhile.
class Snapshot {
public:
    Snapshot(KeyStore& store, const std::string& path) : m_store(store) {
        const std::int32_t status = store.BeginRead();
        // No store yet: the key is reported missing when it is opened.
        if (status != Status::Success && status != Status::FileNotFound)
            Fail("cannot read " + RegFile::FullKeyName(path) + ": " + RegFile::StatusText(store, status));
        m_open = status == Status::Success;
    }
    ~Snapshot() {
        if (m_open)
            m_store.EndRead();
    }
    Snapshot(const Snapshot&) = delete;
    Snapshot& operator=(const Snapshot&) = delete;

private:
    KeyStore& m_store;
    bool m_open = false;
};

std::string ShownName(const std::string& name) { return name.empty() ? std::string("(Default)") : name; }

// Asks on a terminal; elsewhere there is nobody to ask, and /f is the way to go ahead.
void Confirm(Console& io, const std::string& question, const std::string& refusal) {
    if (!io.interactive)
        Fail(refusal);
    io.out << question << " (Yes/No)? " << std::flush;
    std::string answer;
    std::getline(io.in, answer);
    answer = AsciiLower(answer);
    if (answer != "y" && answer != "yes")
        Fail("the operation was cancelled");
}

const char* TypeName(std::uint32_t type) {
    static const char* const names[] = {"REG_NONE",
                                        "REG_SZ",
                                        "REG_EXPAND_SZ",
                                        "REG_BINARY",
                                        "REG_DWORD",
                                        "REG_DWORD_BIG_ENDIAN",
                                        "REG_LINK",
                                        "REG_MULTI_SZ",
                                        "REG_RESOURCE_LIST",
                                        "REG_FULL_RESOURCE_DESCRIPTOR",
                                        "REG_RESOURCE_REQUIREMENTS_LIST",
                                        "REG_QWORD"};
    return type < std::size(names) ? names[type] : nullptr;
}

std::string HexBytes(const std::string& data) {
    std::string out;
    for (char c : data)
        out += HexByte(static_cast<unsigned char>(c), true);
    return out;
}

std::string ShownData(const ValueEntry& v) {
    const std::string& d = v.data;
    switch (v.type) {
    case RegType::Sz:
    case RegType::ExpandSz: return d.substr(0, d.find('\0'));
    case RegType::Dword:
        if (d.size() == 4) {
            char buf[16];
            std::snprintf(buf, sizeof buf, "0x%x", static_cast<unsigned>(DwordValue(d)));
            return buf;
        }
        return HexBytes(d);
    case RegType::MultiSz: {
        std::string out;
        for (const std::string& entry : MultiSzEntries(d))
            out += (out.empty() ? "" : "\\0") + entry;
        return out;
    }
    default: return HexBytes(d);
    }
}

void PrintValue(std::ostream& out, const ValueEntry& v) {
    const char* name = TypeName(v.type);
    char unknown[16];
    if (!name) {
        std::snprintf(unknown, sizeof unknown, "0x%X", static_cast<unsigned>(v.type));
        name = unknown;
    }
    out << "    " << ShownName(v.name) << "    " << name << "    " << ShownData(v) << "\n";
}

int QueryCommand(KeyStore& store, const Arguments& args, Console& io) {
    const Options o = ParseOptions(args, " v ve ");
    if (o.positional.size() != 1)
        Fail("query takes one KEY");
    const std::string path = KeyArgument(o.positional[0]);
    const Snapshot snapshot(store, path);

    std::vector<ValueEntry> values;
    std::vector<std::string> subKeys;
    const RegFile::Outcome read = RegFile::ReadKey(store, path, values, o.name ? nullptr : &subKeys);
#ifndef _WIN32
    // On a fresh machine nothing has been saved yet: say so, and where the store is.
    if (read.status == Status::FileNotFound)
        Fail(read.message + "; no settings have been saved there yet (the settings store is " + DefaultStorePath() +
             ")");
#endif
    if (read.status != Status::Success)
        Fail(read.message);

    if (o.name) {
        // Names match without case, as the store matches them.
        const ValueEntry* found = nullptr;
        for (const ValueEntry& v : values)
            if (EqualsNoCase(v.name, *o.name))
                found = &v;
        if (!found)
            Fail("the value " + ShownName(*o.name) + " does not exist under " + RegFile::FullKeyName(path));
        values = {*found};
    }
    io.out << RegFile::FullKeyName(path) << "\n";
    for (const ValueEntry& v : values)
        PrintValue(io.out, v);
    if (!subKeys.empty()) {
        io.out << "\n";
        for (const std::string& sub : subKeys)
            io.out << RegFile::FullKeyName(path.empty() ? sub : path + "\\" + sub) << "\n";
    }
    return 0;
}

std::uint32_t ParseType(const std::string& text) {
    const std::string t = AsciiLower(text);
    if (t == "reg_sz")
        return RegType::Sz;
    if (t == "reg_expand_sz")
        return RegType::ExpandSz;
    if (t == "reg_multi_sz")
        return RegType::MultiSz;
    if (t == "reg_dword")
        return RegType::Dword;
    if (t == "reg_binary")
        return RegType::Binary;
    Fail("the type " + text + " is not one of REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ, REG_DWORD, REG_BINARY");
}

std::string DwordData(const std::string& text) {
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const std::string digits = hex ? text.substr(2) : text;
    const auto n = digits.size() <= 10 ? ParseUint32(digits, hex ? 16 : 10) : std::nullopt;
    if (!n)
        Fail("REG_DWORD data is a number from 0 to 4294967295, in decimal or 0x hex: " + text);
    return DwordBytes(*n);
}

std::string BinaryData(const std::string& text) {
    std::string bytes;
    auto digit = [&](char c) {
        const int d = HexDigit(c);
        if (d < 0)
            Fail("REG_BINARY data is pairs of hex digits: " + text);
        return d;
    };
    if (text.size() % 2 != 0)
        Fail("REG_BINARY data is pairs of hex digits: " + text);
    for (std::size_t i = 0; i < text.size(); i += 2)
        bytes += static_cast<char>((digit(text[i]) << 4) | digit(text[i + 1]));
    return bytes;
}

// Entries separated by the two characters \0.
std::string MultiSzData(const std::string& text) {
    std::vector<std::string> entries;
    for (std::size_t pos = 0; !text.empty();) {
        const std::size_t sep = text.find("\\0", pos);
        entries.push_back(text.substr(pos, sep == std::string::npos ? std::string::npos : sep - pos));
        // An empty entry would end the list early.
        if (entries.back().empty())
            Fail("REG_MULTI_SZ data may not hold an empty entry: " + text);
        if (sep == std::string::npos)
            break;
        pos = sep + 2;
    }
    return MultiSzBytes(entries);
}

std::string DataBytes(std::uint32_t type, const std::optional<std::string>& data) {
    switch (type) {
    case RegType::Dword: return data ? DwordData(*data) : std::string(4, '\0');
    case RegType::Binary: return data ? BinaryData(*data) : std::string();
    case RegType::MultiSz: return MultiSzData(data.value_or(""));
    default: return data.value_or("") + '\0';
    }
}

int AddCommand(KeyStore& store, const Arguments& args, Console& io) {
    const Options o = ParseOptions(args, " v ve t d f ");
    if (o.positional.size() != 1)
        Fail("add takes one KEY");
    const std::string path = KeyArgument(o.positional[0]);
    const bool setsValue = o.name || o.type || o.data;
    const std::uint32_t type = o.type ? ParseType(*o.type) : RegType::Sz;
    const std::string bytes = setsValue ? DataBytes(type, o.data) : std::string();
    const std::string name = o.name.value_or("");
    // What import refuses, add refuses too: a name no export could write.
    if (const auto why = RegFile::NameProblem(path, setsValue ? &name : nullptr))
        Fail(*why);

    if (setsValue && !o.force) {
        HKey key = 0;
        if (store.OpenKey(HKEY_LOCAL_MACHINE_ROOT, path, Access::QueryValue, key) == Status::Success) {
            std::uint32_t oldType = 0;
            std::uint32_t size = 0;
            const bool exists = store.QueryValue(key, name, &oldType, nullptr, &size) == Status::Success;
            store.CloseKey(key);
            if (exists)
                Confirm(io, "Value " + ShownName(name) + " exists, overwrite",
                        "the value " + ShownName(name) + " exists; give /f to overwrite it");
        }
    }

    // The key and its value land together or not at all.
    std::int32_t status = store.BeginBatch();
    HKey key = 0;
    if (status == Status::Success)
        status = store.CreateKey(HKEY_LOCAL_MACHINE_ROOT, path, Access::AllAccess, key);
    if (status == Status::Success) {
        if (setsValue)
            status = store.SetValue(key, name, type, reinterpret_cast<const unsigned char*>(bytes.data()),
                                    static_cast<std::uint32_t>(bytes.size()));
        store.CloseKey(key);
    }
    if (status == Status::Success)
        status = store.CommitBatch();
    if (status != Status::Success) {
        const std::string reason = RegFile::StatusText(store, status);
        store.RollbackBatch();
        Fail("cannot write " + RegFile::FullKeyName(path) + ": " + reason);
    }
    io.out << "The operation completed successfully.\n";
    return 0;
}

int DeleteCommand(KeyStore& store, const Arguments& args, Console& io) {
    const Options o = ParseOptions(args, " v ve f ");
    if (o.positional.size() != 1)
        Fail("delete takes one KEY");
    const std::string path = KeyArgument(o.positional[0]);
    const std::string full = RegFile::FullKeyName(path);

    HKey key = 0;
    std::int32_t status =
        store.OpenKey(HKEY_LOCAL_MACHINE_ROOT, path, o.name ? Access::AllAccess : Access::QueryValue, key);
    if (status == Status::FileNotFound)
        Fail("the key " + full + " does not exist");
    if (status != Status::Success)
        Fail("cannot open " + full + ": " + RegFile::StatusText(store, status));

    if (o.name) {
        std::uint32_t type = 0;
        std::uint32_t size = 0;
        status = store.QueryValue(key, *o.name, &type, nullptr, &size);
        if (status == Status::Success && !o.force) {
            try {
                Confirm(io, "Delete the registry value " + ShownName(*o.name),
                        "give /f to delete the value " + ShownName(*o.name) + " without asking");
            } catch (...) {
                store.CloseKey(key);
                throw;
            }
        }
        if (status == Status::Success)
            status = store.DeleteValue(key, *o.name);
        const std::string reason = status == Status::Success ? std::string() : RegFile::StatusText(store, status);
        store.CloseKey(key);
        if (status == Status::FileNotFound)
            Fail("the value " + ShownName(*o.name) + " does not exist under " + full);
        if (status != Status::Success)
            Fail("cannot delete the value " + ShownName(*o.name) + ": " + reason);
    } else {
        store.CloseKey(key);
        if (path.empty())
            Fail("HKEY_LOCAL_MACHINE itself cannot be deleted");
        if (!o.force)
            Confirm(io, "Permanently delete the registry key " + full, "give /f to delete " + full + " without asking");
        status = store.DeleteTree(HKEY_LOCAL_MACHINE_ROOT, path);
        if (status != Status::Success)
            Fail("cannot delete " + full + ": " + RegFile::StatusText(store, status));
    }
    io.out << "The operation completed successfully.\n";
    return 0;
}

#ifndef _WIN32
// Writes the whole text to a temporary file beside FILE, syncs it and renames it over FILE:
// a failure leaves FILE as it was and no half export anywhere.
void ReplaceFile(const std::string& file, const std::string& text, mode_t mode) {
    const std::filesystem::path target(file);
    const std::string dir = target.has_parent_path() ? target.parent_path().string() : std::string(".");
    // Built by appending: GCC 12 at -O3 warns falsely (-Wrestrict) on "." + a temporary.
    std::string name(".");
    name.append(target.filename().string()).append(".XXXXXX");
    std::string temp = (std::filesystem::path(dir) / name).string();
    const int fd = ::mkstemp(temp.data());  // 0600, whatever the umask
    if (fd < 0)
        Fail("cannot write the file " + file + ": " + std::strerror(errno));
    int err = 0;
    for (std::size_t done = 0; done < text.size() && !err;) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n >= 0)
            done += static_cast<std::size_t>(n);
        else if (errno != EINTR)
            err = errno;
    }
    if (!err && (::fchmod(fd, mode) != 0 || ::fsync(fd) != 0))
        err = errno;
    if (::close(fd) != 0 && !err)
        err = errno;
    if (!err && ::rename(temp.c_str(), file.c_str()) != 0)
        err = errno;
    if (err) {
        ::unlink(temp.c_str());
        Fail("cannot write the file " + file + ": " + std::strerror(err));
    }
    // The rename lasts once the directory is synced.
    const int dirFd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
}
#else
void ReplaceFile(const std::string& file, const std::string& text) {
    const std::string temp = file + ".norvane-reg";
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.close();
    std::error_code ec;
    if (out)
        std::filesystem::rename(temp, file, ec);
    if (!out || ec) {
        std::filesystem::remove(temp, ec);
        Fail("cannot write the file " + file);
    }
}
#endif

#ifndef _WIN32
// FILE is the store itself, its journal, or the name under which it lies: replacing it
// would put the export where the settings were.
bool IsStore(const std::string& file, const std::string& store) {
    if (store.empty())
        return false;
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path real = fs::weakly_canonical(fs::absolute(store), ec);
    const fs::path target = fs::weakly_canonical(fs::absolute(file), ec);
    for (const char* suffix : {"", "-journal", "-wal", "-shm"})
        if (target == real.string() + suffix)
            return true;
    struct stat a {
    }, b{};
    return ::stat(file.c_str(), &a) == 0 && ::stat(store.c_str(), &b) == 0 && a.st_dev == b.st_dev &&
           a.st_ino == b.st_ino;
}
#endif

int ExportCommand(KeyStore& store, const Arguments& args, Console& io) {
    const Options o = ParseOptions(args, " y ");
    if (o.positional.size() != 2)
        Fail("export takes a KEY and a FILE");
    const std::string path = KeyArgument(o.positional[0]);
    const std::string& file = o.positional[1];
#ifndef _WIN32
    if (IsStore(file, store.Location()))
        Fail(file + " is the settings store " + store.Location() +
             " (or its journal); an export there would replace the settings, so give another FILE");
#endif

    std::string text;
    {
        const Snapshot snapshot(store, path);
        const RegFile::Outcome outcome = RegFile::ExportTree(store, path, text);
        if (outcome.status != Status::Success)
            Fail(outcome.message);
    }

    // An export is written as a file of its own; what lies at FILE is replaced, never
    // written through (a link, a device).
    std::error_code ec;
    const auto existing = std::filesystem::symlink_status(file, ec);
    const bool exists = !ec && std::filesystem::exists(existing);
    if (exists && !std::filesystem::is_regular_file(existing))
        Fail(file + " is not a regular file; export writes a file of its own, so give the path of one");
    if (exists && !o.overwrite)
        Confirm(io, "File " + file + " already exists. Overwrite",
                "the file " + file + " already exists; give /y to overwrite it");
#ifndef _WIN32
    // The export holds the database passwords: owner-only, or stricter if the file was.
    mode_t mode = 0600;
    struct stat st {};
    if (exists && ::lstat(file.c_str(), &st) == 0 && (st.st_mode & 0777 & ~mode_t(0600)) == 0)
        mode = st.st_mode & 0777;
    ReplaceFile(file, text, mode);
#else
    ReplaceFile(file, text);
#endif
    io.out << "The operation completed successfully.\n";
    return 0;
}

int ImportCommand(KeyStore& store, const Arguments& args, Console& io) {
    const Options o = ParseOptions(args, " ");
    if (o.positional.size() != 1)
        Fail("import takes one FILE");
    const std::string& file = o.positional[0];
    std::ifstream in(file, std::ios::binary);
    if (!in)
        Fail("cannot read the file " + file);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad())
        Fail("cannot read the file " + file);

    // The whole file is checked before anything is written.
    const RegFile::ParsedFile parsed = RegFile::Parse(text);
    if (parsed.error)
        Fail(file + ": line " + std::to_string(parsed.error->line) + ": " + parsed.error->message);
    const RegFile::Outcome outcome = RegFile::ImportFile(store, parsed);
    if (outcome.status != Status::Success)
        Fail(file + ": " + outcome.message);
    io.out << "The operation completed successfully.\n";
    return 0;
}

// One line on err for whatever stops a command.
template <class Command>
int Guarded(Console& io, Command&& command) {
    try {
        return command();
    } catch (const Failure& f) {
        io.err << "ERROR: " << f.message << "\n";
    } catch (const std::exception& e) {
        io.err << "ERROR: " << e.what() << "\n";
    }
    return 1;
}

}  // namespace

int Query(KeyStore& store, const Arguments& args, Console& io) {
    return Guarded(io, [&] { return QueryCommand(store, args, io); });
}

int Add(KeyStore& store, const Arguments& args, Console& io) {
    return Guarded(io, [&] { return AddCommand(store, args, io); });
}

int Delete(KeyStore& store, const Arguments& args, Console& io) {
    return Guarded(io, [&] { return DeleteCommand(store, args, io); });
}

int Export(KeyStore& store, const Arguments& args, Console& io) {
    return Guarded(io, [&] { return ExportCommand(store, args, io); });
}

int Import(KeyStore& store, const Arguments& args, Console& io) {
    return Guarded(io, [&] { return ImportCommand(store, args, io); });
}

int Run(KeyStore& store, const Arguments& args, Console& io) {
    return Guarded(io, [&] {
        if (args.empty())
            Fail("no operation given; norvane-reg /? shows the usage");
        const std::string op = AsciiLower(args[0]);
        const Arguments rest(args.begin() + 1, args.end());
        if (op == "/?" || op == "-?" || op == "--help" || op == "-h") {
            io.out << Usage;
            return 0;
        }
        if (op == "query")
            return QueryCommand(store, rest, io);
        if (op == "add")
            return AddCommand(store, rest, io);
        if (op == "delete")
            return DeleteCommand(store, rest, io);
        if (op == "export")
            return ExportCommand(store, rest, io);
        if (op == "import")
            return ImportCommand(store, rest, io);
        Fail("unknown operation " + args[0] + "; norvane-reg /? shows the usage");
    });
}

}  // namespace norvane::RegCommands
