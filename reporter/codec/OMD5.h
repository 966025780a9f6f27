#pragma once
// The MD5 digest of RFC 1321, in one call or fed piece by piece.
#include <array>
#include <cstddef>
#include <cstdint>

namespace reporter {

using TMD5Digest = std::array<uint8_t, 16>;

class TMD5Context {
public:
    TMD5Context();
    void Update(const void* data, size_t length);
    TMD5Digest Final();

private:
    void Transform(const uint8_t* block);
    uint32_t m_state[4];
    uint64_t m_length = 0; // bytes fed so far
    uint8_t m_buffer[64];
    size_t m_buffered = 0;
};

void MD5String(const void* data, size_t length, TMD5Digest& digest);
TMD5Digest MD5String(const void* data, size_t length);

} // namespace reporter
