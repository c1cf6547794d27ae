// The address lists: the machine's interfaces, and the Windows TCP/IP layout in the store.
#include "LocalIPs.h"
#include "Registry.h"
#include "support/TestEnv.h"

#ifdef _WIN32
#include <QNetworkInterface>
#else
#include <arpa/inet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

namespace LocalIPs = norvane::LocalIPs;
using norvane::HKey;
using norvane::Registry::Store;
using namespace std::string_literals;

#ifdef _WIN32
// Windows since 2000 (Wine says 6.1): the adapters' IPv4 addresses, in adapter order, as Qt
// lists them too; never "0.0.0.0".
TEST(ToolsLocalIPs, AdaptersGiveEveryIPv4Address) {
    std::vector<std::string> expected;
    for (const QNetworkInterface& adapter : QNetworkInterface::allInterfaces())
        for (const QNetworkAddressEntry& entry : adapter.addressEntries())
            if (entry.ip().protocol() == QAbstractSocket::IPv4Protocol && entry.ip().toString() != "0.0.0.0")
                expected.push_back(entry.ip().toString().toStdString());
    const std::vector<std::string> listed = LocalIPs::ForThisMachine();
    EXPECT_EQ(listed, expected);
    EXPECT_NE(std::find(listed.begin(), listed.end(), "127.0.0.1"), listed.end());
}
#else
// What the kernel reports through its older interface list, independently of getifaddrs:
// every IPv4 address of an interface, in interface order.
std::vector<std::string> AddressesFromIoctl() {
    std::vector<std::string> addresses;
    const int sock = socket(AF_INET, SOCK_DGRAM, 0);
    if (sock < 0)
        return addresses;
    std::vector<ifreq> requests(256);
    ifconf list{};
    list.ifc_len = static_cast<int>(requests.size() * sizeof(ifreq));
    list.ifc_req = requests.data();
    if (ioctl(sock, SIOCGIFCONF, &list) == 0) {
        for (std::size_t i = 0; i < static_cast<std::size_t>(list.ifc_len) / sizeof(ifreq); ++i) {
            char text[INET_ADDRSTRLEN] = {};
            const auto* in = reinterpret_cast<const sockaddr_in*>(&requests[i].ifr_addr);
            inet_ntop(AF_INET, &in->sin_addr, text, sizeof text);
            if (text != "0.0.0.0"s)
                addresses.emplace_back(text);
        }
    }
    close(sock);
    return addresses;
}

TEST(ToolsLocalIPs, InterfacesGiveEveryConfiguredIPv4Address) {
    const std::vector<std::string> listed = LocalIPs::FromInterfaces();
    EXPECT_EQ(listed, AddressesFromIoctl());
    // Loopback is configured on every machine and is offered as well.
    EXPECT_NE(std::find(listed.begin(), listed.end(), "127.0.0.1"), listed.end());
    for (const std::string& address : listed) {
        in_addr parsed{};
        EXPECT_EQ(inet_pton(AF_INET, address.c_str(), &parsed), 1) << address;
        EXPECT_NE(address, "0.0.0.0");
    }
}

constexpr std::uint32_t HKLM = 0x80000002u;
const std::string Services = "SYSTEM\\CurrentControlSet\\Services\\";

void SetRaw(const std::string& path, const std::string& name, std::uint32_t type, const std::string& bytes) {
    HKey key = 0;
    ASSERT_EQ(Store().CreateKey(HKLM, path, norvane::Access::AllAccess, key), 0) << path;
    EXPECT_EQ(Store().SetValue(key, name, type, reinterpret_cast<const unsigned char*>(bytes.data()),
                               static_cast<std::uint32_t>(bytes.size())),
              0)
        << path << " " << name;
    Store().CloseKey(key);
}

void SetVersion(const std::string& version) {
    SetRaw("SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", "CurrentVersion", norvane::RegType::Sz, version + '\0');
}
// The bindings as Windows stores them: every device path followed by a NUL, one more at the end.
void SetBind(const std::vector<std::string>& devices) {
    std::string bytes;
    for (const std::string& device : devices)
        bytes += device + '\0';
    SetRaw(Services + "Tcpip\\Linkage", "Bind", norvane::RegType::MultiSz, bytes + '\0');
}
void SetAddresses(const std::string& adapter, const std::vector<std::string>& addresses) {
    std::string bytes;
    for (const std::string& address : addresses)
        bytes += address + '\0';
    SetRaw(Services + adapter + "\\Parameters\\Tcpip", "IPAddress", norvane::RegType::MultiSz, bytes + '\0');
}
void SetAddressText(const std::string& adapter, const std::string& text) {
    SetRaw(Services + adapter + "\\Parameters\\Tcpip", "IPAddress", norvane::RegType::Sz, text + '\0');
}

using List = std::vector<std::string>;

#endif

// The registry cases write the version key: the embedded store only, never a real registry.
#ifndef _WIN32
TEST(ToolsLocalIPs, RegistryVersionFiveOrLaterGivesNoAddresses) {
    norvane::test::TestEnv env;
    SetBind({"\\Device\\NetCard1"});
    SetAddresses("NetCard1", {"10.0.0.1"});
    SetVersion("5.0");
    EXPECT_EQ(LocalIPs::FromRegistry(), List{});
    SetVersion("6.1");
    EXPECT_EQ(LocalIPs::FromRegistry(), List{});
    SetVersion("4.0");
    EXPECT_EQ(LocalIPs::FromRegistry(), List{"10.0.0.1"});
}

TEST(ToolsLocalIPs, RegistryAdaptersInBindingOrder) {
    norvane::test::TestEnv env;
    // No version value reads as version 0.
    SetBind({"\\Device\\NetCard1", "\\Device\\NetCard2"});
    SetAddresses("NetCard1", {"10.0.0.1"});
    SetAddresses("NetCard2", {"192.168.1.5", "192.168.1.6"});
    EXPECT_EQ(LocalIPs::FromRegistry(), (List{"10.0.0.1", "192.168.1.5", "192.168.1.6"}));

    // Order follows the bindings, and an address on two adapters is listed twice.
    SetBind({"\\Device\\NetCard2", "\\Device\\NetCard1", "\\Device\\NetCard3"});
    SetAddresses("NetCard3", {"10.0.0.1"});
    EXPECT_EQ(LocalIPs::FromRegistry(), (List{"192.168.1.5", "192.168.1.6", "10.0.0.1", "10.0.0.1"}));
}

TEST(ToolsLocalIPs, RegistryPlainStringsSplitOnSpaces) {
    norvane::test::TestEnv env;
    SetVersion("4.0");
    SetBind({"\\Device\\Lan", "\\Device\\Wan"});
    SetAddressText("Lan", "10.1.1.1 10.1.1.2");
    SetAddressText("Wan", "10.2.2.1  10.2.2.2");  // two spaces end an empty token
    EXPECT_EQ(LocalIPs::FromRegistry(), (List{"10.1.1.1", "10.1.1.2", "10.2.2.1", "", "10.2.2.2"}));
}

TEST(ToolsLocalIPs, RegistryUnboundAddressLeftOut) {
    norvane::test::TestEnv env;
    SetBind({"\\Device\\Dhcp", "\\Device\\Fixed"});
    SetAddresses("Dhcp", {"0.0.0.0"});
    SetAddresses("Fixed", {"0.0.0.0", "172.16.0.9"});
    EXPECT_EQ(LocalIPs::FromRegistry(), List{"172.16.0.9"});
}

TEST(ToolsLocalIPs, RegistryUnreadableAdaptersAreSkipped) {
    norvane::test::TestEnv env;
    // No IPAddress value, an empty one, a path too short to name an adapter, an empty entry.
    SetBind({"\\Device\\NoValue", "\\Device\\Blank", "\\Dev", "", "\\Device\\Good"});
    SetRaw(Services + "NoValue\\Parameters\\Tcpip", "Other", norvane::RegType::Sz, "x\0"s);
    SetAddressText("Blank", "");
    SetAddresses("Good", {"10.9.9.9"});
    EXPECT_EQ(LocalIPs::FromRegistry(), List{"10.9.9.9"});
}

TEST(ToolsLocalIPs, RegistryWithoutBindingsGivesNoAddresses) {
    norvane::test::TestEnv env;
    SetVersion("4.0");
    SetAddresses("NetCard1", {"10.0.0.1"});
    EXPECT_EQ(LocalIPs::FromRegistry(), List{});
}

#endif

}  // namespace
