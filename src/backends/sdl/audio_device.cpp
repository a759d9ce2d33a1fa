#include "backends/sdl/audio_device.h"

#include <SDL.h>

#include <algorithm>

namespace platform {

namespace {

class SdlAudioOutput final : public AudioOutput {
public:
    SdlAudioOutput(AudioPull pull, void* user) : pull_(pull), user_(user) {}
    ~SdlAudioOutput() override {
        if (!id_) return;
        SDL_CloseAudioDevice(id_);  // waits for the callback to return
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }

    bool open(uint32_t& rate) {
        int preferredRate = 48000;
#if SDL_VERSION_ATLEAST(2, 24, 0)
        SDL_AudioSpec preferred;
        if (SDL_GetDefaultAudioInfo(nullptr, &preferred, 0) == 0 &&
            (preferred.freq == 44100 || preferred.freq == 48000))
            preferredRate = preferred.freq;
#endif
        SDL_AudioSpec want{};
        want.freq = preferredRate;
        want.format = AUDIO_S16SYS;
        want.channels = 2;
        want.samples = 512;  // under 12 ms at 44.1 or 48 kHz: a shot is heard when it is fired
        want.callback = callback;
        want.userdata = this;
        SDL_AudioSpec have{};
        id_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have, SDL_AUDIO_ALLOW_FREQUENCY_CHANGE);
        if (id_ == 0) return false;
        rate = uint32_t(std::clamp(have.freq, 8000, 192000));
        SDL_PauseAudioDevice(id_, 0);
        return true;
    }

private:
    static void callback(void* self, Uint8* stream, int len) {
        auto* out = static_cast<SdlAudioOutput*>(self);
        out->pull_(out->user_, reinterpret_cast<int16_t*>(stream), size_t(len) / 4);
    }

    AudioPull pull_;
    void* user_;
    SDL_AudioDeviceID id_ = 0;
};

}  // namespace

std::unique_ptr<AudioOutput> openSdlAudio(AudioPull pull, void* user, uint32_t& rate) {
    // When no device opens, the audio subsystem stays up until the program's SDL_Quit: shutting
    // it down here would wait up to a tenth of a second for SDL's device-watching thread, before
    // the title shows.
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return nullptr;
    auto out = std::make_unique<SdlAudioOutput>(pull, user);
    if (!out->open(rate)) return nullptr;
    return out;
}

}  // namespace platform
