#include "OGZipReader.h"

#include "OCrc32.h"
#include "OErrors.h"
#include "OFiles.h"

#include <cstring>
#include <zlib.h>

namespace reporter {

namespace {

constexpr uint8_t FlagHeaderCrc = 0x02;
constexpr uint8_t FlagExtra = 0x04;
constexpr uint8_t FlagName = 0x08;
constexpr uint8_t FlagComment = 0x10;

[[noreturn]] void Corrupt(const char* why) {
    throw EZLibError(std::string("corrupt gzip data: ") + why);
}

// Offset of the deflate data behind the header.
size_t SkipHeader(const uint8_t* data, size_t size) {
    if (size < 10 || data[0] != 0x1F || data[1] != 0x8B)
        Corrupt("not a gzip file");
    if (data[2] != 8)
        Corrupt("unknown compression method");
    const uint8_t flags = data[3];
    if (flags & 0xE0)
        Corrupt("reserved header flags set");
    size_t pos = 10;
    if (flags & FlagExtra) {
        if (size - pos < 2)
            Corrupt("truncated header");
        const size_t extra = data[pos] | (data[pos + 1] << 8);
        pos += 2;
        if (size - pos < extra)
            Corrupt("truncated header");
        pos += extra;
    }
    for (uint8_t flag : {FlagName, FlagComment}) {
        if (!(flags & flag))
            continue;
        const void* end = std::memchr(data + pos, 0, size - pos);
        if (end == nullptr)
            Corrupt("truncated header");
        pos = size_t(static_cast<const uint8_t*>(end) - data) + 1;
    }
    if (flags & FlagHeaderCrc) {
        if (size - pos < 2)
            Corrupt("truncated header");
        // The low 16 bits of the CRC-32 of every header byte before it.
        if ((data[pos] | data[pos + 1] << 8) != int(Crc32(data, pos) & 0xFFFF))
            Corrupt("header CRC mismatch");
        pos += 2;
    }
    return pos;
}

} // namespace

std::vector<uint8_t> ReadGZipData(const uint8_t* data, size_t size, size_t limit) {
    CheckZLibVersion();
    const size_t start = SkipHeader(data, size);
    z_stream stream{};
    if (inflateInit2(&stream, -MAX_WBITS) != Z_OK)
        throw EZLibError(stream.msg ? stream.msg : "insufficient memory");
    stream.next_in = const_cast<Bytef*>(data + start);
    stream.avail_in = uInt(std::min<size_t>(size - start, 1u << 30));
    size_t fed = stream.avail_in;
    std::vector<uint8_t> out;
    int result = Z_OK;
    uint32_t crc = 0;
    while (result != Z_STREAM_END) {
        if (out.size() == stream.total_out) {
            if (out.size() >= limit) {
                inflateEnd(&stream);
                Corrupt("data larger than its limit");
            }
            out.resize(std::min(out.size() + std::max<size_t>(65536, out.size()), limit));
        }
        const size_t before = stream.total_out;
        stream.next_out = out.data() + before;
        stream.avail_out = uInt(std::min<size_t>(out.size() - before, 1u << 30));
        result = inflate(&stream, Z_NO_FLUSH);
        crc = UpdateCrc32(crc, out.data() + before, stream.total_out - before);
        if (stream.avail_in == 0 && fed < size - start) {
            const size_t more = std::min<size_t>(size - start - fed, 1u << 30);
            stream.avail_in = uInt(more);
            fed += more;
        }
        if (result == Z_BUF_ERROR && stream.avail_in == 0 && stream.avail_out != 0) {
            inflateEnd(&stream);
            Corrupt("truncated data");
        }
        if (result < 0 && result != Z_BUF_ERROR) {
            const std::string message = stream.msg ? stream.msg : zError(result);
            inflateEnd(&stream);
            Corrupt(message.c_str());
        }
    }
    const size_t consumed = start + size_t(stream.total_in);
    const size_t produced = size_t(stream.total_out);
    inflateEnd(&stream);
    out.resize(produced);
    if (size - consumed < 8)
        Corrupt("missing trailer");
    const uint8_t* trailer = data + consumed;
    const uint32_t storedCrc =
        trailer[0] | (trailer[1] << 8) | (trailer[2] << 16) | (uint32_t(trailer[3]) << 24);
    const uint32_t storedLength =
        trailer[4] | (trailer[5] << 8) | (trailer[6] << 16) | (uint32_t(trailer[7]) << 24);
    if (storedCrc != crc)
        Corrupt("CRC-32 mismatch");
    if (storedLength != uint32_t(produced))
        Corrupt("length mismatch");
    return out;
}

void ReadGZipFile(TOstrelStream& source, TOstrelStream& target) {
    const std::vector<uint8_t> data =
        ReadGZipData(source.Bytes().data() + source.Position(), source.Remaining());
    source.SetPosition(source.Size());
    target.Write(data.data(), data.size());
}

std::vector<uint8_t> ReadGZipFile(const std::string& path) {
    const std::vector<uint8_t> data = ReadWholeFile(path);
    return ReadGZipData(data.data(), data.size());
}

} // namespace reporter
