#pragma once
// What a file carries beside its bytes (owner, group, permission bits with setuid, setgid
// and sticky, and its extended attributes, which hold POSIX ACLs, SELinux labels and file
// capabilities), read from one file and put on another or put back on the same one.

#include <QByteArray>
#include <QStringList>

#include <optional>
#include <utility>
#include <vector>

#include <sys/types.h>

namespace norvane {

struct FileAttributes {
    uid_t owner = 0;
    gid_t group = 0;
    mode_t type = 0;  // S_IFREG, S_IFDIR, ...
    mode_t mode = 0;  // permission bits and setuid, setgid, sticky
    nlink_t links = 1;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    std::vector<std::pair<QByteArray, QByteArray>> extended;  // name and value
    bool complete = true;                                     // false when an extended attribute could not be read
};

// The attributes of `path` itself (a final symbolic link is not followed); nullopt with
// errno set when the file cannot be looked at.
std::optional<FileAttributes> ReadFileAttributes(const QByteArray& path);

// Gives the open file those attributes, removing extended attributes it has beyond them
// (an ACL inherited from the directory, say). Returns what could not be made the same, in
// words for the operator; empty when the file now carries exactly the attributes.
QStringList ApplyFileAttributes(int fd, const FileAttributes& attributes);

}  // namespace norvane
