// The bitmap reader on arbitrary bytes, then the copy of every accepted picture into a surface
// slot: whole, as the game loads its pictures, and clipped against both edges with offsets
// taken from the input, so that no position of picture or slot reaches outside either.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "backends/headless/headless.h"
#include "fuzz_input.h"
#include "gfx/screen.h"
#include "platform/bitmap.h"

namespace {

int32_t offsetFrom(const uint8_t* data, size_t size, size_t fromEnd) {
    if (size < fromEnd) return 0;
    return int32_t(int8_t(data[size - fromEnd])) * 7;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    platform::BitmapImage image;
    std::string why;
    if (!platform::decodeBitmap(data, size, image, &why)) {
        if (why.empty()) __builtin_trap();
        return 0;
    }
    const size_t pixels = size_t(image.width) * size_t(image.height);
    if (image.width < 1 || image.height < 1) __builtin_trap();
    if (image.indexed ? image.indices.size() != pixels : image.colours.size() != pixels)
        __builtin_trap();
    if (image.indexed && (image.colourTable.empty() || image.colourTable.size() > 256))
        __builtin_trap();
    volatile uint32_t sink =
        image.colourAt(0, 0) ^ image.colourAt(image.width - 1, image.height - 1);
    (void)sink;

    static const bool opened = (platform::installBackend(platform::makeHeadlessBackend({})),
                                screen.openScreen(1, 640, 480, 1, 8, 5) == 1);
    if (!opened) __builtin_trap();
    const std::string input = fuzz::writeInput("bitmap", data, size);
    if (input.empty()) return 0;
    screen.loadBitmap(input.c_str(), 640, 480, 0, 0, 0, 0, 2);
    screen.loadBitmap(input.c_str(), 48, 32, 0, 0, 0, 0, 3);
    const int32_t dx = offsetFrom(data, size, 1), dy = offsetFrom(data, size, 2);
    const int32_t sx = offsetFrom(data, size, 3), sy = offsetFrom(data, size, 4);
    screen.loadBitmap(input.c_str(), image.width + 8, image.height + 8, dx, dy, sx, sy, 4);
    return 0;
}
