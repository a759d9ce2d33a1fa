// The sound bank: slots of several copies of one wave sample each, played in turn.
#pragma once

#include <cstdint>

#include "sound/wave.h"

namespace platform {
class SoundDevice;
class SoundBuffer;
}  // namespace platform

struct SoundSlot {
    platform::SoundBuffer** copies = nullptr;
    int32_t nextCopy = 0;
    int32_t copyCount = 0;
};

class SoundBank {
public:
    int32_t slotCount = 0;
    bool enabled = false;
    platform::SoundDevice* device = nullptr;
    SoundSlot* slots = nullptr;

    void open(int32_t count);
    void loadSlot(const char* fileName, int32_t slot, int32_t copyCount);
    bool loadWave(platform::SoundBuffer** out, const char* fileName);
    // A buffer for one copy from a sample read before (or the message for how reading it failed).
    bool fillCopy(platform::SoundBuffer** out, WaveError error, const WaveSample& sample);
    void play(int32_t slot, int32_t pan, int32_t frequency);
    void playLooped(int32_t slot);
    void stopSlot(int32_t slot);
    void freeSlot(int32_t slot);
    void setSlotVolume(int32_t slot, int32_t volume);
    void stopAll();
    // The clean-up registered with atexit: releases every buffer and the device.
    void destroy();
};

extern SoundBank soundBank;
