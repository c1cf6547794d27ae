#pragma once
// The five platform operations on registry keys, behind one interface so that the
// Registry module works the same over the Windows registry and the embedded store.
// Status codes are the Windows ones whatever the platform.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace norvane {

using HKey = std::uintptr_t;

namespace Status {
constexpr std::int32_t Success = 0;
constexpr std::int32_t FileNotFound = 2;    // ERROR_FILE_NOT_FOUND: missing key or value
constexpr std::int32_t AccessDenied = 5;    // ERROR_ACCESS_DENIED
constexpr std::int32_t InvalidHandle = 6;   // ERROR_INVALID_HANDLE
constexpr std::int32_t DiskFull = 112;      // ERROR_DISK_FULL
constexpr std::int32_t Busy = 170;          // ERROR_BUSY
constexpr std::int32_t MoreData = 234;      // ERROR_MORE_DATA
constexpr std::int32_t BadDatabase = 1009;  // ERROR_BADDB
constexpr std::int32_t IoFailed = 1016;     // ERROR_REGISTRY_IO_FAILED
constexpr std::int32_t Unsupported = -1;    // QueryValue: value of a type it does not handle
}  // namespace Status

namespace RegType {
constexpr std::uint32_t None = 0;
constexpr std::uint32_t Sz = 1;
constexpr std::uint32_t ExpandSz = 2;
constexpr std::uint32_t Binary = 3;
constexpr std::uint32_t Dword = 4;
constexpr std::uint32_t MultiSz = 7;
}  // namespace RegType

namespace Access {
constexpr std::uint32_t QueryValue = 0x1;
constexpr std::uint32_t SetValue = 0x2;
constexpr std::uint32_t CreateSubKey = 0x4;
constexpr std::uint32_t EnumerateSubKeys = 0x8;
constexpr std::uint32_t Notify = 0x10;
constexpr std::uint32_t CreateLink = 0x20;
constexpr std::uint32_t AllAccess = 0x3F;  // what every open and create of the module asks for
}  // namespace Access

constexpr std::uint32_t HKEY_LOCAL_MACHINE_ROOT = 0x80000002u;

struct ValueEntry {
    std::string name;
    std::uint32_t type = RegType::None;
    std::string data;  // the exact stored bytes
};

class KeyStore {
public:
    virtual ~KeyStore() = default;

    // RegOpenKeyExA: 0 and a handle, or 2 when the key does not exist.
    virtual std::int32_t OpenKey(std::uint32_t root, const std::string& path, std::uint32_t access, HKey& key) = 0;
    // RegCreateKeyExA: the key and every missing key above it exist afterwards.
    virtual std::int32_t CreateKey(std::uint32_t root, const std::string& path, std::uint32_t access, HKey& key) = 0;
    // RegQueryValueExA: with data null, gives type and size; otherwise fills data when *size is
    // large enough (234 when it is not, with *size set to what is needed).
    virtual std::int32_t QueryValue(HKey key, const std::string& name, std::uint32_t* type, unsigned char* data,
                                    std::uint32_t* size) = 0;
    // RegSetValueExA: stores the bytes as given.
    virtual std::int32_t SetValue(HKey key, const std::string& name, std::uint32_t type, const unsigned char* data,
                                  std::uint32_t size) = 0;
    virtual std::int32_t CloseKey(HKey key) = 0;

    // What the command-line companion needs beyond the five.
    virtual std::int32_t EnumValues(HKey key, std::vector<ValueEntry>& values) = 0;
    virtual std::int32_t EnumSubKeys(HKey key, std::vector<std::string>& names) = 0;
    virtual std::int32_t DeleteValue(HKey key, const std::string& name) = 0;
    // Deletes the key below root with everything under it.
    virtual std::int32_t DeleteTree(std::uint32_t root, const std::string& path) = 0;

    // A batch of writes that lands whole or not at all. Stores without transactions
    // (the Windows registry) accept these and let each write stand alone.
    virtual std::int32_t BeginBatch() { return Status::Success; }
    virtual std::int32_t CommitBatch() { return Status::Success; }
    virtual void RollbackBatch() {}

    // Several reads that see one state of the store: no other process's write lands
    // between them. 0 when the reads may go ahead; 2 when there is no store yet (a first
    // run, nothing to read); any other status when the store exists but cannot be read,
    // with LastErrorText() naming the store and the reason.
    virtual std::int32_t BeginRead() { return Status::Success; }
    virtual void EndRead() {}

    // Where the store lives, for messages to the operator (the embedded store's file).
    virtual std::string Location() const { return {}; }

    // Told true when an operation has waited longer than a moment for another process
    // that holds the store, and false when that wait is over.
    using WaitNotifier = std::function<void(bool waiting)>;
    virtual void SetWaitNotifier(WaitNotifier notifier) { (void)notifier; }

    // The store's own words for the last failure, for messages to the operator.
    virtual std::string LastErrorText() const = 0;
};

// The store this platform uses: the Windows registry on Windows, elsewhere the embedded
// store at $NORVANE_REGISTRY or /var/lib/norvane/registry.db.
std::unique_ptr<KeyStore> MakePlatformStore();
std::string DefaultStorePath();

}  // namespace norvane
