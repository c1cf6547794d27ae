#include "FileWrite.h"

#include "FileAttributes.h"

#include <QCoreApplication>
#include <QFile>
#include <QSaveFile>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace norvane {

QString SystemErrorText(int code) { return QString::fromLocal8Bit(std::strerror(code)); }

namespace {

QString tr(const char* text) { return QCoreApplication::translate("norvane::FileWrite", text); }

// The error of the last failed call; Qt's own words only when it set no errno.
WriteOutcome Failed(int code, const QString& otherwise = {}) {
    if (code == 0 && !otherwise.isEmpty())
        return {false, otherwise};
    return {false, SystemErrorText(code ? code : EIO)};
}

class Descriptor {
public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    ~Descriptor() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

// Writes bytes [from, to) of the pieces, one after the other, at the same offsets of the file.
bool WriteRange(int fd, const QList<QByteArrayView>& pieces, off_t from, off_t to) {
    off_t start = 0;  // of the current piece
    for (const QByteArrayView piece : pieces) {
        const off_t end = start + piece.size();
        off_t at = std::max(start, from);
        while (at < std::min(end, to)) {
            const ssize_t n =
                ::pwrite(fd, piece.data() + (at - start), static_cast<size_t>(std::min(end, to) - at), at);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                errno = n == 0 ? ENOSPC : errno;
                return false;
            }
            at += n;
        }
        start = end;
    }
    return true;
}

WriteOutcome WriteInPlace(int fd, const FileAttributes& old, const QList<QByteArrayView>& pieces, qsizetype size) {
    // Everything that could stop the write half-way is checked before a byte changes: the
    // process's file size limit, and room on the disk for a longer text.
    rlimit limit{};
    if (::getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
        static_cast<rlim_t>(size) > limit.rlim_cur)
        return Failed(EFBIG);
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return Failed(errno);
    const off_t oldSize = st.st_size;
    off_t head = size;  // what is still to be written, from the start
    if (size > oldSize && ::fallocate(fd, FALLOC_FL_KEEP_SIZE, oldSize, size - oldSize) != 0) {
        if (errno != EOPNOTSUPP && errno != ENOSYS)
            return Failed(errno);
        // No way to reserve the room (ext2, NFSv3): the bytes past the old end are written
        // first and synced, so a full disk stops the save before an old byte is touched.
        if (!WriteRange(fd, pieces, oldSize, size) || ::fsync(fd) != 0) {
            const int code = errno;
            if (::ftruncate(fd, oldSize) == 0)
                ::fsync(fd);
            return Failed(code);
        }
        head = oldSize;
    }
    if (!WriteRange(fd, pieces, 0, head) || ::ftruncate(fd, size) != 0)
        return Failed(errno);
    // A write by someone without the right to keep them clears setuid, setgid and file
    // capabilities: put back what was there.
    const QStringList differ = ApplyFileAttributes(fd, old);
    if (::fsync(fd) != 0)
        return Failed(errno);
    if (!differ.isEmpty())
        return {true, tr("The text was saved, but the file could not keep its %1.").arg(differ.join(tr(", ")))};
    return {true, {}};
}

// Whether a new file can take the place of `name`: the folder takes new names, and the
// file is not a mount of its own (a bind-mounted file cannot be renamed over).
bool Replaceable(const QByteArray& name) {
    const qsizetype slash = name.lastIndexOf('/');
    const QByteArray folder = slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : name.left(slash);
    if (::faccessat(AT_FDCWD, folder.constData(), W_OK | X_OK, AT_EACCESS) != 0)
        return false;
    struct statx stx {};
    return ::statx(AT_FDCWD, name.constData(), AT_SYMLINK_NOFOLLOW, 0, &stx) != 0 ||
           !(stx.stx_attributes_mask & stx.stx_attributes & STATX_ATTR_MOUNT_ROOT);
}

// Why the last call on the file failed; the file is then dropped, the old one untouched.
WriteOutcome Cancel(QSaveFile& file) {
    const WriteOutcome failed = Failed(errno, file.errorString());
    file.cancelWriting();
    return failed;
}

}  // namespace

WriteOutcome WriteFileBytes(const QString& path, const QList<QByteArrayView>& pieces, qsizetype size) {
    const QByteArray name = QFile::encodeName(path);
    const std::optional<FileAttributes> old = ReadFileAttributes(name);
    if (!old && errno != ENOENT)
        return Failed(errno);
    if (old && old->type == S_IFDIR)
        return Failed(EISDIR);
    // The file itself must be writable, as it must for any editor; this also gives the
    // description of why it is not.
    const Descriptor writable(old ? ::open(name.constData(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK) : -1);
    if (old && writable.get() < 0)
        return Failed(errno);
    // The file is writable, so a replacement that cannot be made is no reason to fail.
    if (old && (old->links > 1 || !old->complete || !Replaceable(name)))
        return WriteInPlace(writable.get(), *old, pieces, size);

    QSaveFile file(path);
    errno = 0;
    if (!file.open(QIODevice::WriteOnly))
        return Failed(errno, file.errorString());
    // A full disk or a size limit can cut a write short without QSaveFile noticing, and
    // commit() would then put a truncated file in place: every count is checked.
    for (const QByteArrayView piece : pieces) {
        errno = 0;
        if (file.write(piece.data(), piece.size()) != piece.size())
            return Cancel(file);
    }
    errno = 0;
    if (!file.flush())
        return Cancel(file);
    // After the bytes: writing clears setuid, setgid and file capabilities.
    if (old && !ApplyFileAttributes(file.handle(), *old).isEmpty()) {
        file.cancelWriting();
        return WriteInPlace(writable.get(), *old, pieces, size);
    }
    errno = 0;
    if (!file.commit()) {
        // Renaming over the file may still be refused where the checks above could not
        // tell: a mount the kernel does not mark, a sticky folder, a security module.
        const int code = errno;
        if (old && (code == EBUSY || code == EPERM || code == EACCES || code == EXDEV))
            return WriteInPlace(writable.get(), *old, pieces, size);
        return Failed(code, file.errorString());
    }
    return {true, {}};
}

}  // namespace norvane
