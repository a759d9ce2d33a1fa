// A Windows bitmap (BMP) reader that trusts nothing in the file: every size is checked against
// the data before anything is allocated, and malformed data is refused.
//
// Read: 1, 4 and 8-bit palettised pictures (uncompressed, RLE4, RLE8), 16, 24 and 32-bit pictures
// (uncompressed or with bit-field masks), bottom-up and top-down rows, the OS/2 core header and
// the 40 to 124-byte info headers (v4, v5).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/display.h"

namespace platform {

struct BitmapImage {
    int32_t width = 0, height = 0;
    int bitsPerPixel = 0;
    // Palettised pictures: one index per pixel as stored in the file (also an index past the end
    // of the colour table), top row first.
    bool indexed = false;
    std::vector<uint8_t> indices;
    // The file's colour table as COLORREFs (0x00BBGGRR).
    std::vector<uint32_t> colourTable;
    // Pictures of 16 bits or more: one COLORREF per pixel, top row first.
    std::vector<uint32_t> colours;

    // The COLORREF of a pixel; an index past the colour table gives black.
    uint32_t colourAt(int32_t x, int32_t y) const;
};

// The largest picture accepted, in pixels along either side and in all.
inline constexpr int32_t kMaxBitmapSide = 32768;
inline constexpr int64_t kMaxBitmapPixels = int64_t(1) << 26;

// Parses a whole file held in memory. False (with a short reason) for anything malformed.
bool decodeBitmap(const uint8_t* data, size_t size, BitmapImage& image,
                  std::string* error = nullptr);

// Reads and parses a file; false when it cannot be read or is malformed. Files larger than any
// acceptable picture are refused before they are read.
bool readBitmapFile(const char* path, BitmapImage& image, std::string* error = nullptr);

// An uncompressed, bottom-up 8-bit Windows bitmap (40-byte info header, 256-entry colour table,
// biClrUsed 256) of width by height palette indices read at pixels + y * pitch.
std::vector<uint8_t> encodeBitmap8(int32_t width, int32_t height, const uint8_t* pixels,
                                   int32_t pitch, const PaletteEntry palette[256]);

}  // namespace platform
