#include "platform/network_state.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/if_tun.h>
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>

#include "support/child_process.h"

namespace {

using platform::kConnectivityIpv4Internet;
using platform::kConnectivityIpv4LocalNetwork;
using platform::kConnectivityIpv6Internet;
using platform::kConnectivityIpv6LocalNetwork;

constexpr int kSkipExitCode = 77;
constexpr char kInterface[] = "brvtest0";

struct Step {
    const char* name;
    const char* command;  // run with the shell inside the child's own network namespace
    std::uint32_t connectivity;
    bool internet;
};

// Each step changes the private namespace and says what the probe must answer afterwards. The
// interface is a tun device held open by the child: whatever the kernel sends through it ends in
// that unread descriptor, so nothing leaves the machine.
const Step kSteps[] = {
    {"interface down", "true", 0, false},
    {"up with addresses, no default route",
     "ip link set brvtest0 up && ip addr add 10.9.8.7/24 dev brvtest0 && "
     "ip -6 addr add 2001:db8::1/64 dev brvtest0 nodad",
     kConnectivityIpv4LocalNetwork | kConnectivityIpv6LocalNetwork, false},
    {"IPv4 default route", "ip route add default dev brvtest0",
     kConnectivityIpv4Internet | kConnectivityIpv6LocalNetwork, true},
    {"IPv4 default is a reject route", "ip route del default && ip route add unreachable default",
     kConnectivityIpv4LocalNetwork | kConnectivityIpv6LocalNetwork, false},
    {"IPv6 default route", "ip -6 route add default dev brvtest0",
     kConnectivityIpv4LocalNetwork | kConnectivityIpv6Internet, true},
    {"default route on the loopback interface",
     "ip -6 route del default dev brvtest0 && ip route del unreachable default && "
     "ip link set lo up && ip route add default dev lo",
     kConnectivityIpv4LocalNetwork | kConnectivityIpv6LocalNetwork, false},
    {"link-local addresses only",
     "ip addr flush dev brvtest0 && ip addr add 169.254.1.1/16 dev brvtest0", 0, false},
};

// In the child: a network namespace of its own with one tun interface, then each step's probe
// answer as "<connectivity> <internet>" on a line.
int probeSteps(int out) {
    if (geteuid() != 0 || unshare(CLONE_NEWNET) != 0 || system("ip -V >/dev/null 2>&1") != 0) {
        return kSkipExitCode;
    }
    struct Descriptor {
        int fd;
        ~Descriptor() {
            if (fd >= 0) {
                close(fd);
            }
        }
    } const tun{open("/dev/net/tun", O_RDWR | O_CLOEXEC)};
    if (tun.fd < 0) {
        return kSkipExitCode;
    }
    ifreq request{};
    request.ifr_flags = IFF_TUN | IFF_NO_PI;
    std::strncpy(request.ifr_name, kInterface, IFNAMSIZ - 1);
    if (ioctl(tun.fd, TUNSETIFF, &request) != 0) {
        return kSkipExitCode;
    }
    std::string report;
    for (const Step& step : kSteps) {
        if (system((std::string(step.command) + " >/dev/null 2>&1").c_str()) != 0) {
            report += "command failed\n";
            continue;
        }
        const std::optional<platform::NetworkState> state = platform::probeNetworkState();
        report += state ? std::to_string(state->connectivity) + " " +
                              std::to_string(state->connectedToInternet) + "\n"
                        : "no answer\n";
    }
    return write(out, report.data(), report.size()) == static_cast<ssize_t>(report.size()) ? 0 : 1;
}

TEST(NetworkStateTest, FollowsInterfacesAddressesAndDefaultRoutes) {
    const test_support::ChildRun run = test_support::runInChild(probeSteps);
    if (run.exitCode() == kSkipExitCode) {
        GTEST_SKIP() << "needs root, network namespaces, /dev/net/tun and ip";
    }
    ASSERT_EQ(run.exitCode(), 0);
    std::istringstream lines(run.output);
    for (const Step& step : kSteps) {
        std::string line;
        ASSERT_TRUE(std::getline(lines, line)) << step.name;
        EXPECT_EQ(line, std::to_string(step.connectivity) + " " + std::to_string(step.internet))
            << step.name;
    }
}

}  // namespace
