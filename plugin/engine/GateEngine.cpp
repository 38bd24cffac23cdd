#include "GateEngine.h"

#include <cmath>
#include <cstring>
#include <new>

namespace gate {

// ---------------------------------------------------------------------------
// ParameterBlock

ParameterBlock::ParameterBlock() {
    for (auto& slot : slots_)
        slot.store(0.0f, std::memory_order_relaxed);
}

void ParameterBlock::store(int slot, float value) {
    // Announce the store, then write, then count it as done. A reader that
    // saw the value knows of the announcement (release/acquire on the slot)
    // and so sees the state move, and throws its copy away.
    state_.fetch_add(1, std::memory_order_relaxed);
    const bool designInput = slot == kStartFreq || slot == kFinishFreq || slot == kFreqQ || slot == kRateSlot;
    if (designInput && slots_[slot].load(std::memory_order_relaxed) != value)
        designSerial_.fetch_add(1, std::memory_order_relaxed);
    slots_[slot].store(value, std::memory_order_release);
    state_.fetch_add(kPendingMask, std::memory_order_release);  // -1 pending, +1 done
}

bool ParameterBlock::trySnapshot(float out[kSlots], uint32_t& designSerial, uint64_t& stamp) const {
    const uint64_t before = state_.load(std::memory_order_acquire);
    if ((before & kPendingMask) != 0)
        return false;
    // Acquire loads: the state is read again after every slot, and a slot
    // written by a store that began after `before` makes that visible.
    for (int i = 0; i < kSlots; ++i)
        out[i] = slots_[i].load(std::memory_order_acquire);
    designSerial = designSerial_.load(std::memory_order_acquire);
    const uint64_t after = state_.load(std::memory_order_relaxed);
    if (after != before)
        return false;
    stamp = before;
    return true;
}

// ---------------------------------------------------------------------------
// GateEngine

GateEngine::GateEngine() {
    params_.store(ParameterBlock::kRateSlot, 44100.0f);
    const uintptr_t at = (reinterpret_cast<uintptr_t>(scratchStorage_) + 63) & ~uintptr_t{63};
    scratch_ = new (reinterpret_cast<void*>(at)) KernelScratch{};
}

void GateEngine::setDesignRate(float rate) {
    if (rate >= kMinDesignRate && rate <= kMaxDesignRate)
        params_.store(ParameterBlock::kRateSlot, rate);
}

void GateEngine::clearHistories() {
    state_.xL1 = state_.xL2 = state_.xR1 = state_.xR2 = 0.0;
    for (int k = 0; k < kNumBands; ++k)
        state_.yL1[k] = state_.yL2[k] = state_.yR1[k] = state_.yR2[k] = 0.0;
}

// A finite input near the float range's end can drive a band's filter past
// it: the band then holds an infinity, and from the next step on NaN, which
// no later input, parameter or rate would ever wash out. Such a band starts
// again from silence, on both channels; the other bands ring on.
void GateEngine::restartOverflowedBands() {
    for (int k = 0; k < kNumBands; ++k) {
        const double all = state_.yL1[k] + state_.yL2[k] + state_.yR1[k] + state_.yR2[k] + state_.peak[k] +
                           state_.envelope[k] + state_.bandGain[k];
        if (all - all == 0.0)  // every term finite (none comes near the double range)
            continue;
        state_.yL1[k] = state_.yL2[k] = state_.yR1[k] = state_.yR2[k] = 0.0;
        state_.peak[k] = state_.envelope[k] = state_.bandGain[k] = 0.0;
    }
}

void GateEngine::refresh() {
    if (params_.stamp() == seenStamp_)
        return;
    float set[ParameterBlock::kSlots];
    uint64_t stamp = 0;
    uint32_t designSerial = 0;
    if (!params_.trySnapshot(set, designSerial, stamp))
        return;  // a writer is busy: keep the previous set for this block
    seenStamp_ = stamp;

    // The filters are redesigned, and their histories cleared, only when
    // what they are designed from has changed since the last design (and
    // also when it changed and changed back, as each change is a design).
    if (!designed_ || designSerial != designSerial_) {
        DesignAllBands(set, set[ParameterBlock::kRateSlot], derived_.band);
        designSerial_ = designSerial;
        designed_ = true;
        clearHistories();
    }
    DeriveGains(set, derived_);

    kc_.boundedFilters = true;
    for (int k = 0; k < kNumBands; ++k) {
        kc_.b0[k] = derived_.band[k].b0;
        kc_.b2[k] = derived_.band[k].b2;
        kc_.a1[k] = derived_.band[k].a1;
        kc_.a2[k] = derived_.band[k].a2;
        kc_.threshold[k] = derived_.threshold[k];
        const double feedback = std::fabs(kc_.a1[k]) + std::fabs(kc_.a2[k]);
        const double feedForward = std::fabs(kc_.b0[k]) + std::fabs(kc_.b2[k]);
        kc_.boundedFilters = kc_.boundedFilters && feedback <= 3.0 && feedForward <= 2.0;
    }
    kc_.attackCoef = derived_.attackCoef;
    kc_.attackNorm = derived_.attackNorm;
    kc_.releaseCoef = derived_.releaseCoef;
    kc_.releaseNorm = derived_.releaseNorm;
    kc_.boostGain = derived_.boostGain;
}

bool GateEngine::useKernel(KernelSet set) {
    if (!CpuRuns(set))
        return false;
    kernel_ = set;
    return true;
}

void GateEngine::processReplacing(const float* inL, const float* inR, float* outL, float* outR, int32_t frames) {
    run(inL, inR, outL, outR, frames, false);
}

void GateEngine::process(const float* inL, const float* inR, float* outL, float* outR, int32_t frames) {
    run(inL, inR, outL, outR, frames, true);
}

void GateEngine::run(const float* inL, const float* inR, float* outL, float* outR, int32_t frames,
                     bool accumulate) {
    if (frames < 1 || inL == nullptr || inR == nullptr || outL == nullptr || outR == nullptr)
        return;
    refresh();
    // Kernel calls end where the stream's chunks end, so that a band that
    // overflowed starts again on the same frame whatever the block split.
    for (int32_t done = 0; done < frames;) {
        const int32_t room = kKernelChunk - chunkFrames_;
        const int32_t n = frames - done < room ? frames - done : room;
        KernelFor(kernel_, n)(kc_, state_, *scratch_, inL + done, inR + done, outL + done, outR + done, n,
                              accumulate);
        done += n;
        chunkFrames_ += n;
        if (chunkFrames_ == kKernelChunk) {
            chunkFrames_ = 0;
            restartOverflowedBands();
        }
    }
}

}  // namespace gate
