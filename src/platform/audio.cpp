#include "platform/audio.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <utility>

#include "platform/backend.h"

namespace platform {

namespace {

// Length of the fades that take the clicks out of starts and stops: about a millisecond.
constexpr int32_t kRampFrames = 48;
constexpr float kInvRamp = 1.0f / float(kRampFrames);
// Frames mixed per hold of the device lock.
constexpr size_t kChunkFrames = 256;

template <int Bits, int Channels>
inline void readFrame(const uint8_t* data, uint32_t index, float& left, float& right) {
    if constexpr (Bits == 8) {
        const uint8_t* p = data + size_t(index) * Channels;
        left = float(int(p[0]) - 128) * 256.0f;
        right = Channels == 2 ? float(int(p[1]) - 128) * 256.0f : left;
    } else {
        int16_t s[Channels];
        std::memcpy(s, data + size_t(index) * 2 * Channels, sizeof s);
        left = float(s[0]);
        right = Channels == 2 ? float(s[Channels - 1]) : left;
    }
}

// What the mixer needs of one voice for one run.
struct Voice {
    const uint8_t* data;
    uint32_t frames;
    uint64_t step;  // source frames per output frame, 32.32
    bool loop;
    float gainLeft, gainRight;
};

enum class Envelope { RampIn, RampOut };

// Adds up to n output frames of the voice into acc, moving pos. Returns the number of frames
// rendered: fewer than n when a one-shot voice runs off its end. The interpolation runs towards
// silence after the last frame of a one-shot sound (and towards the first frame of a looping
// one), so an end never steps. ramp counts down the frames of the envelope still to apply.
template <int Bits, int Channels>
size_t renderVoice(const Voice& v, uint64_t& pos, Envelope env, int32_t& ramp, float* acc,
                   size_t n) {
    const uint64_t end = uint64_t(v.frames) << 32;
    // Below this position both frames of the interpolation lie inside the buffer.
    const uint64_t inner = uint64_t(v.frames - 1) << 32;
    for (size_t k = 0; k < n;) {
        if (pos >= end) {
            if (!v.loop) return k;
            pos %= end;
        }
        if (env == Envelope::RampIn && ramp <= 0 && pos < inner) {
            // The bulk of a sound: no envelope, no edge; the step is never 0.
            const size_t m = size_t(std::min<uint64_t>(n - k, (inner - pos + v.step - 1) / v.step));
            for (size_t j = 0; j < m; ++j, ++k) {
                const uint32_t i = uint32_t(pos >> 32);
                const float t = float(uint32_t(pos)) * (1.0f / 4294967296.0f);
                float l0, r0, l1, r1;
                readFrame<Bits, Channels>(v.data, i, l0, r0);
                readFrame<Bits, Channels>(v.data, i + 1, l1, r1);
                acc[2 * k] += (l0 + (l1 - l0) * t) * v.gainLeft;
                acc[2 * k + 1] += (r0 + (r1 - r0) * t) * v.gainRight;
                pos += v.step;
            }
            continue;
        }
        const uint32_t i = uint32_t(pos >> 32);
        const float t = float(uint32_t(pos)) * (1.0f / 4294967296.0f);
        float l0, r0, l1 = 0.0f, r1 = 0.0f;
        readFrame<Bits, Channels>(v.data, i, l0, r0);
        if (i + 1 < v.frames)
            readFrame<Bits, Channels>(v.data, i + 1, l1, r1);
        else if (v.loop)
            readFrame<Bits, Channels>(v.data, 0, l1, r1);
        float e = 1.0f;
        if (env == Envelope::RampIn) {
            if (ramp > 0) e = 1.0f - float(ramp--) * kInvRamp;
        } else {
            if (ramp <= 0) return k;
            e = float(ramp--) * kInvRamp;
        }
        acc[2 * k] += (l0 + (l1 - l0) * t) * v.gainLeft * e;
        acc[2 * k + 1] += (r0 + (r1 - r0) * t) * v.gainRight * e;
        pos += v.step;
        ++k;
    }
    return n;
}

size_t render(const PcmWaveFormat& f, const Voice& v, uint64_t& pos, Envelope env, int32_t& ramp,
              float* acc, size_t n) {
    if (f.wBitsPerSample == 8)
        return f.nChannels == 2 ? renderVoice<8, 2>(v, pos, env, ramp, acc, n)
                                : renderVoice<8, 1>(v, pos, env, ramp, acc, n);
    return f.nChannels == 2 ? renderVoice<16, 2>(v, pos, env, ramp, acc, n)
                            : renderVoice<16, 1>(v, pos, env, ramp, acc, n);
}

void pullFrames(void* user, int16_t* frames, size_t count) {
    static_cast<SoundDevice*>(user)->mix(frames, count);
}

}  // namespace

float attenuationGain(int32_t hundredthsDb) {
    if (hundredthsDb <= 0) return 1.0f;
    if (hundredthsDb >= 10000) return 0.0f;
    return std::pow(10.0f, -float(hundredthsDb) / 2000.0f);
}

// ---- SoundBuffer --------------------------------------------------------------------------

SoundBuffer::SoundBuffer(SoundDevice* device, const SoundBufferDesc& desc)
    : device_(device),
      format_(*desc.lpwfxFormat),
      flags_(desc.dwFlags),
      frameBytes_(uint32_t(desc.lpwfxFormat->nChannels) * desc.lpwfxFormat->wBitsPerSample / 8),
      frames_(desc.dwBufferBytes / frameBytes_),
      data_(desc.dwBufferBytes, desc.lpwfxFormat->wBitsPerSample == 8 ? 0x80 : 0),
      frequency_(int32_t(desc.lpwfxFormat->nSamplesPerSec)) {}

int32_t SoundBuffer::lock(uint32_t offset, uint32_t bytes, void** region1, uint32_t* length1,
                          void** region2, uint32_t* length2, uint32_t) {
    if (!region1 || !length1) return DSERR_INVALIDPARAM;
    *region1 = nullptr;
    *length1 = 0;
    if (region2) *region2 = nullptr;
    if (length2) *length2 = 0;
    const uint32_t size = sizeBytes();
    if (offset >= size || bytes == 0 || bytes > size || locked_) return DSERR_INVALIDPARAM;
    const uint32_t first = std::min(bytes, size - offset);
    if (first < bytes && (!region2 || !length2)) return DSERR_INVALIDPARAM;
    *region1 = data_.data() + offset;
    *length1 = first;
    if (first < bytes) {
        *region2 = data_.data();
        *length2 = bytes - first;
    }
    locked_ = true;
    return DS_OK;
}

int32_t SoundBuffer::unlock(void*, uint32_t, void*, uint32_t) {
    if (!locked_) return DSERR_INVALIDPARAM;
    locked_ = false;
    return DS_OK;
}

void SoundBuffer::updateGains() {
    // Volume and pan both attenuate; pan only the channel away from its side.
    const int32_t att = -volume_;
    gainLeft_ = attenuationGain(att + std::max(pan_, 0));
    gainRight_ = attenuationGain(att + std::max(-pan_, 0));
}

int32_t SoundBuffer::setPan(int32_t pan) {
    if (!(flags_ & DSBCAPS_CTRLPAN)) return DSERR_CONTROLUNAVAIL;
    if (pan < DSBPAN_LEFT || pan > DSBPAN_RIGHT) return DSERR_INVALIDPARAM;
    std::lock_guard<std::mutex> g(device_->mutex_);
    pan_ = pan;
    updateGains();
    return DS_OK;
}

int32_t SoundBuffer::setVolume(int32_t volume) {
    if (!(flags_ & DSBCAPS_CTRLVOLUME)) return DSERR_CONTROLUNAVAIL;
    if (volume < DSBVOLUME_MIN || volume > DSBVOLUME_MAX) return DSERR_INVALIDPARAM;
    std::lock_guard<std::mutex> g(device_->mutex_);
    volume_ = volume;
    updateGains();
    return DS_OK;
}

int32_t SoundBuffer::setFrequency(int32_t frequency) {
    if (!(flags_ & DSBCAPS_CTRLFREQUENCY)) return DSERR_CONTROLUNAVAIL;
    if (frequency < DSBFREQUENCY_MIN || frequency > DSBFREQUENCY_MAX) return DSERR_INVALIDPARAM;
    std::lock_guard<std::mutex> g(device_->mutex_);
    frequency_ = frequency;
    return DS_OK;
}

int32_t SoundBuffer::setCurrentPosition(uint32_t bytes) {
    if (bytes >= sizeBytes()) return DSERR_INVALIDPARAM;
    std::lock_guard<std::mutex> g(device_->mutex_);
    const uint32_t frame = std::min(bytes / frameBytes_, frames_ ? frames_ - 1 : 0);
    position_ = uint64_t(frame) << 32;
    return DS_OK;
}

int32_t SoundBuffer::getCurrentPosition(uint32_t* play) const {
    if (!play) return DSERR_INVALIDPARAM;
    std::lock_guard<std::mutex> g(device_->mutex_);
    *play = uint32_t(position_ >> 32) * frameBytes_;
    return DS_OK;
}

int32_t SoundBuffer::getStatus(uint32_t* status) const {
    if (!status) return DSERR_INVALIDPARAM;
    std::lock_guard<std::mutex> g(device_->mutex_);
    *status = (playing_ ? uint32_t(DSBSTATUS_PLAYING) : 0u) |
              (playing_ && looping_ ? uint32_t(DSBSTATUS_LOOPING) : 0u);
    return DS_OK;
}

int32_t SoundBuffer::play(uint32_t, uint32_t, uint32_t flags) {
    std::lock_guard<std::mutex> g(device_->mutex_);
    looping_ = (flags & DSBPLAY_LOOPING) != 0;
    if (!playing_) {
        playing_ = true;
        rampIn_ = kRampFrames;
        rampOut_ = 0;
    }
    return DS_OK;
}

int32_t SoundBuffer::stop() {
    std::lock_guard<std::mutex> g(device_->mutex_);
    if (playing_) {
        playing_ = false;
        rampOut_ = kRampFrames;
        fadePosition_ = position_;
    }
    return DS_OK;
}

void SoundBuffer::release() {
    device_->forget(this);
    delete this;
}

int32_t SoundBuffer::pan() const {
    std::lock_guard<std::mutex> g(device_->mutex_);
    return pan_;
}

int32_t SoundBuffer::volume() const {
    std::lock_guard<std::mutex> g(device_->mutex_);
    return volume_;
}

int32_t SoundBuffer::frequency() const {
    std::lock_guard<std::mutex> g(device_->mutex_);
    return frequency_;
}

// ---- SoundDevice --------------------------------------------------------------------------

SoundDevice* SoundDevice::createSilent(uint32_t outputRate) {
    return new SoundDevice(std::clamp<uint32_t>(outputRate, 8000, 192000));
}

SoundDevice* SoundDevice::create() {
    if (!backend().realAudio()) return backend().settleSoundDevice(createSilent(48000));
    auto* device = new SoundDevice(48000);
    std::unique_ptr<AudioOutput> output = backend().openAudio(pullFrames, device, device->rate_);
    if (!output) {
        delete device;
        return backend().settleSoundDevice(nullptr);
    }
    device->output_ = output.release();
    return backend().settleSoundDevice(device);
}

int32_t SoundDevice::setCooperativeLevel(int32_t, uint32_t level) {
    return level == DSSCL_NORMAL ? DS_OK : DSERR_INVALIDPARAM;
}

int32_t SoundDevice::createSoundBuffer(const SoundBufferDesc& desc, SoundBuffer** out,
                                       void* outer) {
    if (!out) return DSERR_INVALIDPARAM;
    *out = nullptr;
    if (outer || desc.dwSize != 20 || !desc.lpwfxFormat) return DSERR_INVALIDPARAM;
    const PcmWaveFormat& f = *desc.lpwfxFormat;
    if (f.wFormatTag != WAVE_FORMAT_PCM) return DSERR_BADFORMAT;
    if (f.wBitsPerSample != 8 && f.wBitsPerSample != 16) return DSERR_BADFORMAT;
    if (f.nChannels != 1 && f.nChannels != 2) return DSERR_BADFORMAT;
    if (f.nSamplesPerSec < uint32_t(DSBFREQUENCY_MIN) ||
        f.nSamplesPerSec > uint32_t(DSBFREQUENCY_MAX))
        return DSERR_BADFORMAT;
    if (desc.dwBufferBytes < uint32_t(DSBSIZE_MIN) || desc.dwBufferBytes > uint32_t(DSBSIZE_MAX))
        return DSERR_INVALIDPARAM;

    SoundBuffer* buffer = nullptr;
    try {
        buffer = new SoundBuffer(this, desc);
        std::lock_guard<std::mutex> g(mutex_);
        buffers_.push_back(buffer);
    } catch (const std::bad_alloc&) {
        delete buffer;
        return DSERR_OUTOFMEMORY;
    }
    *out = buffer;
    return DS_OK;
}

void SoundDevice::forget(SoundBuffer* buffer) {
    std::lock_guard<std::mutex> g(mutex_);
    buffers_.erase(std::remove(buffers_.begin(), buffers_.end(), buffer), buffers_.end());
}

void SoundDevice::release() {
    delete std::exchange(output_, nullptr);  // waits for a pull under way to return
    for (SoundBuffer* b : buffers_) delete b;
    buffers_.clear();
    delete this;
}

void SoundDevice::mixChunk(float* acc, size_t frames) {
    std::lock_guard<std::mutex> g(mutex_);
    for (SoundBuffer* b : buffers_) {
        if ((!b->playing_ && b->rampOut_ <= 0) || b->frames_ == 0) continue;
        const Voice v{
            b->data_.data(), b->frames_,   (uint64_t(uint32_t(b->frequency_)) << 32) / rate_,
            b->looping_,     b->gainLeft_, b->gainRight_};
        const uint64_t end = uint64_t(b->frames_) << 32;
        if (b->playing_) {
            render(b->format_, v, b->position_, Envelope::RampIn, b->rampIn_, acc, frames);
            if (!b->looping_ && b->position_ >= end) {
                b->playing_ = false;
                b->position_ = 0;
            }
        } else {
            render(b->format_, v, b->fadePosition_, Envelope::RampOut, b->rampOut_, acc, frames);
            if (!b->looping_ && b->fadePosition_ >= end) b->rampOut_ = 0;
        }
    }
}

void SoundDevice::mix(int16_t* out, size_t frames) {
    float acc[2 * kChunkFrames];
    while (frames > 0) {
        const size_t n = std::min(frames, kChunkFrames);
        std::fill(acc, acc + 2 * n, 0.0f);
        mixChunk(acc, n);
        for (size_t i = 0; i < 2 * n; ++i) {
            // Saturate: a loud sum clips instead of wrapping round.
            const float s = std::clamp(acc[i], -32768.0f, 32767.0f);
            out[i] = int16_t(std::lrint(s));
        }
        out += 2 * n;
        frames -= n;
    }
}

}  // namespace platform
