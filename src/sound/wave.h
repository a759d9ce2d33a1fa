// The wave file reader: a RIFF "WAVE" form whose first sub-chunk is the format, then a "data"
// chunk somewhere after it. No size in the file is trusted: every read is bounded by the bytes
// actually there, and a data chunk is allocated only once the file is known to hold all of it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

// The format fields as read from the file (the 18-byte extended record).
struct WaveFormatEx {
    uint16_t formatTag = 0;
    uint16_t channels = 0;
    uint32_t samplesPerSec = 0;
    uint32_t avgBytesPerSec = 0;
    uint16_t blockAlign = 0;
    uint16_t bitsPerSample = 0;
    uint16_t extraSize = 0;
};

// Where reading stopped, in the order the steps run; each but None and NoFile has a message.
enum class WaveError {
    None,
    NoFile,         // the file cannot be opened (no message)
    DescendRiff,    // no RIFF "WAVE" form
    DescendFormat,  // no sub-chunk header after the form type
    ReadFormat,     // fewer than 18 bytes from the first sub-chunk's data on
    NotPcm,         // format tag other than 1
    Ascend,         // the first sub-chunk claims to run past the end of the file
    NoData,         // no "data" chunk inside the form
    ReadData,       // the data chunk claims more bytes than the file holds
};

// The message-box text of an error; null for None and NoFile.
const char* waveErrorText(WaveError error);

struct WaveSample {
    WaveFormatEx format;
    std::unique_ptr<uint8_t[]> data;
    uint32_t size = 0;
};

// Reads a wave file from disk, whole (at most 256 MiB, or ReadData), and parses it in memory.
// NoFile when it cannot be opened or is not a regular file.
WaveError readWaveFile(const char* fileName, WaveSample& out);
// The same reader over a block of memory.
WaveError parseWave(const uint8_t* bytes, size_t size, WaveSample& out);
