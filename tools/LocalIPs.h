#pragma once
// The addresses offered for the server to listen on, in the order they are added to the
// list after "All" ("0.0.0.0" already left out).

#include <string>
#include <vector>

namespace norvane::LocalIPs {

// This machine's network interfaces, in interface order, IPv4 only (getifaddrs; Windows
// lists its adapters from the registry instead).
std::vector<std::string> FromInterfaces();

// The Windows TCP/IP configuration in the registry: the version check, the adapter
// bindings and each adapter's "IPAddress" value. Moves the Registry location.
std::vector<std::string> FromRegistry();

}  // namespace norvane::LocalIPs
