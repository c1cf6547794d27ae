#include "WindowsStore.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace norvane {
namespace {

// Predefined roots are 32-bit values that Windows sign-extends into a handle
// (HKEY_LOCAL_MACHINE is 0xFFFFFFFF80000002 on 64-bit Windows).
bool RootHandle(std::uint32_t root, HKEY& handle) {
    if (root < 0x80000000u || root > 0x80000006u)
        return false;
    handle = reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG_PTR>(static_cast<std::int32_t>(root))));
    return true;
}

HKEY Handle(HKey key) { return reinterpret_cast<HKEY>(key); }
HKey FromHandle(HKEY key) { return reinterpret_cast<HKey>(key); }

// A key path without leading or trailing separators, as the embedded store takes it; the
// registry itself refuses a path that begins with "\".
std::string Normalise(const std::string& path) {
    const std::size_t b = path.find_first_not_of('\\');
    if (b == std::string::npos)
        return {};
    return path.substr(b, path.find_last_not_of('\\') - b + 1);
}

}  // namespace

std::int32_t WindowsStore::Note(long status) {
    m_lastStatus = static_cast<std::int32_t>(status);
    return m_lastStatus;
}

std::int32_t WindowsStore::OpenKey(std::uint32_t root, const std::string& path, std::uint32_t access, HKey& key) {
    key = 0;
    HKEY rootKey{};
    if (!RootHandle(root, rootKey))
        return Note(ERROR_INVALID_HANDLE);
    HKEY opened{};
    const LONG status = RegOpenKeyExA(rootKey, Normalise(path).c_str(), 0, access, &opened);
    if (status == ERROR_SUCCESS)
        key = FromHandle(opened);
    return Note(status);
}

std::int32_t WindowsStore::CreateKey(std::uint32_t root, const std::string& path, std::uint32_t access, HKey& key) {
    key = 0;
    HKEY rootKey{};
    if (!RootHandle(root, rootKey))
        return Note(ERROR_INVALID_HANDLE);
    HKEY created{};
    const LONG status = RegCreateKeyExA(rootKey, Normalise(path).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access,
                                        nullptr, &created, nullptr);
    if (status == ERROR_SUCCESS)
        key = FromHandle(created);
    return Note(status);
}

std::int32_t WindowsStore::QueryValue(HKey key, const std::string& name, std::uint32_t* type, unsigned char* data,
                                      std::uint32_t* size) {
    DWORD t = 0;
    DWORD n = size ? *size : 0;
    const LONG status = RegQueryValueExA(Handle(key), name.c_str(), nullptr, &t, data, size ? &n : nullptr);
    if (type && (status == ERROR_SUCCESS || status == ERROR_MORE_DATA))
        *type = t;
    if (size && (status == ERROR_SUCCESS || status == ERROR_MORE_DATA))
        *size = n;
    return Note(status);
}

std::int32_t WindowsStore::SetValue(HKey key, const std::string& name, std::uint32_t type, const unsigned char* data,
                                    std::uint32_t size) {
    // Windows (and Wine) add a NUL of their own to string data whose byte just past the
    // counted ones is 0. The store keeps exactly the bytes it is given, so the data goes
    // through a copy whose next byte is not 0.
    std::vector<unsigned char> copy(static_cast<std::size_t>(size) + 1, 0xFF);
    if (size)
        std::memcpy(copy.data(), data, size);
    return Note(RegSetValueExA(Handle(key), name.c_str(), 0, type, copy.data(), size));
}

std::int32_t WindowsStore::CloseKey(HKey key) { return Note(RegCloseKey(Handle(key))); }

std::int32_t WindowsStore::EnumValues(HKey key, std::vector<ValueEntry>& values) {
    values.clear();
    DWORD maxName = 0;
    DWORD maxData = 0;
    LONG status = RegQueryInfoKeyA(Handle(key), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &maxName,
                                   &maxData, nullptr, nullptr);
    if (status != ERROR_SUCCESS)
        return Note(status);
    std::vector<char> name(maxName + 1);
    std::vector<unsigned char> data(maxData ? maxData : 1);
    for (DWORD index = 0;;) {
        DWORD nameSize = static_cast<DWORD>(name.size());
        DWORD dataSize = static_cast<DWORD>(data.size());
        DWORD type = 0;
        status = RegEnumValueA(Handle(key), index, name.data(), &nameSize, nullptr, &type, data.data(), &dataSize);
        if (status == ERROR_NO_MORE_ITEMS)
            break;
        if (status == ERROR_MORE_DATA) {
            // A value grew since the key was measured: make room and ask again.
            name.resize(name.size() * 2);
            data.resize(std::max<std::size_t>(data.size() * 2, dataSize));
            continue;
        }
        if (status != ERROR_SUCCESS)
            return Note(status);
        values.push_back({std::string(name.data(), nameSize), type,
                          std::string(reinterpret_cast<const char*>(data.data()), dataSize)});
        ++index;
    }
    return Note(ERROR_SUCCESS);
}

std::int32_t WindowsStore::EnumSubKeys(HKey key, std::vector<std::string>& names) {
    names.clear();
    DWORD maxName = 0;
    LONG status = RegQueryInfoKeyA(Handle(key), nullptr, nullptr, nullptr, nullptr, &maxName, nullptr, nullptr, nullptr,
                                   nullptr, nullptr, nullptr);
    if (status != ERROR_SUCCESS)
        return Note(status);
    std::vector<char> name(maxName + 1);
    for (DWORD index = 0;;) {
        DWORD nameSize = static_cast<DWORD>(name.size());
        status = RegEnumKeyExA(Handle(key), index, name.data(), &nameSize, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS)
            break;
        if (status == ERROR_MORE_DATA) {
            name.resize(name.size() * 2);
            continue;
        }
        if (status != ERROR_SUCCESS)
            return Note(status);
        names.emplace_back(name.data(), nameSize);
        ++index;
    }
    return Note(ERROR_SUCCESS);
}

std::int32_t WindowsStore::DeleteValue(HKey key, const std::string& name) {
    return Note(RegDeleteValueA(Handle(key), name.c_str()));
}

std::int32_t WindowsStore::DeleteTree(std::uint32_t root, const std::string& path) {
    HKEY rootKey{};
    if (!RootHandle(root, rootKey))
        return Note(ERROR_INVALID_HANDLE);
    const std::string p = Normalise(path);
    // With an empty path RegDeleteTreeA would empty the root itself.
    if (p.empty())
        return Note(ERROR_ACCESS_DENIED);
    return Note(RegDeleteTreeA(rootKey, p.c_str()));
}

std::string WindowsStore::LastErrorText() const {
    if (m_lastStatus == Status::Success)
        return {};
    char* buffer = nullptr;
    const DWORD length =
        FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, static_cast<DWORD>(m_lastStatus), 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
    std::string text = length && buffer ? std::string(buffer, length) : std::string();
    if (buffer)
        LocalFree(buffer);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' || text.back() == '.'))
        text.pop_back();
    if (text.empty())
        text = "error " + std::to_string(m_lastStatus);
    return text;
}

}  // namespace norvane
