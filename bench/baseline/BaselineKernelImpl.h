// The chunk kernel, written once over a vector type V (two doubles for
// SSE2, four for AVX) and included by one source file per instruction set.
// Everything here has internal linkage, so that each source file keeps its
// own copy, compiled for its own instruction set.
//
// Every stored value is rounded to a 32-bit float where it is stored; the
// arithmetic in between is double, in exactly the order of the plain
// one-band-at-a-time formulation. Bands are independent of each other, so
// working through a chunk band group by band group, and forming the band
// sums several frames at a time, changes nothing in the result.
#pragma once

#include <cstdint>
#include <cstring>

#include "BaselineKernel.h"

namespace gate_baseline {
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

template <class V>
struct StepConstants {
    using T = typename V::T;
    T tiny = V::set1(1e-12);
    T closedTarget = V::set1(static_cast<double>(static_cast<float>(1e-12)));
    T zero = V::set1(0.0);
    T ten = V::set1(10.0);
    T fallFactor = V::set1(0.998);
    T riseXorFall = V::bitXor(V::set1(0.9), V::set1(0.998));
    T envelopeIn = V::set1(0.05);
    T envelopeDivisor = V::set1(1.05);
    T gainFloor = V::set1(0.001);
    T detectOffset = V::set1(0.0001);
    T attackCoef, releaseXorAttackCoef, attackNorm, releaseXorAttackNorm;

    explicit StepConstants(const KernelCoefficients& kc)
        : attackCoef(V::set1(kc.attackCoef)),
          releaseXorAttackCoef(V::bitXor(V::set1(kc.releaseCoef), V::set1(kc.attackCoef))),
          attackNorm(V::set1(kc.attackNorm)),
          releaseXorAttackNorm(V::bitXor(V::set1(kc.releaseNorm), V::set1(kc.attackNorm))) {}
};

// mask ? a : b, lane by lane, as b ^ (mask & (a ^ b)); `aXorB` is a ^ b.
template <class V>
inline typename V::T SelectXor(typename V::T mask, typename V::T aXorB, typename V::T b) {
    return V::bitXor(b, V::bitAnd(mask, aXorB));
}

// Filters, followers and gate levels of one group of V::N neighbouring bands.
template <class V>
struct BandGroup {
    using T = typename V::T;
    T b0, b2, a1, a2, threshold;
    T yL1, yL2, yR1, yR2, peak, envelope, gain;
};

template <class V>
inline void StepBandGroup(BandGroup<V>& p, const StepConstants<V>& c, typename V::T xL, typename V::T xL2,
                          typename V::T xR, typename V::T xR2, typename V::T& gL, typename V::T& gR) {
    using T = typename V::T;
    // y = b0 x + b2 x[-2] - a1 y[-1] - a2 y[-2] + 1e-12, in that order.
    const T yL = V::round(V::add(
        V::sub(V::sub(V::add(V::mul(p.b0, xL), V::mul(p.b2, xL2)), V::mul(p.a1, p.yL1)), V::mul(p.a2, p.yL2)),
        c.tiny));
    const T yR = V::round(V::add(
        V::sub(V::sub(V::add(V::mul(p.b0, xR), V::mul(p.b2, xR2)), V::mul(p.a1, p.yR1)), V::mul(p.a2, p.yR2)),
        c.tiny));
    p.yL2 = p.yL1;
    p.yL1 = yL;
    p.yR2 = p.yR1;
    p.yR1 = yR;

    // Peak follower of |left band|: a tenth of the way up per sample, 0.2 %
    // of the way down. max(0, x) and min(10, x) are exactly "below 0 becomes
    // 0" and "above 10 becomes 10".
    const T a = V::abs(yL);
    const T factor = SelectXor<V>(V::lessThan(p.peak, a), c.riseXorFall, c.fallFactor);
    p.peak = V::round(V::add(V::mul(V::sub(p.peak, a), factor), a));
    p.peak = V::min(c.ten, V::max(c.zero, p.peak));

    // Second stage: the peak smoothed again, limited to 0..10.
    p.envelope = V::round(V::div(V::add(V::mul(c.envelopeIn, p.peak), p.envelope), c.envelopeDivisor));
    p.envelope = V::min(c.ten, V::max(c.zero, p.envelope));
    const T detect = V::round(V::add(p.envelope, c.tiny));

    // Open above the threshold (strictly), else aim at 1e-12; the gate level
    // follows with the release pair when it falls, the attack pair otherwise.
    const T open = V::greaterThan(detect, p.threshold);
    const T target = SelectXor<V>(open, V::bitXor(detect, c.closedTarget), c.closedTarget);
    const T falling = V::greaterThan(p.gain, target);
    const T coef = SelectXor<V>(falling, c.releaseXorAttackCoef, c.attackCoef);
    const T norm = SelectXor<V>(falling, c.releaseXorAttackNorm, c.attackNorm);
    p.gain = V::round(V::add(V::mul(V::add(V::mul(p.gain, coef), target), norm), c.tiny));

    // The band passes scaled by gate level / present level; at or below
    // 0.001 it is cut completely.
    const T passes = V::greaterThan(p.gain, c.gainFloor);
    const T ratio = V::round(V::div(p.gain, V::add(detect, c.detectOffset)));
    gL = V::bitAnd(passes, V::round(V::add(V::mul(yL, ratio), c.tiny)));
    gR = V::bitAnd(passes, V::round(V::add(V::mul(yR, ratio), c.tiny)));
}

template <class V>
inline void RunChunk(const KernelCoefficients& kc, ProcessState& st, KernelScratch& scratch, const float* inL,
                     const float* inR, float* outL, float* outR, int32_t frames, bool accumulate) {
    using T = typename V::T;
    constexpr int N = V::N;
    const StepConstants<V> c(kc);

    // The inputs with their 1e-12, stored as floats, preceded by the two
    // inputs before the chunk: xs[f + 2] is frame f, in every lane.
    T xsL[kKernelChunk + 2], xsR[kKernelChunk + 2];
    double lastL[2] = {st.xL2, st.xL1}, lastR[2] = {st.xR2, st.xR1};
    xsL[0] = V::set1(st.xL2);
    xsL[1] = V::set1(st.xL1);
    xsR[0] = V::set1(st.xR2);
    xsR[1] = V::set1(st.xR1);
    for (int32_t f = 0; f < frames; ++f) {
        const double xL = static_cast<float>(static_cast<double>(FiniteOrZeroSample(inL[f])) + 1e-12);
        const double xR = static_cast<float>(static_cast<double>(FiniteOrZeroSample(inR[f])) + 1e-12);
        xsL[f + 2] = V::set1(xL);
        xsR[f + 2] = V::set1(xR);
        lastL[0] = lastL[1];
        lastL[1] = xL;
        lastR[0] = lastR[1];
        lastR[1] = xR;
    }
    st.xL2 = lastL[0];
    st.xL1 = lastL[1];
    st.xR2 = lastR[0];
    st.xR1 = lastR[1];

    // Pass 1: filter, follow and gate one group of bands through the whole
    // chunk at a time, its state held in registers.
    for (int k = 0; k < kKernelBands; k += N) {
        BandGroup<V> p;
        p.b0 = V::load(kc.b0 + k);
        p.b2 = V::load(kc.b2 + k);
        p.a1 = V::load(kc.a1 + k);
        p.a2 = V::load(kc.a2 + k);
        p.threshold = V::load(kc.threshold + k);
        p.yL1 = V::load(st.yL1 + k);
        p.yL2 = V::load(st.yL2 + k);
        p.yR1 = V::load(st.yR1 + k);
        p.yR2 = V::load(st.yR2 + k);
        p.peak = V::load(st.peak + k);
        p.envelope = V::load(st.envelope + k);
        p.gain = V::load(st.bandGain + k);
        for (int32_t f = 0; f < frames; ++f) {
            T gL, gR;
            StepBandGroup<V>(p, c, xsL[f + 2], xsL[f], xsR[f + 2], xsR[f], gL, gR);
            V::scatter(gL, &scratch.gatedL[k][f], kKernelChunk);
            V::scatter(gR, &scratch.gatedR[k][f], kKernelChunk);
        }
        V::store(st.yL1 + k, p.yL1);
        V::store(st.yL2 + k, p.yL2);
        V::store(st.yR1 + k, p.yR1);
        V::store(st.yR2 + k, p.yR2);
        V::store(st.peak + k, p.peak);
        V::store(st.envelope + k, p.envelope);
        V::store(st.bandGain + k, p.gain);
    }

    // Pass 2: the band sums in band order, N frames to a vector; then the
    // boost and the soft clipper, (3a - a^2) / 2 up to |x| = 1, then 1,
    // times the sign of x. Lanes past the chunk's end compute on stale
    // scratch and are not written out.
    const T boost = V::set1(kc.boostGain);
    const T one = V::set1(1.0), minusOne = V::set1(-1.0), three = V::set1(3.0), half = V::set1(0.5);
    for (int32_t f = 0; f < frames; f += N) {
        T sum[2] = {c.zero, c.zero};
        for (int k = 0; k < kKernelBands; ++k) {
            sum[0] = V::round(V::add(V::add(sum[0], V::load(&scratch.gatedL[k][f])), c.tiny));
            sum[1] = V::round(V::add(V::add(sum[1], V::load(&scratch.gatedR[k][f])), c.tiny));
        }
        double result[2][N];
        for (int ch = 0; ch < 2; ++ch) {
            const T x = V::round(V::mul(sum[ch], boost));
            const T a = V::abs(x);
            const T curve = V::round(V::mul(V::add(V::sub(c.zero, V::mul(a, a)), V::mul(three, a)), half));
            const T m = SelectXor<V>(V::greaterThan(a, one), V::bitXor(one, curve), curve);
            const T sign = V::bitOr(V::bitAnd(V::greaterThan(x, c.zero), one),
                                    V::bitAnd(V::lessThan(x, c.zero), minusOne));
            V::store(result[ch], V::mul(m, sign));
        }
        const int32_t count = frames - f < N ? frames - f : N;
        for (int32_t i = 0; i < count; ++i) {
            const float left = static_cast<float>(result[0][i]);
            const float right = static_cast<float>(result[1][i]);
            if (accumulate) {
                outL[f + i] += left;
                outR[f + i] += right;
            } else {
                outL[f + i] = left;
                outR[f + i] = right;
            }
        }
    }
}

}  // namespace
}  // namespace gate_baseline
