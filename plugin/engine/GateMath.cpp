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
        out.threshold[k] = GateThreshold(params[kFirstGateLevel + k]);
}

double PassedFraction(double gateLevel, double envelope) {
    if (!(gateLevel > 0.001))
        return 0.0;
    const double detect = static_cast<float>(envelope + 1e-12);
    const double ratio = gateLevel / (detect + 0.0001);
    return ratio < 1.0 ? ratio : 1.0;
}

float GateThreshold(float level) { return Store(static_cast<double>(DbToGain(40.0f, 40.0f, level)) / 32.0); }

float GateLevelOfTenths(int tenths) {
    const double decibels = tenths / 10.0;
    const float level = Store((decibels + 40.0) / 40.0);
    const float shown = Store(static_cast<double>(Store(static_cast<double>(level) * 40.0 - 40.0)) * 10.0);
    if (std::floor(shown) < tenths)
        return Store((decibels + 0.001 + 40.0) / 40.0);
    return level;
}

float LearnFloor(const BandCoefficients& band) {
    const double held = 1e-12 / std::fabs(1.0 + static_cast<double>(band.a1) + band.a2);
    return Store(8.0 * held + 1e-12);
}

int LearnGateLevels(const float set[kNumParams], float rate, const float largest[kNumBands], double marginDb,
                    float levels[kNumBands], bool heard[kNumBands]) {
    BandCoefficients bands[kNumBands];
    DesignAllBands(set, rate, bands);
    // The engine's own exp, so that every build learns the same levels.
    const double margin = Exp(marginDb / 20.0 * 2.302585092994046);
    int count = 0;
    for (int k = 0; k < kNumBands; ++k) {
        levels[k] = set[kFirstGateLevel + k];
        const bool above = largest[k] > LearnFloor(bands[k]);
        if (heard != nullptr)
            heard[k] = above;
        if (!above)
            continue;
        ++count;
        const double target = largest[k] * margin;
        // Upwards through the steps (the thresholds rise with them), so
        // that the result is the lowest that keeps the noise out.
        int tenths = -399;
        while (tenths < 0 && GateThreshold(GateLevelOfTenths(tenths)) < target)
            ++tenths;
        levels[k] = GateLevelOfTenths(tenths);
    }
    return count;
}

// The ring-out. After the input falls silent, every part of the gate
// decays at least geometrically, so each has a bound c s^m (m frames after
// the silence began), made non-increasing in m; the sum of them is found
// below -96 dBFS by bisection over m. The bounds assume inputs up to
// 0 dBFS (each 20 dB more adds about ln 10 / (1 - r) frames for a band of
// pole radius r).
//
// Band output y: what the input before the silence left rings out with the
// poles: |y[m]| <= sum over i > m of |h[i]| <= Y0 r^m, plus the floor D.
// r is sqrt(a2) for complex poles, the larger root's magnitude for real
// ones. Y0, the sum of the impulse response's magnitudes, is about 4/pi
// (at most 1.31) for a band with r >= 0.9, at most 2.6 for any other
// design at the design rates. D: the 1e-12 terms, (b0 + b2) 1e-12 + 1e-12
// each frame, through the feedback's gain at DC, 1 / (1 + a1 + a2), and
// the roundings there (relative 2^-24 each, through at most
// sum |g| <= 1 / ((1 - r) max(sin w, 1 - r)) of the feedback's response).
//
// Followers: the peak falls by 0.2 % a frame towards |y| and rises a tenth
// of the way to it, so it stays below lambda Y0 s^m + D with s = max(r,
// 0.9985) and lambda = max(1.03, 0.002 / (s - 0.998)) (by induction over
// both steps); the envelope, a mean of its last value and the peak, stays
// below 10 / 1.05^m + 1.04 times that (10: the followers' limit); the
// detector value is the envelope plus 1e-12.
//
// Gate level: each step is a weighted mean of the level and its target
// (the detector value while it is above the threshold, else 1e-12), with
// the release pair while the level falls, so that
// g[m + 1] <= q g[m] + (1 - q) T[m], q = releaseCoef * releaseNorm, from
// at most G0 (the largest detector value, at most 1.04 lambda Y0). Once
// the detector's bound is at or below the threshold, only q g decays on.
//
// Output: a band is cut while its level is at or below 0.001, else passes
// y * level / (detector + 0.0001), at most 10^4 |y| g. The sum of the
// sixteen (plus sixteen 1e-12 terms) times the boost, through the clipper,
// whose slope is at most 1.5 (|SoftClip(x)| <= 1.5 |x|). With every band
// cut, silence leaves 1.5 * boost * 16e-12, at most 2.4e-10 (-192 dBFS):
// the floor lies far below -96 dBFS, and every band is cut for good once
// its detector's floor (some 1e-7 at most) lies below 0.001.
namespace {

constexpr double kSilenceLevel = 1.5848931924611134e-5;  // -96 dBFS
constexpr double kCutLevel = 0.001;
constexpr double kLongest = 4e9;  // frames: "never" beyond

// The bound runs on the build-independent maths, so that every build (and
// edition) answers the same, and the libraries need no C maths library.
double Pow(double x, double y) { return x == 0.0 ? (y == 0.0 ? 1.0 : 0.0) : Exp(y * Log(x)); }
double Sqrt(double x) { return x > 0.0 ? Exp(0.5 * Log(x)) : 0.0; }

// Largest value of (1 - q) sum_{j < n} q^(n-1-j) s^j over n >= m: the
// gate level's response to a target decaying as s^m.
double MeanOfDecay(double q, double s, double m) {
    if (q <= 0.0)
        return Pow(s, m > 1.0 ? m - 1.0 : 0.0);
    if (std::fabs(s - q) < 1e-9 * (1.0 - (s > q ? s : q))) {
        // n (1 - q) q^(n-1), largest at n = -1 / ln q.
        const double top = -1.0 / Log(q);
        const double n = m > top ? m : top;
        return (1.0 - q) * n * Pow(q, n - 1.0);
    }
    // (s^n - q^n) / (s - q), largest where s^n ln s = q^n ln q.
    const double top = Log(Log(q) / Log(s)) / (Log(s) - Log(q));
    const double n = m > top ? m : top;
    return (1.0 - q) * (Pow(s, n) - Pow(q, n)) / (s - q);
}

// The first m from which non-increasing `bound` stays at or below `limit`
// (kLongest if not before it).
template <class Bound>
double FirstAtOrBelow(const Bound& bound, double limit) {
    if (bound(0.0) <= limit)
        return 0.0;
    double hi = 1.0;
    while (!(bound(hi) <= limit)) {
        hi *= 2.0;
        if (hi > kLongest)
            return kLongest;
    }
    double lo = hi / 2.0;
    while (hi - lo > 1.0) {
        const double mid = static_cast<double>(static_cast<int64_t>((lo + hi) / 2.0));  // both whole
        (bound(mid) <= limit ? hi : lo) = mid;
    }
    return hi;
}

struct BandRing {
    double r, y0, floor;             // pole radius, Y0, D
    double s, peak, detectFloor;     // peak decay, its factor lambda Y0, detector floor
    double startLevel, threshold, closes;

    double detect(double m) const { return 10.0 * Pow(1.05, -m) + 1.04 * peak * Pow(s, m) + detectFloor; }
    double openLevel(double q, double m) const {
        return startLevel * Pow(q, m) + 10.0 * MeanOfDecay(q, 1.0 / 1.05, m) + 1.04 * peak * MeanOfDecay(q, s, m) +
               detectFloor + 1e-12;
    }
    double level(double q, double m) const {
        const double open = openLevel(q, m);
        if (m < closes)
            return open;
        const double closed = openLevel(q, closes) * Pow(q, m - closes) + 2e-12;
        return open < closed ? open : closed;
    }
    double passed(double q, double m) const {
        const double g = level(q, m);
        return g > kCutLevel ? 1e4 * (y0 * Pow(r, m) + floor) * g : 0.0;
    }
};

}  // namespace

uint32_t RingOutFrames(const float set[kNumParams], double rate) {
    DerivedValues dv{};
    DeriveGains(set, dv);
    return RingOutFrames(set, rate, dv.boostGain);
}

uint32_t RingOutFrames(const float set[kNumParams], double rate, double boostGain) {
    DerivedValues dv{};
    DesignAllBands(set, static_cast<float>(rate), dv.band);
    DeriveGains(set, dv);
    const double boost = boostGain;
    if (!(boost > 0.0))
        return 0;
    const double q = static_cast<double>(dv.releaseCoef) * dv.releaseNorm;

    BandRing bands[kNumBands];
    for (int k = 0; k < kNumBands; ++k) {
        const double b0 = dv.band[k].b0, b2 = dv.band[k].b2, a1 = dv.band[k].a1, a2 = dv.band[k].a2;
        const double disc = a1 * a1 - 4.0 * a2;
        BandRing& b = bands[k];
        b.r = disc < 0.0 ? Sqrt(a2) : (std::fabs(a1) + Sqrt(disc)) * 0.5;
        const double dc = 1.0 + a1 + a2;
        if (!(b.r < 1.0) || !(dc > 0.0))
            return 0xFFFFFFFFu;
        b.y0 = disc < 0.0 && b.r >= 0.9 ? 1.31 : 2.6;
        const double cosine = disc < 0.0 ? -a1 / (2.0 * b.r) : 1.0;
        const double sine = Sqrt(1.0 - cosine * cosine);
        const double spread = 0x1p-24 / ((1.0 - b.r) * (sine > 1.0 - b.r ? sine : 1.0 - b.r));
        b.floor = (std::fabs(b0 + b2) * 1e-12 + 1e-12) / dc * (spread < 0.5 ? 1.0 / (1.0 - spread) : 2.0 + spread);
        b.s = b.r > 0.9985 ? b.r : 0.9985;
        const double lambda = 0.002 / (b.s - 0.998);
        b.peak = (lambda > 1.03 ? lambda : 1.03) * b.y0;
        b.detectFloor = 1.04 * b.floor + 2e-12;
        b.startLevel = 1.04 * b.peak < 10.0 ? 1.04 * b.peak : 10.0;
        b.threshold = dv.threshold[k];
        b.closes = b.threshold > b.detectFloor
                       ? FirstAtOrBelow([&b](double m) { return b.detect(m); }, b.threshold)
                       : kLongest;
    }
    auto output = [&](double m) {
        double sum = 16e-12 * 1.0001;
        for (const BandRing& b : bands)
            sum += b.passed(q, m);
        return 1.5 * boost * sum;
    };
    const double frames = FirstAtOrBelow(output, kSilenceLevel);
    return frames >= kLongest ? 0xFFFFFFFFu : static_cast<uint32_t>(frames);
}

}  // namespace gate
