// One Web Audio output for the mixer. Browsers let a page make sound only after the user has
// pressed a key or clicked, so the audio context is made at the first such event (the page calls
// Module.varnisStartAudio from its listeners); until then the mixer is not asked for anything.
// A script processor node pulls 16-bit stereo from the mixer's callback on the page's own thread,
// between the game's waits.
#include <emscripten.h>

#include <vector>

#include "platform/web/sdl_audio/SDL.h"

namespace {

SDL_AudioCallback callback = nullptr;
void* userdata = nullptr;
bool running = false;
std::vector<int16_t> chunk;

constexpr int kRate = 48000;
// A processor block of 1024 frames: about 21 ms, the shortest Chrome plays without gaps.
constexpr int kFrames = 1024;

EM_JS(void, installAudioStarter, (int rate, int frames), {
    Module.varnisStartAudio = function() {
        if (Module.varnisAudio) {
            if (Module.varnisAudio.state !== 'running') Module.varnisAudio.resume();
            return;
        }
        const Context = window.AudioContext || window.webkitAudioContext;
        if (!Context) return;
        const ctx = new Context({sampleRate: rate, latencyHint: 'interactive'});
        const node = ctx.createScriptProcessor(frames, 0, 2);
        node.onaudioprocess = function(e) {
            const left = e.outputBuffer.getChannelData(0), right = e.outputBuffer.getChannelData(1);
            const ptr = Module._varnis_audio_fill(frames);
            if (!ptr) { left.fill(0); right.fill(0); return; }
            const pcm = HEAP16.subarray(ptr >> 1, (ptr >> 1) + 2 * frames);
            for (let i = 0; i < frames; ++i) {
                left[i] = pcm[2 * i] / 32768;
                right[i] = pcm[2 * i + 1] / 32768;
            }
        };
        node.connect(ctx.destination);
        Module.varnisAudio = ctx;
        Module.varnisAudioNode = node;
    };
});

}  // namespace

extern "C" EMSCRIPTEN_KEEPALIVE int16_t* varnis_audio_fill(int frames) {
    if (!running || !callback || frames <= 0) return nullptr;
    chunk.assign(size_t(frames) * 2, 0);
    callback(userdata, reinterpret_cast<Uint8*>(chunk.data()), frames * 4);
    return chunk.data();
}

int SDL_InitSubSystem(uint32_t) { return 0; }
void SDL_QuitSubSystem(uint32_t) {}

SDL_AudioDeviceID SDL_OpenAudioDevice(const char*, int capture, const SDL_AudioSpec* want,
                                      SDL_AudioSpec* have, int) {
    if (capture || !want || !want->callback || want->format != AUDIO_S16SYS || want->channels != 2)
        return 0;
    callback = want->callback;
    userdata = want->userdata;
    if (have) {
        *have = *want;
        have->freq = kRate;
        have->samples = kFrames;
    }
    installAudioStarter(kRate, kFrames);
    return 1;
}

void SDL_PauseAudioDevice(SDL_AudioDeviceID, int pause) { running = pause == 0; }

void SDL_CloseAudioDevice(SDL_AudioDeviceID) {
    running = false;
    callback = nullptr;
}
