// Colour reduction: exact colours when there are few, a bounded palette of true averages when there are
// many, the palette's order, which node a reduction folds, and the fixed fallback palette.
#include "OOctree.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>

using namespace reporter;

namespace {

TRgbImage Picture(uint32_t width, uint32_t height, const std::vector<uint32_t>& pixels) {
    TRgbImage image = NewRgbImage(width, height);
    image.Pixels = pixels;
    return image;
}

uint32_t Mapped(const TPaletteImage& image, size_t i) {
    return image.Palette[image.Index(uint32_t(i % image.Width), uint32_t(i / image.Width))];
}

} // namespace

TEST(Octree, FewColoursAreKeptExactlyAndTheRestOfThePaletteIsBlack) {
    std::mt19937 random(1);
    std::vector<uint32_t> colors;
    std::set<uint32_t> distinct;
    while (colors.size() < 200) {
        const uint32_t c = random() & 0xFFFFFF;
        if (distinct.insert(c).second)
            colors.push_back(c);
    }
    std::vector<uint32_t> pixels(37 * 29);
    for (size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = colors[random() % colors.size()] | 0xFF000000; // the top byte is not colour
    const TRgbImage image = Picture(37, 29, pixels);
    const std::optional<TPaletteImage> reduced = ReduceColors(image);
    ASSERT_TRUE(reduced);
    std::set<uint32_t> used;
    for (uint32_t p : pixels)
        used.insert(p & 0xFFFFFF);
    EXPECT_EQ(reduced->ColourCount, int(used.size()));
    EXPECT_EQ(reduced->Stride, RowStride(37));
    for (size_t i = 0; i < pixels.size(); ++i)
        ASSERT_EQ(Mapped(*reduced, i), pixels[i] & 0xFFFFFF) << i;
    for (size_t i = size_t(reduced->ColourCount); i < 256; ++i)
        EXPECT_EQ(reduced->Palette[i], 0u);
}

TEST(Octree, ManyColoursGiveAtMost256EntriesEachTheAverageOfItsPixels) {
    std::mt19937 random(2);
    std::vector<uint32_t> pixels(300 * 200);
    // A smooth gradient with noise, as a photograph on a desktop gives.
    for (size_t i = 0; i < pixels.size(); ++i) {
        const uint32_t x = uint32_t(i % 300), y = uint32_t(i / 300);
        pixels[i] = (x * 255 / 299) << 16 | (y * 255 / 199) << 8 | (random() & 0xFF);
    }
    const std::optional<TPaletteImage> reduced = ReduceColors(Picture(300, 200, pixels));
    ASSERT_TRUE(reduced);
    EXPECT_LE(reduced->ColourCount, 256);
    EXPECT_GT(reduced->ColourCount, 64);

    struct TSum {
        uint64_t n = 0, r = 0, g = 0, b = 0;
    };
    std::map<uint8_t, TSum> sums;
    for (size_t i = 0; i < pixels.size(); ++i) {
        const uint8_t index = reduced->Index(uint32_t(i % 300), uint32_t(i / 300));
        ASSERT_LT(index, reduced->ColourCount);
        TSum& s = sums[index];
        ++s.n;
        s.r += pixels[i] >> 16 & 0xFF;
        s.g += pixels[i] >> 8 & 0xFF;
        s.b += pixels[i] & 0xFF;
    }
    EXPECT_EQ(int(sums.size()), reduced->ColourCount);
    for (const auto& [index, s] : sums)
        EXPECT_EQ(reduced->Palette[index],
                  uint32_t(s.r / s.n) << 16 | uint32_t(s.g / s.n) << 8 | uint32_t(s.b / s.n))
            << int(index);
}

TEST(Octree, LeafCountNeverPassesTheLimit) {
    TOctreeQuantizer tree;
    std::mt19937 random(3);
    for (int i = 0; i < 20000; ++i) {
        tree.AddColor(random() & 0xFFFFFF);
        ASSERT_LE(tree.LeafCount(), 256);
    }
    EXPECT_EQ(int(tree.MakePalette().size()), tree.LeafCount());
}

TEST(Octree, PaletteFollowsTheTreeDepthFirst) {
    // Child index: red bit x 4 + green bit x 2 + blue bit, so black, blue, red, white in this order.
    const std::optional<TPaletteImage> reduced =
        ReduceColors(Picture(4, 1, {0xFFFFFF, 0xFF0000, 0x0000FF, 0x000000}));
    ASSERT_TRUE(reduced);
    ASSERT_EQ(reduced->ColourCount, 4);
    EXPECT_EQ(reduced->Palette[0], 0x000000u);
    EXPECT_EQ(reduced->Palette[1], 0x0000FFu);
    EXPECT_EQ(reduced->Palette[2], 0xFF0000u);
    EXPECT_EQ(reduced->Palette[3], 0xFFFFFFu);
    EXPECT_EQ(reduced->Index(0, 0), 3);
    EXPECT_EQ(reduced->Index(3, 0), 0);
}

TEST(Octree, AReductionFoldsTheNewestDeepestNode) {
    // 255 colours whose top seven bits all differ, then two that differ only in the lowest blue bit:
    // the 257th leaf makes the newest node of level 7 (the pair's parent) fold its two leaves into one.
    std::vector<uint32_t> pixels;
    for (uint32_t i = 0; i < 255; ++i)
        pixels.push_back(((i * 2) & 0xFE) << 16 | ((i * 2) >> 8) << 9 | 0x11);
    pixels.push_back(0xFF4030);
    pixels.push_back(0xFF4031);
    pixels.push_back(0xFF4031);
    const TRgbImage image = Picture(uint32_t(pixels.size()), 1, pixels);
    const std::optional<TPaletteImage> reduced = ReduceColors(image);
    ASSERT_TRUE(reduced);
    EXPECT_EQ(reduced->ColourCount, 256);
    for (size_t i = 0; i < 255; ++i)
        ASSERT_EQ(Mapped(*reduced, i), pixels[i]) << i;
    // (0x30 + 0x31 + 0x31) / 3 rounds down to 0x30.
    for (size_t i = 255; i < 258; ++i)
        EXPECT_EQ(Mapped(*reduced, i), 0xFF4030u);
}

TEST(Octree, OneColourOverManyPixelsKeepsItsValue) {
    // 5000 x 4000 white pixels would carry a 32-bit sum past its range.
    TRgbImage image = NewRgbImage(5000, 4000);
    std::fill(image.Pixels.begin(), image.Pixels.end(), 0xFFFFFFu);
    const std::optional<TPaletteImage> reduced = ReduceColors(image);
    ASSERT_TRUE(reduced);
    EXPECT_EQ(reduced->ColourCount, 1);
    EXPECT_EQ(reduced->Palette[0], 0xFFFFFFu);
}

TEST(Octree, FixedPaletteFallbackStaysClose) {
    std::mt19937 random(4);
    std::vector<uint32_t> pixels{0x000000, 0xFFFFFF, 0xFF0000, 0x00FF00, 0x0000FF};
    for (int i = 0; i < 500; ++i)
        pixels.push_back(random() & 0xFFFFFF);
    const TPaletteImage fixed = ReduceToFixedPalette(Picture(uint32_t(pixels.size()), 1, pixels));
    EXPECT_EQ(fixed.ColourCount, 256);
    for (size_t i = 0; i < 5; ++i)
        EXPECT_EQ(Mapped(fixed, i), pixels[i]);
    for (size_t i = 0; i < pixels.size(); ++i) {
        const uint32_t got = Mapped(fixed, i);
        EXPECT_LT(std::abs(int(got >> 16 & 0xFF) - int(pixels[i] >> 16 & 0xFF)), 32);
        EXPECT_LT(std::abs(int(got >> 8 & 0xFF) - int(pixels[i] >> 8 & 0xFF)), 32);
        EXPECT_LT(std::abs(int(got & 0xFF) - int(pixels[i] & 0xFF)), 64);
    }
}

TEST(Octree, InvalidPicturesAreRefused) {
    TRgbImage image = NewRgbImage(3, 3);
    image.Pixels.resize(8);
    EXPECT_THROW(ReduceColors(image), EImageError);
    EXPECT_THROW(ReduceToFixedPalette(image), EImageError);
    EXPECT_THROW(ReduceColors(TRgbImage()), EImageError);
}
