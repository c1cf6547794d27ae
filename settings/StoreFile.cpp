#include "StoreFile.h"

#include "KeyStore.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <grp.h>
#include <pwd.h>
#include <acl/libacl.h>
#include <sys/acl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <vector>

namespace norvane::StoreFile {
namespace {

namespace fs = std::filesystem;

// Root can change anything anyway; the user running us is the one who asked for this store.
bool Trusted(uid_t uid) { return uid == 0 || uid == ::geteuid(); }

std::string UserName(uid_t uid) {
    const passwd* pw = ::getpwuid(uid);
    return pw ? std::string(pw->pw_name) : std::to_string(uid);
}

std::string GroupName(gid_t gid) {
    const group* gr = ::getgrgid(gid);
    return gr ? std::string(gr->gr_name) : std::to_string(gid);
}

// A group write bit is harmless when the group is a private one: every member, by the
// group list or as primary group, is root or this user (umask 002 makes such directories).
// A group without members is not: setgid programs run with it.
bool OnlyTrustedIn(gid_t gid) {
    const group* gr = ::getgrgid(gid);
    if (!gr)
        return false;
    std::vector<std::string> listed;
    for (char** m = gr->gr_mem; *m; ++m)
        listed.emplace_back(*m);
    int members = 0;
    for (const std::string& name : listed) {
        const passwd* pw = ::getpwnam(name.c_str());
        if (!pw || !Trusted(pw->pw_uid))
            return false;
        ++members;
    }
    bool others = false;
    ::setpwent();
    while (const passwd* pw = ::getpwent()) {
        if (pw->pw_gid == gid) {
            others |= !Trusted(pw->pw_uid);
            ++members;
        }
    }
    ::endpwent();
    return members > 0 && !others;
}

// Who besides root and this user could write the thing, and how its owner stops that.
struct Writers {
    std::string who;  // "" when nobody
    std::string fix;  // the command that takes the right away
    bool empty() const { return who.empty(); }
};

// Entries of an access ACL that grant write to another user or group (through the mask).
std::string AclWriters(const std::string& path) {
    if (::acl_extended_file(path.c_str()) != 1)
        return {};
    const acl_t acl = ::acl_get_file(path.c_str(), ACL_TYPE_ACCESS);
    if (!acl)
        return {};
    auto writes = [](acl_entry_t entry) {
        acl_permset_t perms = nullptr;
        return ::acl_get_permset(entry, &perms) == 0 && ::acl_get_perm(perms, ACL_WRITE) == 1;
    };
    bool maskWrites = true;
    std::string who;
    acl_entry_t entry = nullptr;
    for (int which = ACL_FIRST_ENTRY; ::acl_get_entry(acl, which, &entry) == 1; which = ACL_NEXT_ENTRY) {
        acl_tag_t tag = ACL_UNDEFINED_TAG;
        ::acl_get_tag_type(entry, &tag);
        if (tag == ACL_MASK) {
            maskWrites = writes(entry);
        } else if ((tag == ACL_USER || tag == ACL_GROUP) && who.empty() && writes(entry)) {
            void* qualifier = ::acl_get_qualifier(entry);
            if (!qualifier)
                continue;
            if (tag == ACL_USER && !Trusted(*static_cast<uid_t*>(qualifier)))
                who = "the user " + UserName(*static_cast<uid_t*>(qualifier));
            else if (tag == ACL_GROUP && !OnlyTrustedIn(*static_cast<gid_t*>(qualifier)))
                who = "the members of the group " + GroupName(*static_cast<gid_t*>(qualifier));
            ::acl_free(qualifier);
        }
    }
    ::acl_free(acl);
    return maskWrites && !who.empty() ? who + " (by an ACL entry)" : std::string();
}

Writers OtherWriters(const struct stat& st, const std::string& path) {
    if (std::string acl = AclWriters(path); !acl.empty())
        return {acl, "setfacl -b " + path};
    if (st.st_mode & S_IWOTH)
        return {"other users", "chmod go-w " + path};
    if ((st.st_mode & S_IWGRP) && !OnlyTrustedIn(st.st_gid))
        return {"the members of the group " + GroupName(st.st_gid), "chmod go-w " + path};
    return {};
}

std::string Me() { return UserName(::geteuid()); }

Problem Refused(const std::string& store, const std::string& why) {
    return {Status::AccessDenied, "The settings store " + store + " is not used: " + why + "."};
}

Problem Unreachable(const std::string& store, int err) {
    if (err == EACCES || err == EPERM)
        return {Status::AccessDenied, "The settings store " + store +
                                          " cannot be reached: permission denied; it needs administrator rights (" +
                                          AdminHint() + ")."};
    return {Status::IoFailed, "The settings store " + store + " cannot be reached: " + std::strerror(err) + "."};
}

// The directory and every directory above it. In the store's own directory nobody else may
// create files (a journal there is played back into the store); above it a sticky
// directory such as /tmp is fine, since others cannot rename what is not theirs.
std::optional<Problem> CheckDirectories(const std::string& store, const fs::path& dir, bool storeDirectory) {
    for (fs::path d = dir;; d = d.parent_path()) {
        struct stat st {};
        if (::stat(d.c_str(), &st) != 0)
            return Unreachable(store, errno);
        const bool own = storeDirectory && d == dir;
        const std::string which = own ? "its directory " + d.string() : "the directory " + d.string() + " above it";
        if (!Trusted(st.st_uid))
            return Refused(store, which + " belongs to the user " + UserName(st.st_uid) +
                                      ", who could change the settings; give it to " + Me() + " (chown " + Me() + " " +
                                      d.string() + ")");
        const Writers writers = OtherWriters(st, d.string());
        if (!writers.empty()) {
            if (own && (st.st_mode & S_ISVTX))
                return Refused(store, "it lies in " + d.string() +
                                          ", where every user may create files, such as a journal that would be played "
                                          "back into the store; keep it in a directory of its own that only its owner "
                                          "may write");
            if (own || !(st.st_mode & S_ISVTX))
                return Refused(store, which + " may be written by " + writers.who +
                                          ", who could change the settings; make it writable by its owner only (" +
                                          writers.fix + ")");
        }
        if (d == d.parent_path())
            return std::nullopt;
    }
}

// The path as written, entry by entry: a symbolic link on the way can be pointed elsewhere
// by whoever owns it, and any entry can be swapped for another by whoever may write the
// folder it sits in (a sticky folder lets only the entry's owner do that). The folders of
// the resolved path are checked on their own; this finds those only the written path uses.
std::optional<Problem> CheckWrittenPath(const std::string& store, const fs::path& absolute) {
    fs::path prefix;
    for (const fs::path& part : absolute) {
        const fs::path folder = prefix;
        prefix /= part;
        struct stat st {};
        if (::lstat(prefix.c_str(), &st) != 0)
            return std::nullopt;  // the rest does not exist yet
        if (S_ISLNK(st.st_mode) && !Trusted(st.st_uid))
            return Refused(store, prefix.string() + " is a symbolic link that belongs to the user " +
                                      UserName(st.st_uid) +
                                      ", who could point it elsewhere; replace it with the file " +
                                      "itself or a link of your own");
        struct stat in {};
        if (folder.empty() || ::stat(folder.c_str(), &in) != 0)
            continue;
        const Writers writers = OtherWriters(in, folder.string());
        if (!writers.empty() && (!(in.st_mode & S_ISVTX) || !Trusted(st.st_uid)))
            return Refused(store, "its path goes through " + prefix.string() + " in the directory " + folder.string() +
                                      ", which may be written by " + writers.who +
                                      ", who could put something else in its place; make that directory writable "
                                      "by its owner only (" +
                                      writers.fix + ") or give the path without it");
    }
    return std::nullopt;
}

const char* KindOf(mode_t mode) {
    if (S_ISDIR(mode))
        return "a directory";
    if (S_ISFIFO(mode))
        return "a FIFO (named pipe)";
    if (S_ISCHR(mode))
        return "a character device";
    if (S_ISBLK(mode))
        return "a block device";
    if (S_ISSOCK(mode))
        return "a socket";
    return "not a regular file";
}

}  // namespace

std::string AdminHint() {
    // The command-line companion names itself; everything else is the window.
    const std::string self = program_invocation_short_name;
    const std::string program = self == "norvane-reg" ? self : std::string("norvane-admin");
    // Advice that works as written: pkexec keeps the display only for the paths the polkit
    // actions name, and sudo is offered only where it is installed.
    std::string hint = "pkexec " + program;
    const char* path = ::getenv("PATH");
    std::string dirs = path ? path : "/usr/bin:/bin";
    for (std::size_t at = 0; at <= dirs.size();) {
        const std::size_t end = std::min(dirs.find(':', at), dirs.size());
        if (end > at && ::access((dirs.substr(at, end - at) + "/sudo").c_str(), X_OK) == 0)
            return hint + " or sudo " + program;
        at = end + 1;
    }
    return hint;
}

std::optional<Problem> MakeDirectories(const std::string& store) {
    const fs::path absolute = fs::absolute(store);
    std::vector<fs::path> missing;
    fs::path d = absolute.parent_path();
    for (struct stat st{}; ::lstat(d.c_str(), &st) != 0 && errno == ENOENT && d != d.parent_path(); d = d.parent_path())
        missing.push_back(d);
    if (missing.empty())
        return std::nullopt;
    // What the new directories go into must be safe before anything is made there.
    std::error_code ec;
    const fs::path existing = fs::canonical(d, ec);
    if (ec)
        return Unreachable(store, ec.value());
    if (auto problem = CheckDirectories(store, existing, false))
        return problem;
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
        if (::mkdir(it->c_str(), 0700) == 0) {
            // Ours and new: owner-only even when the umask took bits from 0700.
            ::chmod(it->c_str(), 0700);
            continue;
        }
        const int err = errno;
        if (err == EEXIST)
            continue;
        if (err == EACCES || err == EPERM)
            return Problem{Status::AccessDenied, "The directory " + it->string() + " for the settings store " + store +
                                                     " cannot be created: " + std::strerror(err) +
                                                     "; it needs administrator rights (" + AdminHint() + ")."};
        return Problem{Status::IoFailed, "The directory " + it->string() + " for the settings store " + store +
                                             " cannot be created: " + std::strerror(err) + "."};
    }
    return std::nullopt;
}

std::optional<Problem> Check(const std::string& store, Checked* checked) {
    const fs::path absolute = fs::absolute(store);

    // The real file: beside it SQLite keeps its journal.
    std::error_code ec;
    fs::path real = fs::canonical(absolute, ec);
    if (ec) {
        const fs::path dir = fs::canonical(absolute.parent_path(), ec);
        if (ec) {
            if (ec.value() == ENOENT || ec.value() == ENOTDIR)
                return Problem{Status::FileNotFound, "The settings store " + store + " does not exist."};
            return Unreachable(store, ec.value());
        }
        real = dir / absolute.filename();
    }
    if (auto problem = CheckDirectories(store, real.parent_path(), true))
        return problem;
    if (auto problem = CheckWrittenPath(store, absolute))
        return problem;
    if (checked)
        *checked = Checked{real.string()};

    struct stat st {};
    if (::stat(real.c_str(), &st) != 0)
        return errno == ENOENT ? std::nullopt : std::optional<Problem>(Unreachable(store, errno));
    if (!S_ISREG(st.st_mode))
        return Problem{Status::BadDatabase, "The settings store " + store + " is " + KindOf(st.st_mode) +
                                                ", not a store file; point NORVANE_REGISTRY at the store, or move " +
                                                "this out of the way."};
    if (!Trusted(st.st_uid))
        return Refused(store, "it belongs to the user " + UserName(st.st_uid) + "; give it to " + Me() + " (chown " +
                                  Me() + " " + real.string() + ")");
    if (const Writers writers = OtherWriters(st, real.string()); !writers.empty())
        return Refused(store, "it may be written by " + writers.who + "; make it writable by its owner only (" +
                                  writers.fix + ")");
    if (checked)
        *checked = Checked{real.string(), true, st.st_dev, st.st_ino};

    const std::string journal = real.string() + "-journal";
    if (::lstat(journal.c_str(), &st) == 0) {
        std::string why;
        if (!S_ISREG(st.st_mode))
            why = std::string("is ") + KindOf(st.st_mode);
        else if (!Trusted(st.st_uid))
            why = "belongs to the user " + UserName(st.st_uid);
        else if (const Writers writers = OtherWriters(st, journal); !writers.empty())
            why = "may be written by " + writers.who;
        if (!why.empty())
            return Refused(store, "its journal " + journal + " " + why +
                                      " and would be played back into the store; an administrator should look at it " +
                                      "and remove it");
    }
    return std::nullopt;
}

std::optional<std::string> NotWritableBecause(const std::string& real) {
    struct statvfs fs {};
    if (::statvfs(real.c_str(), &fs) == 0 && (fs.f_flag & ST_RDONLY))
        return "it lies on a file system that is mounted read-only; remount it read-write (mount -o remount,rw) "
               "or point NORVANE_REGISTRY at a store on a writable one";
    return std::nullopt;
}

std::optional<Problem> Create(const std::string& store) {
    const int fd = ::open(store.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0) {
        // The store holds database passwords: owner-only, whatever the umask.
        ::fchmod(fd, 0600);
        ::close(fd);
        return std::nullopt;
    }
    const int err = errno;
    if (err == EEXIST)
        return std::nullopt;
    if (err == EACCES || err == EPERM)
        return Problem{Status::AccessDenied, "The settings store " + store +
                                                 " cannot be created: " + std::strerror(err) +
                                                 "; it needs administrator rights (" + AdminHint() + ")."};
    return Problem{err == ENOSPC ? Status::DiskFull : Status::IoFailed,
                   "The settings store " + store + " cannot be created: " + std::strerror(err) + "."};
}

}  // namespace norvane::StoreFile
