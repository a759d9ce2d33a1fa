// One Web Audio output for the mixer. Browsers let a page make sound only after the user has
// pressed a key or clicked, so the audio context is made at the first such event (the page calls
// Module.varnisStartAudio from its listeners); until then the mixer is not asked for anything.
// A script processor node pulls 16-bit stereo from the mixer's callback on the page's own thread,
// between the game's waits.
#include "backends/web/web_backend.h"

#include <emscripten.h>

#include <vector>

namespace platform {

namespace {

AudioPull pullFn = nullptr;
void* pullUser = nullptr;
std::vector<int16_t> chunk;

constexpr int kRate = 48000;
// A processor block of 1024 frames: about 21 ms, the shortest Chrome plays without gaps.
constexpr int kFrames = 1024;
// JavaScript, which clang-format would take for C++.
// clang-format off
EM_JS(void, installAudioStarter, (int rate, int frames), {
    Module.varnisStartAudio = function() {
        if (Module.varnisAudio) {
            // Closed at the game's end: resuming it then would be refused at the error level.
            if (Module.varnisAudio.state === 'suspended') Module.varnisAudio.resume();
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
// clang-format on

class WebAudioOutput final : public AudioOutput {
public:
    ~WebAudioOutput() override { pullFn = nullptr; }
};

}  // namespace

std::unique_ptr<AudioOutput> openWebAudio(AudioPull pull, void* user, uint32_t& rate) {
    pullFn = pull;
    pullUser = user;
    rate = kRate;
    installAudioStarter(kRate, kFrames);
    return std::make_unique<WebAudioOutput>();
}

}  // namespace platform

extern "C" EMSCRIPTEN_KEEPALIVE int16_t* varnis_audio_fill(int frames) {
    using namespace platform;
    if (!pullFn || frames <= 0) return nullptr;
    chunk.assign(size_t(frames) * 2, 0);
    pullFn(pullUser, chunk.data(), size_t(frames));
    return chunk.data();
}
