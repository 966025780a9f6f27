#pragma once
// The network part of a report: per adapter its first IPv4 address and mask, its gateway, the DNS
// servers and whether its address was leased by DHCP, each list joined with " - ".
#include <map>
#include <string>
#include <vector>

namespace reporter {

struct TNetworkAdapter {
    std::string Name;
    unsigned Index = 0; // interface index
    bool Loopback = false;
    std::string Address; // first IPv4 address, empty when none
    std::string Mask;
    std::string Gateway; // empty when no route of the adapter goes through one
    bool Dhcp = false;   // the address is leased (it has a limited lifetime)
};

struct TNetworkInfo {
    std::string IPAddress;
    std::string Submask;
    std::string Gateway;
    std::string DNS1;
    std::string DNS2;
    std::string DHCP;
};

// --- collectors (ONetworkInfo_linux.cpp) ---

// Every interface that is up, ordered by interface index, loopback included.
std::vector<TNetworkAdapter> GetNetworkAdapters();
// The IPv4 name servers the resolver uses.
std::vector<std::string> GetDNSServers();
// The six report values of every adapter but the loopback.
TNetworkInfo GetNetworkInfo();

// --- formats and parsers (ONetworkInfo.cpp) ---

// Each dotted part padded with zeros to three digits; "000.000.000.000" for an empty address.
std::string NormalizeIPAddress(const std::string& address);
// The report values of the adapters, in their order, with the same DNS servers for each.
TNetworkInfo FormatNetworkInfo(const std::vector<TNetworkAdapter>& adapters,
                               const std::vector<std::string>& dns);
// Interface name -> gateway of its preferred default route (lowest metric), else of its first route
// through a gateway; from the text of /proc/net/route.
std::map<std::string, std::string> GatewaysFromRouteTable(const std::string& routeTable);
// The IPv4 "nameserver" entries of resolv.conf text, in order.
std::vector<std::string> NameServersFromResolvConf(const std::string& resolvConf);

} // namespace reporter
