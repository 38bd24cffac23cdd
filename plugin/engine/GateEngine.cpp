#include "GateEngine.h"

#include <emmintrin.h>

#include <cmath>
#include <cstring>

namespace gate {

// ---------------------------------------------------------------------------
// ParameterBlock

ParameterBlock::ParameterBlock() {
    for (auto& slot : slots_)
        slot.store(0.0f, std::memory_order_relaxed);
}

void ParameterBlock::store(int slot, float value) {
    // Announce the store, then write, then count it as done. A reader that
    // saw the announcement or the count change throws its copy away.
    state_.fetch_add(1, std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_release);
    slots_[slot].store(value, std::memory_order_relaxed);
    state_.fetch_add(kPendingMask, std::memory_order_release);  // -1 pending, +1 done
}

bool ParameterBlock::trySnapshot(float out[kSlots], uint64_t& stamp) const {
    const uint64_t before = state_.load(std::memory_order_acquire);
    if ((before & kPendingMask) != 0)
        return false;
    for (int i = 0; i < kSlots; ++i)
        out[i] = slots_[i].load(std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_acquire);
    const uint64_t after = state_.load(std::memory_order_relaxed);
    if (after != before)
        return false;
    stamp = before;
    return true;
}

// ---------------------------------------------------------------------------
// GateEngine

namespace {

// A NaN or infinite input sample enters as silence: one of them would
// otherwise turn the followers into NaN for good.
inline float FiniteOrZero(float x) { return std::isfinite(x) ? x : 0.0f; }

// Rounds two doubles to 32-bit floats and widens them again: the point at
// which a value is stored. The conversions are real instructions, which
// the optimiser cannot drop.
inline __m128d StoreRound(__m128d v) { return _mm_cvtps_pd(_mm_cvtpd_ps(v)); }

// mask ? a : b, lane by lane, as b ^ (mask & (a ^ b)); `aXorB` is a ^ b.
inline __m128d SelectXor(__m128d mask, __m128d aXorB, __m128d b) {
    return _mm_xor_pd(b, _mm_and_pd(mask, aXorB));
}

// Constants of the per-sample step, in vector form.
struct StepConstants {
    __m128d tiny, closedTarget, zero, ten;
    __m128d fallFactor, riseXorFall;  // peak follower: 0.998 falling, 0.9 rising
    __m128d envelopeIn, envelopeDivisor;
    __m128d gainFloor, detectOffset, absMask;
    __m128d attackCoef, releaseXorAttackCoef, attackNorm, releaseXorAttackNorm;
};

// Filters, followers and gate levels of two neighbouring bands.
struct BandPair {
    __m128d b0, b2, a1, a2, threshold;
    __m128d yL1, yL2, yR1, yR2, peak, envelope, gain;
    double *gatedL0, *gatedL1, *gatedR0, *gatedR1;
};

// One frame of two bands: every stored value rounded to a float where it
// is stored, the arithmetic between in double, in the order of the plain
// one-band-at-a-time formulation.
__attribute__((always_inline)) inline void StepBandPair(BandPair& p, const StepConstants& c, __m128d xL,
                                                        __m128d xL2, __m128d xR, __m128d xR2, int32_t f) {
    // y = b0 x + b2 x[-2] - a1 y[-1] - a2 y[-2] + 1e-12, in that order.
    const __m128d yL = StoreRound(_mm_add_pd(
        _mm_sub_pd(_mm_sub_pd(_mm_add_pd(_mm_mul_pd(p.b0, xL), _mm_mul_pd(p.b2, xL2)), _mm_mul_pd(p.a1, p.yL1)),
                   _mm_mul_pd(p.a2, p.yL2)),
        c.tiny));
    const __m128d yR = StoreRound(_mm_add_pd(
        _mm_sub_pd(_mm_sub_pd(_mm_add_pd(_mm_mul_pd(p.b0, xR), _mm_mul_pd(p.b2, xR2)), _mm_mul_pd(p.a1, p.yR1)),
                   _mm_mul_pd(p.a2, p.yR2)),
        c.tiny));
    p.yL2 = p.yL1;
    p.yL1 = yL;
    p.yR2 = p.yR1;
    p.yR1 = yR;

    // Peak follower of |left band|: a tenth of the way up per sample, 0.2 %
    // of the way down. max(0, x) and min(10, x) are exactly "below 0 becomes
    // 0" and "above 10 becomes 10".
    const __m128d a = _mm_and_pd(yL, c.absMask);
    const __m128d factor = SelectXor(_mm_cmplt_pd(p.peak, a), c.riseXorFall, c.fallFactor);
    p.peak = StoreRound(_mm_add_pd(_mm_mul_pd(_mm_sub_pd(p.peak, a), factor), a));
    p.peak = _mm_min_pd(c.ten, _mm_max_pd(c.zero, p.peak));

    // Second stage: the peak smoothed again, limited to 0..10.
    p.envelope =
        StoreRound(_mm_div_pd(_mm_add_pd(_mm_mul_pd(c.envelopeIn, p.peak), p.envelope), c.envelopeDivisor));
    p.envelope = _mm_min_pd(c.ten, _mm_max_pd(c.zero, p.envelope));
    const __m128d detect = StoreRound(_mm_add_pd(p.envelope, c.tiny));

    // Open above the threshold (strictly), else aim at 1e-12; the gate level
    // follows with the release pair when it falls, the attack pair otherwise.
    const __m128d open = _mm_cmpgt_pd(detect, p.threshold);
    const __m128d target = SelectXor(open, _mm_xor_pd(detect, c.closedTarget), c.closedTarget);
    const __m128d falling = _mm_cmpgt_pd(p.gain, target);
    const __m128d coef = SelectXor(falling, c.releaseXorAttackCoef, c.attackCoef);
    const __m128d norm = SelectXor(falling, c.releaseXorAttackNorm, c.attackNorm);
    p.gain = StoreRound(_mm_add_pd(_mm_mul_pd(_mm_add_pd(_mm_mul_pd(p.gain, coef), target), norm), c.tiny));

    // The band passes scaled by gate level / present level; at or below
    // 0.001 it is cut completely.
    const __m128d passes = _mm_cmpgt_pd(p.gain, c.gainFloor);
    const __m128d ratio = StoreRound(_mm_div_pd(p.gain, _mm_add_pd(detect, c.detectOffset)));
    const __m128d gL = _mm_and_pd(passes, StoreRound(_mm_add_pd(_mm_mul_pd(yL, ratio), c.tiny)));
    const __m128d gR = _mm_and_pd(passes, StoreRound(_mm_add_pd(_mm_mul_pd(yR, ratio), c.tiny)));
    _mm_storel_pd(p.gatedL0 + f, gL);
    _mm_storeh_pd(p.gatedL1 + f, gL);
    _mm_storel_pd(p.gatedR0 + f, gR);
    _mm_storeh_pd(p.gatedR1 + f, gR);
}

}  // namespace

GateEngine::GateEngine() { params_.store(ParameterBlock::kRateSlot, 44100.0f); }

void GateEngine::setDesignRate(float rate) {
    if (std::isfinite(rate) && rate > 0.0f)
        params_.store(ParameterBlock::kRateSlot, rate);
}

void GateEngine::clearHistories() {
    state_.xL1 = state_.xL2 = state_.xR1 = state_.xR2 = 0.0;
    for (int k = 0; k < kNumBands; ++k)
        state_.yL1[k] = state_.yL2[k] = state_.yR1[k] = state_.yR2[k] = 0.0;
}

void GateEngine::refresh() {
    if (params_.stamp() == seenStamp_)
        return;
    float set[ParameterBlock::kSlots];
    uint64_t stamp = 0;
    if (!params_.trySnapshot(set, stamp))
        return;  // a writer is busy: keep the previous set for this block
    seenStamp_ = stamp;

    // The filters are redesigned, and their histories cleared, only when
    // what they are designed from has changed.
    const float inputs[4] = {set[kStartFreq], set[kFinishFreq], set[kFreqQ], set[ParameterBlock::kRateSlot]};
    if (!designed_ || std::memcmp(inputs, designInputs_, sizeof inputs) != 0) {
        DesignAllBands(set, inputs[3], derived_.band);
        std::memcpy(designInputs_, inputs, sizeof inputs);
        designed_ = true;
        clearHistories();
    }
    DeriveGains(set, derived_);

    for (int k = 0; k < kNumBands; ++k) {
        kc_.b0[k] = derived_.band[k].b0;
        kc_.b2[k] = derived_.band[k].b2;
        kc_.a1[k] = derived_.band[k].a1;
        kc_.a2[k] = derived_.band[k].a2;
        kc_.threshold[k] = derived_.threshold[k];
    }
    kc_.attackCoef = derived_.attackCoef;
    kc_.attackNorm = derived_.attackNorm;
    kc_.releaseCoef = derived_.releaseCoef;
    kc_.releaseNorm = derived_.releaseNorm;
    kc_.boostGain = derived_.boostGain;
}

void GateEngine::processReplacing(const float* inL, const float* inR, float* outL, float* outR, int32_t frames) {
    run<false>(inL, inR, outL, outR, frames);
}

void GateEngine::process(const float* inL, const float* inR, float* outL, float* outR, int32_t frames) {
    run<true>(inL, inR, outL, outR, frames);
}

template <bool Accumulate>
void GateEngine::run(const float* inL, const float* inR, float* outL, float* outR, int32_t frames) {
    if (frames < 1 || inL == nullptr || inR == nullptr || outL == nullptr || outR == nullptr)
        return;
    refresh();
    for (int32_t done = 0; done < frames; done += kChunk) {
        const int32_t n = frames - done < kChunk ? frames - done : kChunk;
        runChunk<Accumulate>(inL + done, inR + done, outL + done, outR + done, n);
    }
}

// The per-frame step, for up to kChunk frames. Every stored value is
// rounded to a 32-bit float where it is stored; the arithmetic in between
// is double, two bands (or two frames) to an SSE2 vector, in exactly the
// order of the plain one-band-at-a-time formulation.
template <bool Accumulate>
void GateEngine::runChunk(const float* inL, const float* inR, float* outL, float* outR, int32_t frames) {
    ProcessState& st = state_;
    const KernelCoefficients& kc = kc_;

    StepConstants c;
    c.tiny = _mm_set1_pd(1e-12);
    c.closedTarget = _mm_set1_pd(static_cast<double>(Store(1e-12)));
    c.zero = _mm_setzero_pd();
    c.ten = _mm_set1_pd(10.0);
    c.fallFactor = _mm_set1_pd(0.998);
    c.riseXorFall = _mm_xor_pd(_mm_set1_pd(0.9), c.fallFactor);
    c.envelopeIn = _mm_set1_pd(0.05);
    c.envelopeDivisor = _mm_set1_pd(1.05);
    c.gainFloor = _mm_set1_pd(0.001);
    c.detectOffset = _mm_set1_pd(0.0001);
    c.absMask = _mm_castsi128_pd(_mm_set1_epi64x(0x7FFFFFFFFFFFFFFFLL));
    c.attackCoef = _mm_set1_pd(kc.attackCoef);
    c.releaseXorAttackCoef = _mm_xor_pd(_mm_set1_pd(kc.releaseCoef), c.attackCoef);
    c.attackNorm = _mm_set1_pd(kc.attackNorm);
    c.releaseXorAttackNorm = _mm_xor_pd(_mm_set1_pd(kc.releaseNorm), c.attackNorm);
    const __m128d zero = c.zero;
    const __m128d tiny = c.tiny;
    const __m128d absMask = c.absMask;

    // The inputs with their 1e-12, stored as floats, preceded by the two
    // inputs before the chunk: xs[f + 2] is frame f, in both lanes.
    alignas(16) __m128d xsL[kChunk + 2], xsR[kChunk + 2];
    xsL[0] = _mm_set1_pd(st.xL2);
    xsL[1] = _mm_set1_pd(st.xL1);
    xsR[0] = _mm_set1_pd(st.xR2);
    xsR[1] = _mm_set1_pd(st.xR1);
    for (int32_t f = 0; f < frames; ++f) {
        xsL[f + 2] = _mm_set1_pd(Store(static_cast<double>(FiniteOrZero(inL[f])) + 1e-12));
        xsR[f + 2] = _mm_set1_pd(Store(static_cast<double>(FiniteOrZero(inR[f])) + 1e-12));
    }
    st.xL2 = _mm_cvtsd_f64(xsL[frames]);
    st.xL1 = _mm_cvtsd_f64(xsL[frames + 1]);
    st.xR2 = _mm_cvtsd_f64(xsR[frames]);
    st.xR1 = _mm_cvtsd_f64(xsR[frames + 1]);

    // Pass 1: filter, follow and gate the bands through the whole chunk,
    // two bands at a time with their state in registers. Bands are
    // independent, so this order changes nothing in the result.
    for (int k = 0; k < kNumBands; k += 2) {
        BandPair p;
        p.b0 = _mm_loadu_pd(kc.b0 + k);
        p.b2 = _mm_loadu_pd(kc.b2 + k);
        p.a1 = _mm_loadu_pd(kc.a1 + k);
        p.a2 = _mm_loadu_pd(kc.a2 + k);
        p.threshold = _mm_loadu_pd(kc.threshold + k);
        p.yL1 = _mm_loadu_pd(st.yL1 + k);
        p.yL2 = _mm_loadu_pd(st.yL2 + k);
        p.yR1 = _mm_loadu_pd(st.yR1 + k);
        p.yR2 = _mm_loadu_pd(st.yR2 + k);
        p.peak = _mm_loadu_pd(st.peak + k);
        p.envelope = _mm_loadu_pd(st.envelope + k);
        p.gain = _mm_loadu_pd(st.bandGain + k);
        p.gatedL0 = gatedL_[k];
        p.gatedL1 = gatedL_[k + 1];
        p.gatedR0 = gatedR_[k];
        p.gatedR1 = gatedR_[k + 1];
        for (int32_t f = 0; f < frames; ++f)
            StepBandPair(p, c, xsL[f + 2], xsL[f], xsR[f + 2], xsR[f], f);
        _mm_storeu_pd(st.yL1 + k, p.yL1);
        _mm_storeu_pd(st.yL2 + k, p.yL2);
        _mm_storeu_pd(st.yR1 + k, p.yR1);
        _mm_storeu_pd(st.yR2 + k, p.yR2);
        _mm_storeu_pd(st.peak + k, p.peak);
        _mm_storeu_pd(st.envelope + k, p.envelope);
        _mm_storeu_pd(st.bandGain + k, p.gain);
    }

    // Pass 2: the band sums, in band order, two frames to a vector; then
    // boost and the soft clipper.
    const __m128d boost = _mm_set1_pd(kc.boostGain);
    const __m128d one = _mm_set1_pd(1.0), minusOne = _mm_set1_pd(-1.0);
    const __m128d three = _mm_set1_pd(3.0), half = _mm_set1_pd(0.5);
    for (int32_t f = 0; f < frames; f += 2) {
        __m128d sumL = zero, sumR = zero;
        for (int k = 0; k < kNumBands; ++k) {
            sumL = StoreRound(_mm_add_pd(_mm_add_pd(sumL, _mm_loadu_pd(&gatedL_[k][f])), tiny));
            sumR = StoreRound(_mm_add_pd(_mm_add_pd(sumR, _mm_loadu_pd(&gatedR_[k][f])), tiny));
        }
        __m128d out[2] = {StoreRound(_mm_mul_pd(sumL, boost)), StoreRound(_mm_mul_pd(sumR, boost))};
        for (__m128d& x : out) {
            // (3a - a^2) / 2 up to |x| = 1, then 1; times the sign of x.
            const __m128d a = _mm_and_pd(x, absMask);
            const __m128d curve = StoreRound(
                _mm_mul_pd(_mm_add_pd(_mm_sub_pd(zero, _mm_mul_pd(a, a)), _mm_mul_pd(three, a)), half));
            const __m128d m = SelectXor(_mm_cmpgt_pd(a, one), _mm_xor_pd(one, curve), curve);
            const __m128d sign = _mm_or_pd(_mm_and_pd(_mm_cmpgt_pd(x, zero), one),
                                           _mm_and_pd(_mm_cmplt_pd(x, zero), minusOne));
            x = _mm_mul_pd(m, sign);
        }
        alignas(16) double left[2], right[2];
        _mm_store_pd(left, out[0]);
        _mm_store_pd(right, out[1]);
        const int32_t count = frames - f < 2 ? frames - f : 2;
        for (int32_t i = 0; i < count; ++i) {
            if (Accumulate) {
                outL[f + i] += static_cast<float>(left[i]);
                outR[f + i] += static_cast<float>(right[i]);
            } else {
                outL[f + i] = static_cast<float>(left[i]);
                outR[f + i] = static_cast<float>(right[i]);
            }
        }
    }
}

}  // namespace gate
