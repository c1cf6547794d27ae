#pragma once
// Where the embedded store's file lies, and whether it may be trusted: the store holds
// database passwords, and SQLite plays back whatever journal it finds beside it, so a file
// or directory that another user can change is refused before SQLite sees it.

#include <cstdint>
#include <optional>
#include <string>
#include <sys/types.h>

namespace norvane::StoreFile {

struct Problem {
    std::int32_t status;  // a registry status: 2, 5, 1009 or 1016
    std::string text;     // one sentence for the operator, naming the path and the fix
};

// Creates the directories missing above the store, owner-only whatever the umask.
std::optional<Problem> MakeDirectories(const std::string& store);

// What a check found at the store's path: the file with no link left on the way, and which
// file it was, so that the file opened afterwards can be compared with it.
struct Checked {
    std::string real;  // absolute, links resolved
    bool exists = false;
    dev_t dev = 0;
    ino_t ino = 0;
};

// Refuses a store that another user could change or replace (its file, its journal, its
// directory or a directory above it, by mode bits or ACL entries; a symbolic link on the
// way, or a folder on the path as written where others could swap an entry) and anything
// at the path that is not a regular file. 2 when neither the file nor its directory exist.
std::optional<Problem> Check(const std::string& store, Checked* checked = nullptr);

// Why a store that was checked cannot be written, when the reason is not the user's rights:
// a read-only file system. nullopt otherwise.
std::optional<std::string> NotWritableBecause(const std::string& real);

// Creates an empty store file, owner-only; an existing file is left alone.
std::optional<Problem> Create(const std::string& store);

// How the operator gets the rights to change the store, e.g. "sudo norvane-admin".
std::string AdminHint();

}  // namespace norvane::StoreFile
