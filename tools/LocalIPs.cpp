#include "LocalIPs.h"

#include "Registry.h"
#include "Settings.h"

#ifdef _WIN32
// winsock2 must come before windows.h, which iphlpapi includes.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>
#else
#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netinet/in.h>
#endif

namespace norvane::LocalIPs {

namespace {

constexpr std::uint32_t LocalMachine = 0x80000002u;
constexpr const char* VersionKey = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
constexpr const char* LinkageKey = "SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Linkage";
constexpr const char* Unbound = "0.0.0.0";
constexpr std::size_t DevicePrefixLength = 8;  // "\Device\"

// The address as dotted text, or empty for "0.0.0.0" and what cannot be written.
std::string Dotted(const sockaddr* address) {
    if (!address || address->sa_family != AF_INET)
        return {};
    char text[INET_ADDRSTRLEN] = {};
    const auto* ip = reinterpret_cast<const sockaddr_in*>(address);
    if (!inet_ntop(AF_INET, &ip->sin_addr, text, sizeof text) || std::string_view(text) == Unbound)
        return {};
    return text;
}

// The Windows version from the registry; one that cannot be read counts as 0, one too
// large to hold is past 5 as well. Moves the Registry location.
bool VersionBelowFive() {
    Registry::SetBaseKey(LocalMachine, VersionKey);
    const std::optional<double> version = Settings::LeadingNumber(Registry::ReadString("", "CurrentVersion"));
    return version && *version < 5;
}

}  // namespace

std::vector<std::string> ForThisMachine() {
#ifdef _WIN32
    return VersionBelowFive() ? FromRegistry() : FromAdapters();
#else
    return FromInterfaces();
#endif
}

std::vector<std::string> FromInterfaces() {
    // Every configured IPv4 address, loopback included: the server may be told to
    // listen on any address the machine has, whether its interface is up or not.
    std::vector<std::string> addresses;
#ifndef _WIN32
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0)
        return addresses;
    for (const ifaddrs* entry = list; entry; entry = entry->ifa_next) {
        if (std::string text = Dotted(entry->ifa_addr); !text.empty())
            addresses.push_back(std::move(text));
    }
    freeifaddrs(list);
#endif
    return addresses;
}

std::vector<std::string> FromAdapters() {
    std::vector<std::string> addresses;
#ifdef _WIN32
    // The list may grow between the call that sizes the buffer and the one that fills it.
    constexpr ULONG Flags = GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER;
    ULONG size = 16 * 1024;
    std::vector<std::uint64_t> buffer;  // aligned as the structures need
    ULONG rc = ERROR_BUFFER_OVERFLOW;
    for (int attempt = 0; attempt < 4 && rc == ERROR_BUFFER_OVERFLOW; ++attempt) {
        buffer.assign(size / sizeof(std::uint64_t) + 1, 0);
        rc = GetAdaptersAddresses(AF_INET, Flags, nullptr, reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()),
                                  &size);
    }
    if (rc != NO_ERROR)
        return addresses;
    for (auto* adapter = reinterpret_cast<const IP_ADAPTER_ADDRESSES*>(buffer.data()); adapter;
         adapter = adapter->Next) {
        for (const IP_ADAPTER_UNICAST_ADDRESS* unicast = adapter->FirstUnicastAddress; unicast;
             unicast = unicast->Next) {
            if (std::string text = Dotted(unicast->Address.lpSockaddr); !text.empty())
                addresses.push_back(std::move(text));
        }
    }
#endif
    return addresses;
}

std::vector<std::string> FromRegistry() {
    std::vector<std::string> addresses;
    if (!VersionBelowFive())
        return addresses;

    Registry::SetBaseKey(LocalMachine, LinkageKey);
    const std::string bind = Registry::ReadString("", "Bind");

    // Every device path ends with a NUL; whatever follows the last NUL is no entry.
    std::vector<std::string> devices;
    std::string entry;
    for (char c : bind) {
        if (c == '\0') {
            devices.push_back(entry);
            entry.clear();
        } else {
            entry.push_back(c);
        }
    }

    for (const std::string& device : devices) {
        // An adapter that cannot be read gives nothing; the adapters after it still count.
        if (device.size() < DevicePrefixLength)
            continue;
        const std::string adapter = device.substr(DevicePrefixLength);
        Registry::SetBaseKey(LocalMachine, "SYSTEM\\CurrentControlSet\\Services\\" + adapter + "\\Parameters\\Tcpip");
        std::string value = Registry::ReadString("", "IPAddress");
        if (value.empty())
            continue;
        if (value.back() != '\0')
            value.push_back('\0');

        std::string token;
        for (char c : value) {
            if (c == ' ' || c == '\0') {
                if (token != Unbound)
                    addresses.push_back(token);
                token.clear();
            } else {
                token.push_back(c);
            }
        }
    }
    return addresses;
}

}  // namespace norvane::LocalIPs
