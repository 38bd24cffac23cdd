#include "HalvorineVst3.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>

#include "FloatingPointGuard.h"
#include "ClassInfo.h"
#include "GateMath.h"

namespace vst3edition {

using namespace vst3abi;

// Set in vst3/CMakeLists.txt. Hosts keep it in their sessions:
// it never changes.
const Uid kClassId{HALVORINE_VST3_CLASS_ID};

namespace {

void CopyUtf16(String128 out, const char* text) {
    size_t i = 0;
    for (; text[i] != '\0' && i < 127; ++i)
        out[i] = static_cast<char16>(static_cast<unsigned char>(text[i]));
    out[i] = 0;
}

double Clamp01(double value) {
    if (!(value >= 0.0))
        return 0.0;
    return value > 1.0 ? 1.0 : value;
}

// Reads a stream to the end of the state or of the stream, whichever comes
// first; hosts may hand the bytes over in pieces.
size_t ReadFully(IBStream* stream, unsigned char* out, size_t size) {
    size_t done = 0;
    while (done < size) {
        int32_t got = 0;
        const tresult result = stream->read(out + done, static_cast<int32_t>(size - done), &got);
        if (result != kResultOk || got <= 0 || static_cast<size_t>(got) > size - done)
            break;
        done += static_cast<size_t>(got);
    }
    return done;
}

// What a new instance runs: "BigBeat", the values of the VST 2.x library
// when it is new.
State InitialState() {
    State state{};
    for (int i = 0; i < kNumSound; ++i)
        state.values[i] = params::FactoryValue(params::kInitialProgram, i);
    state.program = params::kInitialProgram;
    state.bypass = false;
    return state;
}

bool ReadStateFrom(IBStream* stream, State& state) {
    unsigned char bytes[kStateSize];
    const size_t got = ReadFully(stream, bytes, sizeof bytes);
    return ReadState(bytes, got, state) == StateError::None;
}

}  // namespace

HalvorineVst3::HalvorineVst3() : live_(InitialState()), snapshot_(live_) {
    for (int i = 0; i < kNumParameters; ++i) {
        ParameterDescription description{};
        DescribeParameter(static_cast<unsigned>(i), description);
        values_[i] = description.defaultValue;
    }
    // The engine starts on "BigBeat", the values of the VST 2.x library
    // when it is new, and its 31 slots hold what that library's do: the
    // factory values of the program (0 for the slots without a sound).
    for (int i = 0; i < gate::kNumParams; ++i)
        engine_.setParameter(i, params::FactoryValue(params::kInitialProgram, i));
    // Automation of Start, Finish, Q and Boost glides rather than clearing
    // the filters at every point. A new instance, an activation, a program
    // and a loaded state still start at once (see applyChange, setState).
    engine_.setChangeMode(gate::ChangeMode::Glide);
}

HalvorineVst3::~HalvorineVst3() {
    if (handler_ != nullptr)
        handler_->release();
    if (hostContext_ != nullptr)
        hostContext_->release();
}

// ---------------------------------------------------------------------------
// FUnknown

tresult VST3_CALL HalvorineVst3::queryInterface(const TUID iid, void** obj) {
    if (obj == nullptr)
        return kInvalidArgument;
    void* found = nullptr;
    if (FUnknown::iid.matches(iid) || IPluginBase::iid.matches(iid) || IComponent::iid.matches(iid))
        found = static_cast<IComponent*>(this);
    else if (IAudioProcessor::iid.matches(iid))
        found = static_cast<IAudioProcessor*>(this);
    else if (IEditController::iid.matches(iid))
        found = static_cast<IEditController*>(this);
    else if (IUnitInfo::iid.matches(iid))
        found = static_cast<IUnitInfo*>(this);
    else if (IProcessContextRequirements::iid.matches(iid))
        found = static_cast<IProcessContextRequirements*>(this);
    *obj = found;
    if (found == nullptr)
        return kNoInterface;
    addRef();
    return kResultOk;
}

uint32_t VST3_CALL HalvorineVst3::addRef() { return refs_.fetch_add(1, std::memory_order_relaxed) + 1; }

uint32_t VST3_CALL HalvorineVst3::release() {
    const uint32_t left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0)
        delete this;
    return left;
}

// ---------------------------------------------------------------------------
// IPluginBase

tresult VST3_CALL HalvorineVst3::initialize(FUnknown* context) {
    // One object, two roles: a host that initialises the controller after
    // the component reaches here twice, and the first context stands.
    if (initialized_)
        return kResultFalse;
    initialized_ = true;
    hostContext_ = context;
    if (hostContext_ != nullptr)
        hostContext_->addRef();
    return kResultOk;
}

tresult VST3_CALL HalvorineVst3::terminate() {
    initialized_ = false;
    if (handler_ != nullptr) {
        handler_->release();
        handler_ = nullptr;
    }
    if (hostContext_ != nullptr) {
        hostContext_->release();
        hostContext_ = nullptr;
    }
    return kResultOk;
}

// ---------------------------------------------------------------------------
// IComponent

// No separate controller: the host finds it through queryInterface.
tresult VST3_CALL HalvorineVst3::getControllerClassId(TUID) { return kNotImplemented; }

tresult VST3_CALL HalvorineVst3::setIoMode(IoMode) { return kNotImplemented; }

int32_t VST3_CALL HalvorineVst3::getBusCount(MediaType type, BusDirection dir) {
    if (type == kAudio && (dir == kInput || dir == kOutput))
        return 1;
    return 0;  // no event bus: the gate takes no MIDI
}

tresult VST3_CALL HalvorineVst3::getBusInfo(MediaType type, BusDirection dir, int32_t index, BusInfo& bus) {
    if (type != kAudio || index != 0 || (dir != kInput && dir != kOutput))
        return kInvalidArgument;
    bus.mediaType = kAudio;
    bus.direction = dir;
    bus.channelCount = 2;
    CopyUtf16(bus.name, dir == kInput ? "Input" : "Output");
    bus.busType = kMain;
    bus.flags = BusInfo::kDefaultActive;
    return kResultOk;
}

tresult VST3_CALL HalvorineVst3::getRoutingInfo(RoutingInfo&, RoutingInfo&) { return kNotImplemented; }

tresult VST3_CALL HalvorineVst3::activateBus(MediaType type, BusDirection dir, int32_t index, TBool) {
    if (type != kAudio || index != 0 || (dir != kInput && dir != kOutput))
        return kInvalidArgument;
    return kResultOk;
}

// Every activation starts from silence, as a new instance does.
tresult VST3_CALL HalvorineVst3::setActive(TBool state) {
    fpenv::FloatingPointGuard guard;
    if (state != 0) {
        engine_.reset();
        bypassMix_ = bypass_.load(std::memory_order_relaxed) ? 1.0 : 0.0;
    }
    return kResultOk;
}

tresult VST3_CALL HalvorineVst3::setState(IBStream* stream) {
    fpenv::FloatingPointGuard guard;
    if (stream == nullptr)
        return kInvalidArgument;
    State state{};
    if (!ReadStateFrom(stream, state))
        return kResultFalse;
    // The processor's values; the engine takes them up at its next block,
    // so a state may arrive while audio runs. The audio thread's own copy
    // follows from the snapshot at its next block.
    for (int i = 0; i < kNumSound; ++i)
        engine_.setParameter(i, state.values[i]);
    engine_.applyNextAtOnce();
    bypass_.store(state.bypass, std::memory_order_relaxed);
    snapshot_.load(state);
    takeState(state);
    return kResultOk;
}

tresult VST3_CALL HalvorineVst3::getState(IBStream* stream) {
    fpenv::FloatingPointGuard guard;
    tellHost();
    if (stream == nullptr)
        return kInvalidArgument;
    const State state = snapshot_.read();
    unsigned char bytes[kStateSize];
    WriteState(state, bytes);
    int32_t written = 0;
    if (stream->write(bytes, static_cast<int32_t>(sizeof bytes), &written) != kResultOk ||
        written != static_cast<int32_t>(sizeof bytes))
        return kResultFalse;
    return kResultOk;
}

// ---------------------------------------------------------------------------
// IAudioProcessor

tresult VST3_CALL HalvorineVst3::setBusArrangements(SpeakerArrangement* inputs, int32_t numIns,
                                                    SpeakerArrangement* outputs, int32_t numOuts) {
    if (numIns != 1 || numOuts != 1 || inputs == nullptr || outputs == nullptr)
        return kResultFalse;
    return inputs[0] == kStereo && outputs[0] == kStereo ? kResultTrue : kResultFalse;
}

tresult VST3_CALL HalvorineVst3::getBusArrangement(BusDirection dir, int32_t index, SpeakerArrangement& arr) {
    if (index != 0 || (dir != kInput && dir != kOutput))
        return kInvalidArgument;
    arr = kStereo;
    return kResultOk;
}

tresult VST3_CALL HalvorineVst3::canProcessSampleSize(int32_t symbolicSampleSize) {
    return symbolicSampleSize == kSample32 ? kResultTrue : kResultFalse;
}

uint32_t VST3_CALL HalvorineVst3::getLatencySamples() { return 0; }
// How long the bands ring once the input falls silent, at the current
// settings and rate.
uint32_t VST3_CALL HalvorineVst3::getTailSamples() {
    fpenv::FloatingPointGuard guard;
    return engine_.tailFrames();
}
uint32_t VST3_CALL HalvorineVst3::getProcessContextRequirements() { return 0; }

// The band design takes rates from 8 to 768 kHz; any other is refused, and
// the engine keeps the rate it had (a later block still runs).
tresult VST3_CALL HalvorineVst3::setupProcessing(ProcessSetup& setup) {
    fpenv::FloatingPointGuard guard;
    if (setup.symbolicSampleSize != kSample32)
        return kResultFalse;
    const double rate = setup.sampleRate;
    if (!(rate >= gate::kMinDesignRate && rate <= gate::kMaxDesignRate))
        return kResultFalse;
    engine_.setDesignRate(static_cast<float>(rate));
    sampleRate_.store(rate, std::memory_order_relaxed);
    return kResultOk;
}

tresult VST3_CALL HalvorineVst3::setProcessing(TBool) { return kResultOk; }

namespace {

// The parameter changes of one block, taken in sample order across their
// queues. Fixed storage: a host sends at most one queue per parameter.
class ChangeCursor {
public:
    explicit ChangeCursor(IParameterChanges* changes) {
        if (changes == nullptr)
            return;
        const int32_t count = changes->getParameterCount();
        for (int32_t i = 0; i < count && used_ < kMaxQueues; ++i) {
            IParamValueQueue* queue = changes->getParameterData(i);
            if (queue == nullptr)
                continue;
            Entry& entry = entries_[used_];
            entry.queue = queue;
            entry.id = queue->getParameterId();
            entry.count = queue->getPointCount();
            entry.next = 0;
            if (entry.id < static_cast<ParamID>(kNumParameters) && entry.count > 0 && load(entry))
                ++used_;
        }
    }

    // Hands every change at or before `frame` to `apply`, in queue order.
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
    static constexpr int kMaxQueues = 64;
    struct Entry {
        IParamValueQueue* queue;
        ParamID id;
        int32_t count, next, offset;
        ParamValue value;
    };

    // Reads the queue's point `next`; a point the host cannot give ends it.
    static bool load(Entry& entry) {
        if (entry.next >= entry.count)
            return false;
        int32_t offset = 0;
        ParamValue value = 0.0;
        if (entry.queue->getPoint(entry.next, offset, value) != kResultOk)
            return false;
        entry.offset = offset < 0 ? 0 : offset;
        entry.value = value;
        return true;
    }

    Entry entries_[kMaxQueues];
    int used_ = 0;
};

bool StereoBuffers(const AudioBusBuffers* buses, int32_t count) {
    return buses != nullptr && count >= 1 && buses[0].numChannels >= 2 && buses[0].channelBuffers32 != nullptr &&
           buses[0].channelBuffers32[0] != nullptr && buses[0].channelBuffers32[1] != nullptr;
}

uint64_t SilenceFlags(float* const* channels, int32_t frames) {
    uint64_t flags = 0;
    for (int c = 0; c < 2; ++c) {
        bool silent = true;
        for (int32_t i = 0; i < frames && silent; ++i)
            silent = channels[c][i] == 0.0f;
        if (silent)
            flags |= uint64_t{1} << c;
    }
    return flags;
}

}  // namespace

// A state loaded since the last block: the audio thread's copy starts
// from it. setState gave the engine its values; giving them again puts them
// after any change this thread applied in the meantime.
void HalvorineVst3::takeLoadedState() {
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
}

void HalvorineVst3::setSound(int index, float value) {
    live_.values[index] = value;
    // An unchanged Start, Finish or Q must not redesign the filters.
    if (value == engine_.getParameter(index))
        return;
    engine_.setParameter(index, value);
    if (index == gate::kStartFreq || index == gate::kFinishFreq || index == gate::kFreqQ)
        tailStale_ = true;
}

void HalvorineVst3::applyChange(ParamID id, ParamValue value) {
    if (id < static_cast<ParamID>(kNumSound)) {
        setSound(static_cast<int>(id), gate::ClampParameter(static_cast<float>(value)));
    } else if (id == kProgramId) {
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
    } else {
        return;
    }
    unpublished_ = true;
}

// A program changes the 22 values behind the host's back: the processor
// reports them, so that a host that follows the processor's output changes
// shows them without being called back.
void HalvorineVst3::reportProgramValues(IParameterChanges* out, int32_t offset) {
    if (!programTaken_)
        return;
    programTaken_ = false;
    if (out == nullptr)
        return;
    for (int i = 0; i < kNumSound; ++i) {
        int32_t index = 0;
        IParamValueQueue* queue = out->addParameterData(static_cast<ParamID>(i), index);
        if (queue != nullptr)
            queue->addPoint(offset, live_.values[i], index);
    }
}

// What the block applied, for savers; tried again at the next block when a
// load or another write is under way.
void HalvorineVst3::publish() {
    if (unpublished_ && snapshot_.tryPublish(live_, liveGeneration_))
        unpublished_ = false;
}

// A host may stop calling process while the input is silent and call again
// later: the bands must not then ring on from where they stopped. Once the
// input has been silent for the whole ring-out, they are cleared, and give
// exact silence.
void HalvorineVst3::clearAfterSilence() {
    if (bandsCleared_ || silentFrames_ == 0)
        return;
    if (tailStale_) {
        float set[gate::kNumParams] = {};
        for (int i = 0; i < kNumSound; ++i)
            set[i] = live_.values[i];
        tailFrames_ = gate::RingOutFrames(set, engine_.designRate());
        tailStale_ = false;
    }
    if (silentFrames_ >= tailFrames_) {
        engine_.reset();
        bandsCleared_ = true;
    }
}

// Before the block is rendered: the output may be the input's buffer.
void HalvorineVst3::countSilence(const AudioBusBuffers& input, int32_t frames) {
    int32_t silent = frames;
    if ((input.silenceFlags & 3) != 3) {
        float* const* in = input.channelBuffers32;
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

tresult VST3_CALL HalvorineVst3::process(ProcessData& data) {
    fpenv::FloatingPointGuard guard;
    if (data.symbolicSampleSize != kSample32)
        return kInvalidArgument;
    takeLoadedState();
    ChangeCursor changes(data.inputParameterChanges);
    auto apply = [this](ParamID id, ParamValue value) { applyChange(id, value); };
    const int32_t frames = data.numSamples;

    const bool haveOutput = StereoBuffers(data.outputs, data.numOutputs);
    if (frames <= 0 || !haveOutput || !StereoBuffers(data.inputs, data.numInputs)) {
        // A parameter flush, or nothing to read: the changes still count,
        // and an output without an input is silence.
        changes.applyUpTo(INT32_MAX, apply);
        if (frames > 0 && haveOutput) {
            for (int c = 0; c < 2; ++c)
                std::memset(data.outputs[0].channelBuffers32[c], 0, sizeof(float) * static_cast<size_t>(frames));
            data.outputs[0].silenceFlags = 3;
        }
        reportProgramValues(data.outputParameterChanges, 0);
        publish();
        return kResultOk;
    }

    clearAfterSilence();
    countSilence(data.inputs[0], frames);
    float* const* in = data.inputs[0].channelBuffers32;
    float* const* out = data.outputs[0].channelBuffers32;
    // Each stretch between two change points runs on the values in force
    // there: the engine takes up its parameter set at the start of a call.
    for (int32_t at = 0; at < frames;) {
        changes.applyUpTo(at, apply);
        const int32_t end = changes.nextAfter(at, frames);
        render(in[0] + at, in[1] + at, out[0] + at, out[1] + at, end - at);
        at = end;
    }
    changes.applyUpTo(INT32_MAX, apply);  // points past the block's end
    data.outputs[0].silenceFlags = SilenceFlags(out, frames);
    reportProgramValues(data.outputParameterChanges, frames - 1);
    publish();
    return kResultOk;
}

void HalvorineVst3::render(const float* inL, const float* inR, float* outL, float* outR, int32_t frames) {
    const double target = bypass_.load(std::memory_order_relaxed) ? 1.0 : 0.0;
    if (bypassMix_ == 0.0 && target == 0.0) {
        engine_.processReplacing(inL, inR, outL, outR, frames);
        return;
    }
    // While bypassed or fading the engine runs on, so that switching back
    // fades into a gate that has followed the signal.
    for (int32_t done = 0; done < frames; done += kPiece) {
        const int32_t n = frames - done < kPiece ? frames - done : kPiece;
        renderBypassFade(inL + done, inR + done, outL + done, outR + done, n, target);
    }
}

void HalvorineVst3::renderBypassFade(const float* inL, const float* inR, float* outL, float* outR, int32_t frames,
                                     double target) {
    // The input first: the output may be the same buffer.
    std::memcpy(dryL_, inL, sizeof(float) * static_cast<size_t>(frames));
    std::memcpy(dryR_, inR, sizeof(float) * static_cast<size_t>(frames));
    engine_.processReplacing(inL, inR, outL, outR, frames);
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

// ---------------------------------------------------------------------------
// IEditController

void HalvorineVst3::setControllerValue(int index, double value) {
    values_[index] = value;
#if HALVORINE_VST3_VIEW
    if (index < kNumSound)
        for (IPlugView* view : views_)
            EditorViewParameterChanged(view, index, static_cast<float>(value));
#endif
}

void HalvorineVst3::takeState(const State& state) {
    for (int i = 0; i < kNumSound; ++i)
        setControllerValue(i, state.values[i]);
    values_[kProgramId] = NormalizedFromProgram(state.program);
    values_[kBypassId] = state.bypass ? 1.0 : 0.0;
}

tresult VST3_CALL HalvorineVst3::setComponentState(IBStream* stream) {
    fpenv::FloatingPointGuard guard;
    if (stream == nullptr)
        return kInvalidArgument;
    State state{};
    if (!ReadStateFrom(stream, state))
        return kResultFalse;
    takeState(state);
    return kResultOk;
}

int32_t VST3_CALL HalvorineVst3::getParameterCount() { return kNumParameters; }

tresult VST3_CALL HalvorineVst3::getParameterInfo(int32_t paramIndex, ParameterInfo& info) {
    ParameterDescription description{};
    if (paramIndex < 0 || !DescribeParameter(static_cast<unsigned>(paramIndex), description))
        return kInvalidArgument;
    info.id = static_cast<ParamID>(paramIndex);
    CopyUtf16(info.title, description.title);
    CopyUtf16(info.shortTitle, description.shortTitle);
    CopyUtf16(info.units, description.units);
    info.stepCount = description.stepCount;
    info.defaultNormalizedValue = description.defaultValue;
    info.unitId = kRootUnitId;
    info.flags = ParameterInfo::kCanAutomate;
    if (description.isProgram)
        info.flags |= ParameterInfo::kIsList | ParameterInfo::kIsProgramChange;
    if (description.isBypass)
        info.flags |= ParameterInfo::kIsBypass;
    return kResultOk;
}

tresult VST3_CALL HalvorineVst3::getParamStringByValue(ParamID id, ParamValue valueNormalized, String128 string) {
    fpenv::FloatingPointGuard guard;
    if (string == nullptr)
        return kInvalidArgument;
    std::string text;
    if (!ValueText(id, valueNormalized, text))
        return kInvalidArgument;
    CopyUtf16(string, text.c_str());
    return kResultOk;
}

tresult VST3_CALL HalvorineVst3::getParamValueByString(ParamID id, TChar* string, ParamValue& valueNormalized) {
    fpenv::FloatingPointGuard guard;
    if (string == nullptr)
        return kInvalidArgument;
    std::string text;
    for (int i = 0; i < 128 && string[i] != 0; ++i) {
        if (string[i] > 0x7E)
            return kResultFalse;  // no value text has anything but ASCII
        text += static_cast<char>(string[i]);
    }
    double value = 0.0;
    if (!ValueFromText(id, text, value))
        return kResultFalse;
    valueNormalized = value;
    return kResultOk;
}

ParamValue VST3_CALL HalvorineVst3::normalizedParamToPlain(ParamID id, ParamValue valueNormalized) {
    fpenv::FloatingPointGuard guard;
    if (id == kProgramId)
        return ProgramFromNormalized(valueNormalized);
    if (id == kBypassId)
        return valueNormalized >= 0.5 ? 1.0 : 0.0;
    return valueNormalized;
}

ParamValue VST3_CALL HalvorineVst3::plainParamToNormalized(ParamID id, ParamValue plainValue) {
    fpenv::FloatingPointGuard guard;
    if (id == kProgramId) {
        const double program = plainValue < 0.0 ? 0.0 : plainValue > kProgramSteps ? kProgramSteps : plainValue;
        return NormalizedFromProgram(static_cast<int>(program + 0.5));
    }
    return Clamp01(plainValue);
}

ParamValue VST3_CALL HalvorineVst3::getParamNormalized(ParamID id) {
    return id < static_cast<ParamID>(kNumParameters) ? values_[id] : 0.0;
}

tresult VST3_CALL HalvorineVst3::setParamNormalized(ParamID id, ParamValue value) {
    fpenv::FloatingPointGuard guard;
    if (id >= static_cast<ParamID>(kNumParameters))
        return kInvalidArgument;
    value = Clamp01(value);
    if (id == kProgramId) {
        // A program sets the 22 values, on this side as in the processor
        // (which receives the Program change itself). Choosing the program
        // that is already current changes nothing, so that a host
        // restoring its Program value after a state keeps the state's.
        const int program = ProgramFromNormalized(value);
        const bool changed = program != ProgramFromNormalized(values_[kProgramId]);
        values_[kProgramId] = NormalizedFromProgram(program);
        if (!changed)
            return kResultOk;
        for (int i = 0; i < kNumSound; ++i)
            setControllerValue(i, params::FactoryValue(program, i));
        // The host is inside its own call here, perhaps holding the lock
        // its restartComponent takes: it hears of the values later.
        notices_.post(DeferredNotices::kValuesChanged);
        return kResultOk;
    }
    if (id == kBypassId)
        value = value >= 0.5 ? 1.0 : 0.0;
    else
        value = gate::ClampParameter(static_cast<float>(value));  // what the engine will hold
    setControllerValue(static_cast<int>(id), value);
    return kResultOk;
}

tresult VST3_CALL HalvorineVst3::setComponentHandler(IComponentHandler* handler) {
    if (handler == handler_)
        return kResultOk;
    if (handler != nullptr)
        handler->addRef();
    if (handler_ != nullptr)
        handler_->release();
    handler_ = handler;
    return kResultOk;
}

IPlugView* VST3_CALL HalvorineVst3::createView(FIDString name) {
#if HALVORINE_VST3_VIEW
    fpenv::FloatingPointGuard guard;
    if (name == nullptr || std::strcmp(name, "editor") != 0)
        return nullptr;
    // A host may make a new view before it releases the old one: each gets
    // its own, and the one attached last shows the window.
    try {
        views_.reserve(views_.size() + 1);
    } catch (...) {
        return nullptr;
    }
    IPlugView* view = CreateEditorView(*this);
    if (view != nullptr)
        views_.push_back(view);
    return view;
#else
    (void)name;
    return nullptr;
#endif
}

void HalvorineVst3::tellHost() {
    const uint32_t notices = notices_.take();
    if (handler_ != nullptr && (notices & DeferredNotices::kValuesChanged) != 0)
        handler_->restartComponent(kParamValuesChanged);
}

// ---------------------------------------------------------------------------
// The editor view's owner

void HalvorineVst3::viewIdle() { tellHost(); }

float HalvorineVst3::editorValue(int index) const {
    return index >= 0 && index < kNumSound ? static_cast<float>(values_[index]) : 0.0f;
}

void HalvorineVst3::viewAttached(IPlugView* view) {
    for (IPlugView* other : views_)
        if (other != view)
            EditorViewCloseWindow(other);
}

void HalvorineVst3::viewDestroyed(IPlugView* view) {
    views_.erase(std::remove(views_.begin(), views_.end(), view), views_.end());
}

void HalvorineVst3::setParameterAutomated(int index, float value) {
    if (index < 0 || index >= kNumSound)
        return;
    values_[index] = gate::ClampParameter(value);
    if (handler_ != nullptr)
        handler_->performEdit(static_cast<ParamID>(index), values_[index]);
}

void HalvorineVst3::beginGesture(int index) {
    if (handler_ != nullptr && index >= 0 && index < kNumSound)
        handler_->beginEdit(static_cast<ParamID>(index));
}

void HalvorineVst3::endGesture(int index) {
    if (handler_ != nullptr && index >= 0 && index < kNumSound)
        handler_->endEdit(static_cast<ParamID>(index));
}

// ---------------------------------------------------------------------------
// IUnitInfo

int32_t VST3_CALL HalvorineVst3::getUnitCount() { return 1; }

tresult VST3_CALL HalvorineVst3::getUnitInfo(int32_t unitIndex, UnitInfo& info) {
    if (unitIndex != 0)
        return kInvalidArgument;
    info.id = kRootUnitId;
    info.parentUnitId = kNoParentUnitId;
    CopyUtf16(info.name, "Root");
    info.programListId = kProgramListId;
    return kResultOk;
}

int32_t VST3_CALL HalvorineVst3::getProgramListCount() { return 1; }

tresult VST3_CALL HalvorineVst3::getProgramListInfo(int32_t listIndex, ProgramListInfo& info) {
    if (listIndex != 0)
        return kInvalidArgument;
    info.id = kProgramListId;
    CopyUtf16(info.name, "Factory Programs");
    info.programCount = params::kNumPrograms;
    return kResultOk;
}

tresult VST3_CALL HalvorineVst3::getProgramName(ProgramListID listId, int32_t programIndex, String128 name) {
    if (listId != kProgramListId || programIndex < 0 || programIndex >= params::kNumPrograms || name == nullptr)
        return kInvalidArgument;
    CopyUtf16(name, params::kProgramNames[programIndex]);
    return kResultOk;
}

tresult VST3_CALL HalvorineVst3::getProgramInfo(ProgramListID, int32_t, CString, String128) { return kResultFalse; }
tresult VST3_CALL HalvorineVst3::hasProgramPitchNames(ProgramListID, int32_t) { return kResultFalse; }
tresult VST3_CALL HalvorineVst3::getProgramPitchName(ProgramListID, int32_t, int16_t, String128) {
    return kResultFalse;
}
UnitID VST3_CALL HalvorineVst3::getSelectedUnit() { return kRootUnitId; }
tresult VST3_CALL HalvorineVst3::selectUnit(UnitID unitId) {
    return unitId == kRootUnitId ? kResultOk : kInvalidArgument;
}
tresult VST3_CALL HalvorineVst3::getUnitByBus(MediaType, BusDirection, int32_t, int32_t, UnitID& unitId) {
    unitId = kRootUnitId;
    return kResultOk;
}
tresult VST3_CALL HalvorineVst3::setUnitProgramData(int32_t, int32_t, IBStream*) { return kNotImplemented; }

}  // namespace vst3edition
