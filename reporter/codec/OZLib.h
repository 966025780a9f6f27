#pragma once
// The reporter's binding to zlib: whole-buffer compression in the zlib format, raw deflate for the gzip
// framing, and decompression with a bound on what it may produce. Every zlib failure raises EZLibError.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
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

// Deflates data handed over piece by piece into the zlib format through one fixed output buffer: each
// time the buffer is full, and once at the end for what is left, the sink receives it. The compressed
// data is thus never held whole, and every piece but the last has the buffer's size.
class TZDeflateStream {
public:
    using TSink = std::function<void(const uint8_t* data, size_t length)>;
    // bufferSize from 1 to 4 GiB - 1; anything else raises EZLibError.
    TZDeflateStream(int level, size_t bufferSize, TSink sink);
    ~TZDeflateStream();
    TZDeflateStream(const TZDeflateStream&) = delete;
    TZDeflateStream& operator=(const TZDeflateStream&) = delete;

    void Write(const void* data, size_t length);
    // Ends the stream and hands over the rest; no Write may follow.
    void Finish();

private:
    struct TState;
    std::unique_ptr<TState> m_state;
};

} // namespace reporter
