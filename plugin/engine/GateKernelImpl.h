// The chunk kernel, written once over a vector type V (two doubles for
// SSE2, four for AVX) and included by one source file per instruction set.
// Everything here has internal linkage, so that each source file keeps its
// own copy, compiled for its own instruction set.
//
// Every stored value is rounded to a 32-bit float where it is stored; the
// arithmetic in between is double, in exactly the order of the plain
// one-band-at-a-time formulation. Bands are independent of each other, and
// each stage of the step reads only what earlier stages wrote, so taking a
// whole chunk through one stage before the next, and forming the band sums
// several frames at a time, changes nothing in the result.
//
// Why stages: each stage of one band is a chain of long-latency operations
// (a double-to-float rounding is two conversions) whose next frame waits for
// the previous one. A stage that advances every band group in the same
// frame step keeps several independent chains in flight, and is short
// enough that the processor can look a few frames ahead.
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
// which is NaN or infinite exactly when the float is.)
template <class V>
inline void InputStage(const float* in, double* x, int32_t frames) {
    using T = typename V::T;
    constexpr int N = V::N;
    const T tiny = V::set1(1e-12), infinity = V::set1(static_cast<double>(__builtin_inf()));
    int32_t f = 0;
    for (; f + N <= frames; f += N) {
        const T v = V::widen(in + f);
        V::store(x + f, V::round(V::add(V::keep(V::lessThan(V::abs(v), infinity), v), tiny)));
    }
    for (; f < frames; ++f)
        x[f] = static_cast<float>(static_cast<double>(FiniteOrZeroSample(in[f])) + 1e-12);
}

// Everything per band of a chunk, for G groups of V::N bands from band k0
// on, as a software pipeline. One step takes the filters of frame t, the
// peaks of t - 1, the envelopes and detector values of t - 2, the gate
// levels of t - 3, the ratios of t - 4 and the gated outputs of t - 5:
// each part starts from values finished in an earlier step, so that the
// dependency chains of all parts and all groups run side by side, and the
// processor never waits for one of them to finish. The scratch carries the
// values from part to part.
template <class V, int G>
struct BandPipeline {
    using T = typename V::T;
    static constexpr int N = V::N;
    static constexpr int kDepth = 6;  // parts, a frame apart

    const int k0;
    const T tiny = V::set1(1e-12), zero = V::set1(0.0), ten = V::set1(10.0);
    const T riseFactor = V::set1(0.9), fallFactor = V::set1(0.998);
    const T envelopeIn = V::set1(0.05), envelopeDivisor = V::set1(1.05);
    const T closedTarget = V::set1(static_cast<double>(static_cast<float>(1e-12)));
    const T gainFloor = V::set1(0.001), detectOffset = V::set1(0.0001);
    const T attackCoef, attackNorm, releaseCoef, releaseNorm;
    T peak[G], envelope[G], gain[G];

    BandPipeline(const KernelCoefficients& kc, const ProcessState& st, int firstBand)
        : k0(firstBand),
          attackCoef(V::set1(kc.attackCoef)),
          attackNorm(V::set1(kc.attackNorm)),
          releaseCoef(V::set1(kc.releaseCoef)),
          releaseNorm(V::set1(kc.releaseNorm)) {
        for (int g = 0; g < G; ++g) {
            peak[g] = V::load(st.peak + k0 + g * N);
            envelope[g] = V::load(st.envelope + k0 + g * N);
            gain[g] = V::load(st.bandGain + k0 + g * N);
        }
    }
    void save(ProcessState& st) const {
        for (int g = 0; g < G; ++g) {
            V::store(st.peak + k0 + g * N, peak[g]);
            V::store(st.envelope + k0 + g * N, envelope[g]);
            V::store(st.bandGain + k0 + g * N, gain[g]);
        }
    }

    // Band filters, both channels: y = b0 x + b2 x[-2] - a1 y[-1] - a2 y[-2]
    // + 1e-12, in that order; x and x[-2] of each channel in every lane.
    void filter(const KernelCoefficients& kc, KernelScratch& s, int g, int32_t f, T xL, T xL2, T xR, T xR2) {
        const int k = k0 + g * N;
        const T b0 = V::load(kc.b0 + k), b2 = V::load(kc.b2 + k);
        const T a1 = V::load(kc.a1 + k), a2 = V::load(kc.a2 + k);
        const T yL = V::round(V::add(V::sub(V::sub(V::add(V::mul(b0, xL), V::mul(b2, xL2)), V::mul(a1, V::load(&s.yL[f + 1][k]))),
                                            V::mul(a2, V::load(&s.yL[f][k]))),
                                     tiny));
        const T yR = V::round(V::add(V::sub(V::sub(V::add(V::mul(b0, xR), V::mul(b2, xR2)), V::mul(a1, V::load(&s.yR[f + 1][k]))),
                                            V::mul(a2, V::load(&s.yR[f][k]))),
                                     tiny));
        V::store(&s.yL[f + 2][k], yL);
        V::store(&s.yR[f + 2][k], yR);
    }
    // Peak follower of |left band|: a tenth of the way up per sample, 0.2 %
    // of the way down, limited to 0..10.
    void peakOf(const KernelScratch& s, int g, int32_t f) {
        const T a = V::abs(V::load(&s.yL[f + 2][k0 + g * N]));
        const T factor = V::select(V::lessThan(peak[g], a), riseFactor, fallFactor);
        peak[g] = V::min(ten, V::round(V::add(V::mul(V::sub(peak[g], a), factor), a)));
    }
    // Second stage: the peak smoothed again, and the detector value. From
    // the peak of frame f, which peakOf has not yet moved on. The limits
    // 0..10 are left out: from a peak and an envelope within them, the
    // rounded result stays within them.
    void envelopeOf(KernelScratch& s, int g, int32_t f) {
        const T e = V::round(V::div(V::add(V::mul(envelopeIn, peak[g]), envelope[g]), envelopeDivisor));
        envelope[g] = e;
        V::store(&s.detect[f][k0 + g * N], V::round(V::add(e, tiny)));
    }
    // Gate: open above the threshold (strictly), else aim at 1e-12; the
    // gate level follows with the release pair when it falls, the attack
    // pair otherwise. (A detector value is never below the closed target,
    // being a rounded envelope of at least 0 plus 1e-12: the larger of the
    // two is the open gate's target.)
    void levelOf(const KernelCoefficients& kc, const KernelScratch& s, int g, int32_t f) {
        const int k = k0 + g * N;
        const T detect = V::load(&s.detect[f][k]);
        const auto open = V::greaterThan(detect, V::load(kc.threshold + k));
        const T target = V::max(closedTarget, V::keep(open, detect));
        const auto falling = V::greaterThan(gain[g], target);
        const T coef = V::select(falling, releaseCoef, attackCoef);
        const T norm = V::select(falling, releaseNorm, attackNorm);
        gain[g] = V::round(V::add(V::mul(V::add(V::mul(gain[g], coef), target), norm), tiny));
    }
    // The band passes scaled by gate level / present level; at or below
    // 0.001 it is cut completely. The ratio replaces the detector value in
    // the scratch; a passing band's is positive, a cut band's 0. From the
    // level of frame f, which levelOf has not yet moved on.
    void ratioOf(KernelScratch& s, int g, int32_t f) {
        const int k = k0 + g * N;
        const auto passes = V::greaterThan(gain[g], gainFloor);
        const T ratio = V::round(V::div(gain[g], V::add(V::load(&s.detect[f][k]), detectOffset)));
        V::store(&s.detect[f][k], V::keep(passes, ratio));
    }
    // The gated band outputs of both channels, into [band][frame] rows.
    void gatedOf(KernelScratch& s, int g, int32_t f) {
        const int k = k0 + g * N;
        const T ratio = V::load(&s.detect[f][k]);
        const auto passes = V::greaterThan(ratio, zero);
        const T gL = V::keep(passes, V::round(V::add(V::mul(V::load(&s.yL[f + 2][k]), ratio), tiny)));
        const T gR = V::keep(passes, V::round(V::add(V::mul(V::load(&s.yR[f + 2][k]), ratio), tiny)));
        V::scatter(gL, &s.gatedL[k][f], kKernelChunk);
        V::scatter(gR, &s.gatedR[k][f], kKernelChunk);
    }

    // Step t with every part that has a frame to take (filling and
    // draining the pipeline). The envelope and the ratio read the peak and
    // the level before this step moves them on.
    void partialStep(const KernelCoefficients& kc, KernelScratch& s, int32_t t, int32_t frames) {
        for (int g = 0; g < G; ++g) {
            if (t < frames)
                filter(kc, s, g, t, V::set1(s.xL[t + 2]), V::set1(s.xL[t]), V::set1(s.xR[t + 2]), V::set1(s.xR[t]));
            if (t >= 2 && t - 2 < frames)
                envelopeOf(s, g, t - 2);
            if (t >= 1 && t - 1 < frames)
                peakOf(s, g, t - 1);
            if (t >= 4 && t - 4 < frames)
                ratioOf(s, g, t - 4);
            if (t >= 3 && t - 3 < frames)
                levelOf(kc, s, g, t - 3);
            if (t >= 5 && t - 5 < frames)
                gatedOf(s, g, t - 5);
        }
    }
    // Step t with every part busy, the parts of one group after another.
    void fullStep(const KernelCoefficients& kc, KernelScratch& s, int32_t t) {
        const T xL = V::set1(s.xL[t + 2]), xL2 = V::set1(s.xL[t]);
        const T xR = V::set1(s.xR[t + 2]), xR2 = V::set1(s.xR[t]);
        for (int g = 0; g < G; ++g) {
            filter(kc, s, g, t, xL, xL2, xR, xR2);
            envelopeOf(s, g, t - 2);
            peakOf(s, g, t - 1);
            ratioOf(s, g, t - 4);
            levelOf(kc, s, g, t - 3);
            gatedOf(s, g, t - 5);
        }
    }
};

template <class V, int G>
inline void BandStages(const KernelCoefficients& kc, ProcessState& st, KernelScratch& s, int32_t frames) {
    using Pipeline = BandPipeline<V, G>;
    for (int k0 = 0; k0 < kKernelBands; k0 += G * V::N) {
        Pipeline pipeline(kc, st, k0);
        const int32_t steps = frames + Pipeline::kDepth - 1;
        int32_t t = 0;
        for (; t < Pipeline::kDepth - 1 && t < steps; ++t)
            pipeline.partialStep(kc, s, t, frames);
        for (; t < frames; ++t)
            pipeline.fullStep(kc, s, t);
        for (; t < steps; ++t)
            pipeline.partialStep(kc, s, t, frames);
        pipeline.save(st);
    }
}

// The band sums in band order, N frames to a vector, P vectors side by side
// (each sum is a chain of sixteen roundings); then the boost and the soft
// clipper, (3a - a^2) / 2 up to |x| = 1, then 1, times the sign of x.
// Lanes past the chunk's end compute on stale scratch and are not written
// out.
template <class V, int P>
inline void OutputStage(const KernelCoefficients& kc, const KernelScratch& s, float* outL, float* outR,
                        int32_t frames, bool accumulate) {
    using T = typename V::T;
    constexpr int N = V::N;
    static_assert(kKernelChunk % (N * P) == 0, "the scratch holds whole steps");
    const T tiny = V::set1(1e-12), zero = V::set1(0.0);
    const T boost = V::set1(kc.boostGain);
    const T one = V::set1(1.0), minusOne = V::set1(-1.0), three = V::set1(3.0), half = V::set1(0.5);
    for (int32_t f0 = 0; f0 < frames; f0 += N * P) {
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
            const T sign =
                V::bitOr(V::keep(V::greaterThan(x, zero), one), V::keep(V::lessThan(x, zero), minusOne));
            V::store(&result[p < P ? 0 : 1][(p % P) * N], V::mul(m, sign));
        }
        const int32_t count = frames - f0 < N * P ? frames - f0 : N * P;
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
}

template <class V>
inline void RunChunk(const KernelCoefficients& kc, ProcessState& st, KernelScratch& s, const float* inL,
                     const float* inR, float* outL, float* outR, int32_t frames, bool accumulate) {
    // The inputs with their 1e-12, stored as floats, after the two inputs
    // before the chunk; every input is read before any output is written,
    // so inputs and outputs may be the same buffers.
    s.xL[0] = st.xL2;
    s.xL[1] = st.xL1;
    s.xR[0] = st.xR2;
    s.xR[1] = st.xR1;
    InputStage<V>(inL, s.xL + 2, frames);
    InputStage<V>(inR, s.xR + 2, frames);
    st.xL2 = s.xL[frames];
    st.xL1 = s.xL[frames + 1];
    st.xR2 = s.xR[frames];
    st.xR1 = s.xR[frames + 1];

    std::memcpy(s.yL[0], st.yL2, sizeof st.yL2);
    std::memcpy(s.yL[1], st.yL1, sizeof st.yL1);
    std::memcpy(s.yR[0], st.yR2, sizeof st.yR2);
    std::memcpy(s.yR[1], st.yR1, sizeof st.yR1);
    BandStages<V, V::kBandGroups>(kc, st, s, frames);
    std::memcpy(st.yL2, s.yL[frames], sizeof st.yL2);
    std::memcpy(st.yL1, s.yL[frames + 1], sizeof st.yL1);
    std::memcpy(st.yR2, s.yR[frames], sizeof st.yR2);
    std::memcpy(st.yR1, s.yR[frames + 1], sizeof st.yR1);

    OutputStage<V, V::kOutputVectors>(kc, s, outL, outR, frames, accumulate);
}

}  // namespace
}  // namespace gate
