// Parameter mappings and the band-pass design: pure functions of 32-bit
// values, with double arithmetic in between and a rounding to 32 bits at
// every value that is stored.
#pragma once

#include <cstdint>

namespace gate {

constexpr int kNumBands = 16;
constexpr int kNumParams = 31;  // 30 host parameters and one spare slot
constexpr int kLastBand = kNumBands - 1;

// Parameter indices that act on the sound.
enum ParameterIndex : int {
    kStartFreq = 0,
    kFinishFreq = 1,
    kFreqQ = 2,
    kAttack = 3,
    kRelease = 4,
    kBoost = 5,
    kFirstGateLevel = 6,  // band k's gate level is kFirstGateLevel + k
};

// Rounds a double to the nearest 32-bit float. Every stored engine value
// passes through here.
inline float Store(double x) { return static_cast<float>(x); }

// About 1.0001 * 2^x: exp(0.6931472 x + 0.0001) + 1e-12, as a 32-bit float.
float Pow2(float x);
// About 1.0001 * 10^x: exp(2.302585 x + 0.0001) + 1e-12, as a 32-bit float.
float Pow10(float x);
// 0 for a level of exactly 0, else Pow10(((level * range) - offset) / 20).
float DbToGain(float offset, float range, float level);

struct BandCoefficients {
    float b0;  // gain of the current input
    float b2;  // gain of the input two samples back
    float a1;  // feedback of the output one sample back
    float a2;  // feedback of the output two samples back
};

// The design rates the band design handles, in Hz.
// - 8 kHz is the lowest rate audio is carried at. Already there the top
//   quarter of the frequency range lies above half the rate; below it ever
//   more of the bands fold over, and a rate that small comes from a host's
//   mistake (a zero, a denormal) rather than from audio.
// - 768 kHz is the highest rate audio hardware runs at. The feedback pair
//   of a band is stored as 32-bit floats, whose steps near the pole z = 1
//   limit how low a band can be centred: at 768 kHz the 20 Hz band already
//   sounds between 30 and 42 Hz, and each doubling of the rate doubles that.
constexpr float kMinDesignRate = 8000.0f;
constexpr float kMaxDesignRate = 768000.0f;

// Second-order band-pass with gain 1 at centreFrequency and a -3 dB width of
// bandwidth * centreFrequency Hz (bandwidth limited to 0.005 .. 0.99).
BandCoefficients DesignBandPass(float bandwidth, float centreFrequency, float sampleRate);

// Centre frequency of band k for the Start and Finish positions:
// 20 * Pow2(10 * position), positions evenly spaced from start to finish.
float BandCentreFrequency(float start, float finish, int band);

// Everything the per-sample step reads, derived from one parameter set.
struct DerivedValues {
    BandCoefficients band[kNumBands];
    float attackCoef;
    float attackNorm;
    float releaseCoef;
    float releaseNorm;
    float boostGain;
    float threshold[kNumBands];
};

// The sixteen designs of a parameter set at a design rate.
void DesignAllBands(const float params[kNumParams], float sampleRate, BandCoefficients out[kNumBands]);
// Smoothing pairs, boost gain and thresholds of a parameter set.
void DeriveGains(const float params[kNumParams], DerivedValues& out);

// The fraction of a band that reaches the output, for the meters: as the
// kernels scale a band, its gate level over its detector value (the
// rounded envelope and its 1e-12) plus 0.0001, nothing at a gate level of
// 0.001 or below (the band is cut), and at most all of it. The gate level
// follows the detector value while the gate is open, so an open band
// passes about all of itself, whatever its level.
double PassedFraction(double gateLevel, double envelope);

// The threshold of a band whose gate level is `level`:
// DbToGain(40, 40, level) / 32, some 10^((40 level - 40) / 20) / 32 (a
// level of 0: 0, the gate never closes). A band's gate opens where its
// detector value exceeds it.
float GateThreshold(float level);

// Learning gate levels from a stretch of noise: each band's gate level
// is set so that its threshold lies a margin above the band's largest
// detector value over the noise (BandMeters' levels), and the noise keeps
// the gate closed. The editor's Learn and `halvorine learn` both use this.
constexpr double kLearnMarginDb = 6.0;
// The gate level that the read-out writes as `tenths` tenths of a dB
// (-399 .. 0, "-39.9dB" .. "0dB") and reads back from that text: the
// read-out shows level x 40 - 40 dB floored to a tenth, and reads a text
// a hair inside its tenth where rounding would put the exact value just
// below it (as edition::ValueFromText).
float GateLevelOfTenths(int tenths);
// The detector value below which a band heard nothing: silence does not
// leave a band at 0, since every filter output carries the engine's 1e-12,
// which the band's feedback holds at 1e-12 / (1 + a1 + a2) (up to some
// 5e-5 for the narrowest low band at 768 kHz); the detector settles there
// after an overshoot of less than 3 times. This is 8 times that, plus the
// detector's own 1e-12.
float LearnFloor(const BandCoefficients& band);
// For the parameter set `set` (kNumParams values) at design rate `rate`,
// and each band's largest detector value over the noise: each band heard
// (above its LearnFloor) gets the lowest of the levels above whose
// threshold is at least largest[k] x 10^(marginDb / 20), or the highest
// ("0dB") where none is; even the lowest is above 0, so a learned gate
// closes. `levels` receives the sixteen gate levels, those of the bands
// not heard as `set` has them; `heard`, unless null, which bands heard
// it. Answers how many bands were heard: 0 means that the noise held no
// audio and nothing changed.
int LearnGateLevels(const float set[kNumParams], float rate, const float largest[kNumBands], double marginDb,
                    float levels[kNumBands], bool heard[kNumBands] = nullptr);

// Frames after which the output of a silenced input stays below -96 dBFS,
// for the parameter set `set` (kNumParams values, as the engine holds them)
// at design rate `rate`. Computed from the bands' poles (the narrowest band
// rings longest) and the gates' release, not by rendering (see GateMath.cpp).
uint32_t RingOutFrames(const float set[kNumParams], double rate);
// The same with the band sum scaled by `boostGain` instead of the set's
// own Boost (a boost gliding between two gains rings as loud as the
// larger).
uint32_t RingOutFrames(const float set[kNumParams], double rate, double boostGain);

// +1 above zero, -1 below, 0 at zero.
inline float Sign(float x) { return x > 0.0f ? 1.0f : (x < 0.0f ? -1.0f : 0.0f); }

// The output shaper: m = (3a - a^2) / 2 for a = |x| up to 1, 1 above, with
// the sign of x. Slope 1.5 at 0, so quiet signals leave 1.5 times louder.
inline float SoftClip(float x) {
    const float a = x < 0.0f ? -x : x;
    const float s = Sign(x);
    const float m = a > 1.0f ? 1.0f : Store((-static_cast<double>(a) * a + 3.0 * a) * 0.5);
    return m * s;
}

// Clamps a parameter value to 0..1; NaN becomes 0, and so does a zero of
// either sign. On a host thread that treats denormals as zero (DAZ), a
// negative denormal compares equal to zero: kept, it would read back below
// 0 on any other thread.
inline float ClampParameter(float value) {
    if (value > 1.0f)
        return 1.0f;
    if (!(value > 0.0f))
        return 0.0f;
    return value;
}

}  // namespace gate
