#include "GateMath.h"

#include <cmath>
#include <cstdint>
#include <cstring>

#include "PortableMath.h"

namespace gate {
namespace {

// The float next below a positive finite x, from its bit pattern, so that
// the library needs nothing of the maths library for it.
float NextFloatDown(float x) {
    uint32_t bits;
    std::memcpy(&bits, &x, sizeof bits);
    --bits;
    std::memcpy(&x, &bits, sizeof x);
    return x;
}

}  // namespace

float Pow2(float x) {
    // 0.6931472 is ln 2 cut to seven decimals; the +0.0001 in the exponent
    // makes every result about 1.0001 times 2^x.
    return Store(Exp(0.6931472 * static_cast<double>(x) + 0.0001) + 1e-12);
}

float Pow10(float x) {
    // 2.302585 is ln 10 cut to six decimals.
    return Store(Exp(2.302585 * static_cast<double>(x) + 0.0001) + 1e-12);
}

float DbToGain(float offset, float range, float level) {
    if (level == 0.0f)
        return 0.0f;
    const float decibels = Store(static_cast<double>(level) * range - offset);
    return Pow10(Store(static_cast<double>(decibels) / 20.0));
}

BandCoefficients DesignBandPass(float bandwidth, float centreFrequency, float sampleRate) {
    float q = bandwidth;
    if (q > 0.99f)
        q = 0.99f;
    if (q < 0.005f)
        q = 0.005f;
    if (!(q == q))
        q = 0.005f;

    // Every named value of the design is a 32-bit float; the arithmetic
    // between them is double.
    float wb = Store(static_cast<double>(q) * centreFrequency / sampleRate);  // cycles per sample
    // Above 0.49 cycles per sample the sine below approaches zero and the
    // filter turns unstable. At 44.1 kHz and above no setting gets there.
    if (wb > 0.49f)
        wb = 0.49f;
    const float wc = Store(static_cast<double>(centreFrequency) / sampleRate + 1e-12);

    // The angle factors are 3.14159 and 6.28318, not pi and 2 pi.
    const float t = Store(Cos(3.14159 * wb) / Sin(3.14159 * wb));
    const float d = Store(2.0 * Cos(6.28318 * wc) + 1e-12);
    const float b0 = Store(1.0 / (1.00000001 + t));
    const float b2 = -b0;
    const float a1 = Store(static_cast<double>(-t) * d * b0);
    const float a2 = Store((static_cast<double>(t) - 1.0) * b0);

    BandCoefficients c;
    c.b0 = Store(static_cast<double>(b0) + 1e-12);
    c.b2 = Store(static_cast<double>(b2) + 1e-12);
    c.a1 = Store(static_cast<double>(a1) + 1e-12);
    c.a2 = Store(static_cast<double>(a2) + 1e-12);

    // With a2 below 1, as every design has it, the poles lie inside the
    // unit circle exactly while |a1| < 1 + a2. A band far below the rate (its poles close to z = 1) or centred near a
    // multiple of half the rate (close to z = 1 or z = -1) is designed right
    // at that limit, closer than one float step, and rounding can put it on
    // or past the limit: the band then rings for ever or grows until it
    // overflows. Such a band takes the largest a1 inside the limit, which
    // moves its poles by a float step or two. A band whose stored pair is
    // stable keeps it.
    const double limit = 1.0 + static_cast<double>(c.a2);
    if (!(std::fabs(static_cast<double>(c.a1)) < limit)) {
        float inside = static_cast<float>(limit);
        while (!(inside < limit))
            inside = NextFloatDown(inside);
        c.a1 = c.a1 < 0.0f ? -inside : inside;
    }
    return c;
}

float BandCentreFrequency(float start, float finish, int band) {
    // Difference first, then times k, then divided, then start added.
    const double spread = static_cast<double>(finish) - start;
    const float position = Store(spread * band / kLastBand + start);
    const float exponent = Store(10.0 * position);
    return Store(static_cast<double>(Pow2(exponent)) * 20.0);
}

void DesignAllBands(const float params[kNumParams], float sampleRate, BandCoefficients out[kNumBands]) {
    for (int k = 0; k < kNumBands; ++k) {
        const float centre = BandCentreFrequency(params[kStartFreq], params[kFinishFreq], k);
        out[k] = DesignBandPass(params[kFreqQ], centre, sampleRate);
    }
}

void DeriveGains(const float params[kNumParams], DerivedValues& out) {
    out.attackCoef = Pow2(Store(17.0 * params[kAttack]));
    out.releaseCoef = Pow2(Store(17.0 * params[kRelease]));
    out.attackNorm = Store(1.0 / (1.0 + out.attackCoef));
    out.releaseNorm = Store(1.0 / (1.0 + out.releaseCoef));
    out.boostGain = DbToGain(20.0f, 40.0f, params[kBoost]);
    for (int k = 0; k < kNumBands; ++k)
        out.threshold[k] = Store(static_cast<double>(DbToGain(40.0f, 40.0f, params[kFirstGateLevel + k])) / 32.0);
}

uint32_t RingOutFrames(const float set[kNumParams], double rate) {
    BandCoefficients band[kNumBands];
    DesignAllBands(set, static_cast<float>(rate), band);
    const double floor = 1.5848931924611134e-5;  // -96 dBFS
    double longest = 0.0;
    for (int k = 0; k < kNumBands; ++k) {
        const double a1 = band[k].a1, a2 = band[k].a2;
        const double disc = a1 * a1 - 4.0 * a2;
        double radius;
        if (disc < 0.0)
            radius = std::sqrt(a2);
        else
            radius = (std::fabs(a1) + std::sqrt(disc)) * 0.5;
        if (!(radius < 1.0))
            return UINT32_MAX;
        const double frames = std::log(floor / 1000.0) / std::log(radius);
        longest = frames > longest ? frames : longest;
    }
    return longest >= 4e9 ? UINT32_MAX : static_cast<uint32_t>(std::ceil(longest));
}

}  // namespace gate
