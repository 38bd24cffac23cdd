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
// BandMeters

BandMeters::BandMeters() {
    for (int k = 0; k < kNumBands; ++k) {
        level_[k].store(0.0f, std::memory_order_relaxed);
        gain_[k].store(0.0f, std::memory_order_relaxed);
    }
}

void BandMeters::publish(const double blockMax[kNumBands], const double gain[kNumBands]) {
    const uint32_t count = published_.load(std::memory_order_relaxed);
    const bool afresh = acknowledged_.load(std::memory_order_acquire) == count;
    for (int k = 0; k < kNumBands; ++k) {
        // Floats held in doubles (never NaN: see ProcessState::detectMax):
        // the conversions are exact.
        const float largest = static_cast<float>(blockMax[k]);
        if (afresh || largest > held_[k])
            held_[k] = largest;
        level_[k].store(held_[k], std::memory_order_relaxed);
        gain_[k].store(static_cast<float>(gain[k]), std::memory_order_relaxed);
    }
    published_.store(count + 1, std::memory_order_release);
}

void BandMeters::take(BandMeterReading& out) {
    const uint32_t count = published_.load(std::memory_order_acquire);
    for (int k = 0; k < kNumBands; ++k) {
        out.level[k] = level_[k].load(std::memory_order_relaxed);
        out.gain[k] = gain_[k].load(std::memory_order_relaxed);
    }
    out.blocks = count - acknowledged_.load(std::memory_order_relaxed);
    acknowledged_.store(count, std::memory_order_release);
    takes_.store(takes_.load(std::memory_order_relaxed) + 1, std::memory_order_release);
}

// ---------------------------------------------------------------------------
// GateEngine

GateEngine::GateEngine() {
    for (auto& value : inForce_)
        value.store(std::nanf(""), std::memory_order_relaxed);
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
    clearKeyHistories();
}

void GateEngine::clearKeyHistories() {
    state_.xK1 = state_.xK2 = 0.0;
    for (int k = 0; k < kNumBands; ++k)
        state_.yK1[k] = state_.yK2[k] = 0.0;
}

void GateEngine::setKeySource(KeySource source) {
    const int choice = static_cast<int>(source);
    if (choice >= 0 && choice < kNumKeySources)
        params_.store(ParameterBlock::kKeySlot, static_cast<float>(choice));
}

KeySource GateEngine::keySource() const {
    return static_cast<KeySource>(static_cast<int>(params_.load(ParameterBlock::kKeySlot)));
}

// A finite input near the float range's end can drive a band's filter past
// it: the band then holds an infinity, and from the next step on NaN, which
// no later input, parameter or rate would ever wash out. Such a band starts
// again from silence, on both channels and in the key; the other bands
// ring on. (The key bands hold zeros while Left keys: they are cleared
// whenever the key source changes.)
void GateEngine::restartOverflowedBands() {
    for (int k = 0; k < kNumBands; ++k) {
        const double all = state_.yL1[k] + state_.yL2[k] + state_.yR1[k] + state_.yR2[k] + state_.yK1[k] +
                           state_.yK2[k] + state_.peak[k] + state_.envelope[k] + state_.bandGain[k];
        if (all - all == 0.0)  // every term finite (none comes near the double range)
            continue;
        state_.yL1[k] = state_.yL2[k] = state_.yR1[k] = state_.yR2[k] = 0.0;
        state_.yK1[k] = state_.yK2[k] = 0.0;
        state_.peak[k] = state_.envelope[k] = state_.bandGain[k] = 0.0;
    }
}

namespace {

// Glides: about 5 ms at the design rate, the designs in steps of 32
// frames (sixteen redesigns cost about what the kernel spends on ten
// frames), the boost, which scales the output directly, in steps of 16.
// A step ends a kernel call, and calls of 8 frames or fewer take the
// kernels' short path, which costs several times more per frame.
// What moves in even steps: the Start, Finish and Q values (so that the
// centres move in equal musical steps and the design is the one of any
// setting), and the boost's gain itself (a boost of 0 is a gain of 0, and
// even steps of the gain are even steps of the output).
constexpr double kGlideSeconds = 0.005;
constexpr int32_t kDesignStepFrames = 32;
constexpr int32_t kBoostStepFrames = 16;

int32_t GlideSteps(float rate, int32_t stepFrames) {
    return 1 + static_cast<int32_t>(kGlideSeconds * rate / stepFrames + 0.5);
}

// Step `step` of `steps` from `from` to `to`; the last step is `to` itself.
float GlideValue(float from, float to, int32_t step, int32_t steps) {
    if (step >= steps)
        return to;
    return Store(static_cast<double>(from) + (static_cast<double>(to) - from) * step / steps);
}

}  // namespace

void GateEngine::applyNextAtOnce() {
    atOnceRequest_.store(true, std::memory_order_relaxed);
    params_.touch();  // publishes the request with the stamp a reader sees move
}

uint32_t GateEngine::tailFrames() const {
    float set[ParameterBlock::kSlots];
    uint32_t designSerial = 0;
    uint64_t stamp = 0;
    bool whole = false;
    for (int attempt = 0; attempt < 64 && !whole; ++attempt)
        whole = params_.trySnapshot(set, designSerial, stamp);
    if (!whole)  // writers kept busy: each slot's latest value
        for (int i = 0; i < ParameterBlock::kSlots; ++i)
            set[i] = params_.load(i);
    const double rate = set[ParameterBlock::kRateSlot];
    const uint32_t ring = RingOutFrames(set, rate);
    // AtOnce mode, or a program or state pending: the next block applies
    // the stored values at once.
    if (mode_.load(std::memory_order_relaxed) != ChangeMode::Glide ||
        atOnceRequest_.load(std::memory_order_relaxed))
        return ring;
    const float from[3] = {inForce_[0].load(std::memory_order_relaxed), inForce_[1].load(std::memory_order_relaxed),
                           inForce_[2].load(std::memory_order_relaxed)};
    const float fromBoost = inForce_[3].load(std::memory_order_relaxed);
    if (std::isnan(fromBoost))
        return ring;  // no block yet: nothing rings
    DerivedValues gains{};
    DeriveGains(set, gains);
    const bool designMoves = from[0] != set[kStartFreq] || from[1] != set[kFinishFreq] || from[2] != set[kFreqQ];
    const bool boostMoves = fromBoost != gains.boostGain;
    if (!designMoves && !boostMoves)
        return ring;
    // The bands ring on through the glide, scaled by a boost somewhere
    // between its two ends, with designs between the two ends'.
    const double loud = fromBoost > gains.boostGain ? fromBoost : gains.boostGain;
    uint64_t longest = RingOutFrames(set, rate, loud);
    if (designMoves) {
        float start[ParameterBlock::kSlots];
        std::memcpy(start, set, sizeof start);
        start[kStartFreq] = from[0];
        start[kFinishFreq] = from[1];
        start[kFreqQ] = from[2];
        const uint32_t fromRing = RingOutFrames(start, rate, loud);
        longest = fromRing > longest ? fromRing : longest;
    }
    const float glideRate = static_cast<float>(rate);
    const int32_t designFrames = designMoves ? GlideSteps(glideRate, kDesignStepFrames) * kDesignStepFrames : 0;
    const int32_t boostFrames = boostMoves ? GlideSteps(glideRate, kBoostStepFrames) * kBoostStepFrames : 0;
    longest += static_cast<uint64_t>(designFrames > boostFrames ? designFrames : boostFrames);
    return longest >= 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(longest);
}

void GateEngine::publishInForce() {
    for (int i = 0; i < 3; ++i)
        inForce_[i].store(designValues_[i], std::memory_order_relaxed);
    inForce_[3].store(derived_.boostGain, std::memory_order_relaxed);
}

// The design in force and the gains into the kernels' form.
void GateEngine::loadCoefficients() {
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

// Designs the bands for Start, Finish and Q `values` at the rate in force;
// the histories ring on.
void GateEngine::designFrom(const float values[3]) {
    designValues_[kStartFreq] = values[0];
    designValues_[kFinishFreq] = values[1];
    designValues_[kFreqQ] = values[2];
    DesignAllBands(designValues_, designRate_, derived_.band);
}

bool GateEngine::refresh() {
    if (params_.stamp() == seenStamp_)
        return true;
    float set[ParameterBlock::kSlots];
    uint64_t stamp = 0;
    uint32_t designSerial = 0;
    if (!params_.trySnapshot(set, designSerial, stamp))
        return false;  // a writer is busy: keep the previous set for this block
    seenStamp_ = stamp;
    const bool requested = atOnceRequest_.exchange(false, std::memory_order_acquire);
    const float rate = set[ParameterBlock::kRateSlot];
    const auto key = static_cast<KeySource>(static_cast<int>(set[ParameterBlock::kKeySlot]));
    if (key != keySource_) {
        keySource_ = key;
        clearKeyHistories();
    }

    if (mode_.load(std::memory_order_relaxed) == ChangeMode::AtOnce || requested || startPending_ || !designed_ ||
        rate != designRate_) {
        // The filters are redesigned, and their histories cleared, only when
        // what they are designed from has changed since the last design (and
        // also when it changed and changed back, as each change is a design),
        // or when a glide had not yet reached it.
        if (!designed_ || designSerial != designSerial_ || designGlide_.steps != 0) {
            DesignAllBands(set, rate, derived_.band);
            designed_ = true;
            clearHistories();
        }
        designSerial_ = designSerial;
        designRate_ = rate;
        designValues_[kStartFreq] = set[kStartFreq];
        designValues_[kFinishFreq] = set[kFinishFreq];
        designValues_[kFreqQ] = set[kFreqQ];
        designGlide_.steps = 0;
        boostGlide_.steps = 0;
        DeriveGains(set, derived_);
    } else {
        startGlides(set);
        designSerial_ = designSerial;
    }
    loadCoefficients();
    return true;
}

// Glide mode, a new set at the design rate in force: Start, Finish and Q,
// and the boost, each glide from where they are to the set's values if
// those differ from where they are heading; everything else applies at
// once. Unchanged values start nothing, so that the samples stay those of
// AtOnce mode.
void GateEngine::startGlides(const float set[]) {
    const float to[3] = {set[kStartFreq], set[kFinishFreq], set[kFreqQ]};
    const float* heading = designGlide_.steps != 0 ? designGlide_.to : designValues_;
    if (to[0] != heading[0] || to[1] != heading[1] || to[2] != heading[2]) {
        DesignGlide& g = designGlide_;
        for (int i = 0; i < 3; ++i) {
            g.from[i] = designValues_[i];
            g.to[i] = to[i];
        }
        g.steps = GlideSteps(designRate_, kDesignStepFrames);
        g.step = 0;
        stepDesign();
    }

    const float boostInForce = derived_.boostGain;
    DeriveGains(set, derived_);
    const float boostTo = derived_.boostGain;
    derived_.boostGain = boostInForce;
    const float boostHeading = boostGlide_.steps != 0 ? boostGlide_.to : boostInForce;
    if (boostTo != boostHeading) {
        BoostGlide& g = boostGlide_;
        g.from = boostInForce;
        g.to = boostTo;
        g.steps = GlideSteps(designRate_, kBoostStepFrames);
        g.step = 0;
        stepBoost();
    }
}

// The next step of each glide (the first is taken when it starts).
void GateEngine::stepDesign() {
    DesignGlide& g = designGlide_;
    ++g.step;
    float values[3];
    for (int i = 0; i < 3; ++i)
        values[i] = GlideValue(g.from[i], g.to[i], g.step, g.steps);
    designFrom(values);
    g.left = kDesignStepFrames;
    if (g.step >= g.steps)
        g.steps = 0;
}

void GateEngine::stepBoost() {
    BoostGlide& g = boostGlide_;
    ++g.step;
    derived_.boostGain = GlideValue(g.from, g.to, g.step, g.steps);
    g.left = kBoostStepFrames;
    if (g.step >= g.steps)
        g.steps = 0;
}

// After `frames` frames processed: the steps that fall due.
void GateEngine::advanceGlides(int32_t frames) {
    bool changed = false;
    if (designGlide_.steps != 0 && (designGlide_.left -= frames) == 0) {
        stepDesign();
        changed = true;
    }
    if (boostGlide_.steps != 0 && (boostGlide_.left -= frames) == 0) {
        stepBoost();
        changed = true;
    }
    if (changed)
        loadCoefficients();
}

bool GateEngine::useKernel(KernelSet set) {
    if (!CpuRuns(set))
        return false;
    kernel_ = set;
    return true;
}

void GateEngine::processReplacing(const float* inL, const float* inR, float* outL, float* outR, int32_t frames) {
    run(inL, inR, outL, outR, frames, nullptr, nullptr, false);
}

void GateEngine::process(const float* inL, const float* inR, float* outL, float* outR, int32_t frames) {
    run(inL, inR, outL, outR, frames, nullptr, nullptr, true);
}

void GateEngine::processReplacing(const float* inL, const float* inR, float* outL, float* outR, int32_t frames,
                                  const float* keyL, const float* keyR) {
    run(inL, inR, outL, outR, frames, keyL, keyR, false);
}

void GateEngine::process(const float* inL, const float* inR, float* outL, float* outR, int32_t frames,
                         const float* keyL, const float* keyR) {
    run(inL, inR, outL, outR, frames, keyL, keyR, true);
}

void GateEngine::run(const float* inL, const float* inR, float* outL, float* outR, int32_t frames,
                     const float* keyL, const float* keyR, bool accumulate) {
    if (frames < 1 || inL == nullptr || inR == nullptr || outL == nullptr || outR == nullptr)
        return;
    if (refresh())
        startPending_ = false;
    // The key in the kernels' form: Right as (R + R) * 0.5, which is R
    // exactly; a mono key as (m + m) * 0.5, m exactly.
    KernelKey key{keySource_ != KeySource::Left, keySource_ == KeySource::Side, inL, inR};
    if (keySource_ == KeySource::Right)
        key.a = inR;
    if (keySource_ == KeySource::External) {
        key.a = keyL != nullptr ? keyL : keyR;
        key.b = keyR != nullptr ? keyR : keyL;
    }
    // Metering (see Meters in GateEngine.h): on while a second at the
    // design rate has not yet run since the reader's latest take.
    const uint32_t takes = meters_.takes();
    if (takes != takesSeen_) {
        takesSeen_ = takes;
        framesSinceTake_ = 0;
    }
    const bool metered = meterAlways_.load(std::memory_order_relaxed) ||
                         static_cast<double>(framesSinceTake_) < static_cast<double>(designRate_);
    const auto ran = static_cast<uint32_t>(frames);
    framesSinceTake_ = framesSinceTake_ > UINT32_MAX - ran ? UINT32_MAX : framesSinceTake_ + ran;
    if (metered)
        for (double& largest : state_.detectMax)
            largest = 0.0;
    // Kernel calls end where the stream's chunks end, so that a band that
    // overflowed starts again on the same frame whatever the block split,
    // and, while a glide is under way, where its next step falls.
    for (int32_t done = 0; done < frames;) {
        const int32_t room = kKernelChunk - chunkFrames_;
        int32_t n = frames - done < room ? frames - done : room;
        if (designGlide_.steps != 0 && designGlide_.left < n)
            n = designGlide_.left;
        if (boostGlide_.steps != 0 && boostGlide_.left < n)
            n = boostGlide_.left;
        KernelKey piece = key;
        if (key.a != nullptr) {
            piece.a += done;
            piece.b += done;
        }
        const ChunkKernel kernel = KernelFor(kernel_, n, metered);
        kernel(kc_, state_, *scratch_, inL + done, inR + done, piece, outL + done, outR + done, n, accumulate);
        done += n;
        chunkFrames_ += n;
        if (chunkFrames_ == kKernelChunk) {
            chunkFrames_ = 0;
            restartOverflowedBands();
        }
        if (gliding())
            advanceGlides(n);
    }
    publishInForce();
    if (metered) {
        double passed[kNumBands];
        for (int k = 0; k < kNumBands; ++k)
            passed[k] = PassedFraction(state_.bandGain[k], state_.envelope[k]);
        meters_.publish(state_.detectMax, passed);
    }
}

}  // namespace gate
