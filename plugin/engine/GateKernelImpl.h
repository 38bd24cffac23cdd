// The chunk kernel, written once over a vector type V (two doubles for
// SSE2, four for AVX, eight for AVX-512) and included by one source file
// per instruction set. Everything here has internal linkage, so that each
// source file keeps its own copy, compiled for its own instruction set.
//
// Every stored value is rounded to a 32-bit float where it is stored; the
// arithmetic in between is double, in exactly the order of the plain
// one-band-at-a-time formulation. Bands are independent of each other, and
// each part of the step reads only what earlier parts wrote, so the order
// below (a pipeline over the chunk, the band sums several frames at a
// time) changes nothing in the result.
//
// Why a pipeline: each part of one band's step is a chain of long-latency
// operations (a double-to-float rounding alone is two conversions) whose
// next frame waits for the previous one, and one frame's parts wait for
// each other. Taken one group of bands and one frame at a time, the
// processor idles on those chains; with every group and every part in one
// step, each part working on an older frame than the one before it, the
// chains run side by side and the step is bound by the number of
// operations instead. What remains is mostly roundings, so most of them
// take a cheaper form where it is provably exact (see ChunkStaysNormal).
//
// A chunk of a few frames (a host's short block, or the piece of a block
// up to the end of a chunk of the stream) cannot fill that pipeline: it
// takes the short path instead, frame by frame, which does the same
// operations on the same values (ShortBandStages). Both are made of the
// same part functions (BandMath).
#pragma once

#include <cstdint>
#include <cstring>

#include "GateKernel.h"

namespace gate {
namespace {

// A NaN or infinite input sample enters as silence: one of them would
// otherwise turn the followers into NaN for good.
// (A bit test rather than a library call, so that nothing outside this
// file's own instruction set gets involved.)
inline float FiniteOrZeroSample(float x) {
    uint32_t bits;
    std::memcpy(&bits, &x, sizeof bits);
    return (bits & 0x7F800000u) == 0x7F800000u ? 0.0f : x;
}

// The input samples with their 1e-12, each rounded to a float. A NaN or
// infinite sample enters as silence: one of them would otherwise turn the
// followers into NaN for good. (The test is made on the widened double,
// which is NaN or infinite exactly when the float is.) Answers the largest
// magnitude among the results. Always inlined, as ChunkStaysNormal and the
// parts of BandPipeline: with the metered kernels beside the others, the
// compiler would otherwise call some of them out of line, and the
// unmetered kernels would no longer be what they were before the meters.
template <class V>
[[gnu::always_inline]] inline double InputStage(const float* in, double* x, int32_t frames) {
    using T = typename V::T;
    constexpr int N = V::N;
    const T tiny = V::set1(1e-12), infinity = V::set1(static_cast<double>(__builtin_inf()));
    T largest = V::set1(0.0);
    int32_t f = 0;
    for (; f + N <= frames; f += N) {
        const T v = V::widen(in + f);
        const T r = V::round(V::add(V::keep(V::lessThan(V::abs(v), infinity), v), tiny));
        V::store(x + f, r);
        largest = V::max(largest, V::abs(r));
    }
    double lanes[N];
    V::store(lanes, largest);
    double result = 0.0;
    for (double lane : lanes)
        result = lane > result ? lane : result;
    for (; f < frames; ++f) {
        x[f] = static_cast<float>(static_cast<double>(FiniteOrZeroSample(in[f])) + 1e-12);
        const double magnitude = x[f] < 0.0 ? -x[f] : x[f];
        result = magnitude > result ? magnitude : result;
    }
    return result;
}

// The key samples with their 1e-12, each rounded to a float (see
// KernelKey): the key sample is formed in double and then enters as an
// input sample does. Answers the largest magnitude among the results.
template <class V, bool kDifference>
inline double KeyStageOf(const float* a, const float* b, double* x, int32_t frames) {
    using T = typename V::T;
    constexpr int N = V::N;
    const T tiny = V::set1(1e-12), half = V::set1(0.5);
    const T infinity = V::set1(static_cast<double>(__builtin_inf()));
    T largest = V::set1(0.0);
    int32_t f = 0;
    for (; f + N <= frames; f += N) {
        const T va = V::widen(a + f), vb = V::widen(b + f);
        const T v = V::mul(kDifference ? V::sub(va, vb) : V::add(va, vb), half);
        const T r = V::round(V::add(V::keep(V::lessThan(V::abs(v), infinity), v), tiny));
        V::store(x + f, r);
        largest = V::max(largest, V::abs(r));
    }
    double lanes[N];
    V::store(lanes, largest);
    double result = 0.0;
    for (double lane : lanes)
        result = lane > result ? lane : result;
    for (; f < frames; ++f) {
        const double va = a[f], vb = b[f];
        const double v = (kDifference ? va - vb : va + vb) * 0.5;
        const double magnitude = v < 0.0 ? -v : v;
        x[f] = static_cast<float>((magnitude < static_cast<double>(__builtin_inf()) ? v : 0.0) + 1e-12);
        const double stored = x[f] < 0.0 ? -x[f] : x[f];
        result = stored > result ? stored : result;
    }
    return result;
}

template <class V>
inline double KeyStage(const KernelKey& key, double* x, int32_t frames) {
    if (key.a == nullptr || key.b == nullptr) {
        const double silence = static_cast<float>(1e-12);
        for (int32_t f = 0; f < frames; ++f)
            x[f] = silence;
        return silence;
    }
    if (key.difference)
        return KeyStageOf<V, true>(key.a, key.b, x, frames);
    return KeyStageOf<V, false>(key.a, key.b, x, frames);
}

// Two roundings to a float give the same result wherever the band pipeline
// uses the second: the conversion to float and back (exact for every
// value), and the split rounding V::roundNormal, Veltkamp's splitting of a
// double into its upper 24 bits (x (2^29 + 1) - (x (2^29 + 1) - x)), which
// rounds to nearest with ties to even like the conversion, in three
// operations of shorter latency that more execution ports take. It is
// exact for zero and every value whose float lies in the normal range; for
// a smaller value it keeps bits a subnormal float lacks (and ignores
// flush-to-zero), above the largest float it does not overflow, and it
// turns infinity into NaN. So a chunk takes it only when
// ChunkStaysNormal() shows that no value it rounds can leave that range.
//
// Why the values stay in range:
// - Filter outputs (the key bands' as the audio bands'). Their sum before the final 1e-12 is a double; where
//   the sum is near -1e-12 it is, like 1e-12, a multiple of 2^-92, so the
//   output is 0 or at least 2^-93 in magnitude. With |a1| + |a2| <= 3 and
//   |b0| + |b2| <= 2 in every band, inputs and histories of at most 2^20
//   can grow by at most a factor 3 a frame: below 2 * 3^64 * 2^20 < 2^123
//   in a chunk.
// - Peaks: a rising peak is at least a tenth of a nonzero band output, a
//   falling one at least 0.998 times the last; from 0 or at least 2^-100,
//   a chunk keeps them 0 or above 2^-101. Envelopes: at least 1/1.05 of
//   the last, or 0.05/1.05 of a peak; from 0 or at least 2^-100 they stay
//   0 or above 2^-106. Both at most 10.
// - Detector values are an envelope plus 1e-12; gate levels are weighted
//   means of the last level and a target of at most 10, plus 1e-12, so at
//   least 1e-12 and, from at most 12, below 16 in a chunk; ratios are a
//   level over a detector value plus 0.0001.
// The gated outputs and everything after them keep the conversion: a band
// output times a ratio has no such bound.
constexpr double kSplitInputLimit = 1048576.0;     // 2^20
constexpr double kSplitFollowerFloor = 0x1p-100;

inline bool WithinMagnitude(double v, double limit) { return v <= limit && v >= -limit; }
inline bool ZeroOrWithin(double v, double low, double high) { return v == 0.0 || (v >= low && v <= high); }

// `keyBands`: the key bands run in the chunk, and their histories count.
[[gnu::always_inline]] inline bool ChunkStaysNormal(const KernelCoefficients& kc, const ProcessState& st,
                                                   double largestInput, bool keyBands) {
    if (!kc.boundedFilters || !(largestInput <= kSplitInputLimit))
        return false;
    bool ok = WithinMagnitude(st.xL1, kSplitInputLimit) && WithinMagnitude(st.xL2, kSplitInputLimit) &&
              WithinMagnitude(st.xR1, kSplitInputLimit) && WithinMagnitude(st.xR2, kSplitInputLimit);
    if (keyBands) {
        ok = ok && WithinMagnitude(st.xK1, kSplitInputLimit) && WithinMagnitude(st.xK2, kSplitInputLimit);
        for (int k = 0; k < kKernelBands; ++k)
            ok = ok && WithinMagnitude(st.yK1[k], kSplitInputLimit) && WithinMagnitude(st.yK2[k], kSplitInputLimit);
    }
    for (int k = 0; k < kKernelBands; ++k) {
        ok = ok && WithinMagnitude(st.yL1[k], kSplitInputLimit) && WithinMagnitude(st.yL2[k], kSplitInputLimit) &&
             WithinMagnitude(st.yR1[k], kSplitInputLimit) && WithinMagnitude(st.yR2[k], kSplitInputLimit) &&
             ZeroOrWithin(st.peak[k], kSplitFollowerFloor, 10.0) &&
             ZeroOrWithin(st.envelope[k], kSplitFollowerFloor, 10.0) && st.bandGain[k] >= 0.0 &&
             st.bandGain[k] <= 12.0;
    }
    return ok;
}

// The arithmetic of one group of V::N bands, part by part: each function
// takes what its part reads and answers what it stores. Both ways through
// a chunk (the pipeline below and the short path) are made of these.
template <class V, bool kSplit>
struct BandMath {
    using T = typename V::T;

    // The rounding of the filter outputs, peaks, envelopes, detector
    // values, gate levels and ratios (see ChunkStaysNormal).
    static T roundStored(T x) {
        if constexpr (kSplit)
            return V::roundNormal(x);
        else
            return V::round(x);
    }

    const T tiny = V::set1(1e-12), zero = V::set1(0.0), one = V::set1(1.0), minusOne = V::set1(-1.0);
    const T ten = V::set1(10.0);
    const T riseFactor = V::set1(0.9), fallFactor = V::set1(0.998);
    const T envelopeIn = V::set1(0.05), envelopeDivisor = V::set1(1.05);
    const T closedTarget = V::set1(static_cast<double>(static_cast<float>(1e-12)));
    const T gainFloor = V::set1(0.001), detectOffset = V::set1(0.0001);
    const T attackCoef, attackNorm, releaseCoef, releaseNorm;

    explicit BandMath(const KernelCoefficients& kc)
        : attackCoef(V::set1(kc.attackCoef)),
          attackNorm(V::set1(kc.attackNorm)),
          releaseCoef(V::set1(kc.releaseCoef)),
          releaseNorm(V::set1(kc.releaseNorm)) {}

    // Band filter: y = b0 x + b2 x[-2] - a1 y[-1] - a2 y[-2] + 1e-12, in
    // that order.
    T filterStep(T b0, T b2, T a1, T a2, T x, T x2, T y1, T y2) const {
        return roundStored(V::add(V::sub(V::sub(V::add(V::mul(b0, x), V::mul(b2, x2)), V::mul(a1, y1)), V::mul(a2, y2)),
                                  tiny));
    }
    // Peak follower of |keying band|: a tenth of the way up per sample, 0.2 %
    // of the way down, limited to 0..10. (Never below 0 to begin with, from
    // a peak and a magnitude of at least 0; a NaN passes min unchanged, as
    // it passes the limits.)
    T peakStep(T peak, T y) const {
        const T a = V::abs(y);
        const T factor = V::select(V::lessThan(peak, a), riseFactor, fallFactor);
        return V::min(ten, roundStored(V::add(V::mul(V::sub(peak, a), factor), a)));
    }
    // Second stage: the peak smoothed again. The limits 0..10 are left out:
    // from a peak and an envelope within them, the rounded result stays
    // within them.
    T envelopeStep(T envelope, T peak) const {
        return roundStored(V::div(V::add(V::mul(envelopeIn, peak), envelope), envelopeDivisor));
    }
    T detectValue(T envelope) const { return roundStored(V::add(envelope, tiny)); }
    // The meters' largest detector value so far: detect > largest ? detect
    // : largest, so that a NaN detector value leaves it as it was.
    static T largestDetect(T detect, T largest) { return V::max(detect, largest); }
    // Gate: open above the threshold (strictly), else aim at 1e-12; the
    // gate level follows with the release pair when it falls, the attack
    // pair otherwise. (A detector value is never below the closed target,
    // being a rounded envelope of at least 0 plus 1e-12: the larger of the
    // two is the open gate's target.)
    T levelStep(T gain, T detect, T threshold) const {
        const auto open = V::greaterThan(detect, threshold);
        const T target = V::max(closedTarget, V::keep(open, detect));
        const auto falling = V::greaterThan(gain, target);
        const T coef = V::select(falling, releaseCoef, attackCoef);
        const T norm = V::select(falling, releaseNorm, attackNorm);
        return roundStored(V::add(V::mul(V::add(V::mul(gain, coef), target), norm), tiny));
    }
    // The band passes scaled by gate level / present level; at or below
    // 0.001 it is cut completely, and its ratio is -1: a passing band's
    // ratio is positive or, from a NaN detector value, NaN, and then NaN
    // must reach the outputs.
    T ratioValue(T gain, T detect) const {
        const auto passes = V::greaterThan(gain, gainFloor);
        return V::select(passes, roundStored(V::div(gain, V::add(detect, detectOffset))), minusOne);
    }
    // A gated band output: 0 where the ratio says the band is cut.
    T gatedValue(T y, T ratio) const {
        return V::keep(V::notLessThan(ratio, zero), V::round(V::add(V::mul(y, ratio), tiny)));
    }

    // Keyed, the ratio is the gate level over the key's level, and the key
    // can fall much faster than the level releases (a key that stops): the
    // ratio then grows towards gate level / 0.0001 and would scale an
    // unrelated audio band to full scale. So a keyed band is bounded by
    //   |key band| ratio + |band| min(ratio, 1, gate level / threshold):
    // never louder than itself plus what the key band would pass, and
    // fading with the gate level once that falls below the threshold.
    // Where the key band is the audio band, the bound is never below
    // |band| ratio and the result is the unkeyed one, bit for bit. From the
    // level and threshold of the frame the ratio was taken from.
    T fadeValue(T ratio, T gain, T threshold) const { return V::min(ratio, V::min(one, V::div(gain, threshold))); }
    // min and max answer their second operand when either is NaN, so a NaN
    // band times ratio passes the bound and reaches the outputs, and a NaN
    // bound leaves the band as it is.
    T keyedGatedValue(T y, T yKey, T ratio, T fade) const {
        const T bound = V::add(V::mul(V::abs(yKey), ratio), V::mul(V::abs(y), fade));
        const T scaled = V::min(bound, V::max(V::sub(zero, bound), V::mul(y, ratio)));
        return V::keep(V::notLessThan(ratio, zero), V::round(V::add(scaled, tiny)));
    }
};

// The meters' running maxima of a pipeline's band groups, kMeter only: an
// empty base otherwise, so the unmetered pipeline is what it was before.
template <class T, int G, bool kMeter>
struct DetectMaxima {
    T detectMax[G];
};
template <class T, int G>
struct DetectMaxima<T, G, false> {};

// Everything per band of a chunk, for G groups of V::N bands from band k0
// on, as a software pipeline; with kKeyed the key bands are filtered with
// the audio bands and drive the followers. One step takes the filters of frame t, the
// peaks of t - 1, the envelopes and detector values of t - 2, the gate
// levels of t - 3, the ratios of t - 4 and the gated outputs of t - 5:
// each part starts from values finished in an earlier step, so that the
// dependency chains of all parts and all groups run side by side, and the
// processor never waits for one of them to finish. The scratch carries the
// values from part to part.
template <class V, int G, bool kSplit, bool kKeyed, bool kMeter>
struct BandPipeline : BandMath<V, kSplit>, DetectMaxima<typename V::T, G, kMeter> {
    using T = typename V::T;
    using Math = BandMath<V, kSplit>;
    static constexpr int N = V::N;
    static constexpr int kDepth = 6;  // parts, a frame apart

    const int k0;
    T peak[G], envelope[G], gain[G];

    BandPipeline(const KernelCoefficients& kc, const ProcessState& st, int firstBand) : Math(kc), k0(firstBand) {
        for (int g = 0; g < G; ++g) {
            peak[g] = V::load(st.peak + k0 + g * N);
            envelope[g] = V::load(st.envelope + k0 + g * N);
            gain[g] = V::load(st.bandGain + k0 + g * N);
            if constexpr (kMeter)
                this->detectMax[g] = V::load(st.detectMax + k0 + g * N);
        }
    }
    void save(ProcessState& st) const {
        for (int g = 0; g < G; ++g) {
            V::store(st.peak + k0 + g * N, peak[g]);
            V::store(st.envelope + k0 + g * N, envelope[g]);
            V::store(st.bandGain + k0 + g * N, gain[g]);
            if constexpr (kMeter)
                V::store(st.detectMax + k0 + g * N, this->detectMax[g]);
        }
    }

    // Band filters, both channels and the key; x and x[-2] of each in
    // every lane.
    [[gnu::always_inline]] void filter(const KernelCoefficients& kc, KernelScratch& s, int g, int32_t f, T xL, T xL2,
                                       T xR, T xR2, T xK, T xK2) {
        const int k = k0 + g * N;
        const T b0 = V::load(kc.b0 + k), b2 = V::load(kc.b2 + k);
        const T a1 = V::load(kc.a1 + k), a2 = V::load(kc.a2 + k);
        V::store(&s.yL[f + 2][k],
                 Math::filterStep(b0, b2, a1, a2, xL, xL2, V::load(&s.yL[f + 1][k]), V::load(&s.yL[f][k])));
        V::store(&s.yR[f + 2][k],
                 Math::filterStep(b0, b2, a1, a2, xR, xR2, V::load(&s.yR[f + 1][k]), V::load(&s.yR[f][k])));
        if constexpr (kKeyed)
            V::store(&s.yK[f + 2][k],
                     Math::filterStep(b0, b2, a1, a2, xK, xK2, V::load(&s.yK[f + 1][k]), V::load(&s.yK[f][k])));
    }
    [[gnu::always_inline]] void peakOf(const KernelScratch& s, int g, int32_t f) {
        const int k = k0 + g * N;
        peak[g] = Math::peakStep(peak[g], V::load(kKeyed ? &s.yK[f + 2][k] : &s.yL[f + 2][k]));
    }
    // The envelope and the detector value, from the peak of frame f, which
    // peakOf has not yet moved on.
    [[gnu::always_inline]] void envelopeOf(KernelScratch& s, int g, int32_t f) {
        envelope[g] = Math::envelopeStep(envelope[g], peak[g]);
        const T detect = Math::detectValue(envelope[g]);
        V::store(&s.detect[f][k0 + g * N], detect);
        if constexpr (kMeter)
            this->detectMax[g] = Math::largestDetect(detect, this->detectMax[g]);
    }
    [[gnu::always_inline]] void levelOf(const KernelCoefficients& kc, const KernelScratch& s, int g, int32_t f) {
        const int k = k0 + g * N;
        gain[g] = Math::levelStep(gain[g], V::load(&s.detect[f][k]), V::load(kc.threshold + k));
    }
    // The ratio replaces the detector value in the scratch (keyed, with the
    // band's fade beside it). From the level of frame f, which levelOf has
    // not yet moved on.
    [[gnu::always_inline]] void ratioOf(const KernelCoefficients& kc, KernelScratch& s, int g, int32_t f) {
        const int k = k0 + g * N;
        const T ratio = Math::ratioValue(gain[g], V::load(&s.detect[f][k]));
        V::store(&s.detect[f][k], ratio);
        if constexpr (kKeyed)
            V::store(&s.fade[f][k], Math::fadeValue(ratio, gain[g], V::load(kc.threshold + k)));
    }
    // The gated band outputs of both channels, into [band][frame] rows.
    [[gnu::always_inline]] void gatedOf(KernelScratch& s, int g, int32_t f) {
        const int k = k0 + g * N;
        const T ratio = V::load(&s.detect[f][k]);
        if constexpr (kKeyed) {
            const T yK = V::load(&s.yK[f + 2][k]), fade = V::load(&s.fade[f][k]);
            V::scatter(Math::keyedGatedValue(V::load(&s.yL[f + 2][k]), yK, ratio, fade), &s.gatedL[k][f],
                       kKernelChunk);
            V::scatter(Math::keyedGatedValue(V::load(&s.yR[f + 2][k]), yK, ratio, fade), &s.gatedR[k][f],
                       kKernelChunk);
        } else {
            V::scatter(Math::gatedValue(V::load(&s.yL[f + 2][k]), ratio), &s.gatedL[k][f], kKernelChunk);
            V::scatter(Math::gatedValue(V::load(&s.yR[f + 2][k]), ratio), &s.gatedR[k][f], kKernelChunk);
        }
    }

    // Step t with every part that has a frame to take, for a chunk of
    // fewer frames than the pipeline is deep. The envelope and the ratio
    // read the peak and the level before this step moves them on.
    void partialStep(const KernelCoefficients& kc, KernelScratch& s, int32_t t, int32_t frames) {
        for (int g = 0; g < G; ++g) {
            if (t < frames)
                filter(kc, s, g, t, V::set1(s.xL[t + 2]), V::set1(s.xL[t]), V::set1(s.xR[t + 2]), V::set1(s.xR[t]),
                       V::set1(s.xK[t + 2]), V::set1(s.xK[t]));
            if (t >= 2 && t - 2 < frames)
                envelopeOf(s, g, t - 2);
            if (t >= 1 && t - 1 < frames)
                peakOf(s, g, t - 1);
            if (t >= 4 && t - 4 < frames)
                ratioOf(kc, s, g, t - 4);
            if (t >= 3 && t - 3 < frames)
                levelOf(kc, s, g, t - 3);
            if (t >= 5 && t - 5 < frames)
                gatedOf(s, g, t - 5);
        }
    }
    // Step t with the parts kLow .. kHigh (a part's number is how many
    // frames it lags), the parts of one group after another: all of them
    // in the middle of a chunk, fewer while the pipeline fills and drains.
    template <int kLow, int kHigh>
    void step(const KernelCoefficients& kc, KernelScratch& s, int32_t t) {
        T xL{}, xL2{}, xR{}, xR2{}, xK{}, xK2{};
        if constexpr (kLow == 0) {
            xL = V::set1(s.xL[t + 2]);
            xL2 = V::set1(s.xL[t]);
            xR = V::set1(s.xR[t + 2]);
            xR2 = V::set1(s.xR[t]);
            if constexpr (kKeyed) {
                xK = V::set1(s.xK[t + 2]);
                xK2 = V::set1(s.xK[t]);
            }
        }
#pragma GCC unroll 8
        for (int g = 0; g < G; ++g) {
            if constexpr (kLow <= 0 && 0 <= kHigh)
                filter(kc, s, g, t, xL, xL2, xR, xR2, xK, xK2);
            if constexpr (kLow <= 2 && 2 <= kHigh)
                envelopeOf(s, g, t - 2);
            if constexpr (kLow <= 1 && 1 <= kHigh)
                peakOf(s, g, t - 1);
            if constexpr (kLow <= 4 && 4 <= kHigh)
                ratioOf(kc, s, g, t - 4);
            if constexpr (kLow <= 3 && 3 <= kHigh)
                levelOf(kc, s, g, t - 3);
            if constexpr (kLow <= 5 && 5 <= kHigh)
                gatedOf(s, g, t - 5);
        }
    }
};

template <class V, int G, bool kSplit, bool kKeyed, bool kMeter>
inline void BandStages(const KernelCoefficients& kc, ProcessState& st, KernelScratch& s, int32_t frames) {
    using Pipeline = BandPipeline<V, G, kSplit, kKeyed, kMeter>;
    static_assert(Pipeline::kDepth == 6, "the steps below fill and drain six parts");
    for (int k0 = 0; k0 < kKernelBands; k0 += G * V::N) {
        Pipeline p(kc, st, k0);
        if (frames >= Pipeline::kDepth) {
            p.template step<0, 0>(kc, s, 0);
            p.template step<0, 1>(kc, s, 1);
            p.template step<0, 2>(kc, s, 2);
            p.template step<0, 3>(kc, s, 3);
            p.template step<0, 4>(kc, s, 4);
            for (int32_t t = 5; t < frames; ++t)
                p.template step<0, 5>(kc, s, t);
            p.template step<1, 5>(kc, s, frames);
            p.template step<2, 5>(kc, s, frames + 1);
            p.template step<3, 5>(kc, s, frames + 2);
            p.template step<4, 5>(kc, s, frames + 3);
            p.template step<5, 5>(kc, s, frames + 4);
        } else {
            for (int32_t t = 0; t < frames + Pipeline::kDepth - 1; ++t)
                p.partialStep(kc, s, t, frames);
        }
        p.save(st);
    }
}

// The short path's band stages: frame by frame, every part of a frame for
// every group of bands before the next frame, the state read from and
// written to `st` each frame. For a chunk of a few frames, the pipeline's
// fill and drain (five steps) cost more than the frames themselves, and so
// does ChunkStaysNormal's look at the state: here every rounding is the
// conversion, whose latency is the shorter one (what a few frames wait
// for).
template <class V, bool kKeyed, bool kMeter>
inline void ShortBandStages(const KernelCoefficients& kc, ProcessState& st, KernelScratch& s, int32_t frames) {
    using T = typename V::T;
    constexpr int N = V::N;
    constexpr int G = kKernelBands / N;
    const BandMath<V, false> m(kc);
    for (int32_t f = 0; f < frames; ++f) {
        const T xL = V::set1(s.xL[f + 2]), xL2 = V::set1(s.xL[f]);
        const T xR = V::set1(s.xR[f + 2]), xR2 = V::set1(s.xR[f]);
        const T xK = V::set1(s.xK[f + 2]), xK2 = V::set1(s.xK[f]);
        T yL[G], yR[G], yK[G], detect[G], gain[G];
#pragma GCC unroll 8
        for (int g = 0; g < G; ++g) {
            const int k = g * N;
            const T b0 = V::load(kc.b0 + k), b2 = V::load(kc.b2 + k);
            const T a1 = V::load(kc.a1 + k), a2 = V::load(kc.a2 + k);
            const T yL1 = V::load(st.yL1 + k), yR1 = V::load(st.yR1 + k);
            yL[g] = m.filterStep(b0, b2, a1, a2, xL, xL2, yL1, V::load(st.yL2 + k));
            yR[g] = m.filterStep(b0, b2, a1, a2, xR, xR2, yR1, V::load(st.yR2 + k));
            V::store(st.yL2 + k, yL1);
            V::store(st.yR2 + k, yR1);
            V::store(st.yL1 + k, yL[g]);
            V::store(st.yR1 + k, yR[g]);
            if constexpr (kKeyed) {
                const T yK1 = V::load(st.yK1 + k);
                yK[g] = m.filterStep(b0, b2, a1, a2, xK, xK2, yK1, V::load(st.yK2 + k));
                V::store(st.yK2 + k, yK1);
                V::store(st.yK1 + k, yK[g]);
            }
        }
#pragma GCC unroll 8
        for (int g = 0; g < G; ++g) {
            const int k = g * N;
            const T peak = m.peakStep(V::load(st.peak + k), kKeyed ? yK[g] : yL[g]);
            const T envelope = m.envelopeStep(V::load(st.envelope + k), peak);
            V::store(st.peak + k, peak);
            V::store(st.envelope + k, envelope);
            detect[g] = m.detectValue(envelope);
            if constexpr (kMeter)
                V::store(st.detectMax + k, m.largestDetect(detect[g], V::load(st.detectMax + k)));
        }
#pragma GCC unroll 8
        for (int g = 0; g < G; ++g) {
            const int k = g * N;
            gain[g] = m.levelStep(V::load(st.bandGain + k), detect[g], V::load(kc.threshold + k));
            V::store(st.bandGain + k, gain[g]);
        }
#pragma GCC unroll 8
        for (int g = 0; g < G; ++g) {
            const int k = g * N;
            const T ratio = m.ratioValue(gain[g], detect[g]);
            if constexpr (kKeyed) {
                const T fade = m.fadeValue(ratio, gain[g], V::load(kc.threshold + k));
                V::scatter(m.keyedGatedValue(yL[g], yK[g], ratio, fade), &s.gatedL[k][f], kKernelChunk);
                V::scatter(m.keyedGatedValue(yR[g], yK[g], ratio, fade), &s.gatedR[k][f], kKernelChunk);
            } else {
                V::scatter(m.gatedValue(yL[g], ratio), &s.gatedL[k][f], kKernelChunk);
                V::scatter(m.gatedValue(yR[g], ratio), &s.gatedR[k][f], kKernelChunk);
            }
        }
    }
}

// The band sums in band order of N * P frames from f0, N frames to a
// vector, P vectors side by side (each sum is a chain of sixteen
// roundings); then the boost and the soft clipper, (3a - a^2) / 2 up to
// |x| = 1, then 1, times the sign of x. Writes the first `count` frames;
// lanes past them compute on stale scratch and are not written out.
template <class V, int P>
inline void OutputStep(const KernelCoefficients& kc, const KernelScratch& s, float* outL, float* outR, int32_t f0,
                       int32_t count, bool accumulate) {
    using T = typename V::T;
    constexpr int N = V::N;
    const T tiny = V::set1(1e-12), zero = V::set1(0.0);
    const T boost = V::set1(kc.boostGain);
    const T one = V::set1(1.0), minusOne = V::set1(-1.0), three = V::set1(3.0), half = V::set1(0.5);
    T sumL[P], sumR[P];
    for (int p = 0; p < P; ++p)
        sumL[p] = sumR[p] = zero;
    for (int k = 0; k < kKernelBands; ++k)
        for (int p = 0; p < P; ++p) {
            sumL[p] = V::round(V::add(V::add(sumL[p], V::load(&s.gatedL[k][f0 + p * N])), tiny));
            sumR[p] = V::round(V::add(V::add(sumR[p], V::load(&s.gatedR[k][f0 + p * N])), tiny));
        }
    double result[2][N * P];
    for (int p = 0; p < 2 * P; ++p) {
        const T x = V::round(V::mul(p < P ? sumL[p] : sumR[p - P], boost));
        const T a = V::abs(x);
        const T curve = V::round(V::mul(V::add(V::sub(zero, V::mul(a, a)), V::mul(three, a)), half));
        const T m = V::select(V::greaterThan(a, one), one, curve);
        const T sign = V::bitOr(V::keep(V::greaterThan(x, zero), one), V::keep(V::lessThan(x, zero), minusOne));
        // A NaN sum (a band that overflowed in this chunk) leaves as 0,
        // as a sum of 0 does. Nothing else gives NaN here: a finite or
        // infinite sum gives a finite curve or 1.
        const T clipped = V::mul(m, sign);
        V::store(&result[p < P ? 0 : 1][(p % P) * N], V::keep(V::ordered(clipped, clipped), clipped));
    }
    for (int32_t i = 0; i < count; ++i) {
        const float left = static_cast<float>(result[0][i]);
        const float right = static_cast<float>(result[1][i]);
        if (accumulate) {
            outL[f0 + i] += left;
            outR[f0 + i] += right;
        } else {
            outL[f0 + i] = left;
            outR[f0 + i] = right;
        }
    }
}

// The outputs of a chunk: steps of N * P frames, the last one no wider
// than the frames it has left need (at most twice as wide), so that a
// short chunk does not pay for sums it throws away.
template <class V, int P>
inline void OutputStage(const KernelCoefficients& kc, const KernelScratch& s, float* outL, float* outR,
                        int32_t frames, bool accumulate) {
    constexpr int N = V::N;
    static_assert(kKernelChunk % (N * P) == 0, "the scratch holds whole steps");
    static_assert(P == 1 || P == 2 || P == 4 || P == 8, "the last step takes P, P/2, P/4 ... vectors");
    for (int32_t f0 = 0; f0 < frames; f0 += N * P) {
        const int32_t rest = frames - f0 < N * P ? frames - f0 : N * P;
        if (rest > N * P / 2 || P == 1)
            OutputStep<V, P>(kc, s, outL, outR, f0, rest, accumulate);
        else if (rest > N * P / 4 || P == 2)
            OutputStep<V, (P > 1 ? P / 2 : 1)>(kc, s, outL, outR, f0, rest, accumulate);
        else if (rest > N * P / 8 || P == 4)
            OutputStep<V, (P > 3 ? P / 4 : 1)>(kc, s, outL, outR, f0, rest, accumulate);
        else
            OutputStep<V, (P > 7 ? P / 8 : 1)>(kc, s, outL, outR, f0, rest, accumulate);
    }
}

// Applies V::roundNormal to `count` values (for tests).
template <class V>
inline void RoundNormalValues(const double* in, double* out, int32_t count) {
    constexpr int N = V::N;
    for (int32_t i = 0; i < count; i += N) {
        double lanes[N] = {};
        const int32_t n = count - i < N ? count - i : N;
        for (int32_t j = 0; j < n; ++j)
            lanes[j] = in[i + j];
        V::store(lanes, V::roundNormal(V::load(lanes)));
        for (int32_t j = 0; j < n; ++j)
            out[i + j] = lanes[j];
    }
}

// A chunk, through the pipeline or (kShort) the short path, with or
// without (kKeyed) the key bands, raising ProcessState::detectMax or
// (kMeter false, while no one reads the meters) leaving it alone.
template <class V, bool kShort, bool kKeyed, bool kMeter>
[[gnu::always_inline]] inline void RunKeyedChunk(const KernelCoefficients& kc, ProcessState& st, KernelScratch& s,
                                                const float* inL, const float* inR, const KernelKey& key, float* outL,
                                                float* outR, int32_t frames, bool accumulate) {
    // The inputs with their 1e-12, stored as floats, after the two inputs
    // before the chunk; every input is read before any output is written,
    // so inputs and outputs may be the same buffers.
    s.xL[0] = st.xL2;
    s.xL[1] = st.xL1;
    s.xR[0] = st.xR2;
    s.xR[1] = st.xR1;
    const double largestL = InputStage<V>(inL, s.xL + 2, frames);
    const double largestR = InputStage<V>(inR, s.xR + 2, frames);
    double largest = largestL > largestR ? largestL : largestR;
    st.xL2 = s.xL[frames];
    st.xL1 = s.xL[frames + 1];
    st.xR2 = s.xR[frames];
    st.xR1 = s.xR[frames + 1];
    if constexpr (kKeyed) {
        s.xK[0] = st.xK2;
        s.xK[1] = st.xK1;
        const double largestK = KeyStage<V>(key, s.xK + 2, frames);
        largest = largestK > largest ? largestK : largest;
        st.xK2 = s.xK[frames];
        st.xK1 = s.xK[frames + 1];
    }

    if constexpr (kShort) {
        ShortBandStages<V, kKeyed, kMeter>(kc, st, s, frames);
    } else {
        std::memcpy(s.yL[0], st.yL2, sizeof st.yL2);
        std::memcpy(s.yL[1], st.yL1, sizeof st.yL1);
        std::memcpy(s.yR[0], st.yR2, sizeof st.yR2);
        std::memcpy(s.yR[1], st.yR1, sizeof st.yR1);
        if constexpr (kKeyed) {
            std::memcpy(s.yK[0], st.yK2, sizeof st.yK2);
            std::memcpy(s.yK[1], st.yK1, sizeof st.yK1);
        }
        if (ChunkStaysNormal(kc, st, largest, kKeyed))
            BandStages<V, V::kBandGroups, true, kKeyed, kMeter>(kc, st, s, frames);
        else
            BandStages<V, V::kBandGroups, false, kKeyed, kMeter>(kc, st, s, frames);
        std::memcpy(st.yL2, s.yL[frames], sizeof st.yL2);
        std::memcpy(st.yL1, s.yL[frames + 1], sizeof st.yL1);
        std::memcpy(st.yR2, s.yR[frames], sizeof st.yR2);
        std::memcpy(st.yR1, s.yR[frames + 1], sizeof st.yR1);
        if constexpr (kKeyed) {
            std::memcpy(st.yK2, s.yK[frames], sizeof st.yK2);
            std::memcpy(st.yK1, s.yK[frames + 1], sizeof st.yK1);
        }
    }

    OutputStage<V, V::kOutputVectors>(kc, s, outL, outR, frames, accumulate);
}

template <class V, bool kShort, bool kMeter>
inline void RunChunk(const KernelCoefficients& kc, ProcessState& st, KernelScratch& s, const float* inL,
                     const float* inR, const KernelKey& key, float* outL, float* outR, int32_t frames,
                     bool accumulate) {
    if (key.keyBands)
        RunKeyedChunk<V, kShort, true, kMeter>(kc, st, s, inL, inR, key, outL, outR, frames, accumulate);
    else
        RunKeyedChunk<V, kShort, false, kMeter>(kc, st, s, inL, inR, key, outL, outR, frames, accumulate);
}

}  // namespace
}  // namespace gate
