#include "OBitmap.h"

#include <limits>
#include <string>

namespace reporter {

namespace {

void CheckDimensions(uint32_t width, uint32_t height) {
    if (width == 0 || height == 0 || width > MaxImageDimension || height > MaxImageDimension)
        throw EImageError("invalid picture size " + std::to_string(width) + " x " + std::to_string(height));
}

// rows x rowLength, refused when it does not fit in memory's address range.
size_t CheckedArea(size_t rowLength, uint32_t rows) {
    if (rowLength > std::numeric_limits<size_t>::max() / rows)
        throw EImageError("picture too large");
    return rowLength * rows;
}

} // namespace

size_t RowStride(uint32_t width) {
    return size_t(((uint64_t(width) * 8 + 31) & ~uint64_t(31)) / 8);
}

TRgbImage NewRgbImage(uint32_t width, uint32_t height) {
    CheckDimensions(width, height);
    TRgbImage image;
    image.Pixels.assign(CheckedArea(width, height), 0);
    image.Width = width;
    image.Height = height;
    return image;
}

TPaletteImage NewPaletteImage(uint32_t width, uint32_t height) {
    CheckDimensions(width, height);
    TPaletteImage image;
    image.Stride = RowStride(width);
    image.Indices.assign(CheckedArea(image.Stride, height), 0);
    image.Width = width;
    image.Height = height;
    return image;
}

void CheckImage(const TRgbImage& image) {
    CheckDimensions(image.Width, image.Height);
    if (image.Pixels.size() / image.Height != image.Width || image.Pixels.size() % image.Height != 0)
        throw EImageError("picture data does not match its size");
}

void CheckImage(const TPaletteImage& image) {
    CheckDimensions(image.Width, image.Height);
    if (image.Stride < image.Width || image.Indices.size() / image.Height != image.Stride ||
        image.Indices.size() % image.Height != 0)
        throw EImageError("picture data does not match its size");
    if (image.ColourCount < 0 || image.ColourCount > int(image.Palette.size()))
        throw EImageError("invalid palette size");
}

} // namespace reporter
