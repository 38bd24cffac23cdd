#include "edition/Processor.h"

#include <algorithm>
#include <cstring>

#include "GateMath.h"

namespace edition {

namespace {

// The parameter changes of one block, taken in sample order across their
// lists. Fixed storage: a VST3 host sends at most one list per parameter.
class ChangeCursor {
public:
    explicit ChangeCursor(BlockChanges* changes) : changes_(changes) {
        if (changes == nullptr)
            return;
        const int32_t count = changes->listCount();
        for (int32_t i = 0; i < count && used_ < kMaxLists; ++i) {
            Entry& entry = entries_[used_];
            entry.list = i;
            entry.count = changes->pointCount(i);
            entry.next = 0;
            if (entry.count > 0 && load(entry))
                ++used_;
        }
    }

    // Hands every change at or before `frame` to `apply`, in list order.
    template <typename Apply>
    void applyUpTo(int32_t frame, Apply&& apply) {
        for (int i = 0; i < used_; ++i) {
            Entry& entry = entries_[i];
            while (entry.next < entry.count && entry.offset <= frame) {
                apply(entry.id, entry.value);
                ++entry.next;
                if (!load(entry))
                    entry.next = entry.count;
            }
        }
    }

    // The first change after `frame`, or `end` if none comes before it.
    int32_t nextAfter(int32_t frame, int32_t end) const {
        int32_t next = end;
        for (int i = 0; i < used_; ++i) {
            const Entry& entry = entries_[i];
            if (entry.next < entry.count && entry.offset > frame && entry.offset < next)
                next = entry.offset;
        }
        return next;
    }

private:
    static constexpr int kMaxLists = 64;
    struct Entry {
        int32_t list;
        uint32_t id;
        int32_t count, next, offset;
        double value;
    };

    // Reads the list's point `next`, or the first after it of a known
    // parameter; a point the host cannot give ends the list.
    bool load(Entry& entry) {
        for (; entry.next < entry.count; ++entry.next) {
            int32_t offset = 0;
            uint32_t id = 0;
            double value = 0.0;
            if (!changes_->point(entry.list, entry.next, offset, id, value))
                return false;
            if (id >= static_cast<uint32_t>(kNumParameters))
                continue;
            entry.offset = offset < 0 ? 0 : offset;
            entry.id = id;
            entry.value = value;
            return true;
        }
        return false;
    }

    BlockChanges* changes_;
    Entry entries_[kMaxLists];
    int used_ = 0;
};

uint32_t SilentChannels(float* const* channels, int32_t frames) {
    uint32_t flags = 0;
    for (int c = 0; c < 2; ++c) {
        bool silent = true;
        for (int32_t i = 0; i < frames && silent; ++i)
            silent = channels[c][i] == 0.0f;
        if (silent)
            flags |= 1u << c;
    }
    return flags;
}

template <typename Sample>
bool Stereo(Sample* const* channels) {
    return channels != nullptr && channels[0] != nullptr && channels[1] != nullptr;
}

}  // namespace

Processor::Processor() : live_(InitialState()), snapshot_(live_) {
    // The engine starts on "BigBeat", the values of the VST 2.x library
    // when it is new, and its 31 slots hold what that library's do: the
    // factory values of the program (0 for the slots without a sound).
    for (int i = 0; i < gate::kNumParams; ++i)
        engine_.setParameter(i, params::FactoryValue(params::kInitialProgram, i));
    // Automation of Start, Finish, Q and Boost glides rather than clearing
    // the filters at every point. A new instance, an activation, a program
    // and a loaded state still start at once (see applyChange, loadState).
    engine_.setChangeMode(gate::ChangeMode::Glide);
}

// The host's set-up call, which some hosts make while their audio thread
// still runs a block: the audio thread starts again from silence at its
// next block, so that nothing it is using changes under it.
void Processor::activate() { restartPending_.store(true, std::memory_order_release); }

void Processor::restartIfActivated() {
    if (!restartPending_.exchange(false, std::memory_order_acquire))
        return;
    engine_.reset();
    bypassMix_ = bypass_.load(std::memory_order_relaxed) ? 1.0 : 0.0;
}

bool Processor::setSampleRate(double rate) {
    if (!(rate >= gate::kMinDesignRate && rate <= gate::kMaxDesignRate))
        return false;
    engine_.setDesignRate(static_cast<float>(rate));
    sampleRate_.store(rate, std::memory_order_relaxed);
    return true;
}

uint32_t Processor::tailFrames() const { return engine_.tailFrames(); }

// The processor's values; the engine takes them up at its next block, so a
// state may arrive while audio runs. The audio thread's own copy follows
// from the snapshot at its next block.
void Processor::loadState(const State& state) {
    for (int i = 0; i < kNumSound; ++i)
        engine_.setParameter(i, state.values[i]);
    engine_.setKeySource(static_cast<gate::KeySource>(state.key));
    engine_.applyNextAtOnce();
    bypass_.store(state.bypass, std::memory_order_relaxed);
    snapshot_.load(state);
}

// A state loaded since the last block: the audio thread's copy starts
// from it. loadState gave the engine its values; giving them again puts
// them after any change this thread applied in the meantime.
void Processor::takeLoadedState() {
    if (snapshot_.generation() == liveGeneration_)
        return;
    State loaded{};
    uint32_t generation = 0;
    if (!snapshot_.tryRead(loaded, generation))
        return;  // a load under way: the next block takes it up
    live_ = loaded;
    liveGeneration_ = generation;
    unpublished_ = false;
    for (int i = 0; i < kNumSound; ++i)
        setSound(i, live_.values[i]);
    setKey(live_.key);
}

void Processor::setSound(int index, float value) {
    live_.values[index] = value;
    // An unchanged Start, Finish or Q must not redesign the filters.
    if (value == engine_.getParameter(index))
        return;
    engine_.setParameter(index, value);
    // The ring-out reads the design, the release, the levels and Boost.
    tailStale_ = true;
}

// The engine takes the choice up at the start of its next call, which
// process makes at the change's frame.
void Processor::setKey(int key) {
    live_.key = key;
    if (static_cast<gate::KeySource>(key) != engine_.keySource())
        engine_.setKeySource(static_cast<gate::KeySource>(key));
}

void Processor::applyChange(uint32_t id, double value) {
    if (id < static_cast<uint32_t>(kNumSound)) {
        setSound(static_cast<int>(id), gate::ClampParameter(static_cast<float>(value)));
    } else if (id == kProgramId) {
        // Choosing the program that is already current changes nothing.
        const int program = ProgramFromNormalized(value);
        if (program == live_.program)
            return;
        live_.program = program;
        for (int i = 0; i < kNumSound; ++i)
            setSound(i, params::FactoryValue(program, i));
        engine_.applyNextAtOnce();  // a program is a new sound, not a move
        programTaken_ = true;
    } else if (id == kBypassId) {
        live_.bypass = value >= 0.5;
        bypass_.store(live_.bypass, std::memory_order_relaxed);
    } else if (id == kKeyId) {
        setKey(KeyFromNormalized(value));
    } else {
        return;
    }
    unpublished_ = true;
}

// What the block applied, for savers; tried again at the next block when a
// load or another write is under way.
void Processor::publish() {
    if (unpublished_ && snapshot_.tryPublish(live_, liveGeneration_))
        unpublished_ = false;
}

// The ring-out of the values the block runs on, worked out again only
// after a change of them.
uint32_t Processor::ringOut() {
    if (tailStale_) {
        float set[gate::kNumParams] = {};
        for (int i = 0; i < kNumSound; ++i)
            set[i] = live_.values[i];
        tailFrames_ = gate::RingOutFrames(set, engine_.designRate());
        tailStale_ = false;
    }
    return tailFrames_;
}

// A host may stop calling process while the input is silent and call again
// later: the bands must not then ring on from where they stopped. Once the
// input has been silent for the whole ring-out, they are cleared, and give
// exact silence. A glide under way is never cut (that would click): the
// silence counts again from the block in which it ends, when the values the
// ring-out is worked out from are the ones in force.
void Processor::clearAfterSilence() {
    if (bandsCleared_ || silentFrames_ == 0)
        return;
    if (engine_.gliding()) {
        silentFrames_ = 0;
        return;
    }
    if (silentFrames_ >= ringOut()) {
        engine_.reset();
        bandsCleared_ = true;
    }
}

// Before the block is rendered: the output may be the input's buffer.
void Processor::countSilence(const float* const* in, int32_t frames, bool inputSilent) {
    int32_t silent = frames;
    if (!inputSilent) {
        silent = 0;
        while (silent < frames && in[0][frames - 1 - silent] == 0.0f && in[1][frames - 1 - silent] == 0.0f)
            ++silent;
    }
    if (silent < frames) {
        silentFrames_ = static_cast<uint32_t>(silent);
        bandsCleared_ = false;
    } else {
        const uint32_t n = static_cast<uint32_t>(frames);
        silentFrames_ = silentFrames_ > UINT32_MAX - n ? UINT32_MAX : silentFrames_ + n;
    }
}

// A key the host connects but feeds zeros to closes the gates as a
// missing one does: its silent frames are counted as the input's.
void Processor::countKeySilence(const float* const* key, int32_t frames) {
    int32_t silent = 0;
    while (silent < frames && key[0][frames - 1 - silent] == 0.0f && key[1][frames - 1 - silent] == 0.0f)
        ++silent;
    const uint32_t n = static_cast<uint32_t>(silent);
    if (silent < frames)
        keySilentFrames_ = n;
    else
        keySilentFrames_ = keySilentFrames_ > UINT32_MAX - n ? UINT32_MAX : keySilentFrames_ + n;
}

Processor::Result Processor::process(const float* const* in, float* const* out, int32_t frames, bool inputSilent,
                                     BlockChanges* changes, const float* const* key) {
    restartIfActivated();
    takeLoadedState();
    ChangeCursor cursor(changes);
    auto apply = [this](uint32_t id, double value) { applyChange(id, value); };
    Result result{false, 0, false, false};
    const bool haveKey = Stereo(key);

    const bool haveOutput = Stereo(out);
    if (frames <= 0 || !haveOutput || !Stereo(in)) {
        // A parameter flush, or nothing to read: the changes still count,
        // and an output without an input is silence.
        cursor.applyUpTo(INT32_MAX, apply);
        if (frames > 0 && haveOutput) {
            for (int c = 0; c < 2; ++c)
                std::memset(out[c], 0, sizeof(float) * static_cast<size_t>(frames));
            result.silentChannels = 3;
        }
    } else {
        clearAfterSilence();
        countSilence(in, frames, inputSilent);
        if (haveKey)
            countKeySilence(key, frames);
        // Each stretch between two change points runs on the values in
        // force there: the engine takes up its parameter set at the start
        // of a call.
        for (int32_t at = 0; at < frames;) {
            cursor.applyUpTo(at, apply);
            const int32_t end = cursor.nextAfter(at, frames);
            render(in[0] + at, in[1] + at, out[0] + at, out[1] + at, end - at, haveKey ? key[0] + at : nullptr,
                   haveKey ? key[1] + at : nullptr);
            at = end;
        }
        cursor.applyUpTo(INT32_MAX, apply);  // points past the block's end
        result.rendered = true;
        result.silentChannels = SilentChannels(out, frames);
    }
    result.programChanged = programTaken_;
    programTaken_ = false;
    // A key silent for longer than the tail has gone as surely as one never
    // connected: the gates have closed, and the read-out says why.
    result.keyMissing = live_.key == static_cast<int>(gate::KeySource::External) &&
                        (!haveKey || (result.rendered && keySilentFrames_ > 0 && keySilentFrames_ > ringOut()));
    // A flush hands over no audio, and says nothing of the key the host
    // connects when it renders.
    if (result.rendered)
        keyMissing_.store(result.keyMissing, std::memory_order_relaxed);
    publish();
    return result;
}

bool Processor::takeActivity(float level[gate::kNumBands], float gain[gate::kNumBands]) {
    gate::BandMeterReading reading{};
    engine_.meters().take(reading);
    std::copy(reading.level, reading.level + gate::kNumBands, level);
    std::copy(reading.gain, reading.gain + gate::kNumBands, gain);
    return reading.blocks > 0;
}

void Processor::render(const float* inL, const float* inR, float* outL, float* outR, int32_t frames,
                       const float* keyL, const float* keyR) {
    const double target = bypass_.load(std::memory_order_relaxed) ? 1.0 : 0.0;
    if (bypassMix_ == 0.0 && target == 0.0) {
        engine_.processReplacing(inL, inR, outL, outR, frames, keyL, keyR);
        return;
    }
    // While bypassed or fading the engine runs on, so that switching back
    // fades into a gate that has followed the signal.
    for (int32_t done = 0; done < frames; done += kPiece) {
        const int32_t n = frames - done < kPiece ? frames - done : kPiece;
        renderBypassFade(inL + done, inR + done, outL + done, outR + done, n, keyL != nullptr ? keyL + done : nullptr,
                         keyR != nullptr ? keyR + done : nullptr, target);
    }
}

void Processor::renderBypassFade(const float* inL, const float* inR, float* outL, float* outR, int32_t frames,
                                 const float* keyL, const float* keyR, double target) {
    // The input first: the output may be the same buffer.
    std::memcpy(dryL_, inL, sizeof(float) * static_cast<size_t>(frames));
    std::memcpy(dryR_, inR, sizeof(float) * static_cast<size_t>(frames));
    engine_.processReplacing(inL, inR, outL, outR, frames, keyL, keyR);
    const double rate = sampleRate_.load(std::memory_order_relaxed);
    double fadeFrames = kBypassFadeSeconds * rate;
    if (!(fadeFrames >= 1.0))
        fadeFrames = 1.0;
    const double step = 1.0 / fadeFrames;
    for (int32_t i = 0; i < frames; ++i) {
        if (bypassMix_ < target)
            bypassMix_ = bypassMix_ + step >= target ? target : bypassMix_ + step;
        else if (bypassMix_ > target)
            bypassMix_ = bypassMix_ - step <= target ? target : bypassMix_ - step;
        if (bypassMix_ >= 1.0) {
            outL[i] = dryL_[i];
            outR[i] = dryR_[i];
        } else if (bypassMix_ > 0.0) {
            const double wet = 1.0 - bypassMix_;
            outL[i] = static_cast<float>(outL[i] * wet + dryL_[i] * bypassMix_);
            outR[i] = static_cast<float>(outR[i] * wet + dryR_[i] * bypassMix_);
        }
    }
}

}  // namespace edition
