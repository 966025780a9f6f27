#pragma once
// The PNG writer of the screenshot: an 8-bit palette picture as signature, IHDR, PLTE, IDAT chunks of
// the zlib stream (deflate level 9, row filter 0) and IEND, every chunk with its CRC-32.
#include "OBitmap.h"

#include <cstddef>
#include <cstdint>

namespace reporter {

class TOstrelStream;

// The compressed image data passes through one buffer of this size; every IDAT chunk but the last
// carries exactly this many bytes.
inline constexpr size_t PngIdatBufferSize = 262143;

// One chunk: length and type, the data, and the CRC-32 of type and data. A length above 2^31 - 1
// raises EImageError.
void WritePngChunk(TOstrelStream& stream, const char (&type)[5], const uint8_t* data, size_t length);

// Raises EImageError for an invalid picture (nothing is written then) and EZLibError when deflate fails.
void WritePNG(TOstrelStream& stream, const TPaletteImage& image);

} // namespace reporter
