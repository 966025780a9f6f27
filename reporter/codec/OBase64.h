#pragma once
// Base64 of RFC 4648 with "=" padding and no line breaks (line breaking belongs to the MIME encoder).
#include <cstddef>
#include <cstdint>
#include <string>

namespace reporter {

constexpr size_t Base64EncodedLength(size_t n) {
    return 4 * ((n + 2) / 3);
}

// Writes Base64EncodedLength(length) characters to output.
void Base64Encode(const uint8_t* input, size_t length, char* output);
std::string Base64Encode(const void* buffer, size_t length);
std::string Base64Encode(const std::string& text);

} // namespace reporter
