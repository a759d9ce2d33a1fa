// The two sound effects, synthesised in integer arithmetic so that every build on every machine
// writes the same samples: the shot (a falling thump over a short burst of filtered noise) and
// the burst (a crack, a roar of noise whose brightness falls away, a low rumble and crackles).
// Samples are 8-bit unsigned at 11025 Hz; the game plays them at 9025 to 21025 Hz, so most of
// the energy sits low enough to stay mellow when sped up.
#pragma once

#include <cstdint>
#include <vector>

namespace assets {

constexpr uint32_t kSampleRate = 11025;

namespace synth {

// xorshift32 with a fixed seed: white noise in -32768..32767.
struct Noise {
    uint32_t state;
    explicit Noise(uint32_t seed) : state(seed) {}
    uint32_t next() {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    }
    int32_t sample() { return int32_t(next() >> 16) - 32768; }
};

// Sine of a phase (2^32 = one turn), -32767..32767, by Bhaskara's rational approximation
// (within 0.2% of the true value; inaudible, and exact integer arithmetic).
inline int32_t isin(uint32_t phase) {
    const int64_t half = int64_t(1) << 15;
    const int64_t t = int64_t((phase >> 16) & 0x7FFF);  // position within the half turn
    const int64_t u = t * (half - t);
    const int64_t v = 16 * u * 32767 / (5 * half * half - 4 * u);
    return int32_t((phase & 0x80000000u) ? -v : v);
}

constexpr int64_t kOne = int64_t(1) << 30;  // unity in the Q30 envelopes

// Exponential decay with a time constant of tau samples (Q30), one multiply per sample.
struct Decay {
    int64_t level, factor;
    Decay(int64_t start, int64_t tau) : level(start), factor(kOne - kOne / tau) {}
    int64_t step() {
        const int64_t v = level;
        level = (level * factor) >> 30;
        return v;
    }
};

// Scales a sample by a Q30 gain.
inline int32_t gain(int32_t x, int64_t q30) { return int32_t((int64_t(x) * q30) >> 30); }

// One-pole low-pass; the cutoff is given in hertz.
struct LowPass {
    int32_t y = 0;
    int32_t run(int32_t x, int32_t cutoffHz) {
        int64_t a = int64_t(411775) * cutoffHz / int32_t(kSampleRate);  // about 2 pi fc / fs, Q16
        if (a > 65535) a = 65535;
        y += int32_t((int64_t(x - y) * a) >> 16);
        return y;
    }
};

// Gentle limiting above 20000 and conversion to an unsigned 8-bit sample.
inline uint8_t toByte(int32_t x) {
    const int32_t m = x < 0 ? -x : x;
    int32_t c = m <= 20000 ? m : 20000 + (m - 20000) / 3;
    if (c > 32000) c = 32000;
    const int32_t v = 128 + (x < 0 ? -c : c) / 256;
    return uint8_t(v < 1 ? 1 : v > 255 ? 255 : v);
}

// Linear fade of the last n samples down to silence, and of the first few up from it, so that
// neither end clicks.
inline void fadeEnds(std::vector<int32_t>& s, size_t in, size_t out) {
    for (size_t i = 0; i < in && i < s.size(); ++i)
        s[i] = int32_t(int64_t(s[i]) * int64_t(i) / int64_t(in));
    for (size_t i = 0; i < out && i < s.size(); ++i) {
        int32_t& v = s[s.size() - 1 - i];
        v = int32_t(int64_t(v) * int64_t(i) / int64_t(out));
    }
}

inline uint32_t phaseStep(int32_t hz) { return uint32_t((uint64_t(hz) << 32) / kSampleRate); }

}  // namespace synth

// A shot: about a quarter of a second.
inline std::vector<uint8_t> makeShotSound() {
    using namespace synth;
    const size_t n = 2756;
    std::vector<int32_t> s(n);
    Noise noise(0x5EED0001u);
    Decay sweep(kOne, 330);  // pitch and brightness fall over ~30 ms
    Decay body(kOne, 700);   // the thump's loudness
    Decay burst(kOne, 190);  // the bang's noise
    Decay tail(kOne, 950);   // a soft after-hiss
    LowPass burstFilter, tailFilter, tailFilter2;
    uint32_t phase = 0;
    for (size_t i = 0; i < n; ++i) {
        const int64_t sw = sweep.step();
        const int32_t hz = 90 + int32_t((340 * sw) >> 30);
        phase += phaseStep(hz);
        const int32_t tone = isin(phase) + isin(phase * 2) / 4;
        const int32_t white = noise.sample();
        const int32_t bang = burstFilter.run(white, 500 + int32_t((2600 * sw) >> 30));
        const int32_t hiss = tailFilter2.run(tailFilter.run(white, 700), 700);
        int64_t attack = i < 22 ? kOne * int64_t(i) / 22 : kOne;
        int32_t v = gain(gain(tone, body.step()), attack) * 6 / 10;
        v += gain(bang, burst.step()) * 9 / 10;
        v += gain(hiss, tail.step()) * 5 / 10;
        s[i] = v;
    }
    fadeEnds(s, 4, 220);
    std::vector<uint8_t> out(n);
    for (size_t i = 0; i < n; ++i) out[i] = toByte(s[i]);
    return out;
}

// A burst: just under a second.
inline std::vector<uint8_t> makeBurstSound() {
    using namespace synth;
    const size_t n = 9922;
    std::vector<int32_t> s(n);
    Noise noise(0xB00B5EEDu);
    Noise dice(0x0C0FFEE1u);
    Decay crack(kOne, 70);     // the first sharp crack
    Decay roar(kOne, 2600);    // the body of the blast
    Decay bright(kOne, 1400);  // how quickly the roar darkens
    Decay rumble(kOne, 3300);  // the low rumble under it
    Decay drop(kOne, 2000);    // the rumble's pitch drop
    LowPass roar1, roar2, crackFilter, popFilter;
    int64_t pop = 0;
    uint32_t phase = 0;
    for (size_t i = 0; i < n; ++i) {
        const int32_t white = noise.sample();
        const int64_t br = bright.step();
        const int32_t cutoff = 170 + int32_t((2300 * br) >> 30);
        const int32_t dark = roar2.run(roar1.run(white, cutoff), cutoff);
        phase += phaseStep(36 + int32_t((44 * drop.step()) >> 30));
        const int32_t low = isin(phase);
        const int64_t attack = i < 33 ? kOne * int64_t(i) / 33 : kOne;

        // Crackles: sparse short pops, thinning out as the blast dies away.
        if (i > 250 && i < 6000) {
            const uint32_t chance = uint32_t(40 - (i * 36) / 6000);
            if (dice.next() % 1000 < chance)
                pop = kOne / 8 + int64_t(dice.next() % 1000) * (kOne / 4000);
        }
        const int32_t popSample = gain(popFilter.run(white, 1800), pop);
        pop = (pop * (kOne - kOne / 28)) >> 30;

        int32_t v = gain(crackFilter.run(white, 3200), crack.step()) * 7 / 10;
        v += gain(gain(dark, roar.step()), attack) * 12 / 10;
        v += gain(gain(low, rumble.step()), attack) * 5 / 10;
        v += popSample;
        s[i] = v;
    }
    fadeEnds(s, 3, 550);
    std::vector<uint8_t> out(n);
    for (size_t i = 0; i < n; ++i) out[i] = toByte(s[i]);
    return out;
}

}  // namespace assets
