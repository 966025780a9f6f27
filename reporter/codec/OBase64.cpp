#include "OBase64.h"

#include <array>
#include <cstring>

namespace reporter {

namespace {

constexpr char Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Two output characters per 12 input bits: one table look-up for each half of a 3-byte group.
constexpr std::array<uint16_t, 4096> MakePairTable() {
    std::array<uint16_t, 4096> table{};
    for (unsigned i = 0; i < 4096; ++i)
        table[i] = uint16_t(uint8_t(Alphabet[i >> 6]) | (uint8_t(Alphabet[i & 63]) << 8));
    return table;
}
constexpr std::array<uint16_t, 4096> PairTable = MakePairTable();

} // namespace

void Base64Encode(const uint8_t* input, size_t length, char* output) {
    size_t i = 0;
    // Two groups per step from one 8-byte load, eight characters in one store.
    for (; i + 8 <= length; i += 6) {
        uint64_t v;
        std::memcpy(&v, input + i, 8);
        v = __builtin_bswap64(v);
        const auto first = uint32_t(v >> 40);
        const auto second = uint32_t(v >> 16) & 0xFFFFFF;
        const uint64_t out = uint64_t(PairTable[first >> 12]) | (uint64_t(PairTable[first & 0xFFF]) << 16) |
                             (uint64_t(PairTable[second >> 12]) << 32) |
                             (uint64_t(PairTable[second & 0xFFF]) << 48);
        std::memcpy(output, &out, 8);
        output += 8;
    }
    for (; i + 3 <= length; i += 3) {
        const uint32_t group = (uint32_t(input[i]) << 16) | (uint32_t(input[i + 1]) << 8) | input[i + 2];
        const uint16_t high = PairTable[group >> 12];
        const uint16_t low = PairTable[group & 0xFFF];
        output[0] = char(high & 0xFF);
        output[1] = char(high >> 8);
        output[2] = char(low & 0xFF);
        output[3] = char(low >> 8);
        output += 4;
    }
    const size_t rest = length - i;
    if (rest == 0)
        return;
    const uint32_t group = (uint32_t(input[i]) << 16) | (rest == 2 ? uint32_t(input[i + 1]) << 8 : 0);
    output[0] = Alphabet[group >> 18];
    output[1] = Alphabet[(group >> 12) & 63];
    output[2] = rest == 2 ? Alphabet[(group >> 6) & 63] : '=';
    output[3] = '=';
}

std::string Base64Encode(const void* buffer, size_t length) {
    std::string result(Base64EncodedLength(length), '\0');
    Base64Encode(static_cast<const uint8_t*>(buffer), length, result.data());
    return result;
}

std::string Base64Encode(const std::string& text) {
    return Base64Encode(text.data(), text.size());
}

} // namespace reporter
