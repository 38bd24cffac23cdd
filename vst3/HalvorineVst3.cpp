#include "HalvorineVst3.h"

#include "FloatingPointGuard.h"
#include "ClassInfo.h"

namespace vst3edition {

using namespace vst3abi;

// Set in vst3/CMakeLists.txt. Hosts keep it in their sessions:
// it never changes.
const Uid kClassId{HALVORINE_VST3_CLASS_ID};

void CopyUtf16(String128 out, const char* text) {
    size_t i = 0;
    for (; text[i] != '\0' && i < 127; ++i)
        out[i] = static_cast<char16>(static_cast<unsigned char>(text[i]));
    out[i] = 0;
}

int64_t ReadPiece(void* stream, unsigned char* out, size_t size) {
    int32_t got = 0;
    if (static_cast<IBStream*>(stream)->read(out, static_cast<int32_t>(size), &got) != kResultOk)
        return -1;
    return got;
}

HalvorineVst3::HalvorineVst3() = default;

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

namespace {

// Whether the plug-in has audio bus `index` in direction `dir`: two
// inputs (main, key), one output.
bool HasAudioBus(MediaType type, BusDirection dir, int32_t index) {
    if (type != kAudio || index < 0)
        return false;
    return dir == kInput ? index <= kKeyBus : dir == kOutput && index == kMainBus;
}

}  // namespace

int32_t VST3_CALL HalvorineVst3::getBusCount(MediaType type, BusDirection dir) {
    if (type == kAudio && dir == kInput)
        return 2;
    if (type == kAudio && dir == kOutput)
        return 1;
    return 0;  // no event bus: the gate takes no MIDI
}

tresult VST3_CALL HalvorineVst3::getBusInfo(MediaType type, BusDirection dir, int32_t index, BusInfo& bus) {
    if (!HasAudioBus(type, dir, index))
        return kInvalidArgument;
    bus.mediaType = kAudio;
    bus.direction = dir;
    if (dir == kInput && index == kKeyBus) {
        bus.channelCount = keyMono_.load(std::memory_order_relaxed) ? 1 : 2;
        CopyUtf16(bus.name, "Key");
        bus.busType = kAux;
        bus.flags = 0;  // inactive until the host routes a key to it
        return kResultOk;
    }
    bus.channelCount = 2;
    CopyUtf16(bus.name, dir == kInput ? "Input" : "Output");
    bus.busType = kMain;
    bus.flags = BusInfo::kDefaultActive;
    return kResultOk;
}

tresult VST3_CALL HalvorineVst3::getRoutingInfo(RoutingInfo&, RoutingInfo&) { return kNotImplemented; }

tresult VST3_CALL HalvorineVst3::activateBus(MediaType type, BusDirection dir, int32_t index, TBool state) {
    if (!HasAudioBus(type, dir, index))
        return kInvalidArgument;
    if (dir == kInput && index == kKeyBus)
        keyActive_.store(state != 0, std::memory_order_relaxed);
    return kResultOk;
}

// Every activation starts from silence, as a new instance does.
tresult VST3_CALL HalvorineVst3::setActive(TBool state) {
    fpenv::FloatingPointGuard guard;
    if (state != 0)
        processor_.activate();
    else
        processing_.store(false, std::memory_order_release);
    return kResultOk;
}

tresult VST3_CALL HalvorineVst3::setState(IBStream* stream) {
    fpenv::FloatingPointGuard guard;
    if (stream == nullptr)
        return kInvalidArgument;
    edition::State state{};
    if (!edition::ReadStateFrom(ReadPiece, stream, state))
        return kResultFalse;
    processor_.loadState(state);
    controller_.takeState(state);
    return kResultOk;
}

tresult VST3_CALL HalvorineVst3::getState(IBStream* stream) {
    fpenv::FloatingPointGuard guard;
    tellHost();
    if (stream == nullptr)
        return kInvalidArgument;
    unsigned char bytes[edition::kStateSize];
    edition::WriteState(processor_.savedState(), bytes);
    int32_t written = 0;
    if (stream->write(bytes, static_cast<int32_t>(sizeof bytes), &written) != kResultOk ||
        written != static_cast<int32_t>(sizeof bytes))
        return kResultFalse;
    return kResultOk;
}

// ---------------------------------------------------------------------------
// IAudioProcessor

// The main buses are stereo; the key is mono or stereo. A host may leave
// the key out (one input arrangement): it keeps the one it had.
tresult VST3_CALL HalvorineVst3::setBusArrangements(SpeakerArrangement* inputs, int32_t numIns,
                                                    SpeakerArrangement* outputs, int32_t numOuts) {
    if (numIns < 1 || numIns > 2 || numOuts != 1 || inputs == nullptr || outputs == nullptr)
        return kResultFalse;
    if (inputs[kMainBus] != kStereo || outputs[kMainBus] != kStereo)
        return kResultFalse;
    if (numIns == 2) {
        if (inputs[kKeyBus] != kStereo && inputs[kKeyBus] != kMono)
            return kResultFalse;
        keyMono_.store(inputs[kKeyBus] == kMono, std::memory_order_relaxed);
    }
    return kResultTrue;
}

tresult VST3_CALL HalvorineVst3::getBusArrangement(BusDirection dir, int32_t index, SpeakerArrangement& arr) {
    if (!HasAudioBus(kAudio, dir, index))
        return kInvalidArgument;
    arr = dir == kInput && index == kKeyBus && keyMono_.load(std::memory_order_relaxed) ? kMono : kStereo;
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
    return processor_.tailFrames();
}
uint32_t VST3_CALL HalvorineVst3::getProcessContextRequirements() { return 0; }

// The band design takes rates from 8 to 768 kHz; any other is refused, and
// the engine keeps the rate it had (a later block still runs).
tresult VST3_CALL HalvorineVst3::setupProcessing(ProcessSetup& setup) {
    fpenv::FloatingPointGuard guard;
    if (setup.symbolicSampleSize != kSample32)
        return kResultFalse;
    return processor_.setSampleRate(setup.sampleRate) ? kResultOk : kResultFalse;
}

tresult VST3_CALL HalvorineVst3::setProcessing(TBool state) {
    processing_.store(state != 0, std::memory_order_release);
    return kResultOk;
}

namespace {

// The block's parameter changes as the processor takes them: each queue a
// list of its parameter's points.
class QueueChanges final : public edition::BlockChanges {
public:
    explicit QueueChanges(IParameterChanges* changes) : changes_(changes) {}
    int32_t listCount() override { return changes_->getParameterCount(); }
    int32_t pointCount(int32_t list) override {
        IParamValueQueue* queue = changes_->getParameterData(list);
        return queue != nullptr ? queue->getPointCount() : 0;
    }
    bool point(int32_t list, int32_t index, int32_t& offset, uint32_t& id, double& value) override {
        IParamValueQueue* queue = changes_->getParameterData(list);
        if (queue == nullptr)
            return false;
        id = queue->getParameterId();
        return queue->getPoint(index, offset, value) == kResultOk;
    }

private:
    IParameterChanges* changes_;
};

bool StereoBuffers(const AudioBusBuffers* buses, int32_t count) {
    return buses != nullptr && count >= 1 && buses[0].numChannels >= 2 && buses[0].channelBuffers32 != nullptr &&
           buses[0].channelBuffers32[0] != nullptr && buses[0].channelBuffers32[1] != nullptr;
}

// The key bus's channels as the processor takes them (a mono key's one
// channel twice), or false when the host gave none.
bool KeyChannels(const ProcessData& data, const float* channels[2]) {
    if (data.inputs == nullptr || data.numInputs <= kKeyBus)
        return false;
    const AudioBusBuffers& key = data.inputs[kKeyBus];
    if (key.numChannels < 1 || key.channelBuffers32 == nullptr || key.channelBuffers32[0] == nullptr)
        return false;
    channels[0] = key.channelBuffers32[0];
    channels[1] = key.numChannels >= 2 && key.channelBuffers32[1] != nullptr ? key.channelBuffers32[1] : channels[0];
    return true;
}

}  // namespace

tresult VST3_CALL HalvorineVst3::process(ProcessData& data) {
    fpenv::FloatingPointGuard guard;
    blocksBegun_.fetch_add(1, std::memory_order_acq_rel);
    if (data.symbolicSampleSize != kSample32)
        return kInvalidArgument;
    QueueChanges queues(data.inputParameterChanges);
    const bool haveInput = StereoBuffers(data.inputs, data.numInputs);
    const bool haveOutput = StereoBuffers(data.outputs, data.numOutputs);
    const float* const* in = haveInput ? data.inputs[0].channelBuffers32 : nullptr;
    float* const* out = haveOutput ? data.outputs[0].channelBuffers32 : nullptr;
    const bool inputSilent = haveInput && (data.inputs[0].silenceFlags & 3) == 3;
    // An inactive key bus is no key, whatever buffers a host hands over.
    const float* keyChannels[2] = {nullptr, nullptr};
    const bool haveKey = keyActive_.load(std::memory_order_relaxed) && KeyChannels(data, keyChannels);
    const edition::Processor::Result result =
        processor_.process(in, out, data.numSamples, inputSilent,
                           data.inputParameterChanges != nullptr ? &queues : nullptr, haveKey ? keyChannels : nullptr);
    if (haveOutput && data.numSamples > 0)
        data.outputs[0].silenceFlags = result.silentChannels;
    // A program changes the 22 values behind the host's back: the
    // processor reports them, so that a host that follows the processor's
    // output changes shows them without being called back.
    IParameterChanges* report = data.outputParameterChanges;
    if (result.programChanged && report != nullptr) {
        const int32_t offset = result.rendered ? data.numSamples - 1 : 0;
        for (int i = 0; i < edition::kNumSound; ++i) {
            int32_t index = 0;
            IParamValueQueue* queue = report->addParameterData(static_cast<ParamID>(i), index);
            if (queue != nullptr)
                queue->addPoint(offset, processor_.soundValue(i), index);
        }
    }
    return kResultOk;
}

}  // namespace vst3edition
