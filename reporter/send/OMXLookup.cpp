#include "OMXLookup.h"

#include "OClientSocket.h"
#include "OFiles.h"

#include <arpa/inet.h>
#include <chrono>
#include <fstream>
#include <random>
#include <sstream>

namespace reporter {

namespace {

constexpr uint16_t TypeMX = 15;
constexpr uint16_t ClassIN = 1;
constexpr size_t HeaderSize = 12;
constexpr size_t MaxNameLength = 255;
// Compression pointers followed for one name; a longer chain can only be a loop.
constexpr int MaxPointerJumps = 32;
constexpr size_t MaxDatagram = 65536;
constexpr const char* PublicResolver = "9.9.9.9";

[[noreturn]] void RaiseLookup(const std::string& domain) {
    throw EOstrelSocketError("Cannot resolve the \"" + domain + "\" MX record.");
}

// Reads big-endian numbers and names from a datagram; any read past its end marks the reader failed.
class TDNSReader {
public:
    TDNSReader(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}

    bool Failed() const { return m_failed; }
    size_t Position() const { return m_position; }
    void Seek(size_t position) {
        if (position > m_size)
            m_failed = true;
        else
            m_position = position;
    }
    uint16_t U16() {
        if (m_failed || m_size - m_position < 2) {
            m_failed = true;
            return 0;
        }
        const uint16_t value = uint16_t(m_data[m_position] << 8 | m_data[m_position + 1]);
        m_position += 2;
        return value;
    }
    uint32_t U32() {
        const uint32_t high = U16();
        return high << 16 | U16();
    }
    // The name at the current position; the position moves past its in-place part only.
    std::string Name() {
        std::string name;
        size_t at = m_position;
        size_t resume = 0; // where reading goes on after the first pointer
        int jumps = 0;
        for (;;) {
            if (m_failed || at >= m_size)
                return Fail();
            const uint8_t length = m_data[at];
            if ((length & 0xC0) == 0xC0) {
                if (at + 1 >= m_size || ++jumps > MaxPointerJumps)
                    return Fail();
                if (jumps == 1)
                    resume = at + 2;
                at = size_t(length & 0x3F) << 8 | m_data[at + 1];
                continue;
            }
            if ((length & 0xC0) != 0)
                return Fail(); // reserved label types
            if (length == 0) {
                m_position = jumps > 0 ? resume : at + 1;
                return name;
            }
            if (m_size - at - 1 < length || name.size() + length + 1 > MaxNameLength)
                return Fail();
            if (!name.empty())
                name += '.';
            name.append(reinterpret_cast<const char*>(m_data + at + 1), length);
            at += 1 + size_t(length);
        }
    }

private:
    std::string Fail() {
        m_failed = true;
        return std::string();
    }
    const uint8_t* m_data;
    size_t m_size;
    size_t m_position = 0;
    bool m_failed = false;
};

uint16_t RandomQueryId() {
    static thread_local std::mt19937 generator{std::random_device{}()};
    return uint16_t(std::uniform_int_distribution<int>(0, 0xFFFF)(generator));
}

// One try with one server: the reply's exchanger, or empty.
std::string AskServer(const TDNSServer& server, const std::vector<uint8_t>& query, uint16_t id,
                      uint32_t timeoutMs) {
    TOstrelClientSocket socket(server.Address, timeoutMs, false, server.Port);
    try {
        socket.Connect();
        if (socket.SendBuffer(query.data(), query.size()) != query.size())
            return std::string();
        std::vector<uint8_t> reply(MaxDatagram);
        // Replies with another id (late answers, forgeries) are passed over while time is left.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                                  deadline - std::chrono::steady_clock::now())
                                  .count();
            if (left <= 0 || !socket.WaitReadable(int(left)))
                return std::string();
            const size_t size = socket.ReceiveBuffer(reply.data(), reply.size());
            if (size >= 2 && (reply[0] << 8 | reply[1]) != id)
                continue;
            std::string exchange;
            return ParseMXReply(reply.data(), size, id, exchange) ? exchange : std::string();
        }
    } catch (const EOstrelSocketError&) {
        return std::string(); // an unreachable server (ICMP refusal) is simply not an answer
    }
}

} // namespace

std::vector<uint8_t> BuildMXQuery(const std::string& domain, uint16_t id) {
    std::vector<uint8_t> query = {uint8_t(id >> 8), uint8_t(id), 0x01, 0x00, 0, 1, 0, 0, 0, 0, 0, 0};
    std::string name = domain;
    if (!name.empty() && name.back() == '.')
        name.pop_back();
    if (name.empty() || name.size() > 253)
        RaiseLookup(domain);
    size_t from = 0;
    for (;;) {
        const size_t dot = name.find('.', from);
        const size_t length = (dot == std::string::npos ? name.size() : dot) - from;
        if (length == 0 || length > 63)
            RaiseLookup(domain);
        query.push_back(uint8_t(length));
        query.insert(query.end(), name.begin() + long(from), name.begin() + long(from + length));
        if (dot == std::string::npos)
            break;
        from = dot + 1;
    }
    query.push_back(0);
    query.insert(query.end(), {0, TypeMX, 0, ClassIN});
    return query;
}

bool ParseMXReply(const uint8_t* data, size_t size, uint16_t id, std::string& exchange) {
    TDNSReader reader(data, size);
    const uint16_t replyId = reader.U16();
    const uint16_t flags = reader.U16();
    const uint16_t questions = reader.U16();
    const uint16_t answers = reader.U16();
    reader.U32(); // authority and additional records are not needed
    // A reply (QR), a standard query's (opcode 0), without error (RCODE 0). A truncated reply (TC) still
    // serves when an MX record of it arrived whole.
    if (reader.Failed() || replyId != id || (flags & 0x8000) == 0 || (flags & 0x7800) != 0 ||
        (flags & 0x000F) != 0)
        return false;
    for (uint16_t i = 0; i < questions; ++i) {
        reader.Name();
        reader.U32(); // type and class
        if (reader.Failed())
            return false;
    }
    bool found = false;
    uint16_t bestPreference = 0;
    for (uint16_t i = 0; i < answers; ++i) {
        reader.Name();
        const uint16_t type = reader.U16();
        const uint16_t recordClass = reader.U16();
        reader.U32(); // time to live
        const uint16_t length = reader.U16();
        const size_t start = reader.Position();
        if (reader.Failed() || size - start < length)
            break; // a record cut short ends the usable part of a truncated reply
        if (type == TypeMX && recordClass == ClassIN) {
            TDNSReader record(data, start + length); // the exchange name may not run past the record
            record.Seek(start);
            const uint16_t preference = record.U16();
            std::string name = record.Name();
            if (!record.Failed() && !name.empty() && (!found || preference < bestPreference)) {
                exchange = std::move(name);
                bestPreference = preference;
                found = true;
            }
        }
        reader.Seek(start + length);
    }
    return found;
}

std::vector<TDNSServer> ReadResolverConfig(const std::string& path) {
    std::vector<TDNSServer> servers;
    std::istringstream file(ReadWholeText(path, 64 * 1024));
    std::string line;
    while (servers.size() < 16 && std::getline(file, line)) {
        std::istringstream words(line);
        std::string keyword, address;
        if (!(words >> keyword >> address) || keyword != "nameserver")
            continue;
        in_addr parsed{};
        if (::inet_pton(AF_INET, address.c_str(), &parsed) == 1 && parsed.s_addr != 0)
            servers.push_back({address, 53});
    }
    return servers;
}

std::vector<TDNSServer> DNSServers() {
    std::vector<TDNSServer> servers = ReadResolverConfig();
    servers.push_back({PublicResolver, 53});
    return servers;
}

std::string MailDomain(const std::string& address) {
    const size_t at = address.find('@');
    return at == std::string::npos ? address : address.substr(at + 1);
}

std::string GetMXServerFrom(const std::string& address, const std::vector<TDNSServer>& servers,
                            uint32_t timeoutMs) {
    const std::string domain = MailDomain(address);
    const uint32_t base = (timeoutMs + 150) / 3;
    for (const TDNSServer& server : servers) {
        for (uint32_t attempt = 0; attempt < 3; ++attempt) {
            const uint16_t id = RandomQueryId();
            const std::string exchange =
                AskServer(server, BuildMXQuery(domain, id), id, base + 100 * attempt);
            if (!exchange.empty())
                return exchange;
        }
    }
    RaiseLookup(domain);
}

std::string GetMXServer(const std::string& address, uint32_t timeoutMs) {
    return GetMXServerFrom(address, DNSServers(), timeoutMs);
}

} // namespace reporter
