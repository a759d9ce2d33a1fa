// The palette reader on arbitrary files: the colour table is taken from byte 54 on whatever the
// file holds, so every input loads; what is there must land in the palette and nothing past the
// file may be read. The reader works on a file name, so each input goes through a file of its own.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "backends/headless/headless.h"
#include "fuzz_input.h"
#include "gfx/palette.h"
#include "gfx/screen.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // On the headless back end the screen is opened once, full screen, so the whole table goes
    // to the device palette.
    static const bool opened = (platform::installBackend(platform::makeHeadlessBackend({})),
                                screen.openScreen(1, 640, 480, 1, 8, 5) == 1);
    if (!opened) __builtin_trap();
    const std::string input = fuzz::writeInput("palette", data, size);
    if (input.empty()) return 0;
    screen.loadPalette(input.c_str());
    for (size_t i = 0; i < 256; ++i) {
        const size_t at = 54 + 4 * i;
        const uint8_t blue = at < size ? data[at] : 255;
        const uint8_t green = at + 1 < size ? data[at + 1] : 255;
        const uint8_t red = at + 2 < size ? data[at + 2] : 255;
        const PaletteEntry& e = basePalette[i];
        if (e.peRed != red || e.peGreen != green || e.peBlue != blue) __builtin_trap();
        const PaletteEntry& d = ddPalette->entries()[i];
        if (d.peRed != red || d.peGreen != green || d.peBlue != blue) __builtin_trap();
    }
    return 0;
}
