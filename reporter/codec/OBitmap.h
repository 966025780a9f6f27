#pragma once
// The screenshot's pictures inside the reporter core: the captured true-colour picture and its 8-bit
// palette form. Every size is checked before memory is touched, so that a bad size raises EImageError
// instead of reading or writing outside a buffer.
#include "OErrors.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace reporter {

// A picture that cannot be made, reduced or written as it is.
class EImageError : public Exception {
    using Exception::Exception;
};

// The largest width or height a PNG file can carry.
inline constexpr uint32_t MaxImageDimension = 0x7FFFFFFF;

// Bytes in one row of an 8-bit picture: the width rounded up to whole 32-bit words.
size_t RowStride(uint32_t width);

// Width x Height pixels as 0x00RRGGBB (the top byte is ignored), rows from the top.
struct TRgbImage {
    uint32_t Width = 0;
    uint32_t Height = 0;
    std::vector<uint32_t> Pixels;

    bool Empty() const { return Width == 0 || Height == 0; }
    // Unchecked: call CheckImage first.
    uint32_t Pixel(uint32_t x, uint32_t y) const { return Pixels[size_t(y) * Width + x]; }
};

// Rows of Stride bytes from the top, each holding Width palette indices in its first bytes. The palette
// always has 256 entries (0x00RRGGBB); ColourCount of them are in use, the rest are black.
struct TPaletteImage {
    uint32_t Width = 0;
    uint32_t Height = 0;
    size_t Stride = 0;
    std::vector<uint8_t> Indices;
    std::array<uint32_t, 256> Palette{};
    int ColourCount = 0;

    // Unchecked: call CheckImage first.
    uint8_t Index(uint32_t x, uint32_t y) const { return Indices[size_t(y) * Stride + x]; }
};

// A black picture of the size; raises EImageError for a dimension of 0 or above MaxImageDimension.
TRgbImage NewRgbImage(uint32_t width, uint32_t height);
// A picture of the size with every index 0 and an all-black palette.
TPaletteImage NewPaletteImage(uint32_t width, uint32_t height);

// Raise EImageError unless both dimensions lie in 1..MaxImageDimension and the buffers hold exactly the
// pixels the dimensions announce.
void CheckImage(const TRgbImage& image);
void CheckImage(const TPaletteImage& image);

} // namespace reporter
