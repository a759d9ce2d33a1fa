#include "sound/wave.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "platform/datafile.h"

namespace {

// The largest wave file read: far beyond any sound the game plays, and a bound on what a file
// put in a data file's place can make it allocate.
constexpr uint64_t kMaxWaveFileBytes = uint64_t(256) << 20;

// Random access to the bytes of a memory block; reads never pass the end.
class ByteSource {
public:
    ByteSource(const uint8_t* bytes, size_t size) : mem_(bytes), size_(size) {}

    uint64_t size() const { return size_; }

    // Copies up to n bytes from offset; returns how many there were.
    size_t read(uint64_t offset, void* out, size_t n) {
        if (offset >= size_) return 0;
        if (n > size_ - offset) n = size_t(size_ - offset);
        std::memcpy(out, mem_ + offset, n);
        return n;
    }

private:
    const uint8_t* mem_ = nullptr;
    uint64_t size_ = 0;
};

uint32_t le32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
uint16_t le16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }

struct ChunkHeader {
    char id[4];
    uint32_t size;
    uint64_t dataStart;
};

bool readHeader(ByteSource& src, uint64_t at, ChunkHeader& h) {
    uint8_t raw[8];
    if (src.read(at, raw, 8) != 8) return false;
    std::memcpy(h.id, raw, 4);
    h.size = le32(raw + 4);
    h.dataStart = at + 8;
    return true;
}

// Where the chunk after this one starts: chunks are padded to an even length.
uint64_t nextChunk(const ChunkHeader& h) { return h.dataStart + h.size + (h.size & 1u); }

WaveError readWave(ByteSource& src, WaveSample& out) {
    // The RIFF form of type WAVE, searched for among the top-level chunks.
    ChunkHeader riff{};
    uint64_t at = 0;
    for (;;) {
        if (!readHeader(src, at, riff)) return WaveError::DescendRiff;
        char form[4];
        if (std::memcmp(riff.id, "RIFF", 4) == 0 && src.read(riff.dataStart, form, 4) == 4 &&
            std::memcmp(form, "WAVE", 4) == 0)
            break;
        at = nextChunk(riff);  // at least 8 bytes further on: the search ends
    }
    const uint64_t formEnd = riff.dataStart + riff.size;

    // The first sub-chunk is taken as the format, whatever its identifier.
    ChunkHeader fmt{};
    if (!readHeader(src, riff.dataStart + 4, fmt)) return WaveError::DescendFormat;

    // 18 bytes from the start of its data, bounded by the file and not by the chunk, so a
    // 16-byte format chunk reads on into the next chunk's header.
    uint8_t f[18];
    if (src.read(fmt.dataStart, f, sizeof f) != sizeof f) return WaveError::ReadFormat;
    WaveFormatEx& wf = out.format;
    wf.formatTag = le16(f);
    wf.channels = le16(f + 2);
    wf.samplesPerSec = le32(f + 4);
    wf.avgBytesPerSec = le32(f + 8);
    wf.blockAlign = le16(f + 12);
    wf.bitsPerSample = le16(f + 14);
    wf.extraSize = le16(f + 16);
    if (wf.formatTag != 1) return WaveError::NotPcm;

    // Ascend: the format chunk has to end inside the file.
    if (fmt.dataStart + fmt.size > src.size()) return WaveError::Ascend;

    // The data chunk, searched for inside the form.
    ChunkHeader data{};
    at = nextChunk(fmt);
    for (;;) {
        if (at + 8 > formEnd || !readHeader(src, at, data)) return WaveError::NoData;
        if (std::memcmp(data.id, "data", 4) == 0) break;
        at = nextChunk(data);
    }

    // Never allocate what the file cannot back.
    if (data.size > src.size() - data.dataStart) return WaveError::ReadData;
    std::unique_ptr<uint8_t[]> bytes(new (std::nothrow) uint8_t[data.size ? data.size : 1]);
    if (!bytes || src.read(data.dataStart, bytes.get(), data.size) != data.size)
        return WaveError::ReadData;
    out.data = std::move(bytes);
    out.size = data.size;
    return WaveError::None;
}

}  // namespace

const char* waveErrorText(WaveError error) {
    switch (error) {
        case WaveError::DescendRiff: return "Could not Descend into Wave File";
        case WaveError::DescendFormat: return "Could not Descend into format of Wave File";
        case WaveError::ReadFormat: return "Error reading Wave Format";
        case WaveError::NotPcm: return "Not a valid Wave Format";
        case WaveError::Ascend: return "Unable to Ascend";
        case WaveError::NoData: return "Wave file has no data";
        case WaveError::ReadData: return "Could not read Wave Data";
        case WaveError::None:
        case WaveError::NoFile: break;
    }
    return nullptr;
}

WaveError parseWave(const uint8_t* bytes, size_t size, WaveSample& out) {
    ByteSource src(bytes, bytes ? size : 0);
    return readWave(src, out);
}

WaveError readWaveFile(const char* fileName, WaveSample& out) {
    if (!fileName) return WaveError::NoFile;
    // Read whole, in one go, and parsed in memory: a file of many empty chunks costs a seek
    // and a read per chunk otherwise.
    const std::string path = platform::dataFilePath(fileName);
    std::string bytes, error;
    if (!platform::readWholeFile(path, kMaxWaveFileBytes, bytes, error, false))
        return platform::isRegularFile(path) ? WaveError::ReadData : WaveError::NoFile;
    return parseWave(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), out);
}
