#include "LocalIPs.h"

#include "Registry.h"
#include "Settings.h"

#ifndef _WIN32
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

}  // namespace

std::vector<std::string> FromInterfaces() {
    // Every configured IPv4 address, loopback included: the server may be told to
    // listen on any address the machine has, whether its interface is up or not.
    std::vector<std::string> addresses;
#ifndef _WIN32
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0)
        return addresses;
    for (const ifaddrs* entry = list; entry; entry = entry->ifa_next) {
        if (!entry->ifa_addr || entry->ifa_addr->sa_family != AF_INET)
            continue;
        char text[INET_ADDRSTRLEN] = {};
        const auto* ip = reinterpret_cast<const sockaddr_in*>(entry->ifa_addr);
        if (inet_ntop(AF_INET, &ip->sin_addr, text, sizeof text) && std::string_view(text) != Unbound)
            addresses.emplace_back(text);
    }
    freeifaddrs(list);
#endif
    return addresses;
}

std::vector<std::string> FromRegistry() {
    std::vector<std::string> addresses;

    Registry::SetBaseKey(LocalMachine, VersionKey);
    // A version that cannot be read counts as 0; one too large to hold is past 5 as well.
    const std::optional<double> version = Settings::LeadingNumber(Registry::ReadString("", "CurrentVersion"));
    if (!version || *version >= 5)
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
