#include "sound/soundbank.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/audio.h"
#include "platform/host.h"
#include "shell/shell.h"
#include "sound/wave.h"

using platform::SoundBuffer;
using platform::SoundDevice;

SoundBank soundBank;

namespace {

void releaseSoundBank() { soundBank.destroy(); }

// The clean-up runs at every orderly exit, fatalExit's included; it is registered as soon as the
// bank exists.
const bool soundBankCleanupRegistered = std::atexit(releaseSoundBank) == 0;

void showLoadError(WaveError error) { platform::messageBox(waveErrorText(error), nullptr); }

}  // namespace

void SoundBank::open(int32_t count) {
    // Opening again starts over rather than leaking the old device and its buffers.
    if (device || slots) destroy();
    device = SoundDevice::create();
    if (!device) {
        enabled = false;
        return;
    }
    device->setCooperativeLevel(int32_t(mainWindow), platform::DSSCL_NORMAL);
    enabled = true;
    slotCount = count > 0 ? count : 0;
    slots = new SoundSlot[size_t(slotCount)];
}

void SoundBank::loadSlot(const char* fileName, int32_t slot, int32_t copyCount) {
    if (!enabled || slot < 0 || slot >= slotCount) return;
    SoundSlot& s = slots[slot];
    if (s.copies) {
        for (int32_t i = 0; i < s.copyCount; ++i) {
            if (!s.copies[i]) continue;
            s.copies[i]->stop();
            s.copies[i]->release();
        }
        delete[] s.copies;
        s = SoundSlot{};
    }
    if (copyCount < 1) return;
    s.copies = new SoundBuffer*[size_t(copyCount)]();
    s.copyCount = copyCount;
    s.nextCopy = 0;
    // The file is read once and its sample shared by the copies; a fault is still shown once for
    // each copy, and a copy whose buffer fails stays empty while the others still load.
    WaveSample sample;
    const WaveError error = readWaveFile(fileName, sample);
    for (int32_t i = 0; i < copyCount; ++i) fillCopy(&s.copies[i], error, sample);
}

bool SoundBank::loadWave(SoundBuffer** out, const char* fileName) {
    if (!out || !device) return false;
    WaveSample sample;
    const WaveError error = readWaveFile(fileName, sample);
    return fillCopy(out, error, sample);
}

bool SoundBank::fillCopy(SoundBuffer** out, WaveError error, const WaveSample& sample) {
    if (!out || !device) return false;
    *out = nullptr;
    if (error == WaveError::NoFile) return false;
    if (error != WaveError::None) {
        showLoadError(error);
        return false;
    }

    platform::PcmWaveFormat format;
    format.wFormatTag = platform::WAVE_FORMAT_PCM;
    format.nChannels = sample.format.channels;
    format.nSamplesPerSec = sample.format.samplesPerSec;
    format.nAvgBytesPerSec = sample.format.avgBytesPerSec;
    format.nBlockAlign = sample.format.blockAlign;
    format.wBitsPerSample = sample.format.bitsPerSample;
    platform::SoundBufferDesc desc;
    desc.dwSize = 20;
    desc.dwFlags =
        platform::DSBCAPS_CTRLFREQUENCY | platform::DSBCAPS_CTRLPAN | platform::DSBCAPS_CTRLVOLUME;
    desc.dwBufferBytes = sample.size;
    desc.dwReserved = 0;
    desc.lpwfxFormat = &format;

    if (device->createSoundBuffer(desc, out, nullptr) != platform::DS_OK || !*out) {
        *out = nullptr;
        platform::messageBox("Could not Create Sound Buffer.", nullptr);
        return false;
    }

    SoundBuffer* buffer = *out;
    void* region1 = nullptr;
    void* region2 = nullptr;
    uint32_t length1 = 0, length2 = 0;
    int32_t result = buffer->lock(0, sample.size, &region1, &length1, &region2, &length2, 0);
    if (result == platform::DSERR_BUFFERLOST) {
        buffer->restore();
        result = buffer->lock(0, sample.size, &region1, &length1, &region2, &length2, 0);
    }
    if (result != platform::DS_OK || length1 > sample.size || length2 > sample.size - length1) {
        // A buffer that cannot be filled is not kept: the copy stays empty.
        buffer->release();
        *out = nullptr;
        return false;
    }
    std::memcpy(region1, sample.data.get(), length1);
    if (region2 && length2) std::memcpy(region2, sample.data.get() + length1, length2);
    buffer->unlock(region1, length1, region2, length2);
    return true;
}

// The copy the next play of a slot takes: null when the bank is disabled, the slot is out of range
// or empty, or that copy failed to load (then nothing plays and the turn does not move on).
static SoundBuffer* copyToPlay(const SoundBank& bank, int32_t slot) {
    if (!bank.enabled || slot < 0 || slot >= bank.slotCount) return nullptr;
    const SoundSlot& s = bank.slots[slot];
    return s.copies ? s.copies[s.nextCopy] : nullptr;
}

void SoundBank::play(int32_t slot, int32_t pan, int32_t frequency) {
    SoundBuffer* copy = copyToPlay(*this, slot);
    if (!copy) return;
    SoundSlot& s = slots[slot];
    if (platform::tracing()) {
        char line[64];
        std::snprintf(line, sizeof line, "sound %d %d %d", int(slot), int(pan), int(frequency));
        platform::trace(line);
    }
    copy->setPan(pan);
    if (frequency > 0) copy->setFrequency(frequency);
    copy->play(0, 0, 0);
    s.nextCopy = (s.nextCopy + 1) % s.copyCount;
}

void SoundBank::playLooped(int32_t slot) {
    SoundBuffer* copy = copyToPlay(*this, slot);
    if (!copy) return;
    SoundSlot& s = slots[slot];
    if (platform::tracing()) {
        char line[32];
        std::snprintf(line, sizeof line, "sound %d loop", int(slot));
        platform::trace(line);
    }
    copy->play(0, 0, platform::DSBPLAY_LOOPING);
    s.nextCopy = (s.nextCopy + 1) % s.copyCount;
}

void SoundBank::stopSlot(int32_t slot) {
    if (!enabled || slot < 0 || slot >= slotCount) return;
    SoundSlot& s = slots[slot];
    if (!s.copies) return;
    for (int32_t i = 0; i < s.copyCount; ++i)
        if (s.copies[i]) s.copies[i]->stop();
}

void SoundBank::freeSlot(int32_t slot) {
    if (!enabled || slot < 0 || slot >= slotCount) return;
    SoundSlot& s = slots[slot];
    if (!s.copies) return;
    for (int32_t i = 0; i < s.copyCount; ++i) {
        if (s.copies[i]) s.copies[i]->release();
        s.copies[i] = nullptr;
    }
    delete[] s.copies;
    s = SoundSlot{};
}

void SoundBank::setSlotVolume(int32_t slot, int32_t volume) {
    if (!enabled || slot < 0 || slot >= slotCount) return;
    SoundSlot& s = slots[slot];
    if (!s.copies) return;
    if (volume > 100) volume = 100;
    if (volume < 0) volume = 0;
    for (int32_t i = 0; i < s.copyCount; ++i)
        if (s.copies[i]) s.copies[i]->setVolume(volume * 100 - 10000);
}

void SoundBank::stopAll() {
    if (!enabled || !slots) return;
    for (int32_t slot = 0; slot < slotCount; ++slot) {
        stopSlot(slot);
        SoundSlot& s = slots[slot];
        if (!s.copies) continue;
        for (int32_t i = 0; i < s.copyCount; ++i)
            if (s.copies[i]) s.copies[i]->setCurrentPosition(0);
    }
}

void SoundBank::destroy() {
    if (slots) {
        for (int32_t slot = 0; slot < slotCount; ++slot) {
            SoundSlot& s = slots[slot];
            if (!s.copies) continue;
            for (int32_t i = 0; i < s.copyCount; ++i)
                if (s.copies[i]) s.copies[i]->release();
            delete[] s.copies;
            s = SoundSlot{};
        }
        delete[] slots;
        slots = nullptr;
    }
    slotCount = 0;
    if (device) {
        device->release();
        device = nullptr;
    }
    enabled = false;
}
