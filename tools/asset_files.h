// Writers for the file formats the asset generator produces: 8-bit Windows bitmaps with a
// 256-entry colour table, 8-bit mono PCM wave files and RGBA PNG images (compressed by zlib).
#pragma once

#include <array>
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include <zlib.h>

#include "platform/bitmap.h"

namespace assets {

struct Rgb {
    uint8_t r = 0, g = 0, b = 0;
    bool operator==(const Rgb&) const = default;
};

using ColourTable = std::array<Rgb, 256>;

inline void put16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}
inline void put32(std::vector<uint8_t>& out, uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}
inline void put32be(std::vector<uint8_t>& out, uint32_t v) {
    for (int s = 24; s >= 0; s -= 8) out.push_back(uint8_t(v >> s));
}
inline void putTag(std::vector<uint8_t>& out, const char* tag) {
    for (int i = 0; i < 4; ++i) out.push_back(uint8_t(tag[i]));
}

// An uncompressed bottom-up 8 bpp bitmap; pixels are width x height indices, top row first.
inline std::vector<uint8_t> encodeBmp(int width, int height, const std::vector<uint8_t>& pixels,
                                      const ColourTable& colours) {
    platform::PaletteEntry palette[256];
    for (size_t i = 0; i < 256; ++i) palette[i] = {colours[i].r, colours[i].g, colours[i].b, 0};
    return platform::encodeBitmap8(width, height, pixels.data(), width, palette);
}

// RIFF/WAVE with the format chunk first: PCM, mono, 8-bit unsigned samples.
inline std::vector<uint8_t> encodeWav(const std::vector<uint8_t>& samples, uint32_t rate) {
    const uint32_t dataBytes = uint32_t(samples.size());
    const uint32_t pad = dataBytes & 1;
    std::vector<uint8_t> out;
    putTag(out, "RIFF");
    put32(out, 4 + 8 + 16 + 8 + dataBytes + pad);
    putTag(out, "WAVE");
    putTag(out, "fmt ");
    put32(out, 16);
    put16(out, 1);  // PCM
    put16(out, 1);  // mono
    put32(out, rate);
    put32(out, rate);  // bytes per second
    put16(out, 1);     // block alignment
    put16(out, 8);     // bits per sample
    putTag(out, "data");
    put32(out, dataBytes);
    out.insert(out.end(), samples.begin(), samples.end());
    if (pad) out.push_back(128);
    return out;
}

// An 8-bit RGBA PNG; rgba holds width x height x 4 bytes, top row first. Empty when zlib fails
// (out of memory).
inline std::vector<uint8_t> encodePng(int width, int height, const std::vector<uint8_t>& rgba) {
    std::vector<uint8_t> out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    auto chunk = [&out](const char* type, const std::vector<uint8_t>& body) {
        put32be(out, uint32_t(body.size()));
        const size_t start = out.size();
        putTag(out, type);
        out.insert(out.end(), body.begin(), body.end());
        put32be(out, uint32_t(::crc32(0, out.data() + start, uInt(out.size() - start))));
    };
    std::vector<uint8_t> ihdr;
    put32be(ihdr, uint32_t(width));
    put32be(ihdr, uint32_t(height));
    ihdr.insert(ihdr.end(), {8, 6, 0, 0, 0});  // 8 bits, RGBA, deflate, no filter, no interlace
    chunk("IHDR", ihdr);

    std::vector<uint8_t> raw;
    for (int y = 0; y < height; ++y) {
        raw.push_back(0);  // filter: none
        const uint8_t* row = rgba.data() + size_t(y) * size_t(width) * 4;
        raw.insert(raw.end(), row, row + size_t(width) * 4);
    }
    uLongf size = compressBound(uLong(raw.size()));
    std::vector<uint8_t> z(size);
    if (compress2(z.data(), &size, raw.data(), uLong(raw.size()), Z_BEST_COMPRESSION) != Z_OK)
        return {};
    z.resize(size);
    chunk("IDAT", z);
    chunk("IEND", {});
    return out;
}

inline bool writeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    if (!f) return false;
    f.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return bool(f);
}

}  // namespace assets
