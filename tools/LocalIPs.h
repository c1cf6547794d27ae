#pragma once
// The addresses offered for the server to listen on, in the order they are added to the
// list after "All" ("0.0.0.0" already left out).

#include <string>
#include <vector>

namespace norvane::LocalIPs {

// What the window offers: on Windows the registry's adapters for a version below 5 and
// the adapters' own addresses from version 5 on, elsewhere the network interfaces. Moves
// the Registry location.
std::vector<std::string> ForThisMachine();

// This machine's network interfaces, in interface order, IPv4 only (getifaddrs).
std::vector<std::string> FromInterfaces();

// This machine's network adapters in adapter order, IPv4 only (GetAdaptersAddresses);
// empty but on Windows.
std::vector<std::string> FromAdapters();

// The Windows TCP/IP configuration in the registry: the version check, the adapter
// bindings and each adapter's "IPAddress" value. Moves the Registry location.
std::vector<std::string> FromRegistry();

}  // namespace norvane::LocalIPs
