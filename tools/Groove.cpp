#include "Groove.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace halvorine {

namespace {

// Two bars of 4/4 at 100 beats per minute on a sixteenth-note grid, and a
// little over half a second for the last hit to ring out.
constexpr double kTempo = 100.0;
constexpr int kSteps = 32;
constexpr double kStepSeconds = 60.0 / kTempo / 4.0;
constexpr double kTailSeconds = 0.6;

// Which steps of a bar carry which drum. The gaps between the hits are what
// the gate works on.
constexpr bool hits(const char* pattern, int step) { return pattern[step % 16] == 'x'; }
constexpr const char* kKick = "x......x..x.....";
constexpr const char* kSnare = "....x.......x...";
constexpr const char* kHat = "..x...x...x...x.";

// Room tone: broadband hiss about 45 dB below full scale and mains hum:
// quiet enough to hide under the hits, loud enough to hear between them.
constexpr double kHissLevel = 0.006;
constexpr double kHumLevel = 0.002;
// Peak of the finished groove: -1 dBFS.
constexpr double kPeak = 0.891;

// xorshift32: the same numbers on every platform, unlike the standard
// library's distributions.
class Noise {
public:
    explicit Noise(uint32_t seed) : state_(seed) {}
    double next() {  // uniform in [-1, 1)
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return state_ / 2147483648.0 - 1.0;
    }

private:
    uint32_t state_;
};

// Adds `voice(t)` from `start` on for `length` seconds, panned (-1 left,
// +1 right) with equal power.
template <class Voice>
void addHit(StereoBuffer& out, double start, double length, double pan, Voice voice) {
    const double gainL = std::cos((pan + 1.0) * M_PI / 4.0), gainR = std::sin((pan + 1.0) * M_PI / 4.0);
    const size_t first = static_cast<size_t>(start * out.sampleRate);
    const size_t count = static_cast<size_t>(length * out.sampleRate);
    for (size_t i = 0; i < count && first + i < out.left.size(); ++i) {
        double v = voice(double(i) / out.sampleRate);
        out.left[first + i] += static_cast<float>(v * gainL);
        out.right[first + i] += static_cast<float>(v * gainR);
    }
}

}  // namespace

StereoBuffer synthesiseGroove(int sampleRate) {
    StereoBuffer out;
    out.sampleRate = sampleRate;
    const size_t frames = static_cast<size_t>((kSteps * kStepSeconds + kTailSeconds) * sampleRate);
    out.left.assign(frames, 0.0f);
    out.right.assign(frames, 0.0f);
    const double dt = 1.0 / sampleRate;

    Noise noise(0x48616C76u);
    for (int step = 0; step < kSteps; ++step) {
        const double t0 = step * kStepSeconds;
        if (hits(kKick, step)) {
            // A sine whose pitch falls from about 160 Hz to 45 Hz, and a click.
            double phase = 0.0;
            addHit(out, t0, 0.5, 0.0, [&](double t) {
                phase += 2.0 * M_PI * (45.0 + 115.0 * std::exp(-t / 0.035)) * dt;
                double click = t < 0.004 ? 0.3 * noise.next() * (1.0 - t / 0.004) : 0.0;
                return 0.9 * std::sin(phase) * std::exp(-t / 0.18) + click;
            });
        }
        if (hits(kSnare, step)) {
            // Two drum-head tones and a burst of brightened noise.
            double low = 0.0;
            addHit(out, t0, 0.35, -0.15, [&](double t) {
                double tone = 0.35 * (std::sin(2.0 * M_PI * 185.0 * t) + 0.6 * std::sin(2.0 * M_PI * 330.0 * t)) *
                              std::exp(-t / 0.06);
                double n = noise.next();
                low += 0.2 * (n - low);  // one-pole low-pass; n - low keeps the highs
                return tone + 0.55 * (n - low) * std::exp(-t / 0.09);
            });
        }
        if (hits(kHat, step)) {
            double previous = 0.0;
            addHit(out, t0, 0.12, 0.4, [&](double t) {
                double n = noise.next(), bright = n - previous;  // first difference: hiss above 5 kHz
                previous = n;
                return 0.22 * bright * std::exp(-t / 0.025);
            });
        }
    }

    // Room tone over the whole length: independent hiss per side, softened
    // by a one-pole low-pass, and 50 Hz hum with its third harmonic.
    Noise hissL(0x526F6F6Du), hissR(0x546F6E65u);
    double smoothL = 0.0, smoothR = 0.0;
    for (size_t i = 0; i < frames; ++i) {
        smoothL += 0.35 * (hissL.next() - smoothL);
        smoothR += 0.35 * (hissR.next() - smoothR);
        double t = i * dt;
        double hum = kHumLevel * (std::sin(2.0 * M_PI * 50.0 * t) + 0.5 * std::sin(2.0 * M_PI * 150.0 * t));
        out.left[i] += static_cast<float>(kHissLevel * 2.0 * smoothL + hum);
        out.right[i] += static_cast<float>(kHissLevel * 2.0 * smoothR + hum);
    }

    float peak = 0.0f;
    for (size_t i = 0; i < frames; ++i)
        peak = std::max({peak, std::fabs(out.left[i]), std::fabs(out.right[i])});
    const float gain = static_cast<float>(kPeak / peak);
    for (size_t i = 0; i < frames; ++i) {
        out.left[i] *= gain;
        out.right[i] *= gain;
    }
    return out;
}

}  // namespace halvorine
