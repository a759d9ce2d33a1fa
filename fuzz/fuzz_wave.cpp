// The wave reader on arbitrary bytes: it must refuse or accept without reading out of bounds,
// hanging, or allocating more than the input backs.
#include <cstddef>
#include <cstdint>

#include "sound/wave.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    WaveSample sample;
    const WaveError error = parseWave(data, size, sample);
    if (error == WaveError::None) {
        if (sample.size > size) __builtin_trap();
        volatile uint8_t sink = 0;
        for (uint32_t i = 0; i < sample.size; i += 64) sink = sink + sample.data[i];
    } else if (error != WaveError::NoFile && !waveErrorText(error)) {
        __builtin_trap();
    }
    return 0;
}
