#pragma once
// Finding a recipient's mail exchanger with our own DNS MX query over UDP. The reply is read with every
// length and offset checked against the datagram, so a broken or hostile reply is rejected, never read
// past.
#include <cstdint>
#include <string>
#include <vector>

namespace reporter {

struct TDNSServer {
    std::string Address; // IPv4, dotted
    uint16_t Port = 53;
};

// The standard query for the MX records of domain (recursion desired). Raises EOstrelSocketError for a
// name that no query can carry (an empty label, a label over 63 bytes, a name over 253 bytes).
std::vector<uint8_t> BuildMXQuery(const std::string& domain, uint16_t id);
// The exchange name of the most preferred MX record of the reply to the query with this id; false for a
// reply that is not that (another id, not a reply, an error code, no MX record) or that is malformed.
bool ParseMXReply(const uint8_t* data, size_t size, uint16_t id, std::string& exchange);

// The IPv4 name servers of a resolver configuration file ("nameserver" lines), "0.0.0.0" left out.
std::vector<TDNSServer> ReadResolverConfig(const std::string& path = "/etc/resolv.conf");
// The system's name servers, then a public resolver as the last resort.
std::vector<TDNSServer> DNSServers();

// The domain after the first "@" of address (the whole address without one).
std::string MailDomain(const std::string& address);
// Asks each server in turn, up to three tries each; raises EOstrelSocketError
// "Cannot resolve the "domain" MX record." when none names an exchanger.
std::string GetMXServerFrom(const std::string& address, const std::vector<TDNSServer>& servers,
                            uint32_t timeoutMs);
std::string GetMXServer(const std::string& address, uint32_t timeoutMs);

} // namespace reporter
