// The sixteen-band gate: parameter block, derived values and the per-sample
// step, for one stereo instance.
//
// Threads. Parameter writers (the host's user-interface or automation
// thread, the editor) only store values into the lock-free parameter block.
// The audio thread takes up the latest complete parameter set at the start
// of a block and derives everything it reads from that one set, so it never
// mixes values of different updates and never waits: if a writer is busy at
// that moment, the block runs on the previous set and the next block takes
// the new one. Nothing on the audio path allocates, locks or calls out.
//
// Changes. A new Start, Finish or Q redesigns the sixteen band filters; a
// new Boost scales the band sum. In AtOnce mode (the VST 2.x edition's
// designed behaviour) a redesign clears the filter histories and every
// value applies from the block that takes it up. In Glide mode the designs
// and the boost glide to the new values over about 5 ms while the filters
// ring on, so that automation does not click. A new design rate applies
// at once in both modes.
//
// Meters. After every block the audio thread publishes, for each band,
// the largest detector value of the block (the value compared with the
// band's threshold: above it the gate opens) and the band's gain ratio at
// the block's end, into BandMeters, which an editor reads from any thread
// without a lock and without the host (see there). Only while someone
// reads them: raising the maxima costs the kernels a few per cent every
// frame, and most of the time no editor is open. Metering is on while
// less than a second at the design rate has run since the audio thread
// last saw a new take, so an editor that stops reading stops the metering
// a second later; its next take turns it on again, and that take's levels
// come from the blocks since (the metered ones: blocks run while it was
// off leave no levels). A new engine starts with it off; it turns on at
// the first block after a reader's first take. Off, the blocks run the
// unmetered kernels and publish nothing. Tools that take once at the end
// set it on for good (setMetering).
//
// The key. By default the bands of the left input key the gates (the VST
// 2.x edition's designed behaviour). Any other key source runs through
// sixteen key bands of its own, with the audio bands' coefficients (also
// while they glide) and histories of their own, which the same events
// clear as the audio bands' (a redesign in AtOnce mode, reset(), a band's
// restart after an overflow), and also a change of the key source, so
// that a key never starts from another signal's ringing. The key bands
// drive the envelope followers; the audio bands are gated as before.
#pragma once

#include <atomic>
#include <cstdint>

#include "GateKernel.h"
#include "GateMath.h"

namespace gate {

// What keys the gates (see above). The key sample is formed in double
// before it enters as an input sample does: Right R, Mid (L + R) * 0.5,
// Side (L - R) * 0.5, External (kL + kR) * 0.5.
enum class KeySource { Left = 0, Right = 1, Mid = 2, Side = 3, External = 4 };
constexpr int kNumKeySources = 5;

// The 31 parameter values, the design sample rate and the key source,
// written by any number of threads, read whole by the audio thread without
// waiting.
class ParameterBlock {
public:
    static constexpr int kRateSlot = kNumParams;
    // The key source's number (KeySource), held as a float like the rest.
    static constexpr int kKeySlot = kNumParams + 1;
    static constexpr int kSlots = kNumParams + 2;

    ParameterBlock();

    // Thread-safe. `slot` 0..30 are parameters, kRateSlot the design rate,
    // kKeySlot the key source.
    // A new value of Start, Finish, Q or the rate also counts a redesign.
    void store(int slot, float value);
    float load(int slot) const { return slots_[slot].load(std::memory_order_relaxed); }

    // Copies every slot as they stood after one moment's completed stores.
    // Answers false, leaving `out` unspecified, when a store was under way;
    // never waits. `stamp` identifies the set (it changes with every store).
    // `designSerial` counts the changes of what the filters are designed
    // from; each one means a redesign, even if a later one undid it.
    bool trySnapshot(float out[kSlots], uint32_t& designSerial, uint64_t& stamp) const;
    uint64_t stamp() const { return state_.load(std::memory_order_acquire); }
    // Moves the stamp on without a store, so that readers take the set up
    // again (and see whatever was written before this call).
    void touch() { state_.fetch_add(kPendingMask + 1, std::memory_order_release); }

private:
    // Low 16 bits: stores under way; the rest counts completed stores.
    static constexpr uint64_t kPendingMask = 0xFFFF;
    std::atomic<uint64_t> state_{0};
    std::atomic<float> slots_[kSlots];
    std::atomic<uint32_t> designSerial_{0};
};

// What a meter reader takes (BandMeters::take).
struct BandMeterReading {
    // Each band's largest detector value over the blocks since the
    // previous take (0 for none), as a ratio to full scale: the band's gate
    // opens where it exceeds the band's threshold.
    float level[kNumBands];
    // The fraction of each band that reaches the output at the end of the
    // latest block: 0 closed (cut), 1 open, between them while the gate
    // moves (PassedFraction).
    float gain[kNumBands];
    // Blocks published since the previous take: 0 means no audio ran in
    // between, and `level` repeats what the previous take saw.
    uint32_t blocks;
};

// The band meters of one engine. One writer, the audio thread (publish,
// once a block); any one reader thread at a time takes (editor, tools).
//
// A reader polls some 30 times a second, far less often than blocks come,
// so a level is the largest since the reader's previous take, not the
// latest block's: the audio thread holds a running maximum of its own and
// starts it afresh at a block only when the reader has acknowledged the
// publication that maximum was last published in. Memory order: the
// audio thread stores the values (relaxed), then the publication count
// (release). The reader loads the count (acquire), so it sees at least
// that publication's values, loads the values (relaxed), then stores the
// count it saw as acknowledged (release). The audio thread loads the
// acknowledgement (acquire) before it publishes: if it names the latest
// publication, the reader's loads happened before this publication's
// stores, so it read exactly that publication's maxima, and nothing is
// lost by starting afresh. If it names an older one (the reader's loads
// may mix two publications), the maximum keeps growing, and the next take
// sees every block again. A level is never lost; at worst a take repeats a
// block the previous take also covered. All shared values are atomics:
// no data race, no waiting on either side.
//
// Publication happens only while a reader takes (see GateEngine's Meters):
// an editor that stops reading stops the metering a second later; its next
// take turns it on again, and that take's levels come from the blocks
// since. The audio thread tells a new take by the count of takes, which
// only take() moves (the acknowledgement alone would not move when no
// block was published in between, as before the first metered block).
class BandMeters {
public:
    BandMeters();
    // Any one reader thread at a time.
    void take(BandMeterReading& out);
    // Audio thread: takes so far (acquire), to see whether a reader reads.
    uint32_t takes() const { return takes_.load(std::memory_order_acquire); }
    // Audio thread, after each block: the block's largest detector values
    // and the fractions passed at its end, per band.
    void publish(const double blockMax[kNumBands], const double passed[kNumBands]);

private:
    std::atomic<float> level_[kNumBands];
    std::atomic<float> gain_[kNumBands];
    std::atomic<uint32_t> published_{0};     // publications so far
    std::atomic<uint32_t> acknowledged_{0};  // the count the reader's latest take saw
    std::atomic<uint32_t> takes_{0};         // takes so far (the reader's alone)
    // Audio thread only: the running maxima.
    float held_[kNumBands] = {};
};

// How a new Start, Finish, Q or Boost takes effect (see above).
enum class ChangeMode { AtOnce, Glide };

class GateEngine {
public:
    GateEngine();

    // Set before processing; by default AtOnce (the VST 2.x behaviour).
    void setChangeMode(ChangeMode mode) { mode_.store(mode, std::memory_order_relaxed); }
    ChangeMode changeMode() const { return mode_.load(std::memory_order_relaxed); }
    // Thread-safe, lock-free: the next parameter set the audio thread takes
    // up applies at once, as in AtOnce mode, even in Glide mode (for a
    // program change or a state load: call it after storing the values,
    // and a glide already started towards some of them ends at once too).
    // A new engine and reset() do the same for every set taken up before
    // the first frame processed after them: a host sets its initial values
    // at the start of the first block.
    void applyNextAtOnce();

    // Frames after which the output of a silenced input stays below
    // -96 dBFS, for the latest stored parameters and design rate
    // (RingOutFrames, some half a millisecond). In Glide mode, while the
    // values in force at the audio thread's last block differ from the
    // latest stored ones (a glide under way, or one the next block starts),
    // it covers both ends of the glide at the larger boost, and the glide's
    // length on top. Thread-safe; not for the audio thread.
    uint32_t tailFrames() const;

    // Parameter writers: thread-safe, lock-free, allocation-free. The value
    // is stored as given (callers clamp).
    void setParameter(int index, float value) { params_.store(index, value); }
    float getParameter(int index) const { return params_.load(index); }

    // The sample rate the filters are designed for. A rate outside
    // kMinDesignRate .. kMaxDesignRate (or NaN) is ignored: the filters
    // keep the previous one.
    void setDesignRate(float rate);
    float designRate() const { return params_.load(ParameterBlock::kRateSlot); }

    // What keys the gates; by default Left. Thread-safe and lock-free like
    // setParameter, and taken up with the parameter set (never mixed with
    // another update's values). A value outside the list is ignored.
    void setKeySource(KeySource source);
    KeySource keySource() const;

    // Audio thread. Replace or add `frames` frames of two channels. Inputs
    // and outputs may be the same buffers. `keyL` and `keyR` are the key
    // input, read for KeySource::External only: both null, no key (the key
    // is silence and the gates close); a mono key passes the same pointer
    // twice (or one of them null). The overloads without them mean no key.
    void processReplacing(const float* inL, const float* inR, float* outL, float* outR, int32_t frames);
    void process(const float* inL, const float* inR, float* outL, float* outR, int32_t frames);
    void processReplacing(const float* inL, const float* inR, float* outL, float* outR, int32_t frames,
                          const float* keyL, const float* keyR);
    void process(const float* inL, const float* inR, float* outL, float* outR, int32_t frames, const float* keyL,
                 const float* keyR);

    // Back to silence: filter histories, envelope followers and gate levels
    // as in a new engine, and a new stream starts (see streamChunkFrames);
    // parameters, design rate and coefficients stay. Call only while no
    // block is being processed (an LV2 host's activate). Allocation-free.
    // A glide under way ends on its target (as at a new engine, the next
    // set taken up applies at once).
    void reset() {
        state_ = ProcessState{};
        chunkFrames_ = 0;
        startPending_ = true;
        seenStamp_ = ~uint64_t{0};
    }

    // Audio thread: takes up the latest parameter set (done at the start of
    // every block). Public so that tests can look at the derived values.
    // Answers false when a writer was busy and the previous set stays.
    bool refresh();
    // Audio thread: whether a glide (Glide mode) is under way.
    bool gliding() const { return designGlide_.steps != 0 || boostGlide_.steps != 0; }
    const DerivedValues& derived() const { return derived_; }
    const ProcessState& state() const { return state_; }

    // The stream is cut into chunks of kKernelChunk frames, counted from
    // its start, and after each chunk a band driven past the float range
    // starts again from silence (restartOverflowedBands). The stream
    // starts when the engine is built and again at reset(); nothing else
    // starts one: not a block, a parameter or program change, a redesign
    // of the filters or a host's suspend and resume. So the restarts fall
    // on the same frames however the host splits the stream into blocks,
    // and every split gives the same samples. Answers how many frames of
    // the current chunk are done (0 .. kKernelChunk - 1).
    int32_t streamChunkFrames() const { return chunkFrames_; }

    // Chooses the kernel (by default the widest the processor runs). All
    // compute the same samples; tests and benchmarks run each. Answers
    // false, and keeps the current one, for a kernel this processor lacks.
    bool useKernel(KernelSet set);
    KernelSet kernel() const { return kernel_; }

    // The band meters (see BandMeters): read them from any one thread.
    BandMeters& meters() { return meters_; }
    // `always`: meter every block, whether anyone takes or not, for tools
    // and tests that take once after many blocks; false (the default):
    // only while a reader takes (see Meters above). Any thread; the next
    // block takes it up.
    void setMetering(bool always) { meterAlways_.store(always, std::memory_order_relaxed); }

private:
    // A glide moves from the values in force to a new set's values in
    // `steps` steps, the first taken at once, one every step's frames;
    // the last one puts the target's own values in force. steps == 0: none
    // under way.
    struct DesignGlide {
        float from[3], to[3];  // Start, Finish, Q
        int32_t step, steps, left;  // left: frames to the next step
    };
    struct BoostGlide {
        float from, to;  // boost gains
        int32_t step, steps, left;
    };

    void run(const float* inL, const float* inR, float* outL, float* outR, int32_t frames, const float* keyL,
             const float* keyR, bool accumulate);
    void clearHistories();
    void clearKeyHistories();
    void loadCoefficients();
    void designFrom(const float values[3]);
    void startGlides(const float set[]);
    void stepDesign();
    void stepBoost();
    void advanceGlides(int32_t frames);
    void restartOverflowedBands();

    void publishInForce();

    ParameterBlock params_;
    std::atomic<ChangeMode> mode_{ChangeMode::AtOnce};
    std::atomic<bool> atOnceRequest_{false};
    // What the audio thread had in force at the end of its last call, for
    // tailFrames: Start, Finish, Q and the boost gain (NaN before the
    // first block). Each is read on its own; tailFrames runs while the
    // host does not process, when they stand still.
    std::atomic<float> inForce_[4];
    std::atomic<bool> meterAlways_{false};

    // Audio thread only.
    uint64_t seenStamp_ = ~uint64_t{0};
    bool designed_ = false;
    uint32_t designSerial_ = 0;  // of the last design
    bool startPending_ = true;   // no frame processed since construction or reset()
    float designRate_ = 0.0f;    // what the designs in force come from
    float designValues_[kNumParams] = {};  // Start, Finish and Q set, the rest 0
    KeySource keySource_ = KeySource::Left;  // in force
    DesignGlide designGlide_{};
    BoostGlide boostGlide_{};
    DerivedValues derived_{};
    KernelCoefficients kc_{};
    ProcessState state_{};
    int32_t chunkFrames_ = 0;  // frames done of the stream's current chunk
    // The kernels' scratch, on a 64-byte boundary inside its storage.
    unsigned char scratchStorage_[sizeof(KernelScratch) + 64];
    KernelScratch* scratch_;
    KernelSet kernel_ = WidestKernel();
    BandMeters meters_;
    // The meters' takes the audio thread last saw, and the frames run
    // since they changed, saturating (at the top for a new engine: off).
    uint32_t takesSeen_ = 0;
    uint32_t framesSinceTake_ = UINT32_MAX;
};

}  // namespace gate
