#pragma once
// Independent readers of the PNG files the writer makes: the toolkit's image reader, and a Python reader
// built on its own zlib and struct modules that also checks every chunk's CRC.
#include "OBitmap.h"

#include <QImage>

#include <cstdint>
#include <string>
#include <vector>

struct TPngChunkInfo {
    std::string Type;
    uint32_t Length = 0;
    bool CrcOk = false;
};

struct TPythonPng {
    bool Ok = false;   // the reader ran and parsed the file
    std::string Error; // its complaint otherwise
    uint32_t Width = 0;
    uint32_t Height = 0;
    std::vector<int> Header; // bit depth, colour type, compression, filter, interlace
    std::vector<TPngChunkInfo> Chunks;
    std::vector<uint32_t> Pixels; // 0x00RRGGBB, rows from the top
};

TPythonPng ReadPngWithPython(const std::vector<uint8_t>& png);
QImage ReadPngWithQt(const std::vector<uint8_t>& png);

// The colour every pixel of the palette picture stands for.
std::vector<uint32_t> ExpectedColors(const reporter::TPaletteImage& image);
std::vector<uint32_t> QtPixels(const QImage& image);
