#include "FileWrite.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <string>

#include <windows.h>

namespace norvane {

QString SystemErrorText(int code) { return QString::fromLocal8Bit(std::strerror(code)); }

namespace {

QString tr(const char* text) { return QCoreApplication::translate("norvane::FileWrite", text); }

std::wstring Wide(const QString& path) { return QDir::toNativeSeparators(path).toStdWString(); }

// The system's own words for a Win32 error.
WriteOutcome Failed(DWORD code) {
    wchar_t* text = nullptr;
    const DWORD n =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    QString message =
        n ? QString::fromWCharArray(text, static_cast<qsizetype>(n)).trimmed() : tr("Windows error %1.").arg(code);
    LocalFree(text);
    return {false, message};
}

class Handle {
public:
    explicit Handle(HANDLE handle) : m_handle(handle) {}
    ~Handle() { Close(); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE get() const { return m_handle; }
    bool valid() const { return m_handle != INVALID_HANDLE_VALUE; }
    bool Close() {
        const bool closed = !valid() || CloseHandle(m_handle);
        m_handle = INVALID_HANDLE_VALUE;
        return closed;
    }

private:
    HANDLE m_handle;
};

bool WriteAll(HANDLE handle, const QList<QByteArrayView>& pieces) {
    for (const QByteArrayView piece : pieces) {
        for (qsizetype at = 0; at < piece.size();) {
            DWORD written = 0;
            const auto n = static_cast<DWORD>(std::min<qsizetype>(piece.size() - at, 1 << 30));
            if (!WriteFile(handle, piece.data() + at, n, &written, nullptr))
                return false;
            if (written == 0) {
                SetLastError(ERROR_DISK_FULL);
                return false;
            }
            at += written;
        }
    }
    return true;
}

}  // namespace

// The new bytes go to a new file in the same folder, flushed to the disk, which then takes
// the old one's place with ReplaceFileW: that keeps the old file's ACL, attributes,
// streams and creation time, and a failure at any step leaves the old file whole.
WriteOutcome WriteFileBytes(const QString& path, const QList<QByteArrayView>& pieces, qsizetype) {
    const std::wstring target = Wide(path);
    const DWORD attributes = GetFileAttributesW(target.c_str());
    const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
    if (!exists && GetLastError() != ERROR_FILE_NOT_FOUND)
        return Failed(GetLastError());
    if (exists && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return {false, SystemErrorText(EISDIR)};
    // The file itself must be writable, as it must for any editor; this also gives the
    // reason when it is not (read-only, in use, no right).
    if (exists) {
        Handle writable(CreateFileW(target.c_str(), GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!writable.valid())
            return Failed(GetLastError());
    }

    const std::wstring folder = Wide(QFileInfo(path).absolutePath());
    wchar_t temporary[MAX_PATH + 1] = {};
    if (!GetTempFileNameW(folder.c_str(), L"nva", 0, temporary))
        return Failed(GetLastError());
    auto drop = [&temporary](DWORD code) {
        DeleteFileW(temporary);
        return Failed(code);
    };
    {
        Handle file(
            CreateFileW(temporary, GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.valid())
            return drop(GetLastError());
        if (!WriteAll(file.get(), pieces) || !FlushFileBuffers(file.get()))
            return drop(GetLastError());
        if (!file.Close())
            return drop(GetLastError());
    }
    if (!exists) {
        if (!MoveFileExW(temporary, target.c_str(), MOVEFILE_WRITE_THROUGH))
            return drop(GetLastError());
        return {true, {}};
    }
    // With a backup name every failure of ReplaceFileW leaves each file under a known name.
    const std::wstring backup = std::wstring(temporary) + L".old";
    if (ReplaceFileW(target.c_str(), temporary, backup.c_str(), REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr)) {
        DeleteFileW(backup.c_str());
        return {true, {}};
    }
    const DWORD code = GetLastError();
    if (code == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2) {
        // The old file was moved to the backup name and the new one could not follow it:
        // the old one goes back.
        MoveFileExW(backup.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH);
    }
    return drop(code);
}

}  // namespace norvane
