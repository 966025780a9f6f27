#pragma once
// Colour reduction of the screenshot to at most 256 colours with an octree quantiser: every colour walks
// down by one bit of red, green and blue per level; whenever more than 256 leaves exist, the deepest
// reducible node folds its children into itself.
#include "OBitmap.h"

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace reporter {

class TOctreeQuantizer {
public:
    static constexpr int MaxColors = 256;
    static constexpr int Depth = 8;

    TOctreeQuantizer();
    ~TOctreeQuantizer();
    TOctreeQuantizer(const TOctreeQuantizer&) = delete;
    TOctreeQuantizer& operator=(const TOctreeQuantizer&) = delete;

    // Adds one pixel of the colour (0x00RRGGBB), then reduces until at most MaxColors leaves remain.
    void AddColor(uint32_t color);
    int LeafCount() const { return m_leafCount; }
    // The leaves' average colours in depth-first order, children 0..7; each leaf remembers its position,
    // which IndexOf then gives.
    std::vector<uint32_t> MakePalette();
    // The palette position of the leaf the colour falls into; valid after MakePalette.
    uint8_t IndexOf(uint32_t color) const;

private:
    struct TNode;
    void AddToTree(uint32_t color);
    void Reduce();

    std::unique_ptr<TNode> m_root;
    int m_leafCount = 0;
    std::array<TNode*, Depth> m_reducible{};
    // The leaf of the previous pixel: screenshots repeat colours, and a repeat then skips the walk.
    TNode* m_lastLeaf = nullptr;
    uint32_t m_lastColor = 0;
};

// The picture as 8-bit palette picture of the octree's colours (at most 256; unused entries black); none
// when the reduction cannot be done for want of memory. Raises EImageError for an invalid picture.
std::optional<TPaletteImage> ReduceColors(const TRgbImage& image);

// The picture read in 8 bits without a reduction: a fixed palette of 3 bits red, 3 bits green and 2 bits
// blue. The fallback when ReduceColors gives none.
TPaletteImage ReduceToFixedPalette(const TRgbImage& image);

} // namespace reporter
