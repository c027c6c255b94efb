#include "platform/network_state.h"

#include <ifaddrs.h>
#include <net/if.h>
#include <net/route.h>
#include <netinet/in.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>
#include <string>

namespace platform {
namespace {

constexpr std::uint32_t kIpv4LinkLocalMask = 0xFFFF0000;  // 169.254.0.0/16
constexpr std::uint32_t kIpv4LinkLocalNet = 0xA9FE0000;
constexpr std::uint32_t kIpv4LoopbackMask = 0xFF000000;  // 127.0.0.0/8
constexpr std::uint32_t kIpv4LoopbackNet = 0x7F000000;
constexpr char kLoopbackInterface[] = "lo";
constexpr char kIpv4RouteTable[] = "/proc/net/route";
constexpr char kIpv6RouteTable[] = "/proc/net/ipv6_route";
constexpr int kHexBase = 16;

struct IfAddrsFree {
    void operator()(ifaddrs* list) const { freeifaddrs(list); }
};

bool usableIpv4(const sockaddr_in& address) {
    const std::uint32_t host = ntohl(address.sin_addr.s_addr);
    return host != 0 && (host & kIpv4LoopbackMask) != kIpv4LoopbackNet &&
           (host & kIpv4LinkLocalMask) != kIpv4LinkLocalNet;
}

bool usableIpv6(const sockaddr_in6& address) {
    const in6_addr& a = address.sin6_addr;
    return !IN6_IS_ADDR_UNSPECIFIED(&a) && !IN6_IS_ADDR_LOOPBACK(&a) && !IN6_IS_ADDR_LINKLOCAL(&a);
}

// Interface names of each family that carry a usable address; false when the list is not there.
bool usableInterfaces(std::set<std::string>& ipv4, std::set<std::string>& ipv6) {
    ifaddrs* raw = nullptr;
    if (getifaddrs(&raw) != 0) {
        return false;
    }
    const std::unique_ptr<ifaddrs, IfAddrsFree> list(raw);
    constexpr unsigned kUpAndRunning = IFF_UP | IFF_RUNNING;
    for (const ifaddrs* entry = list.get(); entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_addr == nullptr || (entry->ifa_flags & kUpAndRunning) != kUpAndRunning ||
            (entry->ifa_flags & IFF_LOOPBACK) != 0) {
            continue;
        }
        if (entry->ifa_addr->sa_family == AF_INET &&
            usableIpv4(*reinterpret_cast<const sockaddr_in*>(entry->ifa_addr))) {
            ipv4.insert(entry->ifa_name);
        } else if (entry->ifa_addr->sa_family == AF_INET6 &&
                   usableIpv6(*reinterpret_cast<const sockaddr_in6*>(entry->ifa_addr))) {
            ipv6.insert(entry->ifa_name);
        }
    }
    return true;
}

// The kernel's tables are trusted to be hex, but a probe must not throw on a surprise.
std::optional<unsigned long> hexNumber(const std::string& text) {
    char* end = nullptr;
    const unsigned long value = std::strtoul(text.c_str(), &end, kHexBase);
    if (text.empty() || end == nullptr || *end != '\0') {
        return std::nullopt;
    }
    return value;
}

bool usableDefaultRoute(const std::string& interface, const std::string& flagsText,
                        const std::set<std::string>& interfaces) {
    const std::optional<unsigned long> flags = hexNumber(flagsText);
    return flags && (*flags & RTF_UP) != 0 && (*flags & RTF_REJECT) == 0 &&
           interface != kLoopbackInterface && interfaces.count(interface) != 0;
}

// Lines: Iface Destination Gateway Flags RefCnt Use Metric Mask ..., numbers in hex.
bool hasIpv4DefaultRoute(const std::set<std::string>& interfaces) {
    std::ifstream table(kIpv4RouteTable);
    std::string line;
    std::getline(table, line);  // column titles
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string interface, destination, gateway, flags, refCount, use, metric, mask;
        if (!(fields >> interface >> destination >> gateway >> flags >> refCount >> use >> metric >>
              mask)) {
            continue;
        }
        if (hexNumber(destination) == 0UL && hexNumber(mask) == 0UL &&
            usableDefaultRoute(interface, flags, interfaces)) {
            return true;
        }
    }
    return false;
}

// Lines: destination prefix-length source prefix-length next-hop metric refcount use flags
// interface, addresses as 32 hex digits.
bool hasIpv6DefaultRoute(const std::set<std::string>& interfaces) {
    std::ifstream table(kIpv6RouteTable);
    std::string line;
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string destination, prefix, source, sourcePrefix, nextHop, metric, refCount, use,
            flags, interface;
        if (!(fields >> destination >> prefix >> source >> sourcePrefix >> nextHop >> metric >>
              refCount >> use >> flags >> interface)) {
            continue;
        }
        if (destination.find_first_not_of('0') == std::string::npos && prefix == "00" &&
            usableDefaultRoute(interface, flags, interfaces)) {
            return true;
        }
    }
    return false;
}

std::uint32_t familyBits(const std::set<std::string>& interfaces, bool hasDefaultRoute,
                         std::uint32_t localBit, std::uint32_t internetBit) {
    if (interfaces.empty()) {
        return kConnectivityDisconnected;
    }
    return hasDefaultRoute ? internetBit : localBit;
}

}  // namespace

std::optional<NetworkState> probeNetworkState() {
    std::set<std::string> ipv4;
    std::set<std::string> ipv6;
    if (!usableInterfaces(ipv4, ipv6)) {
        return std::nullopt;
    }
    NetworkState state;
    state.connectivity = familyBits(ipv4, hasIpv4DefaultRoute(ipv4), kConnectivityIpv4LocalNetwork,
                                    kConnectivityIpv4Internet) |
                         familyBits(ipv6, hasIpv6DefaultRoute(ipv6), kConnectivityIpv6LocalNetwork,
                                    kConnectivityIpv6Internet);
    state.connectedToInternet =
        (state.connectivity & (kConnectivityIpv4Internet | kConnectivityIpv6Internet)) != 0;
    return state;
}

}  // namespace platform
