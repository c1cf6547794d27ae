#pragma once
// Where a file the operator named really is, how to open it for reading, and what tells it
// apart from a changed file: the parts of the file editor that differ between platforms.

#include <QFile>
#include <QString>

#include <cstdint>
#include <optional>

namespace norvane {

// Where a path leads, or why it is not followed.
struct Destination {
    QString file;     // links followed, every folder real; empty on failure
    int error = 0;    // errno, when the path cannot be followed
    QString refusal;  // the operator's words, when it must not be
};
Destination WhereLinkLeads(const QString& path);

// What tells a file apart from a changed one without reading it.
struct DiskState {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t size = 0;
    std::int64_t modified = 0;  // in the platform's own units
    std::int64_t modifiedNs = 0;
    std::int64_t changed = 0;
    std::int64_t changedNs = 0;
    bool operator==(const DiskState&) const = default;
    bool SameFile(const DiskState& other) const { return device == other.device && inode == other.inode; }
};
// Of the file the path names (links followed); nullopt when it cannot be looked at.
std::optional<DiskState> DiskStateOf(const QString& path);

// Opens `target` (as WhereLinkLeads gave it) to read, without blocking on a pipe put in
// its place. 0 and the file open, or an errno value; *regular is false for anything but a
// regular file (a folder gives EISDIR).
int OpenToRead(QFile& file, const QString& target, DiskState* state, bool* regular);

}  // namespace norvane
