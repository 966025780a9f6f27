#include "OOctree.h"

#include <new>

namespace reporter {

namespace {

constexpr uint32_t Red(uint32_t c) {
    return (c >> 16) & 0xFF;
}
constexpr uint32_t Green(uint32_t c) {
    return (c >> 8) & 0xFF;
}
constexpr uint32_t Blue(uint32_t c) {
    return c & 0xFF;
}

// The child of a node at the level: one bit of each component, red the most significant.
constexpr int ChildIndex(uint32_t color, int level) {
    const int shift = 7 - level;
    return int(((Red(color) >> shift) & 1) << 2 | ((Green(color) >> shift) & 1) << 1 |
               ((Blue(color) >> shift) & 1));
}

} // namespace

// Sums are 64 bits wide: 32 bits overflow once a leaf holds more than 16 million white pixels, which a
// screenshot of several monitors reaches.
struct TOctreeQuantizer::TNode {
    bool Leaf = false;
    uint64_t PixelCount = 0;
    uint64_t RedSum = 0;
    uint64_t GreenSum = 0;
    uint64_t BlueSum = 0;
    TNode* NextReducible = nullptr;
    std::array<std::unique_ptr<TNode>, 8> Children;
    uint8_t PaletteIndex = 0;

    void Add(uint32_t color) {
        ++PixelCount;
        RedSum += Red(color);
        GreenSum += Green(color);
        BlueSum += Blue(color);
    }
};

TOctreeQuantizer::TOctreeQuantizer() = default;

TOctreeQuantizer::~TOctreeQuantizer() = default;

void TOctreeQuantizer::AddColor(uint32_t color) {
    color &= 0xFFFFFF;
    if (m_lastLeaf != nullptr && color == m_lastColor) {
        m_lastLeaf->Add(color);
        return;
    }
    AddToTree(color);
    m_lastColor = color;
    while (m_leafCount > MaxColors) {
        Reduce();
        m_lastLeaf = nullptr;
    }
}

void TOctreeQuantizer::AddToTree(uint32_t color) {
    std::unique_ptr<TNode>* slot = &m_root;
    for (int level = 0;; ++level) {
        if (!*slot) {
            *slot = std::make_unique<TNode>();
            if (level == Depth) {
                (*slot)->Leaf = true;
                ++m_leafCount;
            } else {
                (*slot)->NextReducible = m_reducible[size_t(level)];
                m_reducible[size_t(level)] = slot->get();
            }
        }
        TNode* node = slot->get();
        if (node->Leaf) {
            node->Add(color);
            m_lastLeaf = node;
            return;
        }
        slot = &node->Children[size_t(ChildIndex(color, level))];
    }
}

void TOctreeQuantizer::Reduce() {
    int level = Depth - 1;
    while (level > 0 && m_reducible[size_t(level)] == nullptr)
        --level;
    TNode* node = m_reducible[size_t(level)];
    if (node == nullptr)
        return; // only the root's leaf is left
    m_reducible[size_t(level)] = node->NextReducible;
    int children = 0;
    for (auto& child : node->Children) {
        if (!child)
            continue;
        // The deepest reducible level was chosen, so every child is a leaf by now.
        node->PixelCount += child->PixelCount;
        node->RedSum += child->RedSum;
        node->GreenSum += child->GreenSum;
        node->BlueSum += child->BlueSum;
        child.reset();
        ++children;
    }
    node->Leaf = true;
    m_leafCount -= children - 1;
}

std::vector<uint32_t> TOctreeQuantizer::MakePalette() {
    std::vector<uint32_t> palette;
    palette.reserve(size_t(m_leafCount));
    // Depth-first, children 0..7, without recursion: the stack holds at most 8 x 9 nodes.
    std::vector<TNode*> stack;
    if (m_root)
        stack.push_back(m_root.get());
    while (!stack.empty()) {
        TNode* node = stack.back();
        stack.pop_back();
        if (node->Leaf) {
            node->PaletteIndex = uint8_t(palette.size());
            const uint64_t n = node->PixelCount;
            palette.push_back(uint32_t(node->RedSum / n) << 16 | uint32_t(node->GreenSum / n) << 8 |
                              uint32_t(node->BlueSum / n));
            continue;
        }
        for (size_t i = node->Children.size(); i-- > 0;)
            if (node->Children[i])
                stack.push_back(node->Children[i].get());
    }
    return palette;
}

uint8_t TOctreeQuantizer::IndexOf(uint32_t color) const {
    const TNode* node = m_root.get();
    for (int level = 0; node != nullptr && !node->Leaf; ++level)
        node = node->Children[size_t(ChildIndex(color, level))].get();
    // A colour that was never added has no leaf; it takes the first entry.
    return node != nullptr ? node->PaletteIndex : 0;
}

std::optional<TPaletteImage> ReduceColors(const TRgbImage& image) {
    CheckImage(image);
    try {
        TOctreeQuantizer tree;
        for (uint32_t pixel : image.Pixels)
            tree.AddColor(pixel);
        TPaletteImage reduced = NewPaletteImage(image.Width, image.Height);
        const std::vector<uint32_t> palette = tree.MakePalette();
        for (size_t i = 0; i < palette.size(); ++i)
            reduced.Palette[i] = palette[i];
        reduced.ColourCount = int(palette.size());
        for (uint32_t y = 0; y < image.Height; ++y) {
            const uint32_t* source = image.Pixels.data() + size_t(y) * image.Width;
            uint8_t* target = reduced.Indices.data() + size_t(y) * reduced.Stride;
            uint32_t lastColor = source[0] & 0xFFFFFF;
            uint8_t lastIndex = tree.IndexOf(lastColor);
            for (uint32_t x = 0; x < image.Width; ++x) {
                const uint32_t color = source[x] & 0xFFFFFF;
                if (color != lastColor) {
                    lastColor = color;
                    lastIndex = tree.IndexOf(color);
                }
                target[x] = lastIndex;
            }
        }
        return reduced;
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

TPaletteImage ReduceToFixedPalette(const TRgbImage& image) {
    CheckImage(image);
    TPaletteImage reduced = NewPaletteImage(image.Width, image.Height);
    // Each component's bits repeated to fill 8 bits, so that the top entries reach full intensity.
    for (uint32_t i = 0; i < 256; ++i) {
        const uint32_t r = (i >> 5) & 7, g = (i >> 2) & 7, b = i & 3;
        reduced.Palette[i] = ((r << 5 | r << 2 | r >> 1) << 16) | ((g << 5 | g << 2 | g >> 1) << 8) |
                             (b << 6 | b << 4 | b << 2 | b);
    }
    reduced.ColourCount = 256;
    for (uint32_t y = 0; y < image.Height; ++y) {
        const uint32_t* source = image.Pixels.data() + size_t(y) * image.Width;
        uint8_t* target = reduced.Indices.data() + size_t(y) * reduced.Stride;
        for (uint32_t x = 0; x < image.Width; ++x) {
            const uint32_t c = source[x];
            target[x] = uint8_t((Red(c) >> 5) << 5 | (Green(c) >> 5) << 2 | Blue(c) >> 6);
        }
    }
    return reduced;
}

} // namespace reporter
