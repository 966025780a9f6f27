#include "ONetworkInfo.h"

#include <arpa/inet.h>
#include <climits>
#include <cstdlib>
#include <netinet/in.h>
#include <sstream>

namespace reporter {

namespace {

constexpr const char* NoAddress = "000.000.000.000";
constexpr const char* Separator = " - ";
constexpr unsigned RouteUp = 0x0001;      // RTF_UP
constexpr unsigned RouteGateway = 0x0002; // RTF_GATEWAY

void RemoveTrailingSeparator(std::string& text) {
    const std::string separator = Separator;
    if (text.size() >= separator.size() &&
        text.compare(text.size() - separator.size(), separator.size(), separator) == 0)
        text.erase(text.size() - separator.size());
}

// A hexadecimal field of /proc/net/route: the address as the kernel stores it, in network order.
bool ParseRouteAddress(const std::string& field, std::string& address) {
    char* end = nullptr;
    const unsigned long value = std::strtoul(field.c_str(), &end, 16);
    if (end == field.c_str() || *end != '\0' || value > UINT32_MAX)
        return false;
    in_addr raw{};
    raw.s_addr = static_cast<in_addr_t>(value);
    char text[INET_ADDRSTRLEN];
    if (::inet_ntop(AF_INET, &raw, text, sizeof text) == nullptr)
        return false;
    address = text;
    return true;
}

} // namespace

std::string NormalizeIPAddress(const std::string& address) {
    if (address.empty())
        return NoAddress;
    std::string result;
    size_t from = 0;
    for (;;) {
        const size_t dot = address.find('.', from);
        std::string part = address.substr(from, dot == std::string::npos ? std::string::npos : dot - from);
        if (part.size() < 3)
            part.insert(0, 3 - part.size(), '0');
        result += part;
        if (dot == std::string::npos)
            break;
        result += '.';
        from = dot + 1;
    }
    return result;
}

TNetworkInfo FormatNetworkInfo(const std::vector<TNetworkAdapter>& adapters,
                               const std::vector<std::string>& dns) {
    TNetworkInfo info;
    for (const TNetworkAdapter& adapter : adapters) {
        info.DHCP += std::string(adapter.Dhcp ? "ON" : "OFF");
        info.DHCP.append(15 - (adapter.Dhcp ? 2 : 3), ' ');
        info.DHCP += Separator;
        info.IPAddress += NormalizeIPAddress(adapter.Address) + Separator;
        info.Submask += NormalizeIPAddress(adapter.Mask) + Separator;
        info.Gateway += NormalizeIPAddress(adapter.Gateway) + Separator;
        info.DNS1 += NormalizeIPAddress(dns.empty() ? std::string() : dns[0]) + Separator;
        info.DNS2 += (dns.size() >= 2 ? NormalizeIPAddress(dns[1]) : std::string(NoAddress)) + Separator;
    }
    for (std::string* text :
         {&info.IPAddress, &info.Submask, &info.Gateway, &info.DNS1, &info.DNS2, &info.DHCP})
        RemoveTrailingSeparator(*text);
    return info;
}

std::map<std::string, std::string> GatewaysFromRouteTable(const std::string& routeTable) {
    struct TChoice {
        std::string Gateway;
        bool Default = false;
        unsigned long Metric = 0;
    };
    std::map<std::string, TChoice> chosen;
    std::istringstream lines(routeTable);
    std::string line;
    std::getline(lines, line); // the column titles
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string name, destination, gateway, flagsText, refCount, use, metricText;
        if (!(fields >> name >> destination >> gateway >> flagsText >> refCount >> use >> metricText))
            continue;
        const unsigned long flags = std::strtoul(flagsText.c_str(), nullptr, 16);
        std::string gatewayAddress;
        if ((flags & RouteUp) == 0 || (flags & RouteGateway) == 0 ||
            !ParseRouteAddress(gateway, gatewayAddress))
            continue;
        const bool isDefault = std::strtoul(destination.c_str(), nullptr, 16) == 0;
        const unsigned long metric = std::strtoul(metricText.c_str(), nullptr, 10);
        const auto it = chosen.find(name);
        const bool better = it == chosen.end() || (isDefault && !it->second.Default) ||
                            (isDefault == it->second.Default && isDefault && metric < it->second.Metric);
        if (better)
            chosen[name] = TChoice{gatewayAddress, isDefault, metric};
    }
    std::map<std::string, std::string> result;
    for (const auto& [name, choice] : chosen)
        result[name] = choice.Gateway;
    return result;
}

std::vector<std::string> NameServersFromResolvConf(const std::string& resolvConf) {
    std::vector<std::string> servers;
    std::istringstream lines(resolvConf);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string keyword, address;
        if (!(fields >> keyword >> address) || keyword != "nameserver")
            continue;
        in_addr parsed{};
        if (::inet_pton(AF_INET, address.c_str(), &parsed) == 1)
            servers.push_back(address);
    }
    return servers;
}

} // namespace reporter
