// The LV2 edition's DSP: the gate engine behind an LV2 descriptor. It
// takes control values as the VST 2.x setParameter does (clamped to 0..1,
// NaN as 0) and designs for the host's rate, so that the two editions
// compute the same samples for the same values. Unlike a VST 2.x host, an
// LV2 host can be refused: a rate the band design does not handle fails
// the instantiation, and the host says so. Also unlike the VST 2.x
// edition, a new Start, Finish, Q or Boost glides over about 5 ms instead
// of restarting the filters, so that a host may automate every control
// without clicks; the values at activation apply at once.
//
// Two plug-ins share this code (Lv2Ports.h): the plain one, whose "Key"
// control chooses among the input's own channels, and the side-chain one,
// whose "External" hears the key ports, mono-summed. A key port that the
// host leaves unconnected is silence (the gates close), which key_missing
// reports; so does a key that has been all zeros for longer than the
// ring-out, since hosts connect the port even when nothing feeds it.
#include <lv2/core/lv2.h>

#include <cstdint>
#include <new>

#include "FloatingPointGuard.h"
#include "GateEngine.h"
#include "GateMath.h"
#include "Lv2Ports.h"
#include "PortableMath.h"

namespace {

using namespace lv2edition;

struct Instance {
    explicit Instance(const Variant& variant) : variant(variant) {}
    const Variant& variant;
    gate::GateEngine engine;
    const float* in[2] = {};
    float* out[2] = {};
    static constexpr float kKeyDefault = 0.0f;  // "Left"
    const float* key[2] = {};
    const float* keyChoice = &kKeyDefault;
    float* keyMissing = nullptr;
    // Frames since the key last had a sample other than zero, while
    // "External" is chosen (0 otherwise); stops counting at its top.
    uint64_t silentKeyFrames = 0;
    // The engine's tail for the controls in force, worked out (some half a
    // millisecond) only while the key is silent and a control has changed
    // since: not once a block.
    uint32_t tailFrames = 0;
    bool tailStale = true;
    // Each control reads the host's port, or its default while the host
    // has none connected: its lv2:default, the value of the program that a
    // new instance starts on ("BigBeat"), never 0 (Boost 0 mutes).
    float defaults[params::kNumActive] = {};
    const float* controls[params::kNumActive] = {};
    // The band meters' outputs (null while unconnected), and each band's
    // level as they show it: a peak held for kMeterHoldSeconds, then
    // falling at 20 dB a second, so that a host or UI that reads the port
    // a few times a second still sees every peak, whole.
    float* meterPorts[kNumMeterPorts] = {};
    float heldLevel[kNumMeterBands] = {};
    uint32_t holdLeft[kNumMeterBands] = {};
};

constexpr double kMeterHoldSeconds = 0.1;

const Variant& VariantOf(const LV2_Descriptor* descriptor);

LV2_Handle instantiate(const LV2_Descriptor* descriptor, double rate, const char*, const LV2_Feature* const*) {
    // Not a number fails the test too. Within the range the float the
    // engine takes is within it as well (its ends are floats).
    if (!(rate >= gate::kMinDesignRate && rate <= gate::kMaxDesignRate))
        return nullptr;
    auto* self = new (std::nothrow) Instance(VariantOf(descriptor));
    if (self == nullptr)
        return nullptr;
    self->engine.setDesignRate(static_cast<float>(rate));
    self->engine.setChangeMode(gate::ChangeMode::Glide);
    for (int i = 0; i < params::kNumActive; ++i) {
        self->defaults[i] = params::FactoryValue(params::kInitialProgram, i);
        self->controls[i] = &self->defaults[i];
    }
    return self;
}

void connect_port(LV2_Handle handle, uint32_t port, void* data) {
    auto* self = static_cast<Instance*>(handle);
    if (port >= self->variant.numPorts)
        return;  // not a port of this plug-in
    if (port >= self->variant.firstMeter) {
        self->meterPorts[port - self->variant.firstMeter] = static_cast<float*>(data);
        return;
    }
    switch (port) {
    case kInL: self->in[0] = static_cast<const float*>(data); return;
    case kInR: self->in[1] = static_cast<const float*>(data); return;
    case kOutL: self->out[0] = static_cast<float*>(data); return;
    case kOutR: self->out[1] = static_cast<float*>(data); return;
    case kKeyL: self->key[0] = static_cast<const float*>(data); return;
    case kKeyR: self->key[1] = static_cast<const float*>(data); return;
    case kKey: self->keyChoice = data != nullptr ? static_cast<const float*>(data) : &Instance::kKeyDefault; return;
    case kKeyMissing: self->keyMissing = static_cast<float*>(data); return;
    default:
        if (port >= kFirstControl && port < kEndControls) {
            const uint32_t i = port - kFirstControl;
            self->controls[i] = data != nullptr ? static_cast<const float*>(data) : &self->defaults[i];
        }
        return;
    }
}

// Every activation starts from silence, whatever ran before, and with the
// controls' values in force at once.
void activate(LV2_Handle handle) { static_cast<Instance*>(handle)->engine.reset(); }

// The count of silent key frames after a block of `frames`: the frames
// after its last sample other than zero (either side), or, if it has none,
// `before` plus the block. Stops at its top rather than wrapping.
uint64_t SilentFramesAfter(uint64_t before, const float* keyL, const float* keyR, uint32_t frames) {
    for (uint32_t n = frames; n > 0; --n)
        if (keyL[n - 1] != 0.0f || keyR[n - 1] != 0.0f)
            return frames - n;
    return before > UINT64_MAX - frames ? UINT64_MAX : before + frames;
}

// After each run: the engine's meters, held and falling as the ports show
// them (see Instance). Allocation-free.
void ShowMeters(Instance& self, uint32_t frames) {
    gate::BandMeterReading reading{};
    self.engine.meters().take(reading);
    const double rate = self.engine.designRate();
    const auto hold = static_cast<uint32_t>(kMeterHoldSeconds * rate);
    // 20 dB a second: a factor of 10 to the -(frames / rate), by the
    // engine's own exp (the binary needs no maths library).
    const auto fall = static_cast<float>(gate::Exp(-2.302585092994046 * static_cast<double>(frames) / rate));
    for (uint32_t band = 0; band < kNumMeterBands; ++band) {
        if (reading.level[band] >= self.heldLevel[band]) {
            self.heldLevel[band] = reading.level[band];
            self.holdLeft[band] = hold;
        } else if (self.holdLeft[band] > frames) {
            self.holdLeft[band] -= frames;
        } else {
            self.holdLeft[band] = 0;
            const float fallen = self.heldLevel[band] * fall;
            self.heldLevel[band] = fallen > reading.level[band] ? fallen : reading.level[band];
        }
        if (float* level = self.meterPorts[band])
            *level = self.heldLevel[band];
        if (float* gain = self.meterPorts[kNumMeterBands + band])
            *gain = reading.gain[band];
    }
}

// Audio thread: allocation-free, lock-free, no host calls.
void run(LV2_Handle handle, uint32_t frames) {
    auto* self = static_cast<Instance*>(handle);
    gate::GateEngine& engine = self->engine;
    // Only a changed value is stored: an unchanged Start, Finish, Q or
    // Boost then starts no glide, and an unchanged block needs no new
    // parameter set at all.
    for (int i = 0; i < params::kNumActive; ++i) {
        const float value = gate::ClampParameter(*self->controls[i]);
        if (value != engine.getParameter(i)) {
            engine.setParameter(i, value);
            self->tailStale = true;
        }
    }
    const auto source = static_cast<gate::KeySource>(KeyChoice(*self->keyChoice, self->variant.numKeyChoices));
    if (source != engine.keySource())
        engine.setKeySource(source);
    // A host that connects one key port only has a mono key: it is heard
    // on both sides, as (m + m) / 2 is m exactly.
    const float* keyL = self->key[0] != nullptr ? self->key[0] : self->key[1];
    const float* keyR = self->key[1] != nullptr ? self->key[1] : self->key[0];
    const bool keyed = keyL != nullptr;
    const bool external = source == gate::KeySource::External;
    if (external && keyed)
        self->silentKeyFrames = SilentFramesAfter(self->silentKeyFrames, keyL, keyR, frames);
    else
        self->silentKeyFrames = 0;
    if (self->keyMissing != nullptr) {
        // Past the ring-out a silent key has closed every gate: to the
        // user it is no key at all.
        if (self->silentKeyFrames > 0 && self->tailStale) {
            self->tailFrames = engine.tailFrames();
            self->tailStale = false;
        }
        const bool missing = external && (!keyed || self->silentKeyFrames > self->tailFrames);
        *self->keyMissing = missing ? 1.0f : 0.0f;
    }
    if (self->in[0] == nullptr || self->in[1] == nullptr || self->out[0] == nullptr || self->out[1] == nullptr)
        return;
    // The engine counts frames in an int32; a longer block runs in pieces.
    constexpr uint32_t kMaxPiece = 1u << 30;
    for (uint32_t done = 0; done < frames;) {
        const uint32_t n = frames - done < kMaxPiece ? frames - done : kMaxPiece;
        engine.processReplacing(self->in[0] + done, self->in[1] + done, self->out[0] + done, self->out[1] + done,
                                static_cast<int32_t>(n), keyed ? keyL + done : nullptr,
                                keyed ? keyR + done : nullptr);
        done += n;
    }
    if (frames > 0)
        ShowMeters(*self, frames);
}

void deactivate(LV2_Handle) {}

void cleanup(LV2_Handle handle) { delete static_cast<Instance*>(handle); }

const void* extension_data(const char*) { return nullptr; }

// The host's thread may have floating-point exceptions unmasked: every
// function that computes, or might, runs behind a guard that masks them and
// gives the host its own settings back (deactivate and cleanup compute
// nothing).
constexpr LV2_Descriptor Describe(const Variant& variant) {
    return {variant.uri,
            fpenv::Guarded<instantiate>,
            fpenv::Guarded<connect_port>,
            fpenv::Guarded<activate>,
            fpenv::Guarded<run>,
            deactivate,
            cleanup,
            extension_data};
}

// In the order of Lv2Ports.h's kVariants: lv2_descriptor's index.
const LV2_Descriptor kDescriptors[] = {Describe(kPlain), Describe(kSidechain)};
constexpr uint32_t kNumDescriptors = sizeof kDescriptors / sizeof kDescriptors[0];
static_assert(kNumDescriptors == sizeof kVariants / sizeof kVariants[0], "one descriptor for each plug-in");

const Variant& VariantOf(const LV2_Descriptor* descriptor) { return *kVariants[descriptor - kDescriptors]; }

}  // namespace

LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(uint32_t index) {
    return index < kNumDescriptors ? &kDescriptors[index] : nullptr;
}
