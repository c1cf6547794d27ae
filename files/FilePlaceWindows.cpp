#include "FilePlace.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>

#include <io.h>
#include <windows.h>

namespace norvane {

namespace {

DiskState StateOf(HANDLE handle) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(handle, &info))
        return {};
    auto join = [](DWORD high, DWORD low) { return (std::uint64_t(high) << 32) | low; };
    // The volume and file index name the file as device and inode do; the last write and
    // the creation time (which a replacement changes) stand in for the two times.
    return {info.dwVolumeSerialNumber,
            join(info.nFileIndexHigh, info.nFileIndexLow),
            static_cast<std::int64_t>(join(info.nFileSizeHigh, info.nFileSizeLow)),
            static_cast<std::int64_t>(join(info.ftLastWriteTime.dwHighDateTime, info.ftLastWriteTime.dwLowDateTime)),
            0,
            static_cast<std::int64_t>(join(info.ftCreationTime.dwHighDateTime, info.ftCreationTime.dwLowDateTime)),
            0};
}

}  // namespace

// Only an administrator may make symbolic links on Windows, and a folder's rights are
// its ACL, which a save keeps: the path is taken as the system resolves it.
Destination WhereLinkLeads(const QString& path) {
    const QFileInfo info(QDir::current(), path);
    const QString canonical = info.canonicalFilePath();
    return {canonical.isEmpty() ? QDir::cleanPath(info.absoluteFilePath()) : canonical, 0, {}};
}

std::optional<DiskState> DiskStateOf(const QString& path) {
    // No access asked for: only the file's identity and times are read.
    const HANDLE handle = CreateFileW(reinterpret_cast<const wchar_t*>(QDir::toNativeSeparators(path).utf16()), 0,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return std::nullopt;
    const DiskState state = StateOf(handle);
    CloseHandle(handle);
    return state;
}

int OpenToRead(QFile& file, const QString& target, DiskState* state, bool* regular) {
    const QFileInfo info(target);
    if (info.isDir())
        return EISDIR;
    if (!info.exists())
        return ENOENT;
    file.setFileName(target);
    if (!file.open(QIODevice::ReadOnly))
        return file.error() == QFileDevice::PermissionsError ? EACCES : EIO;
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(file.handle()));
    *regular = GetFileType(handle) == FILE_TYPE_DISK;
    *state = StateOf(handle);
    return 0;
}

}  // namespace norvane
