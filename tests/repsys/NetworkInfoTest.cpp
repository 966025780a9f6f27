#include "ONetworkInfo.h"

#include "Shell.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cstring>
#include <gtest/gtest.h>
#include <net/if.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace reporter;
using namespace repsys;

TEST(NetworkFormats, AddressesAreNormalised) {
    EXPECT_EQ(NormalizeIPAddress("192.168.1.20"), "192.168.001.020");
    EXPECT_EQ(NormalizeIPAddress("10.0.0.1"), "010.000.000.001");
    EXPECT_EQ(NormalizeIPAddress(""), "000.000.000.000");
}

TEST(NetworkFormats, OneAdapterWithDhcpOffAndOneDnsServer) {
    TNetworkAdapter adapter;
    adapter.Address = "192.168.1.20";
    adapter.Mask = "255.255.255.0";
    adapter.Gateway = "192.168.1.1";
    const TNetworkInfo info = FormatNetworkInfo({adapter}, {"8.8.4.4"});
    EXPECT_EQ(info.IPAddress, "192.168.001.020");
    EXPECT_EQ(info.Submask, "255.255.255.000");
    EXPECT_EQ(info.Gateway, "192.168.001.001");
    EXPECT_EQ(info.DNS1, "008.008.004.004");
    EXPECT_EQ(info.DNS2, "000.000.000.000");
    EXPECT_EQ(info.DHCP, "OFF" + std::string(12, ' '));
}

TEST(NetworkFormats, AdaptersAreJoinedWithSeparators) {
    TNetworkAdapter wired;
    wired.Address = "10.1.2.3";
    wired.Mask = "255.0.0.0";
    wired.Dhcp = true;
    TNetworkAdapter unconfigured; // up, but without an IPv4 address or gateway
    const TNetworkInfo info = FormatNetworkInfo({wired, unconfigured}, {"1.1.1.1", "9.9.9.9", "8.8.8.8"});
    EXPECT_EQ(info.IPAddress, "010.001.002.003 - 000.000.000.000");
    EXPECT_EQ(info.Submask, "255.000.000.000 - 000.000.000.000");
    EXPECT_EQ(info.Gateway, "000.000.000.000 - 000.000.000.000");
    EXPECT_EQ(info.DNS1, "001.001.001.001 - 001.001.001.001");
    EXPECT_EQ(info.DNS2, "009.009.009.009 - 009.009.009.009");
    EXPECT_EQ(info.DHCP, "ON" + std::string(13, ' ') + " - OFF" + std::string(12, ' '));
    EXPECT_EQ(info.DHCP.size(), 18u + 15u);

    const TNetworkInfo none = FormatNetworkInfo({}, {"1.1.1.1"});
    EXPECT_EQ(none.IPAddress, "");
    EXPECT_EQ(none.DHCP, "");
}

TEST(NetworkParsers, RouteTable) {
    const std::string table =
        "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n"
        "eth0\t000010AC\t010010AC\t0003\t0\t0\t0\t0000FFFF\t0\t0\t0\n" // a gateway route, not the default
        "eth0\t00000000\t0101A8C0\t0003\t0\t0\t600\t00000000\t0\t0\t0\n"
        "eth0\t00000000\t0201A8C0\t0003\t0\t0\t100\t00000000\t0\t0\t0\n" // lower metric wins
        "wlan0\t0001A8C0\t00000000\t0001\t0\t0\t0\t00FFFFFF\t0\t0\t0\n"  // on-link only
        "tun0\t00000000\t0900000A\t0002\t0\t0\t0\t00000000\t0\t0\t0\n"   // not up
        "bad line\n";
    const auto gateways = GatewaysFromRouteTable(table);
    EXPECT_EQ(gateways.at("eth0"), "192.168.1.2");
    EXPECT_EQ(gateways.count("wlan0"), 0u);
    EXPECT_EQ(gateways.count("tun0"), 0u);
    EXPECT_TRUE(GatewaysFromRouteTable("").empty());
}

TEST(NetworkParsers, ResolvConf) {
    const std::string text =
        "# generated\nsearch example.org\nnameserver 10.0.0.53\nnameserver  fe80::1\n"
        "nameserver 1.2.3.4 # second\n   nameserver 5.6.7.8\nnameserver 999.1.1.1\noptions x\n";
    EXPECT_EQ(NameServersFromResolvConf(text), (std::vector<std::string>{"10.0.0.53", "1.2.3.4", "5.6.7.8"}));
}

namespace {

// The interface's IPv4 address and mask through the older ioctl interface, an independent view.
bool IoctlAddress(const std::string& name, std::string& address, std::string& mask) {
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    ifreq request{};
    std::strncpy(request.ifr_name, name.c_str(), IFNAMSIZ - 1);
    char text[INET_ADDRSTRLEN];
    bool ok = ioctl(fd, SIOCGIFADDR, &request) == 0;
    if (ok)
        address = inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(&request.ifr_addr)->sin_addr, text,
                            sizeof text);
    ok = ok && ioctl(fd, SIOCGIFNETMASK, &request) == 0;
    if (ok)
        mask = inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(&request.ifr_netmask)->sin_addr, text,
                         sizeof text);
    close(fd);
    return ok;
}

} // namespace

TEST(NetworkCollectors, AdaptersAsTheKernelReportsThem) {
    const std::vector<TNetworkAdapter> adapters = GetNetworkAdapters();
    const auto loopback =
        std::find_if(adapters.begin(), adapters.end(), [](const TNetworkAdapter& a) { return a.Loopback; });
    ASSERT_NE(loopback, adapters.end());
    EXPECT_EQ(loopback->Address, "127.0.0.1");
    EXPECT_EQ(loopback->Mask, "255.0.0.0");
    EXPECT_FALSE(loopback->Dhcp); // the kernel marks the loopback address permanent
    EXPECT_EQ(loopback->Index, if_nametoindex(loopback->Name.c_str()));
    EXPECT_TRUE(
        std::is_sorted(adapters.begin(), adapters.end(),
                       [](const TNetworkAdapter& a, const TNetworkAdapter& b) { return a.Index < b.Index; }));
    for (const TNetworkAdapter& adapter : adapters) {
        std::string address, mask;
        if (IoctlAddress(adapter.Name, address, mask)) {
            EXPECT_EQ(adapter.Address, address) << adapter.Name;
            EXPECT_EQ(adapter.Mask, mask) << adapter.Name;
        } else {
            EXPECT_EQ(adapter.Address, "") << adapter.Name;
        }
    }
}

TEST(NetworkCollectors, GatewayAndLeaseAsIpShowsThem) {
    if (!HasTool("ip"))
        GTEST_SKIP() << "no ip tool";
    for (const TNetworkAdapter& adapter : GetNetworkAdapters()) {
        if (adapter.Address.empty())
            continue;
        // "dynamic" marks an address that is not permanent, i.e. one with a lease.
        const TShellResult dynamic =
            Shell("ip -o -4 addr show dev '" + adapter.Name + "' | grep -m1 -c ' dynamic'");
        const bool networkdLease =
            access(("/run/systemd/netif/leases/" + std::to_string(adapter.Index)).c_str(), F_OK) == 0;
        EXPECT_EQ(adapter.Dhcp, dynamic.Output == "1" || networkdLease) << adapter.Name;
        const TShellResult gateway = Shell("ip -4 route show default dev '" + adapter.Name +
                                           "' 2>/dev/null | awk '/via/ { print $3; exit }'");
        if (!gateway.Output.empty()) {
            EXPECT_EQ(adapter.Gateway, gateway.Output) << adapter.Name;
        }
    }
}

TEST(NetworkCollectors, ReportValuesLeaveTheLoopbackOut) {
    const TNetworkInfo info = GetNetworkInfo();
    EXPECT_EQ(info.IPAddress.find("127.000.000.001"), std::string::npos);
    size_t adapters = 0;
    for (const TNetworkAdapter& adapter : GetNetworkAdapters())
        adapters += adapter.Loopback ? 0 : 1;
    // One entry per adapter in every value: 15 characters each, joined by " - ".
    const size_t expected = adapters == 0 ? 0 : adapters * 18 - 3;
    EXPECT_EQ(info.IPAddress.size(), expected);
    EXPECT_EQ(info.DNS2.size(), expected);
    EXPECT_EQ(info.DHCP.size(), expected);
}

TEST(NetworkCollectors, DnsServersFromTheResolver) {
    const TShellResult shell =
        Shell("awk '$1 == \"nameserver\" && $2 ~ /^[0-9]+\\.[0-9]+\\.[0-9]+\\.[0-9]+$/ "
              "{ print $2 }' /etc/resolv.conf 2>/dev/null");
    std::vector<std::string> expected;
    for (size_t from = 0; from < shell.Output.size();) {
        size_t end = shell.Output.find('\n', from);
        if (end == std::string::npos)
            end = shell.Output.size();
        expected.push_back(shell.Output.substr(from, end - from));
        from = end + 1;
    }
    const bool onlyStub =
        !expected.empty() && std::all_of(expected.begin(), expected.end(),
                                         [](const std::string& s) { return s.rfind("127.", 0) == 0; });
    if (onlyStub)
        GTEST_SKIP() << "a local resolver stub answers here";
    EXPECT_EQ(GetDNSServers(), expected);
}
