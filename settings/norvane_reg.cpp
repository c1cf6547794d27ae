// norvane-reg: query, add, delete, export and import keys of the settings store from a
// shell, in the manner of the Windows reg command. Text in and out is 8-bit, as stored.

#include "KeyStore.h"
#include "RegFile.h"

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <vector>

using namespace norvane;

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

[[noreturn]] void Fail(const std::string& message)
{
    throw Failure{message};
}

std::string Lower(std::string s)
{
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

struct Options {
    std::vector<std::string> positional;
    std::optional<std::string> name;   // /v NAME, or "" for /ve
    std::optional<std::string> type;
    std::optional<std::string> data;
    bool force = false;
    bool overwrite = false;            // export /y
};

// Switches are matched without case, as reg does; /v, /t and /d take the next argument
// whatever it looks like, so DATA may itself begin with a slash.
Options ParseOptions(int argc, char** argv, const std::string& allowed)
{
    Options o;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        // Only the switch names count as switches: a file path begins with a slash too.
        const std::string sw = arg.size() > 1 && arg[0] == '/' ? Lower(arg.substr(1)) : std::string();
        if (std::string(" v ve t d f y ").find(" " + sw + " ") == std::string::npos) {
            o.positional.push_back(arg);
            continue;
        }
        if (allowed.find(" " + sw + " ") == std::string::npos)
            Fail("the switch " + arg + " is not known here");
        auto next = [&]() -> std::string {
            if (i + 1 >= argc)
                Fail("the switch " + arg + " needs a value");
            return argv[++i];
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

std::string KeyArgument(const std::string& text)
{
    const auto path = RegFile::ParseKeyName(text);
    if (!path)
        Fail("not a key of HKEY_LOCAL_MACHINE (HKLM): " + text);
    if (const auto why = RegFile::KeyNameProblem(*path))
        Fail(*why);
    return *path;
}

std::unique_ptr<KeyStore> OpenStore()
{
    std::unique_ptr<KeyStore> store = MakePlatformStore();
    if (!store)
        Fail("cannot open the settings store " + DefaultStorePath());
    return store;
}

std::string Reason(KeyStore& store, std::int32_t status)
{
    std::string text = store.LastErrorText();
    if (!text.empty())
        return text;
    if (status == Status::AccessDenied)
        return "access denied";
    return "status " + std::to_string(status);
}

// The reads of one command see one state of the store, whoever writes meanwhile.
class Snapshot {
public:
    Snapshot(KeyStore& store, const std::string& path) : m_store(store)
    {
        const std::int32_t status = store.BeginRead();
        // No store yet: the key is reported missing when it is opened.
        if (status != Status::Success && status != Status::FileNotFound)
            Fail("cannot read " + RegFile::FullKeyName(path) + ": " + Reason(store, status));
        m_open = status == Status::Success;
    }
    ~Snapshot()
    {
        if (m_open)
            m_store.EndRead();
    }
    Snapshot(const Snapshot&) = delete;
    Snapshot& operator=(const Snapshot&) = delete;

private:
    KeyStore& m_store;
    bool m_open = false;
};

std::string ShownName(const std::string& name)
{
    return name.empty() ? std::string("(Default)") : name;
}

// Whether someone at a terminal can answer. On Windows the NUL device passes isatty(),
// so there it takes a console.
bool Interactive()
{
#ifdef _WIN32
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != 0;
#else
    return isatty(STDIN_FILENO) != 0;
#endif
}

// Asks on a terminal; elsewhere there is nobody to ask, and /f is the way to go ahead.
void Confirm(const std::string& question, const std::string& refusal)
{
    if (!Interactive())
        Fail(refusal);
    std::cout << question << " (Yes/No)? " << std::flush;
    std::string answer;
    std::getline(std::cin, answer);
    answer = Lower(answer);
    if (answer != "y" && answer != "yes")
        Fail("the operation was cancelled");
}

const char* TypeName(std::uint32_t type)
{
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

std::string HexBytes(const std::string& data)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (char c : data) {
        const auto b = static_cast<unsigned char>(c);
        out += digits[b >> 4];
        out += digits[b & 0xF];
    }
    return out;
}

std::string ShownData(const ValueEntry& v)
{
    const std::string& d = v.data;
    switch (v.type) {
    case RegType::Sz:
    case RegType::ExpandSz:
        return d.substr(0, d.find('\0'));
    case RegType::Dword:
        if (d.size() == 4) {
            std::uint32_t n = 0;
            for (int i = 3; i >= 0; --i)
                n = (n << 8) | static_cast<unsigned char>(d[static_cast<std::size_t>(i)]);
            char buf[16];
            std::snprintf(buf, sizeof buf, "0x%x", static_cast<unsigned>(n));
            return buf;
        }
        return HexBytes(d);
    case RegType::MultiSz: {
        // Entries up to the empty one that ends the list.
        std::string out;
        std::size_t pos = 0;
        while (pos < d.size()) {
            std::size_t end = d.find('\0', pos);
            if (end == std::string::npos)
                end = d.size();
            if (end == pos)
                break;
            if (!out.empty())
                out += "\\0";
            out += d.substr(pos, end - pos);
            pos = end + 1;
        }
        return out;
    }
    default:
        return HexBytes(d);
    }
}

void PrintValue(const ValueEntry& v)
{
    const char* name = TypeName(v.type);
    char unknown[16];
    if (!name) {
        std::snprintf(unknown, sizeof unknown, "0x%X", static_cast<unsigned>(v.type));
        name = unknown;
    }
    std::cout << "    " << ShownName(v.name) << "    " << name << "    " << ShownData(v) << "\n";
}

int Query(int argc, char** argv)
{
    const Options o = ParseOptions(argc, argv, " v ve ");
    if (o.positional.size() != 1)
        Fail("query takes one KEY");
    const std::string path = KeyArgument(o.positional[0]);
    auto store = OpenStore();
    const Snapshot snapshot(*store, path);

    HKey key = 0;
    std::int32_t status = store->OpenKey(HKEY_LOCAL_MACHINE_ROOT, path, Access::QueryValue | Access::EnumerateSubKeys, key);
    if (status == Status::FileNotFound)
        Fail("the key " + RegFile::FullKeyName(path) + " does not exist");
    if (status != Status::Success)
        Fail("cannot open " + RegFile::FullKeyName(path) + ": " + Reason(*store, status));
    std::vector<ValueEntry> values;
    std::vector<std::string> subKeys;
    status = store->EnumValues(key, values);
    if (status == Status::Success && !o.name)
        status = store->EnumSubKeys(key, subKeys);
    const std::string reason = status == Status::Success ? std::string() : Reason(*store, status);
    store->CloseKey(key);
    if (status != Status::Success)
        Fail("cannot read " + RegFile::FullKeyName(path) + ": " + reason);

    if (o.name) {
        // Names match without case, as the store matches them.
        const ValueEntry* found = nullptr;
        for (const ValueEntry& v : values)
            if (Lower(v.name) == Lower(*o.name))
                found = &v;
        if (!found)
            Fail("the value " + ShownName(*o.name) + " does not exist under " + RegFile::FullKeyName(path));
        values = {*found};
    }
    std::cout << RegFile::FullKeyName(path) << "\n";
    for (const ValueEntry& v : values)
        PrintValue(v);
    if (!subKeys.empty()) {
        std::cout << "\n";
        for (const std::string& sub : subKeys)
            std::cout << RegFile::FullKeyName(path.empty() ? sub : path + "\\" + sub) << "\n";
    }
    return 0;
}

std::uint32_t ParseType(const std::string& text)
{
    const std::string t = Lower(text);
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

std::string DwordBytes(const std::string& text)
{
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const std::string digits = hex ? text.substr(2) : text;
    unsigned long long n = 0;
    bool ok = !digits.empty() && digits.size() <= 10;
    for (char c : digits) {
        if (!ok)
            break;
        const bool isDigit = hex ? std::isxdigit(static_cast<unsigned char>(c)) != 0
                                 : std::isdigit(static_cast<unsigned char>(c)) != 0;
        ok = isDigit;
        if (ok)
            n = n * (hex ? 16 : 10) + static_cast<unsigned long long>(std::isdigit(static_cast<unsigned char>(c))
                                                                          ? c - '0'
                                                                          : std::tolower(static_cast<unsigned char>(c)) - 'a' + 10);
    }
    if (!ok || n > 0xFFFFFFFFull)
        Fail("REG_DWORD data is a number from 0 to 4294967295, in decimal or 0x hex: " + text);
    std::string bytes(4, '\0');
    for (int i = 0; i < 4; ++i)
        bytes[static_cast<std::size_t>(i)] = static_cast<char>((n >> (8 * i)) & 0xFF);
    return bytes;
}

std::string BinaryBytes(const std::string& text)
{
    std::string bytes;
    auto digit = [&](char c) {
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            Fail("REG_BINARY data is pairs of hex digits: " + text);
        return std::isdigit(static_cast<unsigned char>(c)) ? c - '0' : std::tolower(static_cast<unsigned char>(c)) - 'a' + 10;
    };
    if (text.size() % 2 != 0)
        Fail("REG_BINARY data is pairs of hex digits: " + text);
    for (std::size_t i = 0; i < text.size(); i += 2)
        bytes += static_cast<char>((digit(text[i]) << 4) | digit(text[i + 1]));
    return bytes;
}

std::string MultiSzBytes(const std::string& text)
{
    std::string bytes;
    if (!text.empty()) {
        std::size_t pos = 0;
        while (true) {
            const std::size_t sep = text.find("\\0", pos);
            const std::string entry = text.substr(pos, sep == std::string::npos ? std::string::npos : sep - pos);
            // An empty entry would end the list early.
            if (entry.empty())
                Fail("REG_MULTI_SZ data may not hold an empty entry: " + text);
            bytes += entry + '\0';
            if (sep == std::string::npos)
                break;
            pos = sep + 2;
        }
    }
    return bytes + '\0';
}

std::string DataBytes(std::uint32_t type, const std::optional<std::string>& data)
{
    switch (type) {
    case RegType::Dword:
        return data ? DwordBytes(*data) : std::string(4, '\0');
    case RegType::Binary:
        return data ? BinaryBytes(*data) : std::string();
    case RegType::MultiSz:
        return MultiSzBytes(data.value_or(""));
    default:
        return data.value_or("") + '\0';
    }
}

int Add(int argc, char** argv)
{
    const Options o = ParseOptions(argc, argv, " v ve t d f ");
    if (o.positional.size() != 1)
        Fail("add takes one KEY");
    const std::string path = KeyArgument(o.positional[0]);
    const bool setsValue = o.name || o.type || o.data;
    const std::uint32_t type = o.type ? ParseType(*o.type) : RegType::Sz;
    const std::string bytes = setsValue ? DataBytes(type, o.data) : std::string();
    const std::string name = o.name.value_or("");
    auto store = OpenStore();

    if (setsValue && !o.force) {
        HKey key = 0;
        if (store->OpenKey(HKEY_LOCAL_MACHINE_ROOT, path, Access::QueryValue, key) == Status::Success) {
            std::uint32_t oldType = 0;
            std::uint32_t size = 0;
            const bool exists = store->QueryValue(key, name, &oldType, nullptr, &size) == Status::Success;
            store->CloseKey(key);
            if (exists)
                Confirm("Value " + ShownName(name) + " exists, overwrite",
                        "the value " + ShownName(name) + " exists; give /f to overwrite it");
        }
    }

    // The key and its value land together or not at all.
    std::int32_t status = store->BeginBatch();
    HKey key = 0;
    if (status == Status::Success)
        status = store->CreateKey(HKEY_LOCAL_MACHINE_ROOT, path, Access::AllAccess, key);
    if (status == Status::Success) {
        if (setsValue)
            status = store->SetValue(key, name, type, reinterpret_cast<const unsigned char*>(bytes.data()),
                                     static_cast<std::uint32_t>(bytes.size()));
        store->CloseKey(key);
    }
    if (status == Status::Success)
        status = store->CommitBatch();
    if (status != Status::Success) {
        const std::string reason = Reason(*store, status);
        store->RollbackBatch();
        Fail("cannot write " + RegFile::FullKeyName(path) + ": " + reason);
    }
    std::cout << "The operation completed successfully.\n";
    return 0;
}

int Delete(int argc, char** argv)
{
    const Options o = ParseOptions(argc, argv, " v ve f ");
    if (o.positional.size() != 1)
        Fail("delete takes one KEY");
    const std::string path = KeyArgument(o.positional[0]);
    const std::string full = RegFile::FullKeyName(path);
    auto store = OpenStore();

    HKey key = 0;
    std::int32_t status = store->OpenKey(HKEY_LOCAL_MACHINE_ROOT, path, o.name ? Access::AllAccess : Access::QueryValue, key);
    if (status == Status::FileNotFound)
        Fail("the key " + full + " does not exist");
    if (status != Status::Success)
        Fail("cannot open " + full + ": " + Reason(*store, status));

    if (o.name) {
        std::uint32_t type = 0;
        std::uint32_t size = 0;
        status = store->QueryValue(key, *o.name, &type, nullptr, &size);
        if (status == Status::Success && !o.force) {
            try {
                Confirm("Delete the registry value " + ShownName(*o.name),
                        "give /f to delete the value " + ShownName(*o.name) + " without asking");
            } catch (...) {
                store->CloseKey(key);
                throw;
            }
        }
        if (status == Status::Success)
            status = store->DeleteValue(key, *o.name);
        const std::string reason = status == Status::Success ? std::string() : Reason(*store, status);
        store->CloseKey(key);
        if (status == Status::FileNotFound)
            Fail("the value " + ShownName(*o.name) + " does not exist under " + full);
        if (status != Status::Success)
            Fail("cannot delete the value " + ShownName(*o.name) + ": " + reason);
    } else {
        store->CloseKey(key);
        if (path.empty())
            Fail("HKEY_LOCAL_MACHINE itself cannot be deleted");
        if (!o.force)
            Confirm("Permanently delete the registry key " + full, "give /f to delete " + full + " without asking");
        status = store->DeleteTree(HKEY_LOCAL_MACHINE_ROOT, path);
        if (status != Status::Success)
            Fail("cannot delete " + full + ": " + Reason(*store, status));
    }
    std::cout << "The operation completed successfully.\n";
    return 0;
}

#ifndef _WIN32
// Writes the whole text to a temporary file beside FILE, syncs it and renames it over FILE:
// a failure leaves FILE as it was and no half export anywhere.
void ReplaceFile(const std::string& file, const std::string& text, mode_t mode)
{
    const std::filesystem::path target(file);
    const std::string dir = target.has_parent_path() ? target.parent_path().string() : std::string(".");
    std::string temp = (std::filesystem::path(dir) / ("." + target.filename().string() + ".XXXXXX")).string();
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
void ReplaceFile(const std::string& file, const std::string& text)
{
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

int Export(int argc, char** argv)
{
    const Options o = ParseOptions(argc, argv, " y ");
    if (o.positional.size() != 2)
        Fail("export takes a KEY and a FILE");
    const std::string path = KeyArgument(o.positional[0]);
    const std::string& file = o.positional[1];
    auto store = OpenStore();

    std::string text;
    {
        const Snapshot snapshot(*store, path);
        const RegFile::Outcome outcome = RegFile::ExportTree(*store, path, text);
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
        Confirm("File " + file + " already exists. Overwrite", "the file " + file + " already exists; give /y to overwrite it");
#ifndef _WIN32
    // Past a file size limit the write fails and the temporary file is cleared away,
    // instead of the signal ending the command with it left behind.
    std::signal(SIGXFSZ, SIG_IGN);
    // The export holds the database passwords: owner-only, or stricter if the file was.
    mode_t mode = 0600;
    struct stat st {};
    if (exists && ::lstat(file.c_str(), &st) == 0 && (st.st_mode & 0777 & ~mode_t(0600)) == 0)
        mode = st.st_mode & 0777;
    ReplaceFile(file, text, mode);
#else
    ReplaceFile(file, text);
#endif
    std::cout << "The operation completed successfully.\n";
    return 0;
}

int Import(int argc, char** argv)
{
    const Options o = ParseOptions(argc, argv, " ");
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
    auto store = OpenStore();
    const RegFile::Outcome outcome = RegFile::ImportFile(*store, parsed);
    if (outcome.status != Status::Success)
        Fail(file + ": " + outcome.message);
    std::cout << "The operation completed successfully.\n";
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    try {
        if (argc < 2)
            Fail("no operation given; norvane-reg /? shows the usage");
        const std::string op = Lower(argv[1]);
        if (op == "/?" || op == "-?" || op == "--help" || op == "-h") {
            std::cout << Usage;
            return 0;
        }
        if (op == "--version") {
            std::cout << "norvane-reg " NORVANE_VERSION "\n";
            return 0;
        }
        if (op == "query")
            return Query(argc, argv);
        if (op == "add")
            return Add(argc, argv);
        if (op == "delete")
            return Delete(argc, argv);
        if (op == "export")
            return Export(argc, argv);
        if (op == "import")
            return Import(argc, argv);
        Fail("unknown operation " + std::string(argv[1]) + "; norvane-reg /? shows the usage");
    } catch (const Failure& f) {
        std::cerr << "ERROR: " << f.message << "\n";
    } catch (const std::exception& e) {
        std::cerr << "ERROR: " << e.what() << "\n";
    }
    return 1;
}
