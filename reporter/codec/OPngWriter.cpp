#include "OPngWriter.h"

#include "OCrc32.h"
#include "OStream.h"
#include "OZLib.h"

#include <algorithm>
#include <array>
#include <vector>

namespace reporter {

namespace {

constexpr uint8_t Signature[8] = {137, 80, 78, 71, 13, 10, 26, 10};
constexpr uint32_t MaxChunkLength = 0x7FFFFFFF;

void PutU32(uint8_t* target, uint32_t value) {
    target[0] = uint8_t(value >> 24);
    target[1] = uint8_t(value >> 16);
    target[2] = uint8_t(value >> 8);
    target[3] = uint8_t(value);
}

void WriteU32BE(TOstrelStream& stream, uint32_t value) {
    uint8_t bytes[4];
    PutU32(bytes, value);
    stream.Write(bytes, 4);
}

} // namespace

void WritePngChunk(TOstrelStream& stream, const char (&type)[5], const uint8_t* data, size_t length) {
    if (length > MaxChunkLength)
        throw EImageError("PNG chunk too long");
    WriteU32BE(stream, uint32_t(length));
    stream.Write(type, 4);
    if (length > 0)
        stream.Write(data, length);
    WriteU32BE(stream, UpdateCrc32(Crc32(type, 4), data, length));
}

void WritePNG(TOstrelStream& stream, const TPaletteImage& image) {
    CheckImage(image);
    stream.Write(Signature, sizeof Signature);

    uint8_t header[13];
    PutU32(header, image.Width);
    PutU32(header + 4, image.Height);
    header[8] = 8;  // bits per index
    header[9] = 3;  // palette colour
    header[10] = 0; // deflate
    header[11] = 0; // adaptive filtering, every row with filter 0
    header[12] = 0; // not interlaced
    WritePngChunk(stream, "IHDR", header, sizeof header);

    std::array<uint8_t, 3 * 256> palette;
    for (size_t i = 0; i < image.Palette.size(); ++i) {
        palette[3 * i] = uint8_t(image.Palette[i] >> 16);
        palette[3 * i + 1] = uint8_t(image.Palette[i] >> 8);
        palette[3 * i + 2] = uint8_t(image.Palette[i]);
    }
    WritePngChunk(stream, "PLTE", palette.data(), palette.size());

    TZDeflateStream deflater(9, PngIdatBufferSize, [&stream](const uint8_t* data, size_t length) {
        WritePngChunk(stream, "IDAT", data, length);
    });
    std::vector<uint8_t> row(size_t(image.Width) + 1, 0); // filter byte 0, then the row's indices
    for (uint32_t y = 0; y < image.Height; ++y) {
        const uint8_t* source = image.Indices.data() + size_t(y) * image.Stride;
        std::copy(source, source + image.Width, row.begin() + 1);
        deflater.Write(row.data(), row.size());
    }
    deflater.Finish();

    WritePngChunk(stream, "IEND", nullptr, 0);
}

} // namespace reporter
