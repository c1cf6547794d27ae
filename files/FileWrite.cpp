#include "FileWrite.h"

#include "FileAttributes.h"

#include <QCoreApplication>
#include <QFile>
#include <QSaveFile>

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

bool WriteAt(int fd, const QList<QByteArrayView>& pieces) {
    off_t at = 0;
    for (const QByteArrayView piece : pieces) {
        const char* p = piece.data();
        qsizetype left = piece.size();
        while (left > 0) {
            const ssize_t n = ::pwrite(fd, p, static_cast<size_t>(left), at);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                errno = n == 0 ? ENOSPC : errno;
                return false;
            }
            p += n;
            left -= n;
            at += n;
        }
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
    if (size > old.size && ::fallocate(fd, FALLOC_FL_KEEP_SIZE, old.size, size - old.size) != 0 &&
        errno != EOPNOTSUPP && errno != ENOSYS)
        return Failed(errno);
    if (!WriteAt(fd, pieces) || ::ftruncate(fd, size) != 0)
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
    if (old && (old->links > 1 || !old->complete))
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
    if (!file.commit())
        return Failed(errno, file.errorString());
    return {true, {}};
}

}  // namespace norvane
