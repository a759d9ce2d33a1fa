// The stand-in for DirectSound: a device, one secondary buffer per sound, and a mixer that sums
// every playing buffer into 16-bit stereo at the output rate. Two devices share the mixer: a real
// one, which the back end's audio output pulls from on its own thread, and a silent one (headless
// runs), which accepts and refuses exactly the same buffers and outputs nothing unless mixed by
// hand.
//
// Units are DirectSound's: pan and volume in hundredths of a decibel, frequency in samples per
// second, positions in bytes. A pan or volume of -10000 or beyond silences a channel outright.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

namespace platform {

class AudioOutput;

// Result codes (the values DirectSound uses; callers mostly ignore them).
enum : int32_t {
    DS_OK = 0,
    DSERR_GENERIC = int32_t(0x80004005),
    DSERR_INVALIDPARAM = int32_t(0x80070057),
    DSERR_OUTOFMEMORY = int32_t(0x8007000E),
    DSERR_BADFORMAT = int32_t(0x88780064),
    DSERR_CONTROLUNAVAIL = int32_t(0x8878001E),
    DSERR_BUFFERLOST = int32_t(0x88780096),
    DSERR_NODRIVER = int32_t(0x88780078),
};

enum : uint32_t {
    DSSCL_NORMAL = 1,
    DSBCAPS_CTRLFREQUENCY = 0x20,
    DSBCAPS_CTRLPAN = 0x40,
    DSBCAPS_CTRLVOLUME = 0x80,
    DSBPLAY_LOOPING = 1,
    DSBSTATUS_PLAYING = 1,
    DSBSTATUS_LOOPING = 4,
    WAVE_FORMAT_PCM = 1,
};

enum : int32_t {
    DSBPAN_LEFT = -10000,
    DSBPAN_RIGHT = 10000,
    DSBVOLUME_MIN = -10000,
    DSBVOLUME_MAX = 0,
    DSBFREQUENCY_MIN = 100,
    DSBFREQUENCY_MAX = 100000,
    DSBSIZE_MIN = 4,
    DSBSIZE_MAX = 0x0FFFFFFF,
};

// The 16-byte PCM format record.
struct PcmWaveFormat {
    uint16_t wFormatTag = 0;
    uint16_t nChannels = 0;
    uint32_t nSamplesPerSec = 0;
    uint32_t nAvgBytesPerSec = 0;
    uint16_t nBlockAlign = 0;
    uint16_t wBitsPerSample = 0;
};

struct SoundBufferDesc {
    uint32_t dwSize = 20;
    uint32_t dwFlags = 0;
    uint32_t dwBufferBytes = 0;
    uint32_t dwReserved = 0;
    const PcmWaveFormat* lpwfxFormat = nullptr;
};

class SoundDevice;

class SoundBuffer {
public:
    // Hands out the buffer's memory from offset for bytes, split in two regions where it wraps
    // past the end. Refused when the range does not fit or the buffer is already locked.
    int32_t lock(uint32_t offset, uint32_t bytes, void** region1, uint32_t* length1, void** region2,
                 uint32_t* length2, uint32_t flags);
    int32_t unlock(void* region1, uint32_t length1, void* region2, uint32_t length2);
    int32_t restore() { return DS_OK; }

    int32_t setPan(int32_t pan);
    int32_t setVolume(int32_t volume);
    int32_t setFrequency(int32_t frequency);
    int32_t setCurrentPosition(uint32_t bytes);
    int32_t getCurrentPosition(uint32_t* play) const;
    int32_t getStatus(uint32_t* status) const;
    // Starts at the current position; a buffer already playing carries on (the looping flag is
    // taken over). A one-shot buffer that reaches its end stops and goes back to position 0.
    int32_t play(uint32_t reserved, uint32_t priority, uint32_t flags);
    // Keeps the position; the sound fades out over a millisecond so that the cut does not click.
    int32_t stop();
    // Drops the one reference: the buffer is stopped and freed.
    void release();

    int32_t pan() const;
    int32_t volume() const;
    int32_t frequency() const;
    const PcmWaveFormat& format() const { return format_; }
    uint32_t sizeBytes() const { return uint32_t(data_.size()); }

private:
    friend class SoundDevice;
    SoundBuffer(SoundDevice* device, const SoundBufferDesc& desc);
    void updateGains();  // with the device lock held

    SoundDevice* device_;
    PcmWaveFormat format_;
    uint32_t flags_;
    uint32_t frameBytes_;
    uint32_t frames_;
    std::vector<uint8_t> data_;
    bool locked_ = false;

    // Mixer state, guarded by the device lock.
    int32_t pan_ = 0;
    int32_t volume_ = 0;
    int32_t frequency_;
    float gainLeft_ = 1.0f, gainRight_ = 1.0f;
    bool playing_ = false;
    bool looping_ = false;
    uint64_t position_ = 0;  // frames, 32.32 fixed point
    int32_t rampIn_ = 0;     // output frames left of the fade-in after a start
    int32_t rampOut_ = 0;    // output frames left of the fade-out after a stop
    uint64_t fadePosition_ = 0;
};

class SoundDevice {
public:
    // DirectSoundCreate: the back end's audio output when it plays real audio, otherwise the
    // silent device, as the back end settles it (Backend::settleSoundDevice). Null when none.
    static SoundDevice* create();
    // A silent device mixing at the given rate, for headless runs, tests and benchmarks.
    static SoundDevice* createSilent(uint32_t outputRate = 48000);

    int32_t setCooperativeLevel(int32_t window, uint32_t level);
    // Accepts PCM of 8 bits unsigned or 16 bits signed, one or two channels, 100..100000 samples
    // a second, DSBSIZE_MIN..DSBSIZE_MAX bytes; anything else is DSERR_BADFORMAT or
    // DSERR_INVALIDPARAM and *out is null.
    int32_t createSoundBuffer(const SoundBufferDesc& desc, SoundBuffer** out, void* outer);
    // Closes the output and frees every buffer still alive.
    void release();

    uint32_t outputRate() const { return rate_; }
    bool isSilent() const { return output_ == nullptr; }

    // Mixes `frames` frames of interleaved 16-bit stereo into out, advancing every playing
    // buffer. The audio output calls this from its own thread; tests call it directly.
    void mix(int16_t* out, size_t frames);

private:
    friend class SoundBuffer;
    explicit SoundDevice(uint32_t rate) : rate_(rate) {}
    ~SoundDevice() = default;
    void mixChunk(float* acc, size_t frames);
    void forget(SoundBuffer* buffer);

    uint32_t rate_;
    AudioOutput* output_ = nullptr;  // null for the silent device
    mutable std::mutex mutex_;
    std::vector<SoundBuffer*> buffers_;
};

// Linear gain of an attenuation in hundredths of a decibel: 10^(-att/2000); 0 from 10000 on.
float attenuationGain(int32_t hundredthsDb);

}  // namespace platform
