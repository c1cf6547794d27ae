#pragma once
// REGEDIT4 text files: the form in which a key tree moves between this store and a
// Windows machine. Formatting and parsing are pure; ExportTree and ImportFile put them
// over a KeyStore.

#include "KeyStore.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace norvane::RegFile {

constexpr const char* RootName = "HKEY_LOCAL_MACHINE";

// A key as the operator writes it: "HKLM\path" or "HKEY_LOCAL_MACHINE\path" (the root
// without case). The path comes back without leading or trailing "\"; nullopt when the
// root is not HKEY_LOCAL_MACHINE or the path has an empty part.
std::optional<std::string> ParseKeyName(std::string_view text);
// Why the registry could not hold a key of this path (more than 512 levels below the root,
// or a name longer than 255 characters); nullopt when it could.
std::optional<std::string> KeyNameProblem(std::string_view path);
// Why a key path (or a value name under it, when given) cannot stand in a REGEDIT4 file:
// control characters. The message shows the name with them escaped.
std::optional<std::string> NameProblem(const std::string& path, const std::string* valueName);
// "HKEY_LOCAL_MACHINE" or "HKEY_LOCAL_MACHINE\path".
std::string FullKeyName(const std::string& path);

// One `"name"=data` entry, continuation lines included, without the final line end.
// nullopt when the name cannot stand in such a file (control characters).
std::optional<std::string> FormatValue(const ValueEntry& value);
// "[full key name]", its values, and the blank line that closes the section, CRLF ends.
// nullopt when the key name or a value name cannot be written.
std::optional<std::string> FormatSection(const std::string& path, const std::vector<ValueEntry>& values);
// "REGEDIT4" and the blank line after it.
std::string Header();

// What a file asks for, in file order.
struct ValueChange {
    ValueEntry value;     // name, type and bytes to store
    bool remove = false;  // "name"=-
    int line = 0;
};

struct KeyChange {
    std::string path;     // below HKEY_LOCAL_MACHINE
    bool remove = false;  // [-key]: the key and its subtree go
    std::vector<ValueChange> values;
    int line = 0;
};

struct ParseError {
    int line = 0;  // 1-based line of the file
    std::string message;
};

struct ParsedFile {
    std::vector<KeyChange> keys;
    std::optional<ParseError> error;  // set when the file is malformed; keys are then not to be used
};

// Takes CRLF or LF line ends; blank lines and ";" comments are skipped.
ParsedFile Parse(std::string_view text);

struct Outcome {
    std::int32_t status = Status::Success;
    std::string message;  // one line for the operator when status is not 0
};

// The store's words for a failed operation, or a short reason of our own when it has none.
std::string StatusText(KeyStore& store, std::int32_t status);
// Opens the key for reading, enumerates its values (and its subkeys' names when subKeys is
// given) and closes it again; the message says which of these failed.
Outcome ReadKey(KeyStore& store, const std::string& path, std::vector<ValueEntry>& values,
                std::vector<std::string>* subKeys);

// The key and its subtree as a whole file (subkeys after their parent, by name).
Outcome ExportTree(KeyStore& store, const std::string& path, std::string& text);
// Writes every change of a parsed file in one batch: all of it lands, or none.
Outcome ImportFile(KeyStore& store, const ParsedFile& file);

}  // namespace norvane::RegFile
