#pragma once

#include <cstdint>
#include <optional>

// What the machine's network looks like to a program that asks whether it is online.
namespace platform {

// Connectivity bits with the values the installer's callers and reports already know.
inline constexpr std::uint32_t kConnectivityDisconnected = 0x0000;
inline constexpr std::uint32_t kConnectivityIpv4NoTraffic = 0x0001;
inline constexpr std::uint32_t kConnectivityIpv6NoTraffic = 0x0002;
inline constexpr std::uint32_t kConnectivityIpv4Subnet = 0x0010;
inline constexpr std::uint32_t kConnectivityIpv4LocalNetwork = 0x0020;
inline constexpr std::uint32_t kConnectivityIpv4Internet = 0x0040;
inline constexpr std::uint32_t kConnectivityIpv6Subnet = 0x0100;
inline constexpr std::uint32_t kConnectivityIpv6LocalNetwork = 0x0200;
inline constexpr std::uint32_t kConnectivityIpv6Internet = 0x0400;

struct NetworkState {
    std::uint32_t connectivity = kConnectivityDisconnected;
    bool connectedToInternet = false;
};

// Per address family: an interface that is up and running with an address that is neither
// loopback nor link-local gives the local-network bit; when that family also has a usable default
// route (not a reject route, not on the loopback interface) through such an interface, the
// internet bit instead. Connected to the internet when either family has the internet bit.
// Empty when the interfaces cannot be listed.
std::optional<NetworkState> probeNetworkState();

}  // namespace platform
