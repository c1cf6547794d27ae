#include "FileAttributes.h"

#include <QCoreApplication>

#include <algorithm>
#include <cerrno>

#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace norvane {

namespace {

QString tr(const char* text) { return QCoreApplication::translate("norvane::FileAttributes", text); }

// Calls a list or get function of the xattr family until the value fits (it may grow
// between the size query and the read); nullopt with errno set on failure.
template <typename Call>
std::optional<QByteArray> ReadGrowing(Call call) {
    for (;;) {
        const ssize_t size = call(nullptr, 0);
        if (size < 0)
            return std::nullopt;
        QByteArray buffer(static_cast<qsizetype>(size), Qt::Uninitialized);
        const ssize_t got = call(buffer.data(), buffer.size());
        if (got >= 0) {
            buffer.truncate(got);
            return buffer;
        }
        if (errno != ERANGE)
            return std::nullopt;
    }
}

// The names in a list from listxattr; nullopt when they cannot be listed. A file system
// without extended attributes has none.
template <typename List>
std::optional<QList<QByteArray>> Names(List list) {
    const std::optional<QByteArray> all = ReadGrowing(list);
    if (!all)
        return errno == ENOTSUP ? std::optional<QList<QByteArray>>(QList<QByteArray>()) : std::nullopt;
    QList<QByteArray> names = all->split('\0');
    names.removeAll(QByteArray());
    return names;
}

QString Describe(const QByteArray& name) {
    if (name == "system.posix_acl_access")
        return tr("access control list");
    return tr("extended attribute %1").arg(QString::fromLatin1(name));
}

}  // namespace

std::optional<FileAttributes> ReadFileAttributes(const QByteArray& path) {
    struct stat st {};
    if (::lstat(path.constData(), &st) != 0)
        return std::nullopt;
    FileAttributes a;
    a.owner = st.st_uid;
    a.group = st.st_gid;
    a.type = st.st_mode & S_IFMT;
    a.mode = st.st_mode & 07777;
    a.links = st.st_nlink;
    a.device = st.st_dev;
    a.inode = st.st_ino;
    a.size = st.st_size;
    const auto names = Names([&](char* list, size_t size) { return ::llistxattr(path.constData(), list, size); });
    a.complete = names.has_value();
    for (const QByteArray& name : names.value_or(QList<QByteArray>())) {
        const auto value = ReadGrowing(
            [&](char* buffer, size_t size) { return ::lgetxattr(path.constData(), name.constData(), buffer, size); });
        if (value)
            a.extended.emplace_back(name, *value);
        else if (errno != ENODATA)  // gone since the list was read
            a.complete = false;
    }
    return a;
}

QStringList ApplyFileAttributes(int fd, const FileAttributes& a) {
    QStringList differ;
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return {tr("owner"), tr("group"), tr("permissions")};
    // Owner first: changing it may clear setuid and setgid, which the mode below restores.
    if ((st.st_uid != a.owner || st.st_gid != a.group) && ::fchown(fd, a.owner, a.group) != 0) {
        if (st.st_uid != a.owner)
            differ << tr("owner");
        if (st.st_gid != a.group && ::fchown(fd, static_cast<uid_t>(-1), a.group) != 0)
            differ << tr("group");
    }

    const auto names = Names([&](char* list, size_t size) { return ::flistxattr(fd, list, size); });
    if (!names)
        return differ << tr("extended attributes");
    for (const QByteArray& name : *names) {
        const bool wanted =
            std::any_of(a.extended.begin(), a.extended.end(), [&](const auto& e) { return e.first == name; });
        if (!wanted && ::fremovexattr(fd, name.constData()) != 0 && errno != ENODATA)
            differ << Describe(name);
    }
    for (const auto& [name, value] : a.extended) {
        const char* key = name.constData();
        const auto now =
            ReadGrowing([fd, key](char* buffer, size_t size) { return ::fgetxattr(fd, key, buffer, size); });
        if ((!now || *now != value) && ::fsetxattr(fd, key, value.constData(), value.size(), 0) != 0)
            differ << Describe(name);
    }

    // The mode last: setting an ACL may clear setgid. Without the right to keep them the
    // kernel drops setuid and setgid silently, so the result is read back.
    const bool same = ::fstat(fd, &st) == 0 && (st.st_mode & 07777) == a.mode;
    if (!same && (::fchmod(fd, a.mode) != 0 || ::fstat(fd, &st) != 0 || (st.st_mode & 07777) != a.mode))
        differ << tr("permissions %1").arg(a.mode, 4, 8, QLatin1Char('0'));
    return differ;
}

}  // namespace norvane
