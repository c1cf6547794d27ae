#include "RegFile.h"

#include "ValueText.h"

#include <algorithm>
#include <cstdio>

namespace norvane::RegFile {

namespace {

constexpr const char* Crlf = "\r\n";
// regedit keeps hex lines within about 80 columns.
constexpr std::size_t LineWidth = 80;

bool HasControl(std::string_view text) {
    return std::any_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; });
}

// 8-bit text that a quoted string shows as it is: no control characters, no DEL.
bool IsPrintable(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) {
        const auto b = static_cast<unsigned char>(c);
        return b >= 0x20 && b != 0x7F;
    });
}

std::string Quote(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '\\' || c == '"')
            out += '\\';
        out += c;
    }
    out += '"';
    return out;
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

// 1 to 8 hex digits and nothing else.
std::optional<std::uint32_t> ParseHex32(std::string_view s) {
    return s.size() <= 8 ? ParseUint32(s, 16) : std::nullopt;
}

// A quoted string starting at s[0] == '"'; pos is left after the closing quote.
std::optional<std::string> Unquote(std::string_view s, std::size_t& pos, std::string& why) {
    std::string out;
    for (pos = 1; pos < s.size(); ++pos) {
        const char c = s[pos];
        if (c == '"') {
            ++pos;
            return out;
        }
        if (c == '\\') {
            if (pos + 1 >= s.size() || (s[pos + 1] != '\\' && s[pos + 1] != '"')) {
                why = "only \\\\ and \\\" may follow a backslash in a quoted string";
                return std::nullopt;
            }
            ++pos;
        }
        out += s[pos];
    }
    why = "a quoted string is not closed";
    return std::nullopt;
}

std::optional<std::string> ParseHexList(std::string_view list, std::string& why) {
    std::string bytes;
    list = Trim(list);
    if (list.empty())
        return bytes;
    while (true) {
        const std::size_t comma = list.find(',');
        const std::string_view item = Trim(list.substr(0, comma));
        const int hi = item.size() == 2 ? HexDigit(item[0]) : -1;
        const int lo = item.size() == 2 ? HexDigit(item[1]) : -1;
        if (hi < 0 || lo < 0) {
            why = "a hex list holds two-digit hex bytes separated by commas";
            return std::nullopt;
        }
        bytes += static_cast<char>((hi << 4) | lo);
        if (comma == std::string_view::npos)
            return bytes;
        list.remove_prefix(comma + 1);
    }
}

std::string JoinPath(const std::string& parent, const std::string& child) {
    return parent.empty() ? child : parent + "\\" + child;
}

Outcome ExportKey(KeyStore& store, const std::string& path, std::string& text) {
    std::vector<ValueEntry> values;
    std::vector<std::string> subKeys;
    if (Outcome o = ReadKey(store, path, values, &subKeys); o.status != Status::Success)
        return o;

    const auto section = FormatSection(path, values);
    if (!section) {
        std::optional<std::string> why = NameProblem(path, nullptr);
        for (std::size_t i = 0; !why && i < values.size(); ++i)
            why = NameProblem(path, &values[i].name);
        return {Status::Unsupported,
                why.value_or("a name under " + FullKeyName(path) + " holds control characters") +
                    "; it cannot be exported: delete or rename it (norvane-reg delete), then export again"};
    }
    text += *section;

    std::sort(subKeys.begin(), subKeys.end(), LessNoCase);
    for (const std::string& sub : subKeys) {
        Outcome o = ExportKey(store, JoinPath(path, sub), text);
        if (o.status != Status::Success)
            return o;
    }
    return {};
}

// The value part of a line (after the name and "="), with hex continuations already joined.
std::optional<ValueChange> ParseData(std::string_view data, std::string& why) {
    ValueChange change;
    data = Trim(data);
    if (data == "-") {
        change.remove = true;
        return change;
    }
    if (!data.empty() && data.front() == '"') {
        std::size_t end = 0;
        auto text = Unquote(data, end, why);
        if (!text)
            return std::nullopt;
        if (!Trim(data.substr(end)).empty()) {
            why = "text after the closing quote";
            return std::nullopt;
        }
        change.value.type = RegType::Sz;
        change.value.data = *text + '\0';
        return change;
    }
    const std::size_t colon = data.find(':');
    if (colon == std::string_view::npos) {
        why = "the data is not a quoted string, dword:, hex: or -";
        return std::nullopt;
    }
    const std::string_view kind = data.substr(0, colon);
    const std::string_view rest = data.substr(colon + 1);
    if (EqualsNoCase(kind, "dword")) {
        const auto v = ParseHex32(Trim(rest));
        if (!v) {
            why = "dword: takes up to eight hex digits";
            return std::nullopt;
        }
        change.value.type = RegType::Dword;
        change.value.data = DwordBytes(*v);
        return change;
    }
    if (EqualsNoCase(kind, "hex")) {
        change.value.type = RegType::Binary;
    } else if (kind.size() > 5 && EqualsNoCase(kind.substr(0, 4), "hex(") && kind.back() == ')') {
        const auto t = ParseHex32(kind.substr(4, kind.size() - 5));
        if (!t) {
            why = "hex(N): takes a type of up to eight hex digits";
            return std::nullopt;
        }
        change.value.type = *t;
    } else {
        why = "the data is not a quoted string, dword:, hex: or -";
        return std::nullopt;
    }
    auto bytes = ParseHexList(rest, why);
    if (!bytes)
        return std::nullopt;
    change.value.data = std::move(*bytes);
    return change;
}

}  // namespace

std::optional<std::string> ParseKeyName(std::string_view text) {
    const std::size_t sep = text.find('\\');
    const std::string_view root = text.substr(0, sep);
    if (!EqualsNoCase(root, "HKLM") && !EqualsNoCase(root, RootName))
        return std::nullopt;
    if (sep == std::string_view::npos)
        return std::string();
    std::string_view path = text.substr(sep + 1);
    while (!path.empty() && path.back() == '\\')
        path.remove_suffix(1);
    // "\\" inside, or a leading one, would name a key with an empty name.
    if (!path.empty() && (path.front() == '\\' || path.find("\\\\") != std::string_view::npos))
        return std::nullopt;
    return std::string(path);
}

std::optional<std::string> KeyNameProblem(std::string_view path) {
    // The Windows registry's own limits; a store that took more would take any size.
    constexpr std::size_t MaxDepth = 512;
    constexpr std::size_t MaxName = 255;
    if (path.empty())
        return std::nullopt;
    std::size_t depth = 0;
    for (std::size_t start = 0;; ++depth) {
        const std::size_t end = std::min(path.find('\\', start), path.size());
        if (end - start > MaxName)
            return "the key name \"" + std::string(path.substr(start, 40)) + "...\" is " + std::to_string(end - start) +
                   " characters long; the registry allows " + std::to_string(MaxName);
        if (end == path.size())
            break;
        start = end + 1;
    }
    if (depth + 1 > MaxDepth)
        return "the key is " + std::to_string(depth + 1) + " levels deep; the registry allows " +
               std::to_string(MaxDepth);
    return std::nullopt;
}

std::optional<std::string> NameProblem(const std::string& path, const std::string* valueName) {
    auto escaped = [](const std::string& text) {
        std::string out;
        for (char c : text)
            out += static_cast<unsigned char>(c) < 0x20 ? "\\x" + HexByte(static_cast<unsigned char>(c), false)
                                                        : std::string(1, c);
        return out;
    };
    if (HasControl(path))
        return "the key name \"" + escaped(FullKeyName(path)) + "\" holds control characters";
    if (valueName && HasControl(*valueName))
        return "the value name \"" + escaped(*valueName) + "\" under " + FullKeyName(path) +
               " holds control characters";
    return std::nullopt;
}

std::string FullKeyName(const std::string& path) {
    return path.empty() ? std::string(RootName) : std::string(RootName) + "\\" + path;
}

std::optional<std::string> FormatValue(const ValueEntry& value) {
    if (HasControl(value.name))
        return std::nullopt;
    std::string out = value.name.empty() ? std::string("@") : Quote(value.name);
    out += '=';
    const std::string& d = value.data;

    if (value.type == RegType::Sz && !d.empty() && d.back() == '\0' &&
        IsPrintable(std::string_view(d).substr(0, d.size() - 1)))
        return out + Quote(std::string_view(d).substr(0, d.size() - 1));
    if (value.type == RegType::Dword && d.size() == 4) {
        char buf[16];
        std::snprintf(buf, sizeof buf, "dword:%08x", static_cast<unsigned>(DwordValue(d)));
        return out + buf;
    }
    if (value.type == RegType::Binary) {
        out += "hex:";
    } else {
        char buf[24];
        std::snprintf(buf, sizeof buf, "hex(%x):", static_cast<unsigned>(value.type));
        out += buf;
    }
    // Break after a comma so that every line, its trailing backslash included, keeps
    // within the width; continuation lines are indented by two spaces.
    std::size_t lineStart = 0;
    bool byteOnLine = false;
    for (std::size_t i = 0; i < d.size(); ++i) {
        const bool last = i + 1 == d.size();
        const std::size_t need = last ? 2 : 4;  // "xx" or "xx," plus room for "\"
        if (byteOnLine && out.size() - lineStart + need > LineWidth) {
            out += "\\";
            out += Crlf;
            lineStart = out.size();
            out += "  ";
            byteOnLine = false;
        }
        out += HexByte(static_cast<unsigned char>(d[i]), false);
        if (!last)
            out += ',';
        byteOnLine = true;
    }
    return out;
}

std::optional<std::string> FormatSection(const std::string& path, const std::vector<ValueEntry>& values) {
    if (HasControl(path))
        return std::nullopt;
    std::string out = "[" + FullKeyName(path) + "]" + Crlf;
    for (const ValueEntry& v : values) {
        const auto line = FormatValue(v);
        if (!line)
            return std::nullopt;
        out += *line + Crlf;
    }
    out += Crlf;
    return out;
}

std::string Header() { return std::string("REGEDIT4") + Crlf + Crlf; }

ParsedFile Parse(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const std::size_t nl = text.find('\n');
        std::string_view line = text.substr(0, nl);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        lines.push_back(line);
        if (nl == std::string_view::npos)
            break;
        text.remove_prefix(nl + 1);
    }

    ParsedFile file;
    auto fail = [&file](std::size_t index, std::string message) {
        file.keys.clear();
        file.error = ParseError{static_cast<int>(index + 1), std::move(message)};
        return file;
    };

    if (lines.empty() || Trim(lines[0]) != "REGEDIT4")
        return fail(0, "the file does not begin with REGEDIT4");

    for (std::size_t i = 1; i < lines.size(); ++i) {
        const std::string_view line = Trim(lines[i]);
        if (line.empty() || line.front() == ';')
            continue;

        if (line.front() == '[') {
            if (line.back() != ']')
                return fail(i, "a key line ends with ]");
            std::string_view name = line.substr(1, line.size() - 2);
            KeyChange key;
            key.line = static_cast<int>(i + 1);
            if (!name.empty() && name.front() == '-') {
                key.remove = true;
                name.remove_prefix(1);
            }
            const auto path = ParseKeyName(name);
            if (!path)
                return fail(i, "not a key of HKEY_LOCAL_MACHINE: " + std::string(name));
            if (key.remove && path->empty())
                return fail(i, "HKEY_LOCAL_MACHINE itself cannot be deleted");
            // What the export cannot write back is refused here, so every import exports.
            if (HasControl(*path))
                return fail(i, "a key name holds control characters");
            if (const auto why = KeyNameProblem(*path))
                return fail(i, *why);
            key.path = *path;
            file.keys.push_back(std::move(key));
            continue;
        }

        if (line.front() != '"' && line.front() != '@')
            return fail(i, "not a key, a value or a comment");
        if (file.keys.empty())
            return fail(i, "a value before the first key");
        if (file.keys.back().remove)
            return fail(i, "a value under a key that the file deletes");

        const std::size_t first = i;
        std::string name;
        std::size_t pos = 1;
        if (line.front() == '"') {
            std::string why;
            auto n = Unquote(line, pos, why);
            if (!n)
                return fail(i, why);
            name = std::move(*n);
            if (HasControl(name))
                return fail(i, "a value name holds control characters");
        }
        std::string_view rest = Trim(line.substr(pos));
        if (rest.empty() || rest.front() != '=')
            return fail(i, "a value name is followed by =");
        rest = Trim(rest.substr(1));

        // A hex list may go on over lines that end in a backslash.
        std::string data(rest);
        if (EqualsNoCase(std::string_view(data).substr(0, 3), "hex")) {
            while (!data.empty() && data.back() == '\\') {
                data.pop_back();
                if (++i >= lines.size())
                    return fail(first, "the hex list goes on past the end of the file");
                data += Trim(lines[i]);
            }
        }
        std::string why;
        auto change = ParseData(data, why);
        if (!change)
            return fail(first, why);
        change->value.name = std::move(name);
        change->line = static_cast<int>(first + 1);
        file.keys.back().values.push_back(std::move(*change));
    }
    return file;
}

std::string StatusText(KeyStore& store, std::int32_t status) {
    std::string text = store.LastErrorText();
    if (!text.empty())
        return text;
    switch (status) {
    case Status::FileNotFound: return "not found";
    case Status::AccessDenied: return "access denied";
    default: return "status " + std::to_string(status);
    }
}

Outcome ReadKey(KeyStore& store, const std::string& path, std::vector<ValueEntry>& values,
                std::vector<std::string>* subKeys) {
    HKey key = 0;
    std::int32_t status =
        store.OpenKey(HKEY_LOCAL_MACHINE_ROOT, path, Access::QueryValue | Access::EnumerateSubKeys, key);
    if (status == Status::FileNotFound)
        return {status, "the key " + FullKeyName(path) + " does not exist"};
    if (status != Status::Success)
        return {status, "cannot open " + FullKeyName(path) + ": " + StatusText(store, status)};
    status = store.EnumValues(key, values);
    if (status == Status::Success && subKeys)
        status = store.EnumSubKeys(key, *subKeys);
    const std::string reason = status == Status::Success ? std::string() : StatusText(store, status);
    store.CloseKey(key);
    if (status != Status::Success)
        return {status, "cannot read " + FullKeyName(path) + ": " + reason};
    return {};
}

Outcome ExportTree(KeyStore& store, const std::string& path, std::string& text) {
    std::string body = Header();
    Outcome o = ExportKey(store, path, body);
    if (o.status == Status::Success)
        text = std::move(body);
    return o;
}

Outcome ImportFile(KeyStore& store, const ParsedFile& file) {
    if (file.error)
        return {Status::Unsupported, "line " + std::to_string(file.error->line) + ": " + file.error->message};

    std::int32_t status = store.BeginBatch();
    if (status != Status::Success)
        return {status, "cannot write to the store: " + StatusText(store, status)};

    auto fail = [&store](std::int32_t st, int line, const std::string& what) {
        Outcome o{st, "line " + std::to_string(line) + ": " + what + ": " + StatusText(store, st)};
        store.RollbackBatch();
        return o;
    };

    for (const KeyChange& key : file.keys) {
        if (key.remove) {
            status = store.DeleteTree(HKEY_LOCAL_MACHINE_ROOT, key.path);
            if (status != Status::Success && status != Status::FileNotFound)
                return fail(status, key.line, "cannot delete " + FullKeyName(key.path));
            continue;
        }
        HKey handle = 0;
        status = store.CreateKey(HKEY_LOCAL_MACHINE_ROOT, key.path, Access::AllAccess, handle);
        if (status != Status::Success)
            return fail(status, key.line, "cannot create " + FullKeyName(key.path));
        for (const ValueChange& change : key.values) {
            const ValueEntry& v = change.value;
            if (change.remove) {
                status = store.DeleteValue(handle, v.name);
                if (status == Status::FileNotFound)
                    status = Status::Success;
            } else {
                status = store.SetValue(handle, v.name, v.type, reinterpret_cast<const unsigned char*>(v.data.data()),
                                        static_cast<std::uint32_t>(v.data.size()));
            }
            if (status != Status::Success) {
                const std::string shown = v.name.empty() ? std::string("@") : "\"" + v.name + "\"";
                store.CloseKey(handle);
                return fail(status, change.line, "cannot write " + shown);
            }
        }
        store.CloseKey(handle);
    }

    status = store.CommitBatch();
    if (status != Status::Success) {
        Outcome o{status, "cannot write to the store: " + StatusText(store, status)};
        store.RollbackBatch();
        return o;
    }
    return {};
}

}  // namespace norvane::RegFile
