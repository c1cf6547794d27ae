#include "LocalIPs.h"

#include "Registry.h"
#include "Settings.h"

#include <QHostAddress>
#include <QNetworkAddressEntry>
#include <QNetworkInterface>

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
    const QList<QNetworkInterface> interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface& interface : interfaces) {
        const QList<QNetworkAddressEntry> entries = interface.addressEntries();
        for (const QNetworkAddressEntry& entry : entries) {
            const QHostAddress ip = entry.ip();
            if (ip.protocol() != QAbstractSocket::IPv4Protocol)
                continue;
            const std::string text = ip.toString().toStdString();
            if (text != Unbound)
                addresses.push_back(text);
        }
    }
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
