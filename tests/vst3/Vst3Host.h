// A VST3 host of the tests' own, through the project's declarations only:
// loads a module as hosts do, and lends it the host objects a session
// needs (context, component handler, streams, parameter changes), each
// counting its references so that tests see what the plug-in holds.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "abi/Component.h"
#include "abi/Controller.h"
#include "abi/Factory.h"
#include "abi/Processor.h"

namespace vst3host {

using namespace vst3abi;

// The module under test: by default the bundle built beside the test
// program; `--vst3 PATH` on the command line names another module binary.
class Module {
public:
    static Module& instance();
    IPluginFactory* factory() const { return factory_; }
    const std::string& path() const { return path_; }
    // The first class of category "Audio Module Class".
    bool audioClass(PClassInfo& info) const;

private:
    Module();
    std::string path_;
    IPluginFactory* factory_ = nullptr;
};

// A reference-counted host object; `refs` is what others hold besides the
// test (1 is the test's own).
template <typename Interface>
class Counted : public Interface {
public:
    uint32_t VST3_CALL addRef() override { return ++refs; }
    uint32_t VST3_CALL release() override { return --refs; }
    tresult VST3_CALL queryInterface(const TUID iid, void** obj) override {
        if (FUnknown::iid.matches(iid) || Interface::iid.matches(iid)) {
            *obj = this;
            addRef();
            return kResultOk;
        }
        *obj = nullptr;
        return kNoInterface;
    }
    uint32_t refs = 1;
};

class HostApplication : public Counted<IHostApplication> {
public:
    tresult VST3_CALL getName(String128 name) override;
    tresult VST3_CALL createInstance(TUID, TUID, void** obj) override {
        *obj = nullptr;
        return kResultFalse;
    }
};

class ComponentHandler : public Counted<IComponentHandler> {
public:
    struct Call {
        char what;  // 'b'egin, 'p'erform, 'e'nd, 'r'estart
        ParamID id;
        double value;
    };
    tresult VST3_CALL beginEdit(ParamID id) override;
    tresult VST3_CALL performEdit(ParamID id, ParamValue value) override;
    tresult VST3_CALL endEdit(ParamID id) override;
    tresult VST3_CALL restartComponent(int32_t flags) override;
    std::vector<Call> calls;
};

// A stream over memory. `piece` limits what one read hands over.
class MemoryStream : public Counted<IBStream> {
public:
    MemoryStream() = default;
    explicit MemoryStream(std::vector<unsigned char> bytes) : bytes(std::move(bytes)) {}
    tresult VST3_CALL read(void* buffer, int32_t numBytes, int32_t* numBytesRead) override;
    tresult VST3_CALL write(void* buffer, int32_t numBytes, int32_t* numBytesWritten) override;
    tresult VST3_CALL seek(int64_t pos, int32_t mode, int64_t* result) override;
    tresult VST3_CALL tell(int64_t* pos) override;
    std::vector<unsigned char> bytes;
    size_t position = 0;
    int32_t piece = INT32_MAX;
};

// One queue per parameter, points in offset order.
class ValueQueue : public Counted<IParamValueQueue> {
public:
    ParamID VST3_CALL getParameterId() override { return id; }
    int32_t VST3_CALL getPointCount() override { return static_cast<int32_t>(points.size()); }
    tresult VST3_CALL getPoint(int32_t index, int32_t& offset, ParamValue& value) override;
    tresult VST3_CALL addPoint(int32_t offset, ParamValue value, int32_t& index) override;
    ParamID id = 0;
    std::vector<std::pair<int32_t, double>> points;
};

class ParameterChanges : public Counted<IParameterChanges> {
public:
    int32_t VST3_CALL getParameterCount() override { return static_cast<int32_t>(queues.size()); }
    IParamValueQueue* VST3_CALL getParameterData(int32_t index) override;
    IParamValueQueue* VST3_CALL addParameterData(const ParamID& id, int32_t& index) override;
    void add(ParamID id, int32_t offset, double value);
    std::vector<ValueQueue> queues;  // reserved: addresses stay put
    ParameterChanges() { queues.reserve(64); }
};

// One instance through a whole session: created, initialised with a host
// context, stereo, set up, active and processing.
struct Session {
    explicit Session(double rate = 44100.0, int32_t maxBlock = 4096);
    ~Session() { end(); }
    // Stops, terminates and releases every interface (once).
    void end();
    // Runs one block of 32-bit stereo through process. `silenceFlags`: the
    // output's flags as handed over, and as the plug-in left them;
    // `inputSilence` the input's.
    tresult process(float** in, float** out, int32_t frames, IParameterChanges* changes = nullptr,
                    uint64_t* silenceFlags = nullptr, uint64_t inputSilence = 0);
    // The second input bus that process hands over when `keyChannels` > 0
    // (as hosts pass every bus, active or not): `keyChannels` channels of
    // `key`. With 0, process hands over the main input only.
    float** key = nullptr;
    int32_t keyChannels = 0;

    HostApplication context;
    ComponentHandler handler;
    IComponent* component = nullptr;
    IAudioProcessor* processor = nullptr;
    IEditController* controller = nullptr;
    uint32_t lastRelease = 1;  // what the final release answered
    bool ended = false;
};

// The bytes of a file (empty if unreadable), and the folder of test data.
std::vector<unsigned char> ReadFile(const std::string& path);
std::string DataPath(const std::string& name);

std::string Narrow(const char16* text);
inline const char* Id(const Uid& uid) { return reinterpret_cast<const char*>(uid.bytes); }

}  // namespace vst3host
