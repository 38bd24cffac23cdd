// The audio side of the editions that have programs, bypass and
// sample-accurate parameter changes (VST3, CLAP), around the same gate
// engine as the other editions. A format's adapter hands it the host's
// buffers and the block's changes; nothing here knows a plug-in format.
//
// It owns the engine, the processor's program, the bypass fade, the Key
// choice and the StateSnapshot that savers read. Parameter changes reach it only through
// process, at their sample offsets: the block is split at each one, and
// each stretch runs on the values in force there. The engine glides on
// automation of Start, Finish, Q and Boost, but a new instance, an
// activation, a program and a loaded state start at once.
//
// Threads: process runs on the audio thread; activate, setSampleRate and
// tailFrames in the host's set-up calls while not processing; loadState
// and savedState on any thread (a state may arrive while audio runs).
#pragma once

#include <atomic>
#include <cstdint>

#include "GateEngine.h"
#include "edition/Parameters.h"
#include "edition/SavedState.h"
#include "edition/StateSnapshot.h"

namespace edition {

// The parameter changes of one block, as the host gives them: lists of
// points, each point a sample offset, a parameter ID and a normalised
// value. Within a list the points come in sample order; a list may hold
// one parameter's points (VST3's queues) or every parameter's (CLAP's
// sorted event list). Points of unknown IDs are passed over.
class BlockChanges {
public:
    virtual int32_t listCount() = 0;
    virtual int32_t pointCount(int32_t list) = 0;
    // False when the host cannot give the point: its list ends there.
    virtual bool point(int32_t list, int32_t index, int32_t& offset, uint32_t& id, double& value) = 0;

protected:
    ~BlockChanges() = default;
};

class Processor {
public:
    Processor();

    // What one call of process did.
    struct Result {
        // False for a parameter flush: no frames, or no input or output.
        bool rendered;
        // Bit c: output channel c is all zeros (also set for an output
        // written with silence because there was no input).
        uint32_t silentChannels;
        // A program change was applied: the 22 values changed behind the
        // host's back (soundValue has them), for hosts that follow the
        // processor's output changes.
        bool programChanged;
        // "External" keys the gates and no key came, or one silent for
        // longer than the tail: they close.
        bool keyMissing;
    };

    // Audio thread. `in` and `out` are two channels each, or null; the
    // output may be the input's buffers. `inputSilent`: the host says both
    // input channels are silent. `changes` may be null. `key`: the key
    // input's two channels (the same buffer twice for a mono key), or null
    // when the host gives none (no bus, or one it left inactive).
    Result process(const float* const* in, float* const* out, int32_t frames, bool inputSilent,
                   BlockChanges* changes, const float* const* key);
    // Audio thread: the value of sound parameter `index` (0 to 21) as the
    // engine was last given it.
    float soundValue(int index) const { return live_.values[index]; }
    // Any thread: whether the last block rendered keyed from a key that
    // was not there or had been silent for longer than the tail, for the
    // editor's read-out.
    bool keyMissing() const { return keyMissing_.load(std::memory_order_relaxed); }
    // One thread at a time (the editor's): each band's largest detector
    // value since the previous take and its gain ratio (gate::BandMeters);
    // false when no block ran in between.
    bool takeActivity(float level[gate::kNumBands], float gain[gate::kNumBands]);
    // Any thread: the rate the bands are designed for.
    double sampleRate() const { return sampleRate_.load(std::memory_order_relaxed); }

    // Every activation starts from silence, as a new instance does.
    void activate();
    // The band design takes rates from 8 to 768 kHz; false for any other,
    // and the engine keeps the rate it had (a later block still runs).
    bool setSampleRate(double rate);
    // How long the bands ring once the input falls silent, at the current
    // settings and rate; while Start, Finish, Q or Boost glide (or a flush
    // has set one gliding), at the louder end and for the glide's length
    // on top.
    uint32_t tailFrames() const;

    // A state from outside: the engine takes it up at its next block.
    void loadState(const State& state);
    // What the processor runs, whole: never two programs' values mixed.
    State savedState() const { return snapshot_.read(); }

private:
    void restartIfActivated();
    void takeLoadedState();
    void applyChange(uint32_t id, double value);
    void setSound(int index, float value);
    void publish();
    uint32_t ringOut();
    void clearAfterSilence();
    void countSilence(const float* const* in, int32_t frames, bool inputSilent);
    void countKeySilence(const float* const* key, int32_t frames);
    void setKey(int key);
    void render(const float* inL, const float* inR, float* outL, float* outR, int32_t frames, const float* keyL,
                const float* keyR);
    void renderBypassFade(const float* inL, const float* inR, float* outL, float* outR, int32_t frames,
                          const float* keyL, const float* keyR, double target);

    gate::GateEngine engine_;
    State live_{};  // audio thread: what the engine runs, as the state saves it
    uint32_t liveGeneration_ = 0;  // the snapshot's loads that live_ has taken up
    bool unpublished_ = false;  // live_ changed since it was last published
    bool programTaken_ = false;  // a program change was applied in this block
    StateSnapshot snapshot_;
    std::atomic<double> sampleRate_{44100.0};
    std::atomic<bool> bypass_{false};  // the last Bypass value received (or restored)
    std::atomic<bool> keyMissing_{false};
    std::atomic<bool> restartPending_{true};  // set by activate, taken up by process
    // Consecutive input frames the host reported silent or that were zero
    // (not counted while a glide moves), the ring-out of the values in
    // live_ (stale after a change of them), and whether the bands were
    // cleared since the input was last heard.
    uint32_t silentFrames_ = 0;
    uint32_t tailFrames_ = 0;
    bool tailStale_ = true;
    bool bandsCleared_ = false;
    uint32_t keySilentFrames_ = 0;  // consecutive all-zero frames of the key handed over
    double bypassMix_ = 0.0;  // 0: the gate's output, 1: the input
    static constexpr int kPiece = 64;  // frames of dry signal kept while fading
    float dryL_[kPiece] = {}, dryR_[kPiece] = {};
};

}  // namespace edition
