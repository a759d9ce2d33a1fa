#include "platform/snapshot.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/bitmap.h"
#include "platform/display.h"

namespace platform {

std::vector<uint8_t> encodeSnapshot() {
    const DisplayDevice* device = DisplayDevice::current();
    const Surface* front = device ? device->primary() : nullptr;
    static const PaletteEntry black[256] = {};
    return encodeBitmap8(front ? front->width() : 640, front ? front->height() : 480,
                         front ? front->data() : nullptr, front ? front->pitch() : 0,
                         device ? device->devicePalette() : black);
}

bool writeSnapshot(const std::string& path, std::string& error) {
    const std::vector<uint8_t> bytes = encodeSnapshot();
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        error = std::strerror(errno);
        return false;
    }
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    const bool closed = std::fclose(f) == 0;
    if (!ok || !closed) error = "write failed";
    return ok && closed;
}

}  // namespace platform
