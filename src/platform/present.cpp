#include "platform/present.h"

#include <algorithm>
#include <cstring>

namespace platform {

Placement placePicture(int32_t w, int32_t h, int32_t windowW, int32_t windowH) {
    Placement p;
    if (w > 0 && h > 0) p.scale = std::max<int32_t>(1, std::min(windowW / w, windowH / h));
    p.x = (windowW - w * p.scale) / 2;
    p.y = (windowH - h * p.scale) / 2;
    return p;
}

Box updateShadow(const uint8_t* now, int32_t nowPitch, uint8_t* shown, int32_t shownPitch,
                 int32_t w, int32_t h) {
    Box b{w, h, 0, 0};
    for (int32_t y = 0; y < h; ++y) {
        const uint8_t* a = now + size_t(y) * size_t(nowPitch);
        uint8_t* s = shown + size_t(y) * size_t(shownPitch);
        if (std::memcmp(a, s, size_t(w)) == 0) continue;
        int32_t first = 0, last = w - 1;
        while (a[first] == s[first]) ++first;
        while (a[last] == s[last]) --last;
        b.left = std::min(b.left, first);
        b.right = std::max(b.right, last + 1);
        b.top = std::min(b.top, y);
        b.bottom = y + 1;
        std::memcpy(s + first, a + first, size_t(last + 1 - first));
    }
    if (b.empty()) return Box{};
    return b;
}

Box convertScaled(const uint8_t* picture, int32_t picturePitch, const Box& box,
                  const uint32_t lut[256], const Placement& place, uint8_t* target,
                  int32_t targetPitch, int32_t targetW, int32_t targetH) {
    const int32_t s = place.scale;
    // The target rectangle of the box, clipped to the target.
    Box out{std::max(0, place.x + box.left * s), std::max(0, place.y + box.top * s),
            std::min(targetW, place.x + box.right * s),
            std::min(targetH, place.y + box.bottom * s)};
    if (box.empty() || out.empty()) return Box{};
    for (int32_t ty = out.top; ty < out.bottom;) {
        const int32_t py = (ty - place.y) / s;
        uint32_t* row = reinterpret_cast<uint32_t*>(target + size_t(ty) * size_t(targetPitch));
        const uint8_t* src = picture + size_t(py) * size_t(picturePitch);
        if (s == 1) {
            for (int32_t tx = out.left; tx < out.right; ++tx) row[tx] = lut[src[tx - place.x]];
        } else {
            // Whole blocks in the middle, clipped blocks at either end.
            const int32_t firstPx = (out.left - place.x) / s,
                          lastPx = (out.right - 1 - place.x) / s;
            int32_t tx = out.left;
            for (int32_t px = firstPx; px <= lastPx; ++px) {
                const uint32_t c = lut[src[px]];
                const int32_t stop = std::min(out.right, place.x + (px + 1) * s);
                if (s == 2 && stop - tx == 2) {
                    row[tx] = c;
                    row[tx + 1] = c;
                    tx += 2;
                } else {
                    for (; tx < stop; ++tx) row[tx] = c;
                }
            }
        }
        // The other rows of this picture row's block are copies of the first.
        const int32_t blockEnd = std::min(out.bottom, place.y + (py + 1) * s);
        const size_t bytes = size_t(out.right - out.left) * 4;
        for (int32_t y2 = ty + 1; y2 < blockEnd; ++y2)
            std::memcpy(target + size_t(y2) * size_t(targetPitch) + size_t(out.left) * 4,
                        target + size_t(ty) * size_t(targetPitch) + size_t(out.left) * 4, bytes);
        ty = blockEnd;
    }
    return out;
}

}  // namespace platform
