#include "OZLib.h"

#include "OErrors.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <zlib.h>

namespace reporter {

namespace {

[[noreturn]] void RaiseZLib(int code, const z_stream* stream) {
    const char* message = (stream != nullptr && stream->msg != nullptr) ? stream->msg : zError(code);
    throw EZLibError(message != nullptr ? message : "zlib error");
}

void Check(int code, const z_stream* stream) {
    if (code < 0)
        RaiseZLib(code, stream);
}

// Deflates the whole buffer into a buffer sized by deflateBound, which always suffices.
std::vector<uint8_t> Deflate(const void* data, size_t length, int level, int windowBits) {
    CheckZLibVersion();
    z_stream stream{};
    Check(deflateInit2(&stream, level, Z_DEFLATED, windowBits, 9, Z_DEFAULT_STRATEGY), &stream);
    std::vector<uint8_t> out(deflateBound(&stream, uLong(length)));
    stream.next_in = static_cast<Bytef*>(const_cast<void*>(data));
    stream.avail_in = uInt(length);
    stream.next_out = out.data();
    stream.avail_out = uInt(out.size());
    // avail_in is 32 bits wide; larger inputs go in pieces.
    size_t rest = length;
    int result = Z_OK;
    while (result != Z_STREAM_END) {
        const size_t piece = rest > (1u << 30) ? (1u << 30) : rest;
        stream.avail_in = uInt(piece);
        result = deflate(&stream, piece == rest ? Z_FINISH : Z_NO_FLUSH);
        if (result < 0) {
            deflateEnd(&stream);
            RaiseZLib(result, &stream);
        }
        rest -= piece - stream.avail_in;
        if (result != Z_STREAM_END && stream.avail_out == 0) {
            deflateEnd(&stream);
            RaiseZLib(Z_BUF_ERROR, nullptr);
        }
    }
    out.resize(stream.total_out);
    Check(deflateEnd(&stream), nullptr);
    return out;
}

} // namespace

void CheckZLibVersion() {
    const char* running = zlibVersion();
    if (running == nullptr || running[0] != ZLIB_VERSION[0])
        throw EZLibError(std::string("incompatible version: ") + (running ? running : "none") +
                         " instead of " + ZLIB_VERSION);
}

std::vector<uint8_t> ZCompressBuffer(const void* data, size_t length, int level) {
    return Deflate(data, length, level, MAX_WBITS);
}

std::vector<uint8_t> DeflateRaw(const void* data, size_t length, int level) {
    return Deflate(data, length, level, -MAX_WBITS);
}

std::vector<uint8_t> ZDecompressBuffer(const void* data, size_t length, size_t limit) {
    CheckZLibVersion();
    z_stream stream{};
    Check(inflateInit(&stream), &stream);
    const size_t step = ((length + 255) / 256) * 256 + 256;
    std::vector<uint8_t> out;
    stream.next_in = static_cast<Bytef*>(const_cast<void*>(data));
    stream.avail_in = uInt(length);
    int result = Z_OK;
    size_t produced = 0;
    while (result == Z_OK) {
        if (produced == out.size()) {
            if (out.size() >= limit) {
                inflateEnd(&stream);
                throw EZLibError("decompressed data exceeds its limit");
            }
            out.resize(std::min(out.size() + step, limit));
        }
        stream.next_out = out.data() + produced;
        stream.avail_out = uInt(out.size() - produced);
        result = inflate(&stream, Z_NO_FLUSH);
        produced = out.size() - stream.avail_out;
        if (result == Z_BUF_ERROR && stream.avail_in == 0)
            break; // input ended before the stream did
        if (result == Z_BUF_ERROR)
            result = Z_OK; // output full; grow and go on
    }
    inflateEnd(&stream);
    if (result != Z_STREAM_END)
        RaiseZLib(result == Z_BUF_ERROR || result == Z_OK ? Z_DATA_ERROR : result, &stream);
    out.resize(produced);
    return out;
}

struct TZDeflateStream::TState {
    z_stream Stream{};
    bool Open = false;
    bool Finished = false;
    std::vector<uint8_t> Buffer;
    TSink Sink;

    void Flush() {
        const size_t filled = Buffer.size() - Stream.avail_out;
        if (filled > 0)
            Sink(Buffer.data(), filled);
        Stream.next_out = Buffer.data();
        Stream.avail_out = uInt(Buffer.size());
    }
};

TZDeflateStream::TZDeflateStream(int level, size_t bufferSize, TSink sink)
    : m_state(std::make_unique<TState>()) {
    CheckZLibVersion();
    if (bufferSize == 0 || bufferSize > 0xFFFFFFFFu)
        throw EZLibError("invalid deflate buffer size");
    if (!sink)
        throw EZLibError("deflate stream without a sink");
    m_state->Sink = std::move(sink);
    m_state->Buffer.resize(bufferSize);
    z_stream& stream = m_state->Stream;
    Check(deflateInit2(&stream, level, Z_DEFLATED, MAX_WBITS, 9, Z_DEFAULT_STRATEGY), &stream);
    m_state->Open = true;
    stream.next_out = m_state->Buffer.data();
    stream.avail_out = uInt(bufferSize);
}

TZDeflateStream::~TZDeflateStream() {
    if (m_state->Open)
        deflateEnd(&m_state->Stream);
}

void TZDeflateStream::Write(const void* data, size_t length) {
    if (m_state->Finished)
        throw EZLibError("deflate stream already finished");
    z_stream& stream = m_state->Stream;
    const auto* p = static_cast<const uint8_t*>(data);
    while (length > 0) {
        // avail_in is 32 bits wide; larger inputs go in pieces.
        const size_t piece = std::min(length, size_t(1) << 30);
        stream.next_in = const_cast<Bytef*>(p);
        stream.avail_in = uInt(piece);
        while (stream.avail_in > 0) {
            if (stream.avail_out == 0)
                m_state->Flush();
            Check(deflate(&stream, Z_NO_FLUSH), &stream);
        }
        if (stream.avail_out == 0)
            m_state->Flush();
        p += piece;
        length -= piece;
    }
}

void TZDeflateStream::Finish() {
    if (m_state->Finished)
        throw EZLibError("deflate stream already finished");
    z_stream& stream = m_state->Stream;
    stream.next_in = nullptr;
    stream.avail_in = 0;
    for (;;) {
        if (stream.avail_out == 0)
            m_state->Flush();
        const int result = deflate(&stream, Z_FINISH);
        if (result == Z_STREAM_END)
            break;
        // With output space left the finishing call must make progress; anything else is a failure.
        if (result != Z_OK || stream.avail_out != 0)
            Check(result == Z_OK ? Z_BUF_ERROR : result, &stream);
    }
    m_state->Finished = true;
    m_state->Flush();
    m_state->Open = false;
    Check(deflateEnd(&stream), nullptr);
}

} // namespace reporter
