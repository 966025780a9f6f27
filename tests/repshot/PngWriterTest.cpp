// The PNG writer against two independent readers, its chunk layout and CRCs, and the sizes it refuses.
#include "PngReaders.h"

#include "OBitmap.h"
#include "OPngWriter.h"
#include "OStream.h"
#include "OZLib.h"

#include <gtest/gtest.h>

#include <random>

using namespace reporter;

namespace {

// Indices chosen at random (noise defeats compression, so large pictures need several IDAT chunks),
// the stride's padding filled with a value no pixel uses, so that a row written with its padding shows.
TPaletteImage RandomPicture(uint32_t width, uint32_t height, int colors, uint32_t seed) {
    TPaletteImage image = NewPaletteImage(width, height);
    std::mt19937 random(seed);
    for (int i = 0; i < 256; ++i)
        image.Palette[size_t(i)] = i < colors ? random() & 0xFFFFFF : 0;
    image.ColourCount = colors;
    std::fill(image.Indices.begin(), image.Indices.end(), uint8_t(colors - 1));
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x)
            image.Indices[size_t(y) * image.Stride + x] = uint8_t(random() % uint32_t(colors - 1));
    return image;
}

std::vector<uint8_t> Png(const TPaletteImage& image) {
    TOstrelStream stream;
    WritePNG(stream, image);
    return stream.Bytes();
}

void ExpectReadersAgree(const TPaletteImage& image) {
    SCOPED_TRACE(std::to_string(image.Width) + " x " + std::to_string(image.Height));
    const std::vector<uint8_t> png = Png(image);
    const std::vector<uint32_t> expected = ExpectedColors(image);

    const QImage qt = ReadPngWithQt(png);
    ASSERT_FALSE(qt.isNull());
    EXPECT_EQ(qt.width(), int(image.Width));
    EXPECT_EQ(qt.height(), int(image.Height));
    EXPECT_TRUE(QtPixels(qt) == expected);

    const TPythonPng py = ReadPngWithPython(png);
    ASSERT_TRUE(py.Ok) << py.Error;
    EXPECT_EQ(py.Width, image.Width);
    EXPECT_EQ(py.Height, image.Height);
    EXPECT_EQ(py.Header, (std::vector<int>{8, 3, 0, 0, 0}));
    EXPECT_TRUE(py.Pixels == expected);
    ASSERT_GE(py.Chunks.size(), 4u);
    EXPECT_EQ(py.Chunks[0].Type, "IHDR");
    EXPECT_EQ(py.Chunks[0].Length, 13u);
    EXPECT_EQ(py.Chunks[1].Type, "PLTE");
    EXPECT_EQ(py.Chunks[1].Length, 768u);
    EXPECT_EQ(py.Chunks.back().Type, "IEND");
    EXPECT_EQ(py.Chunks.back().Length, 0u);
    for (size_t i = 0; i < py.Chunks.size(); ++i) {
        EXPECT_TRUE(py.Chunks[i].CrcOk) << py.Chunks[i].Type << " " << i;
        if (i >= 2 && i + 1 < py.Chunks.size()) {
            EXPECT_EQ(py.Chunks[i].Type, "IDAT");
        }
    }
}

} // namespace

TEST(PngWriter, ReadersSeeEveryPixelForAssortedSizes) {
    ExpectReadersAgree(RandomPicture(1, 1, 2, 1));
    ExpectReadersAgree(RandomPicture(3, 2, 5, 2));
    ExpectReadersAgree(RandomPicture(7, 13, 256, 3));
    ExpectReadersAgree(RandomPicture(1, 40, 17, 4));
    ExpectReadersAgree(RandomPicture(41, 1, 17, 5));
}

TEST(PngWriter, RowsCarryTheWidthNotThePaddedStride) {
    const TPaletteImage image = RandomPicture(1366, 4, 200, 6);
    EXPECT_EQ(image.Stride, 1368u);
    ExpectReadersAgree(image);
}

TEST(PngWriter, LargePictureIsSplitIntoFullIdatChunks) {
    const TPaletteImage image = RandomPicture(1201, 900, 256, 7);
    ExpectReadersAgree(image);
    const TPythonPng py = ReadPngWithPython(Png(image));
    ASSERT_TRUE(py.Ok) << py.Error;
    std::vector<uint32_t> idat;
    for (const TPngChunkInfo& chunk : py.Chunks)
        if (chunk.Type == "IDAT")
            idat.push_back(chunk.Length);
    ASSERT_GE(idat.size(), 3u);
    for (size_t i = 0; i + 1 < idat.size(); ++i)
        EXPECT_EQ(idat[i], PngIdatBufferSize);
    EXPECT_GT(idat.back(), 0u);
    EXPECT_LE(idat.back(), PngIdatBufferSize);
}

TEST(PngWriter, StartsWithSignatureAndBigEndianHeader) {
    const std::vector<uint8_t> png = Png(RandomPicture(0x1234, 2, 3, 8));
    const std::vector<uint8_t> start(png.begin(), png.begin() + 29);
    const std::vector<uint8_t> expected{137, 80, 78, 71,   13,   10, 26, 10, 0, 0, 0, 13, 'I', 'H', 'D',
                                        'R', 0,  0,  0x12, 0x34, 0,  0,  0,  2, 8, 3, 0,  0,   0};
    EXPECT_EQ(start, expected);
    // IEND and its well-known CRC close the file.
    const std::vector<uint8_t> end(png.end() - 12, png.end());
    EXPECT_EQ(end, (std::vector<uint8_t>{0, 0, 0, 0, 'I', 'E', 'N', 'D', 0xAE, 0x42, 0x60, 0x82}));
}

TEST(PngWriter, PaletteHasAll256EntriesUnusedOnesBlack) {
    TPaletteImage image = NewPaletteImage(2, 1);
    image.Palette[0] = 0x102030;
    image.Palette[1] = 0xFFEEDD;
    image.ColourCount = 2;
    image.Indices[1] = 1;
    const std::vector<uint8_t> png = Png(image);
    // Signature (8) and IHDR (25), then the PLTE chunk's length, type and data.
    ASSERT_GT(png.size(), 33u + 8 + 768);
    const uint8_t* plte = png.data() + 33 + 8;
    EXPECT_EQ(std::vector<uint8_t>(plte, plte + 6),
              (std::vector<uint8_t>{0x10, 0x20, 0x30, 0xFF, 0xEE, 0xDD}));
    for (int i = 6; i < 768; ++i)
        ASSERT_EQ(plte[i], 0) << i;
}

TEST(PngWriter, InvalidPicturesAreRefusedBeforeAnythingIsWritten) {
    EXPECT_THROW(NewPaletteImage(0, 5), EImageError);
    EXPECT_THROW(NewPaletteImage(5, 0), EImageError);
    EXPECT_THROW(NewPaletteImage(MaxImageDimension + 1, 1), EImageError);
    EXPECT_THROW(NewRgbImage(1, MaxImageDimension + 1), EImageError);
    EXPECT_THROW(NewRgbImage(0, 0), EImageError);

    const auto refused = [](const TPaletteImage& image) {
        TOstrelStream stream;
        EXPECT_THROW(WritePNG(stream, image), EImageError);
        EXPECT_EQ(stream.Size(), 0u);
    };
    TPaletteImage image = NewPaletteImage(5, 3);
    TPaletteImage shortData = image;
    shortData.Indices.pop_back();
    refused(shortData);
    TPaletteImage narrowStride = image;
    narrowStride.Stride = 4;
    narrowStride.Indices.resize(12);
    refused(narrowStride);
    TPaletteImage lyingHeight = image;
    lyingHeight.Height = 4;
    refused(lyingHeight);
    TPaletteImage noWidth = image;
    noWidth.Width = 0;
    refused(noWidth);
    TPaletteImage badPalette = image;
    badPalette.ColourCount = 257;
    refused(badPalette);
    refused(TPaletteImage());

    TRgbImage rgb = NewRgbImage(4, 4);
    rgb.Pixels.resize(15);
    EXPECT_THROW(CheckImage(rgb), EImageError);
}

TEST(PngWriter, RowStrideRoundsToWholeWords) {
    EXPECT_EQ(RowStride(1), 4u);
    EXPECT_EQ(RowStride(4), 4u);
    EXPECT_EQ(RowStride(5), 8u);
    EXPECT_EQ(RowStride(1366), 1368u);
    EXPECT_EQ(RowStride(MaxImageDimension), size_t(MaxImageDimension) + 1);
}

TEST(PngWriter, ChunkCrcCoversTypeAndData) {
    TOstrelStream stream;
    const uint8_t data[] = {1, 2, 3};
    WritePngChunk(stream, "tEXt", data, 3);
    const std::vector<uint8_t>& bytes = stream.Bytes();
    ASSERT_EQ(bytes.size(), 15u);
    // The CRC-32 of "tEXt" followed by 1, 2, 3, worked out independently.
    const uint32_t crc =
        uint32_t(bytes[11]) << 24 | uint32_t(bytes[12]) << 16 | uint32_t(bytes[13]) << 8 | bytes[14];
    EXPECT_EQ(crc, 0x9C1D5A57u);
}

TEST(DeflateStream, HandsOverFullBuffersAndInflatesBack) {
    std::mt19937 random(9);
    std::vector<uint8_t> data(100000);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = i % 3 == 0 ? uint8_t(random()) : uint8_t(i / 1000);
    std::vector<size_t> pieces;
    std::vector<uint8_t> compressed;
    TZDeflateStream deflater(9, 4099, [&](const uint8_t* p, size_t n) {
        pieces.push_back(n);
        compressed.insert(compressed.end(), p, p + n);
    });
    // Writes of assorted sizes, one empty.
    size_t at = 0;
    for (size_t n : {size_t(1), size_t(0), size_t(777), size_t(50000)}) {
        deflater.Write(data.data() + at, n);
        at += n;
    }
    deflater.Write(data.data() + at, data.size() - at);
    deflater.Finish();
    ASSERT_GE(pieces.size(), 2u);
    for (size_t i = 0; i + 1 < pieces.size(); ++i)
        EXPECT_EQ(pieces[i], 4099u);
    EXPECT_EQ(ZDecompressBuffer(compressed.data(), compressed.size()), data);
    EXPECT_THROW(deflater.Write(data.data(), 1), EZLibError);
    EXPECT_THROW(deflater.Finish(), EZLibError);
}

TEST(DeflateStream, RefusesBadSettings) {
    const auto sink = [](const uint8_t*, size_t) {};
    EXPECT_THROW(TZDeflateStream(9, 0, sink), EZLibError);
    EXPECT_THROW(TZDeflateStream(42, 100, sink), EZLibError);
    EXPECT_THROW(TZDeflateStream(9, 100, nullptr), EZLibError);
}

TEST(DeflateStream, EmptyInputStillMakesAValidStream) {
    std::vector<uint8_t> compressed;
    TZDeflateStream deflater(
        9, 1, [&](const uint8_t* p, size_t n) { compressed.insert(compressed.end(), p, p + n); });
    deflater.Finish();
    EXPECT_TRUE(ZDecompressBuffer(compressed.data(), compressed.size()).empty());
}
