#include "FilePlace.h"

#include <QCoreApplication>
#include <QDir>

#include <cerrno>

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace norvane {

namespace {

QString tr(const char* text) { return QCoreApplication::translate("norvane::TextFileEditor", text); }

// Root may change anything anyway; the operator is the one who asked for the file.
bool Trusted(uid_t uid) { return uid == 0 || uid == ::geteuid(); }

QString UserName(uid_t uid) {
    const passwd* pw = ::getpwuid(uid);
    return pw ? QString::fromLocal8Bit(pw->pw_name) : QString::number(uid);
}

DiskState StateOf(const struct stat& st) {
    return {st.st_dev,          st.st_ino,         st.st_size,        st.st_mtim.tv_sec,
            st.st_mtim.tv_nsec, st.st_ctim.tv_sec, st.st_ctim.tv_nsec};
}

}  // namespace

// Follows the path as the kernel would, one name at a time, to the file it names in the
// end (also when that is still to be made). A link, or a folder on the way, that another
// user owns is refused: that user could make it lead to any file root may write.
Destination WhereLinkLeads(const QString& path) {
    QStringList rest =
        (path.startsWith(u'/') ? path : QDir::currentPath() + u'/' + path).split(u'/', Qt::SkipEmptyParts);
    QStringList done;  // the real folders so far
    auto joined = [&done](const QString& name) { return u'/' + (done + QStringList{name}).join(u'/'); };
    for (int links = 0; !rest.isEmpty();) {
        const QString name = rest.takeFirst();
        if (name == u".")
            continue;
        if (name == u"..") {
            if (!done.isEmpty())
                done.removeLast();
            continue;
        }
        const QString here = joined(name);
        const QByteArray encoded = QFile::encodeName(here);
        struct stat st {};
        if (::lstat(encoded.constData(), &st) != 0) {
            if (errno == ENOENT && rest.isEmpty())
                return {here, 0, {}};  // a file still to be made
            return {{}, errno, {}};
        }
        if (S_ISLNK(st.st_mode)) {
            if (!Trusted(st.st_uid))
                return {{},
                        0,
                        tr("%1 is a symbolic link that belongs to the user %2, who could point it at "
                           "any file; it is not followed. Replace it with the file itself or a link of "
                           "your own.")
                            .arg(here, UserName(st.st_uid))};
            if (++links > 40)
                return {{}, ELOOP, {}};
            QByteArray buffer(4096, Qt::Uninitialized);
            const ssize_t n = ::readlink(encoded.constData(), buffer.data(), static_cast<size_t>(buffer.size()));
            if (n < 0)
                return {{}, errno, {}};
            const QString to = QFile::decodeName(buffer.first(n));
            if (to.startsWith(u'/'))
                done.clear();
            rest = to.split(u'/', Qt::SkipEmptyParts) + rest;
            continue;
        }
        if (!rest.isEmpty()) {
            if (!S_ISDIR(st.st_mode))
                return {{}, ENOTDIR, {}};
            if (!Trusted(st.st_uid))
                return {{},
                        0,
                        tr("The folder %1 belongs to the user %2, who could put any file in the place of "
                           "the one named; it is not used. Give it to root or to %3.")
                            .arg(here, UserName(st.st_uid), UserName(::geteuid()))};
        }
        done << name;
    }
    return {u'/' + done.join(u'/'), 0, {}};
}

std::optional<DiskState> DiskStateOf(const QString& path) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return std::nullopt;
    return StateOf(st);
}

int OpenToRead(QFile& file, const QString& target, DiskState* state, bool* regular) {
    // Not blocking: a pipe put in the file's place must not hang the window.
    const int fd = ::open(QFile::encodeName(target).constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0)
        return errno;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return EIO;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return errno;
    if (S_ISDIR(st.st_mode))
        return EISDIR;
    *regular = S_ISREG(st.st_mode);
    *state = StateOf(st);
    return 0;
}

}  // namespace norvane
