#include "OCrc32.h"

#include <array>

namespace reporter {

namespace {

// The polynomial from its list of exponents, bit-reflected.
constexpr uint32_t Polynomial() {
    constexpr int exponents[] = {0, 1, 2, 4, 5, 7, 8, 10, 11, 12, 16, 22, 23, 26};
    uint32_t poly = 0;
    for (int e : exponents)
        poly |= 1u << (31 - e);
    return poly;
}
static_assert(Polynomial() == 0xEDB88320u);

constexpr std::array<uint32_t, 256> MakeTable() {
    std::array<uint32_t, 256> table{};
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t c = n;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? Polynomial() ^ (c >> 1) : c >> 1;
        table[n] = c;
    }
    return table;
}
constexpr std::array<uint32_t, 256> Table = MakeTable();

} // namespace

uint32_t UpdateCrc32(uint32_t crc, const void* data, size_t length) {
    const auto* p = static_cast<const uint8_t*>(data);
    uint32_t c = ~crc;
    for (size_t i = 0; i < length; ++i)
        c = Table[(c ^ p[i]) & 0xFF] ^ (c >> 8);
    return ~c;
}

} // namespace reporter
