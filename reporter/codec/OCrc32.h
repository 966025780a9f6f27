#pragma once
// The CRC-32 of gzip (reflected polynomial 0xEDB88320, initial value and final complement 0xFFFFFFFF).
#include <cstddef>
#include <cstdint>

namespace reporter {

// Continues a CRC: pass 0 for the first piece, then the previous result. No data gives the input.
uint32_t UpdateCrc32(uint32_t crc, const void* data, size_t length);
inline uint32_t Crc32(const void* data, size_t length) {
    return UpdateCrc32(0, data, length);
}

} // namespace reporter
