#pragma once
// The reporter's binding to zlib: whole-buffer compression in the zlib format, raw deflate for the gzip
// framing, and decompression with a bound on what it may produce. Every zlib failure raises EZLibError.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace reporter {

// Most bytes a decompression may produce before it is refused as corrupt or hostile.
inline constexpr size_t DefaultDecompressLimit = size_t(1) << 30;

// Raises EZLibError when the zlib the program runs with is not the one it was built against.
void CheckZLibVersion();

std::vector<uint8_t> ZCompressBuffer(const void* data, size_t length, int level = 9);
// A corrupt or truncated stream raises EZLibError instead of giving a silently shortened result.
std::vector<uint8_t> ZDecompressBuffer(const void* data, size_t length,
                                       size_t limit = DefaultDecompressLimit);
// Raw deflate (no zlib header or trailer), the body of a gzip member.
std::vector<uint8_t> DeflateRaw(const void* data, size_t length, int level = 9);

} // namespace reporter
