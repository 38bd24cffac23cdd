// The audio side: speaker arrangements, the processing set-up, the block
// a host hands over with its parameter changes, and the processor itself.
#pragma once

#include "Base.h"
#include "Component.h"

namespace vst3abi {

using ParamID = uint32_t;
using ParamValue = double;
using SampleRate = double;
using Sample32 = float;
using Sample64 = double;
using SpeakerArrangement = uint64_t;  // one bit per speaker

constexpr SpeakerArrangement kSpeakerL = 1 << 0;
constexpr SpeakerArrangement kSpeakerR = 1 << 1;
constexpr SpeakerArrangement kStereo = kSpeakerL | kSpeakerR;
constexpr SpeakerArrangement kSpeakerM = SpeakerArrangement{1} << 19;  // the one speaker of a mono bus
constexpr SpeakerArrangement kMono = kSpeakerM;

enum SymbolicSampleSizes : int32_t { kSample32 = 0, kSample64 = 1 };
enum ProcessModes : int32_t { kRealtime = 0, kPrefetch = 1, kOffline = 2 };

// No tail and no latency: getTailSamples and getLatencySamples answer 0.
constexpr uint32_t kNoTail = 0;

class IEventList;      // never read: the plug-in has no event bus
struct ProcessContext;  // never read

#if defined(_WIN32)
#pragma pack(push, 8)
#endif

struct ProcessSetup {
    int32_t processMode;
    int32_t symbolicSampleSize;
    int32_t maxSamplesPerBlock;
    SampleRate sampleRate;
};

struct AudioBusBuffers {
    int32_t numChannels;
    uint64_t silenceFlags;  // bit n: channel n is silent
    union {
        Sample32** channelBuffers32;
        Sample64** channelBuffers64;
    };
};

class IParameterChanges;

struct ProcessData {
    int32_t processMode;
    int32_t symbolicSampleSize;
    int32_t numSamples;
    int32_t numInputs;
    int32_t numOutputs;
    AudioBusBuffers* inputs;
    AudioBusBuffers* outputs;
    IParameterChanges* inputParameterChanges;
    IParameterChanges* outputParameterChanges;
    IEventList* inputEvents;
    IEventList* outputEvents;
    ProcessContext* processContext;
};

#if defined(_WIN32)
#pragma pack(pop)
#endif

// The points of one parameter within a block, in sample-offset order.
// 01263A18-ED074F6F-98C9D356-4686F9BA
// Windows bytes: 18 3A 26 01 07 ED 6F 4F 98 C9 D3 56 46 86 F9 BA
class IParamValueQueue : public FUnknown {
public:
    virtual ParamID VST3_CALL getParameterId() = 0;
    virtual int32_t VST3_CALL getPointCount() = 0;
    virtual tresult VST3_CALL getPoint(int32_t index, int32_t& sampleOffset, ParamValue& value) = 0;
    virtual tresult VST3_CALL addPoint(int32_t sampleOffset, ParamValue value, int32_t& index) = 0;
    static constexpr Uid iid{0x01263A18, 0xED074F6F, 0x98C9D356, 0x4686F9BA};

protected:
    ~IParamValueQueue() = default;
};

// A4779663-0BB64A56-B44384A8-466FEB9D
// Windows bytes: 63 96 77 A4 B6 0B 56 4A B4 43 84 A8 46 6F EB 9D
class IParameterChanges : public FUnknown {
public:
    virtual int32_t VST3_CALL getParameterCount() = 0;
    virtual IParamValueQueue* VST3_CALL getParameterData(int32_t index) = 0;
    virtual IParamValueQueue* VST3_CALL addParameterData(const ParamID& id, int32_t& index) = 0;
    static constexpr Uid iid{0xA4779663, 0x0BB64A56, 0xB44384A8, 0x466FEB9D};

protected:
    ~IParameterChanges() = default;
};

// 42043F99-B7DA453C-A569E79D-9AAEC33D
// Windows bytes: 99 3F 04 42 DA B7 3C 45 A5 69 E7 9D 9A AE C3 3D
class IAudioProcessor : public FUnknown {
public:
    virtual tresult VST3_CALL setBusArrangements(SpeakerArrangement* inputs, int32_t numIns,
                                                 SpeakerArrangement* outputs, int32_t numOuts) = 0;
    virtual tresult VST3_CALL getBusArrangement(BusDirection dir, int32_t index, SpeakerArrangement& arr) = 0;
    virtual tresult VST3_CALL canProcessSampleSize(int32_t symbolicSampleSize) = 0;
    virtual uint32_t VST3_CALL getLatencySamples() = 0;
    virtual tresult VST3_CALL setupProcessing(ProcessSetup& setup) = 0;
    virtual tresult VST3_CALL setProcessing(TBool state) = 0;
    virtual tresult VST3_CALL process(ProcessData& data) = 0;
    virtual uint32_t VST3_CALL getTailSamples() = 0;
    static constexpr Uid iid{0x42043F99, 0xB7DA453C, 0xA569E79D, 0x9AAEC33D};

protected:
    ~IAudioProcessor() = default;
};

// Which parts of the host's process context the processor reads: none.
// 2A654303-EF764E3D-95B5FE83-730EF6D0
// Windows bytes: 03 43 65 2A 76 EF 3D 4E 95 B5 FE 83 73 0E F6 D0
class IProcessContextRequirements : public FUnknown {
public:
    virtual uint32_t VST3_CALL getProcessContextRequirements() = 0;
    static constexpr Uid iid{0x2A654303, 0xEF764E3D, 0x95B5FE83, 0x730EF6D0};

protected:
    ~IProcessContextRequirements() = default;
};

}  // namespace vst3abi
