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

// mask ? a : b, lane by lane.
inline __m128d Select(__m128d mask, __m128d a, __m128d b) {
    return _mm_or_pd(_mm_and_pd(mask, a), _mm_andnot_pd(mask, b));
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

    const __m128d tiny = _mm_set1_pd(1e-12);
    const __m128d closedTarget = _mm_set1_pd(static_cast<double>(Store(1e-12)));
    const __m128d zero = _mm_setzero_pd();
    const __m128d ten = _mm_set1_pd(10.0);
    const __m128d riseFactor = _mm_set1_pd(0.9);
    const __m128d fallFactor = _mm_set1_pd(0.998);
    const __m128d envelopeIn = _mm_set1_pd(0.05);
    const __m128d envelopeDivisor = _mm_set1_pd(1.05);
    const __m128d gainFloor = _mm_set1_pd(0.001);
    const __m128d detectOffset = _mm_set1_pd(0.0001);
    const __m128d absMask = _mm_castsi128_pd(_mm_set1_epi64x(0x7FFFFFFFFFFFFFFFLL));
    const __m128d attackCoef = _mm_set1_pd(kc.attackCoef), attackNorm = _mm_set1_pd(kc.attackNorm);
    const __m128d releaseCoef = _mm_set1_pd(kc.releaseCoef), releaseNorm = _mm_set1_pd(kc.releaseNorm);

    // The inputs with their 1e-12, stored as floats, preceded by the two
    // inputs before the chunk: xs[f + 2] is frame f.
    alignas(16) double xsL[kChunk + 2], xsR[kChunk + 2];
    xsL[0] = st.xL2;
    xsL[1] = st.xL1;
    xsR[0] = st.xR2;
    xsR[1] = st.xR1;
    for (int32_t f = 0; f < frames; ++f) {
        xsL[f + 2] = Store(static_cast<double>(FiniteOrZero(inL[f])) + 1e-12);
        xsR[f + 2] = Store(static_cast<double>(FiniteOrZero(inR[f])) + 1e-12);
    }
    st.xL2 = xsL[frames];
    st.xL1 = xsL[frames + 1];
    st.xR2 = xsR[frames];
    st.xR1 = xsR[frames + 1];

    // Pass 1: filter, follow and gate two bands at a time through the whole
    // chunk, their state held in registers. Bands are independent, so this
    // order changes nothing in the result; it keeps the recurrences of
    // several frames in flight instead of one long chain per frame.
    for (int k = 0; k < kNumBands; k += 2) {
        const __m128d b0 = _mm_load_pd(kc.b0 + k), b2 = _mm_load_pd(kc.b2 + k);
        const __m128d a1 = _mm_load_pd(kc.a1 + k), a2 = _mm_load_pd(kc.a2 + k);
        const __m128d threshold = _mm_load_pd(kc.threshold + k);
        __m128d yL1 = _mm_load_pd(st.yL1 + k), yL2 = _mm_load_pd(st.yL2 + k);
        __m128d yR1 = _mm_load_pd(st.yR1 + k), yR2 = _mm_load_pd(st.yR2 + k);
        __m128d peak = _mm_load_pd(st.peak + k);
        __m128d envelope = _mm_load_pd(st.envelope + k);
        __m128d gain = _mm_load_pd(st.bandGain + k);
        double* gatedL0 = gatedL_[k];
        double* gatedL1 = gatedL_[k + 1];
        double* gatedR0 = gatedR_[k];
        double* gatedR1 = gatedR_[k + 1];

        for (int32_t f = 0; f < frames; ++f) {
            const __m128d xL = _mm_load1_pd(xsL + f + 2), xL2 = _mm_load1_pd(xsL + f);
            const __m128d xR = _mm_load1_pd(xsR + f + 2), xR2 = _mm_load1_pd(xsR + f);

            // y = b0 x + b2 x[-2] - a1 y[-1] - a2 y[-2] + 1e-12, in that order.
            const __m128d yL = StoreRound(_mm_add_pd(
                _mm_sub_pd(_mm_sub_pd(_mm_add_pd(_mm_mul_pd(b0, xL), _mm_mul_pd(b2, xL2)), _mm_mul_pd(a1, yL1)),
                           _mm_mul_pd(a2, yL2)),
                tiny));
            const __m128d yR = StoreRound(_mm_add_pd(
                _mm_sub_pd(_mm_sub_pd(_mm_add_pd(_mm_mul_pd(b0, xR), _mm_mul_pd(b2, xR2)), _mm_mul_pd(a1, yR1)),
                           _mm_mul_pd(a2, yR2)),
                tiny));
            yL2 = yL1;
            yL1 = yL;
            yR2 = yR1;
            yR1 = yR;

            // Peak follower of |left band|: a tenth of the way up per
            // sample, 0.2 % of the way down; limited to 0..10.
            const __m128d a = _mm_and_pd(yL, absMask);
            const __m128d factor = Select(_mm_cmplt_pd(peak, a), riseFactor, fallFactor);
            peak = StoreRound(_mm_add_pd(_mm_mul_pd(_mm_sub_pd(peak, a), factor), a));
            peak = _mm_andnot_pd(_mm_cmplt_pd(peak, zero), peak);
            peak = Select(_mm_cmpgt_pd(peak, ten), ten, peak);

            // Second stage: the peak smoothed again, limited to 0..10.
            envelope = StoreRound(_mm_div_pd(_mm_add_pd(_mm_mul_pd(envelopeIn, peak), envelope), envelopeDivisor));
            envelope = _mm_andnot_pd(_mm_cmplt_pd(envelope, zero), envelope);
            envelope = Select(_mm_cmpgt_pd(envelope, ten), ten, envelope);
            const __m128d detect = StoreRound(_mm_add_pd(envelope, tiny));

            // Open above the threshold (strictly), else aim at 1e-12; the
            // gate level follows with the attack or release pair.
            const __m128d target = Select(_mm_cmpgt_pd(detect, threshold), detect, closedTarget);
            const __m128d falling = _mm_cmpgt_pd(gain, target);
            const __m128d coef = Select(falling, releaseCoef, attackCoef);
            const __m128d norm = Select(falling, releaseNorm, attackNorm);
            gain = StoreRound(_mm_add_pd(_mm_mul_pd(_mm_add_pd(_mm_mul_pd(gain, coef), target), norm), tiny));

            // The band passes scaled by gate level / present level; at or
            // below 0.001 it is cut completely.
            const __m128d passes = _mm_cmpgt_pd(gain, gainFloor);
            const __m128d ratio = StoreRound(_mm_div_pd(gain, _mm_add_pd(detect, detectOffset)));
            const __m128d gL = _mm_and_pd(passes, StoreRound(_mm_add_pd(_mm_mul_pd(yL, ratio), tiny)));
            const __m128d gR = _mm_and_pd(passes, StoreRound(_mm_add_pd(_mm_mul_pd(yR, ratio), tiny)));
            _mm_storel_pd(gatedL0 + f, gL);
            _mm_storeh_pd(gatedL1 + f, gL);
            _mm_storel_pd(gatedR0 + f, gR);
            _mm_storeh_pd(gatedR1 + f, gR);
        }
        _mm_store_pd(st.yL1 + k, yL1);
        _mm_store_pd(st.yL2 + k, yL2);
        _mm_store_pd(st.yR1 + k, yR1);
        _mm_store_pd(st.yR2 + k, yR2);
        _mm_store_pd(st.peak + k, peak);
        _mm_store_pd(st.envelope + k, envelope);
        _mm_store_pd(st.bandGain + k, gain);
    }

    // Pass 2: the band sums, in band order, two frames to a vector; then
    // boost and the soft clipper.
    const __m128d boost = _mm_set1_pd(kc.boostGain);
    const __m128d one = _mm_set1_pd(1.0), minusOne = _mm_set1_pd(-1.0);
    const __m128d three = _mm_set1_pd(3.0), half = _mm_set1_pd(0.5);
    for (int32_t f = 0; f < frames; f += 2) {
        __m128d sumL = zero, sumR = zero;
        for (int k = 0; k < kNumBands; ++k) {
            sumL = StoreRound(_mm_add_pd(_mm_add_pd(sumL, _mm_load_pd(&gatedL_[k][f])), tiny));
            sumR = StoreRound(_mm_add_pd(_mm_add_pd(sumR, _mm_load_pd(&gatedR_[k][f])), tiny));
        }
        __m128d out[2] = {StoreRound(_mm_mul_pd(sumL, boost)), StoreRound(_mm_mul_pd(sumR, boost))};
        for (__m128d& x : out) {
            // (3a - a^2) / 2 up to |x| = 1, then 1; times the sign of x.
            const __m128d a = _mm_and_pd(x, absMask);
            const __m128d curve = StoreRound(
                _mm_mul_pd(_mm_add_pd(_mm_sub_pd(zero, _mm_mul_pd(a, a)), _mm_mul_pd(three, a)), half));
            const __m128d m = Select(_mm_cmpgt_pd(a, one), one, curve);
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
