// The SDL audio device: 16-bit stereo at the output's preferred rate (44.1 or 48 kHz), pulled
// from the mixer on SDL's audio thread in blocks of 512 frames.
#pragma once

#include <memory>

#include "platform/backend.h"

namespace platform {

std::unique_ptr<AudioOutput> openSdlAudio(AudioPull pull, void* user, uint32_t& rate);

}  // namespace platform
