// The DNS reply parser of the MX lookup. The reply is taken as the answer to the query whose id it
// carries, and once more as the answer to another query. A broken reply must give false; an exchange
// that is found must be a usable name, and never come from a reply to another query.
#include "FuzzSupport.h"
#include "OMXLookup.h"

#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::uint16_t id = size >= 2 ? std::uint16_t(data[0] << 8 | data[1]) : 0;
    std::string exchange;
    if (reporter::ParseMXReply(data, size, id, exchange)) {
        fuzz::Check(!exchange.empty(), "an empty exchange name");
        fuzz::Check(exchange.size() <= 255, "an exchange name longer than a DNS name can be");
    }
    std::string other;
    fuzz::Check(!reporter::ParseMXReply(data, size, std::uint16_t(id + 1), other),
                "a reply to another query was taken");
    return 0;
}
