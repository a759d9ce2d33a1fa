#include "sound/soundbank.h"

// Placeholder until the sound bank lands: a bank that never opens stays silent.
SoundBank soundBank;

void SoundBank::open(int32_t) { enabled = false; }
void SoundBank::loadSlot(const char*, int32_t, int32_t) {}
bool SoundBank::loadWave(platform::SoundBuffer**, const char*) { return false; }
void SoundBank::play(int32_t, int32_t, int32_t) {}
void SoundBank::playLooped(int32_t) {}
void SoundBank::stopSlot(int32_t) {}
void SoundBank::freeSlot(int32_t) {}
void SoundBank::setSlotVolume(int32_t, int32_t) {}
void SoundBank::stopAll() {}
void SoundBank::destroy() {}
