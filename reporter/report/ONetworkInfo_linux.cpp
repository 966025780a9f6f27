#include "ONetworkInfo.h"

#include "OSystemInfo.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <ifaddrs.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <set>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace reporter {

namespace {

// A netlink reply larger than this is not believed.
constexpr size_t MaxNetlinkReply = 4 << 20;

std::string AddressText(const void* address) {
    char text[INET_ADDRSTRLEN];
    return ::inet_ntop(AF_INET, address, text, sizeof text) ? std::string(text) : std::string();
}

std::string AddressText(const sockaddr* address) {
    if (address == nullptr || address->sa_family != AF_INET)
        return std::string();
    return AddressText(&reinterpret_cast<const sockaddr_in*>(address)->sin_addr);
}

class TSocket {
public:
    explicit TSocket(int fd) : m_fd(fd) {}
    ~TSocket() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    TSocket(const TSocket&) = delete;
    TSocket& operator=(const TSocket&) = delete;
    int Get() const { return m_fd; }

private:
    int m_fd;
};

// The IPv4 addresses that the kernel holds without a permanent mark, i.e. with a lifetime that someone
// (a DHCP client) keeps renewing: "index address" of each.
std::set<std::string> LeasedAddresses() {
    std::set<std::string> leased;
    TSocket socket(::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE));
    if (socket.Get() < 0)
        return leased;
    const timeval timeout{1, 0};
    if (::setsockopt(socket.Get(), SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout) != 0)
        return leased;
    struct {
        nlmsghdr header;
        ifaddrmsg message;
    } request{};
    request.header.nlmsg_len = NLMSG_LENGTH(sizeof(ifaddrmsg));
    request.header.nlmsg_type = RTM_GETADDR;
    request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    request.header.nlmsg_seq = 1;
    request.message.ifa_family = AF_INET;
    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    if (::sendto(socket.Get(), &request, request.header.nlmsg_len, 0, reinterpret_cast<sockaddr*>(&kernel),
                 sizeof kernel) < 0)
        return leased;

    alignas(nlmsghdr) char buffer[32768];
    size_t received = 0;
    for (;;) {
        const ssize_t n = ::recv(socket.Get(), buffer, sizeof buffer, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return leased;
        received += size_t(n);
        if (received > MaxNetlinkReply)
            return leased;
        int length = int(n);
        for (auto* header = reinterpret_cast<nlmsghdr*>(buffer); NLMSG_OK(header, length);
             header = NLMSG_NEXT(header, length)) {
            if (header->nlmsg_type == NLMSG_DONE || header->nlmsg_type == NLMSG_ERROR)
                return leased;
            if (header->nlmsg_type != RTM_NEWADDR || header->nlmsg_len < NLMSG_LENGTH(sizeof(ifaddrmsg)))
                continue;
            const auto* message = static_cast<const ifaddrmsg*>(NLMSG_DATA(header));
            if (message->ifa_family != AF_INET)
                continue;
            uint32_t flags = message->ifa_flags;
            std::string local, address;
            int attributesLength = int(IFA_PAYLOAD(header));
            for (auto* attribute = IFA_RTA(message); RTA_OK(attribute, attributesLength);
                 attribute = RTA_NEXT(attribute, attributesLength)) {
                const size_t size = RTA_PAYLOAD(attribute);
                if (attribute->rta_type == IFA_FLAGS && size >= sizeof(uint32_t))
                    std::memcpy(&flags, RTA_DATA(attribute), sizeof flags);
                else if (attribute->rta_type == IFA_LOCAL && size >= 4)
                    local = AddressText(RTA_DATA(attribute));
                else if (attribute->rta_type == IFA_ADDRESS && size >= 4)
                    address = AddressText(RTA_DATA(attribute));
            }
            if ((flags & IFA_F_PERMANENT) == 0)
                leased.insert(std::to_string(message->ifa_index) + " " + (local.empty() ? address : local));
        }
    }
}

// A lease that systemd-networkd keeps for the interface.
bool HasNetworkdLease(unsigned index) {
    struct stat info;
    return ::stat(("/run/systemd/netif/leases/" + std::to_string(index)).c_str(), &info) == 0;
}

} // namespace

std::vector<TNetworkAdapter> GetNetworkAdapters() {
    std::vector<TNetworkAdapter> adapters;
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0)
        return adapters;
    auto find = [&](const char* name) {
        return std::find_if(adapters.begin(), adapters.end(),
                            [&](const TNetworkAdapter& a) { return a.Name == name; });
    };
    for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_name == nullptr || (entry->ifa_flags & IFF_UP) == 0)
            continue;
        auto it = find(entry->ifa_name);
        if (it == adapters.end()) {
            TNetworkAdapter adapter;
            adapter.Name = entry->ifa_name;
            adapter.Index = ::if_nametoindex(entry->ifa_name);
            adapter.Loopback = (entry->ifa_flags & IFF_LOOPBACK) != 0;
            adapters.push_back(adapter);
            it = adapters.end() - 1;
        }
        if (it->Address.empty() && entry->ifa_addr != nullptr && entry->ifa_addr->sa_family == AF_INET) {
            it->Address = AddressText(entry->ifa_addr);
            it->Mask = AddressText(entry->ifa_netmask);
        }
    }
    ::freeifaddrs(list);

    const std::optional<std::string> routes = ReadTextFile("/proc/net/route", 1 << 20);
    const std::map<std::string, std::string> gateways =
        GatewaysFromRouteTable(routes ? *routes : std::string());
    const std::set<std::string> leased = LeasedAddresses();
    for (TNetworkAdapter& adapter : adapters) {
        const auto gateway = gateways.find(adapter.Name);
        if (gateway != gateways.end())
            adapter.Gateway = gateway->second;
        adapter.Dhcp = !adapter.Address.empty() &&
                       (leased.count(std::to_string(adapter.Index) + " " + adapter.Address) != 0 ||
                        HasNetworkdLease(adapter.Index));
    }
    std::stable_sort(adapters.begin(), adapters.end(),
                     [](const TNetworkAdapter& a, const TNetworkAdapter& b) { return a.Index < b.Index; });
    return adapters;
}

std::vector<std::string> GetDNSServers() {
    const std::optional<std::string> text = ReadTextFile("/etc/resolv.conf", 64 * 1024);
    std::vector<std::string> servers = NameServersFromResolvConf(text ? *text : std::string());
    // Behind a local caching stub (systemd-resolved) the servers that answer are listed elsewhere.
    const bool onlyStub =
        !servers.empty() && std::all_of(servers.begin(), servers.end(),
                                        [](const std::string& s) { return s.rfind("127.", 0) == 0; });
    if (onlyStub) {
        if (const std::optional<std::string> upstream =
                ReadTextFile("/run/systemd/resolve/resolv.conf", 64 * 1024)) {
            std::vector<std::string> real = NameServersFromResolvConf(*upstream);
            if (!real.empty())
                servers = real;
        }
    }
    return servers;
}

TNetworkInfo GetNetworkInfo() {
    std::vector<TNetworkAdapter> adapters = GetNetworkAdapters();
    std::erase_if(adapters, [](const TNetworkAdapter& a) { return a.Loopback; });
    return FormatNetworkInfo(adapters, GetDNSServers());
}

} // namespace reporter
