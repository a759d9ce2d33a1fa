// The few SDL audio calls the mixer's output makes, for the web build, where there is no SDL:
// web_audio.cpp answers them with one Web Audio output pulling from the mixer's callback. Only the
// web build puts this folder on the include path.
#pragma once

#include <cstdint>

using Uint8 = uint8_t;
using Uint16 = uint16_t;
using SDL_AudioDeviceID = uint32_t;
using SDL_AudioCallback = void (*)(void* userdata, Uint8* stream, int len);

#define SDL_VERSION_ATLEAST(x, y, z) 0
#define SDL_INIT_AUDIO 0x10u
#define AUDIO_S16SYS 0x8010
#define SDL_AUDIO_ALLOW_FREQUENCY_CHANGE 1

struct SDL_AudioSpec {
    int freq = 0;
    Uint16 format = 0;
    Uint8 channels = 0;
    Uint8 silence = 0;
    Uint16 samples = 0;
    Uint16 padding = 0;
    uint32_t size = 0;
    SDL_AudioCallback callback = nullptr;
    void* userdata = nullptr;
};

int SDL_InitSubSystem(uint32_t flags);
void SDL_QuitSubSystem(uint32_t flags);
// Accepts 16-bit stereo only, at 48 kHz; the sound starts with the page's first key press or click.
SDL_AudioDeviceID SDL_OpenAudioDevice(const char* device, int capture, const SDL_AudioSpec* want,
                                      SDL_AudioSpec* have, int allowedChanges);
void SDL_PauseAudioDevice(SDL_AudioDeviceID id, int pause);
void SDL_CloseAudioDevice(SDL_AudioDeviceID id);
