#include "platform/snapshot.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/bitmap.h"
#include "platform/datafile.h"
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
    return writeSnapshot(path, encodeSnapshot(), error);
}

bool writeSnapshot(const std::string& path, const std::vector<uint8_t>& bytes, std::string& error) {
    // Written beside its place and renamed into it once whole: a write that fails (a full disk)
    // leaves neither a cut picture nor an empty file under the name the trace reports.
    const std::string part = path + ".part";
    std::FILE* f = std::fopen(part.c_str(), "wb");
    if (!f) {
        error = std::strerror(errno);
        return false;
    }
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size() && std::fflush(f) == 0;
    int reason = errno;
    if (std::fclose(f) != 0 && ok) ok = false, reason = errno;
    if (ok && !replaceFile(part, path)) ok = false, reason = errno;
    if (!ok) {
        error = std::strerror(reason);
        std::remove(part.c_str());
    }
    return ok;
}

}  // namespace platform
