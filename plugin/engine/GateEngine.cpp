#include "GateEngine.h"

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

// Which history slot holds the current sample, the one before and the one
// two before, for each ring position. The ring moves instead of the samples.
constexpr int32_t RingNext[3] = {1, 2, 0};
constexpr int32_t RingNow[3] = {2, 1, 0};
constexpr int32_t RingPrev1[3] = {0, 2, 1};
constexpr int32_t RingPrev2[3] = {1, 0, 2};

// A NaN or infinite input sample enters as silence: one of them would
// otherwise turn the followers into NaN for good.
inline float FiniteOrZero(float x) { return std::isfinite(x) ? x : 0.0f; }

inline float Sign(float x) { return x > 0.0f ? 1.0f : (x < 0.0f ? -1.0f : 0.0f); }

// Unity at |x| >= 1, slope 1.5 at 0: m = (3a - a^2) / 2.
inline float SoftClip(float x) {
    const float a = std::fabs(x);
    const float s = Sign(x);
    const float m = a > 1.0f ? 1.0f : Store((-static_cast<double>(a) * a + 3.0 * a) * 0.5);
    return m * s;
}

}  // namespace

GateEngine::GateEngine() { params_.store(ParameterBlock::kRateSlot, 44100.0f); }

void GateEngine::setDesignRate(float rate) {
    if (std::isfinite(rate) && rate > 0.0f)
        params_.store(ParameterBlock::kRateSlot, rate);
}

void GateEngine::clearHistories() {
    std::memset(state_.inHistL, 0, sizeof state_.inHistL);
    std::memset(state_.inHistR, 0, sizeof state_.inHistR);
    std::memset(state_.outHistL, 0, sizeof state_.outHistL);
    std::memset(state_.outHistR, 0, sizeof state_.outHistR);
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

    const DerivedValues& dv = derived_;
    ProcessState& st = state_;
    const double attackCoef = dv.attackCoef, attackNorm = dv.attackNorm;
    const double releaseCoef = dv.releaseCoef, releaseNorm = dv.releaseNorm;
    const double boostGain = dv.boostGain;
    const float closedTarget = Store(1e-12);
    int32_t ringPos = st.ringPos;

    for (int32_t n = 0; n < frames; ++n) {
        const float xL = Store(static_cast<double>(FiniteOrZero(inL[n])) + 1e-12);
        const float xR = Store(static_cast<double>(FiniteOrZero(inR[n])) + 1e-12);

        ringPos = RingNext[ringPos];
        const int32_t now = RingNow[ringPos];
        const int32_t prev1 = RingPrev1[ringPos];
        const int32_t prev2 = RingPrev2[ringPos];

        st.inHistL[now] = xL;
        st.inHistR[now] = xR;
        const double xL2 = st.inHistL[prev2];
        const double xR2 = st.inHistR[prev2];

        double sumL = 0.0;
        double sumR = 0.0;
        for (int k = 0; k < kNumBands; ++k) {
            const BandCoefficients& c = dv.band[k];
            // y = b0 x + b2 x[-2] - a1 y[-1] - a2 y[-2] + 1e-12, in that order.
            const float yL = Store(static_cast<double>(c.b0) * xL + static_cast<double>(c.b2) * xL2 -
                                   static_cast<double>(c.a1) * st.outHistL[prev1][k] -
                                   static_cast<double>(c.a2) * st.outHistL[prev2][k] + 1e-12);
            const float yR = Store(static_cast<double>(c.b0) * xR + static_cast<double>(c.b2) * xR2 -
                                   static_cast<double>(c.a1) * st.outHistR[prev1][k] -
                                   static_cast<double>(c.a2) * st.outHistR[prev2][k] + 1e-12);
            st.outHistL[now][k] = yL;
            st.outHistR[now][k] = yR;

            // Two-stage envelope follower of the left band.
            const float a = std::fabs(yL);
            float peak = st.peak[k];
            peak = peak < a ? Store((static_cast<double>(peak) - a) * 0.9 + a)
                            : Store((static_cast<double>(peak) - a) * 0.998 + a);
            if (peak < 0.0f)
                peak = 0.0f;
            if (peak > 10.0f)
                peak = 10.0f;
            st.peak[k] = peak;
            float envelope = Store((0.05 * peak + st.envelope[k]) / 1.05);
            if (envelope < 0.0f)
                envelope = 0.0f;
            if (envelope > 10.0f)
                envelope = 10.0f;
            st.envelope[k] = envelope;
            const float detect = Store(static_cast<double>(envelope) + 1e-12);

            // Gate and gain smoothing.
            const float target = detect > dv.threshold[k] ? detect : closedTarget;
            float gain = st.bandGain[k];
            gain = gain > target ? Store((gain * releaseCoef + target) * releaseNorm + 1e-12)
                                 : Store((gain * attackCoef + target) * attackNorm + 1e-12);
            st.bandGain[k] = gain;

            float gL = 0.0f;
            float gR = 0.0f;
            if (gain > 0.001) {
                const float ratio = Store(gain / (static_cast<double>(detect) + 0.0001));
                gL = Store(static_cast<double>(yL) * ratio + 1e-12);
                gR = Store(static_cast<double>(yR) * ratio + 1e-12);
            }
            sumL = Store(sumL + gL + 1e-12);
            sumR = Store(sumR + gR + 1e-12);
        }

        const float left = SoftClip(Store(sumL * boostGain));
        const float right = SoftClip(Store(sumR * boostGain));
        if (Accumulate) {
            outL[n] += left;
            outR[n] += right;
        } else {
            outL[n] = left;
            outR[n] = right;
        }
    }
    st.ringPos = ringPos;
}

}  // namespace gate
