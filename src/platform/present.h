// The pure part of showing the 8-bit front surface on a 32-bit window: where the picture goes
// (largest whole scale that fits, centred), which part of it changed since it was last shown, and
// the nearest-neighbour conversion of that part through a colour lookup table.
#pragma once

#include <cstdint>

namespace platform {

struct Placement {
    int32_t scale = 1;     // whole factor, at least 1
    int32_t x = 0, y = 0;  // top-left of the picture in the window (negative when it does not fit)
};

// The largest whole factor at which a w by h picture fits a windowW by windowH window (1 when even
// 1 does not fit), centred.
Placement placePicture(int32_t w, int32_t h, int32_t windowW, int32_t windowH);

// A half-open box of picture pixels.
struct Box {
    int32_t left = 0, top = 0, right = 0, bottom = 0;
    bool empty() const { return left >= right || top >= bottom; }
};

// The bounding box of the pixels where `now` differs from `shown` (both w by h, the given pitches),
// copying the changed rows into `shown` as it goes. Empty when nothing changed.
Box updateShadow(const uint8_t* now, int32_t nowPitch, uint8_t* shown, int32_t shownPitch,
                 int32_t w, int32_t h);

// Converts `box` of the 8-bit picture through `lut` into a 32-bit target of targetW by targetH
// pixels (targetPitch in bytes), each picture pixel becoming a scale by scale block at
// (place.x + x * scale, place.y + y * scale); whatever falls outside the target is left out.
// Returns the target rectangle that was written (empty when none).
Box convertScaled(const uint8_t* picture, int32_t picturePitch, const Box& box,
                  const uint32_t lut[256], const Placement& place, uint8_t* target,
                  int32_t targetPitch, int32_t targetW, int32_t targetH);

}  // namespace platform
