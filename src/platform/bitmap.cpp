#include "platform/bitmap.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <memory>

#include "platform/datafile.h"

namespace platform {

namespace {

enum : uint32_t { BI_RGB = 0, BI_RLE8 = 1, BI_RLE4 = 2, BI_BITFIELDS = 3, BI_ALPHABITFIELDS = 6 };

uint16_t u16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
uint32_t u32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

bool fail(std::string* error, const char* why) {
    if (error) *error = why;
    return false;
}

// One colour channel described by a bit mask, scaled to 0..255.
struct Channel {
    uint32_t mask = 0;
    int shift = 0;
    uint32_t max = 0;
    explicit Channel(uint32_t m) : mask(m) {
        if (m) {
            shift = std::countr_zero(m);
            max = m >> shift;
        }
    }
    uint32_t operator()(uint32_t pixel) const {
        if (!max) return 0;
        return uint32_t(uint64_t((pixel & mask) >> shift) * 255 / max);
    }
};

// Decodes run-length coded rows (RLE8 or RLE4) into image rows; the file's first row is the
// bottom one. Pixels the runs never reach stay 0; runs that leave the picture are cut off, and
// data that ends early ends the picture there.
void decodeRle(const uint8_t* p, const uint8_t* end, bool four, BitmapImage& img) {
    const int64_t w = img.width, h = img.height;
    int64_t x = 0, y = 0;
    auto put = [&](int64_t px, uint8_t v) {
        if (px >= 0 && px < w && y < h) img.indices[size_t((h - 1 - y) * w + px)] = v;
    };
    while (end - p >= 2 && y < h) {
        const uint8_t n = p[0], c = p[1];
        p += 2;
        if (n > 0) {
            for (int k = 0; k < n; ++k)
                put(x + k, four ? uint8_t((k & 1) ? (c & 0x0F) : (c >> 4)) : c);
            x += n;
        } else if (c == 0) {
            x = 0;
            ++y;
        } else if (c == 1) {
            return;
        } else if (c == 2) {
            if (end - p < 2) return;
            x += p[0];
            y += p[1];
            p += 2;
        } else {
            const int64_t bytes = four ? (c + 1) / 2 : c;
            const int64_t padded = bytes + (bytes & 1);
            if (end - p < bytes) return;
            for (int k = 0; k < c; ++k) {
                const uint8_t v =
                    four ? uint8_t((k & 1) ? (p[k / 2] & 0x0F) : (p[k / 2] >> 4)) : p[k];
                put(x + k, v);
            }
            x += c;
            p += std::min<int64_t>(padded, end - p);
        }
    }
}

}  // namespace

uint32_t BitmapImage::colourAt(int32_t x, int32_t y) const {
    const size_t i = size_t(y) * size_t(width) + size_t(x);
    if (!indexed) return colours[i];
    const uint8_t index = indices[i];
    return index < colourTable.size() ? colourTable[index] : 0;
}

bool decodeBitmap(const uint8_t* data, size_t size, BitmapImage& img, std::string* error) {
    img = BitmapImage{};
    if (!data || size < 14 + 12) return fail(error, "too short");
    if (data[0] != 'B' || data[1] != 'M') return fail(error, "not a bitmap");
    const uint32_t offBits = u32(data + 10);
    const uint32_t headerSize = u32(data + 14);
    const bool core = headerSize == 12;
    if (!core && headerSize != 40 && headerSize != 52 && headerSize != 56 && headerSize != 64 &&
        headerSize != 108 && headerSize != 124)
        return fail(error, "unknown header");
    if (14 + uint64_t(headerSize) > size) return fail(error, "header past end of file");
    const uint8_t* h = data + 14;

    int64_t width, height;
    uint32_t planes, bpp, compression = BI_RGB, clrUsed = 0;
    if (core) {
        width = u16(h + 4);
        height = u16(h + 6);
        planes = u16(h + 8);
        bpp = u16(h + 10);
    } else {
        width = int32_t(u32(h + 4));
        height = int32_t(u32(h + 8));
        planes = u16(h + 12);
        bpp = u16(h + 14);
        compression = u32(h + 16);
        clrUsed = u32(h + 32);
    }
    if (planes != 1) return fail(error, "bad plane count");
    const bool topDown = height < 0;
    if (topDown) height = -height;
    if (width < 1 || height < 1) return fail(error, "bad size");
    if (width > kMaxBitmapSide || height > kMaxBitmapSide || width * height > kMaxBitmapPixels)
        return fail(error, "too large");
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32)
        return fail(error, "bad bit count");
    const bool rle = compression == BI_RLE8 || compression == BI_RLE4;
    const bool fields = compression == BI_BITFIELDS || compression == BI_ALPHABITFIELDS;
    if ((compression == BI_RLE8 && bpp != 8) || (compression == BI_RLE4 && bpp != 4) ||
        (fields && bpp != 16 && bpp != 32) || (!rle && !fields && compression != BI_RGB))
        return fail(error, "bad compression");
    if (rle && topDown) return fail(error, "top-down run-length data");
    if (offBits >= size) return fail(error, "no pixel data");

    // Colour masks: inside a header of 52 bytes or more, else right after a 40-byte one.
    size_t tableStart = 14 + size_t(headerSize);
    uint32_t masks[3] = {0, 0, 0};
    if (fields) {
        const uint8_t* m = h + 40;
        if (headerSize == 40) {
            const size_t maskBytes = compression == BI_ALPHABITFIELDS ? 16 : 12;
            if (tableStart + maskBytes > size) return fail(error, "masks past end of file");
            tableStart += maskBytes;
        }
        masks[0] = u32(m);
        masks[1] = u32(m + 4);
        masks[2] = u32(m + 8);
    } else if (bpp == 16) {
        masks[0] = 0x7C00;
        masks[1] = 0x03E0;
        masks[2] = 0x001F;
    } else if (bpp == 32) {
        masks[0] = 0xFF0000;
        masks[1] = 0xFF00;
        masks[2] = 0xFF;
    }

    img.width = int32_t(width);
    img.height = int32_t(height);
    img.bitsPerPixel = int(bpp);
    img.indexed = bpp <= 8;

    if (img.indexed) {
        const uint32_t full = 1u << bpp;
        if (clrUsed > full) return fail(error, "colour table too large");
        const uint32_t count = clrUsed ? clrUsed : full;
        const size_t entry = core ? 3 : 4;
        if (tableStart + uint64_t(count) * entry > size)
            return fail(error, "colour table past end of file");
        img.colourTable.resize(count);
        for (uint32_t i = 0; i < count; ++i) {
            const uint8_t* e = data + tableStart + i * entry;
            img.colourTable[i] = uint32_t(e[2]) | uint32_t(e[1]) << 8 | uint32_t(e[0]) << 16;
        }
    }

    const uint8_t* pixels = data + offBits;
    const uint64_t available = size - offBits;
    if (rle) {
        // Every two bytes of runs describe at most 255 pixels (a few more with skips): a picture
        // far larger than its data could describe is refused before it is allocated.
        if (uint64_t(width * height) > available * 1024)
            return fail(error, "too large for its data");
        img.indices.assign(size_t(width * height), 0);
        decodeRle(pixels, data + size, compression == BI_RLE4, img);
        return true;
    }

    const uint64_t stride = ((uint64_t(width) * bpp + 31) / 32) * 4;
    if (stride * uint64_t(height) > available) return fail(error, "pixel data past end of file");
    const Channel red(masks[0]), green(masks[1]), blue(masks[2]);
    if (img.indexed)
        img.indices.resize(size_t(width * height));
    else
        img.colours.resize(size_t(width * height));
    for (int64_t r = 0; r < height; ++r) {
        const uint8_t* row = pixels + stride * uint64_t(r);
        const int64_t y = topDown ? r : height - 1 - r;
        const size_t base = size_t(y * width);
        switch (bpp) {
            case 1:
                for (int64_t x = 0; x < width; ++x)
                    img.indices[base + x] = uint8_t((row[x >> 3] >> (7 - (x & 7))) & 1);
                break;
            case 4:
                for (int64_t x = 0; x < width; ++x)
                    img.indices[base + x] =
                        uint8_t((x & 1) ? (row[x >> 1] & 0x0F) : (row[x >> 1] >> 4));
                break;
            case 8: std::copy(row, row + width, img.indices.begin() + ptrdiff_t(base)); break;
            case 24:
                for (int64_t x = 0; x < width; ++x) {
                    const uint8_t* p = row + 3 * x;
                    img.colours[base + x] =
                        uint32_t(p[2]) | uint32_t(p[1]) << 8 | uint32_t(p[0]) << 16;
                }
                break;
            default:  // 16 or 32 bits through the masks
                for (int64_t x = 0; x < width; ++x) {
                    const uint32_t v = bpp == 16 ? u16(row + 2 * x) : u32(row + 4 * x);
                    img.colours[base + x] = red(v) | green(v) << 8 | blue(v) << 16;
                }
                break;
        }
    }
    return true;
}

bool readBitmapFile(const char* path, BitmapImage& image, std::string* error) {
    image = BitmapImage{};
    if (!path) return fail(error, "no file name");
    // The largest acceptable picture, 32-bit, with the largest headers and tables.
    constexpr size_t kMaxFile = size_t(kMaxBitmapPixels) * 4 + 65536;
    std::string bytes, why;
    if (!readWholeFile(path, kMaxFile, bytes, why, false)) return fail(error, why.c_str());
    return decodeBitmap(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), image, error);
}

std::vector<uint8_t> encodeBitmap8(int32_t width, int32_t height, const uint8_t* pixels,
                                   int32_t pitch, const PaletteEntry palette[256]) {
    const uint32_t stride = (uint32_t(width) + 3) & ~3u;
    const uint32_t imageSize = stride * uint32_t(height);
    const uint32_t offset = 14 + 40 + 256 * 4;
    std::vector<uint8_t> out;
    out.reserve(offset + imageSize);
    const auto put = [&out](uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) out.push_back(uint8_t(v >> (8 * i)));
    };
    out.push_back('B');
    out.push_back('M');
    put(offset + imageSize, 4);
    put(0, 4);
    put(offset, 4);
    put(40, 4);  // info header: 8 bits per pixel, uncompressed, bottom-up, 72 dpi
    put(uint32_t(width), 4);
    put(uint32_t(height), 4);
    put(1, 2);
    put(8, 2);
    put(0, 4);
    put(imageSize, 4);
    put(2835, 4);
    put(2835, 4);
    put(256, 4);
    put(0, 4);
    for (int i = 0; i < 256; ++i) {
        out.push_back(palette[i].peBlue);
        out.push_back(palette[i].peGreen);
        out.push_back(palette[i].peRed);
        out.push_back(0);
    }
    for (int32_t y = height - 1; y >= 0; --y) {
        const size_t start = out.size();
        out.resize(start + stride, 0);
        if (pixels) std::copy_n(pixels + size_t(y) * size_t(pitch), size_t(width), &out[start]);
    }
    return out;
}

}  // namespace platform
