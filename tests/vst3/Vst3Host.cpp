#include "Vst3Host.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

#include "TestHost.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#include <unistd.h>
#endif

namespace vst3host {

namespace {

std::string DirectoryOfExecutable() {
#if defined(_WIN32)
    char buffer[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, buffer, MAX_PATH);
    std::string path(buffer);
    return path.substr(0, path.find_last_of("\\/") + 1);
#else
    char buffer[4096] = {};
    const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    std::string path(buffer, n > 0 ? static_cast<size_t>(n) : 0);
    return path.substr(0, path.find_last_of('/') + 1);
#endif
}

[[noreturn]] void Fail(const std::string& what) {
    std::fprintf(stderr, "%s\n", what.c_str());
    std::exit(2);
}

}  // namespace

Module& Module::instance() {
    static Module module;
    return module;
}

Module::Module() {
    path_ = DirectoryOfExecutable() + HALVORINE_VST3_MODULE;
    const auto& args = testhost::CommandLine();
    for (size_t i = 1; i + 1 < args.size(); ++i)
        if (args[i] == "--vst3")
            path_ = args[i + 1];
    using GetFactory = IPluginFactory*(VST3_CALL*)();
#if defined(_WIN32)
    HMODULE handle = LoadLibraryA(path_.c_str());
    if (handle == nullptr)
        Fail("cannot load " + path_);
    auto init = reinterpret_cast<bool (*)()>(reinterpret_cast<void*>(GetProcAddress(handle, "InitDll")));
    if (init != nullptr && !init())
        Fail("InitDll failed");
    auto get = reinterpret_cast<GetFactory>(reinterpret_cast<void*>(GetProcAddress(handle, "GetPluginFactory")));
#else
    void* handle = dlopen(path_.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr)
        Fail("cannot load " + path_ + ": " + dlerror());
    auto entry = reinterpret_cast<bool (*)(void*)>(dlsym(handle, "ModuleEntry"));
    if (entry == nullptr || !entry(handle))
        Fail("ModuleEntry missing or failed");
    auto get = reinterpret_cast<GetFactory>(dlsym(handle, "GetPluginFactory"));
#endif
    if (get == nullptr || (factory_ = get()) == nullptr)
        Fail("no factory in " + path_);
}

bool Module::audioClass(PClassInfo& info) const {
    for (int32_t i = 0; i < factory_->countClasses(); ++i)
        if (factory_->getClassInfo(i, &info) == kResultOk && std::strcmp(info.category, "Audio Module Class") == 0)
            return true;
    return false;
}

tresult VST3_CALL HostApplication::getName(String128 name) {
    const char text[] = "Halvorine test host";
    for (size_t i = 0; i < sizeof text; ++i)
        name[i] = static_cast<char16>(text[i]);
    return kResultOk;
}

tresult VST3_CALL ComponentHandler::beginEdit(ParamID id) {
    calls.push_back({'b', id, 0});
    return kResultOk;
}
tresult VST3_CALL ComponentHandler::performEdit(ParamID id, ParamValue value) {
    calls.push_back({'p', id, value});
    return kResultOk;
}
tresult VST3_CALL ComponentHandler::endEdit(ParamID id) {
    calls.push_back({'e', id, 0});
    return kResultOk;
}
tresult VST3_CALL ComponentHandler::restartComponent(int32_t flags) {
    calls.push_back({'r', 0, static_cast<double>(flags)});
    return kResultOk;
}

tresult VST3_CALL MemoryStream::read(void* buffer, int32_t numBytes, int32_t* numBytesRead) {
    if (numBytes < 0)
        return kInvalidArgument;
    size_t n = std::min<size_t>({static_cast<size_t>(numBytes), bytes.size() - position, static_cast<size_t>(piece)});
    if (n > 0)
        std::memcpy(buffer, bytes.data() + position, n);
    position += n;
    if (numBytesRead != nullptr)
        *numBytesRead = static_cast<int32_t>(n);
    return kResultOk;
}

tresult VST3_CALL MemoryStream::write(void* buffer, int32_t numBytes, int32_t* numBytesWritten) {
    if (numBytes < 0)
        return kInvalidArgument;
    const auto* p = static_cast<const unsigned char*>(buffer);
    if (bytes.size() < position + static_cast<size_t>(numBytes))
        bytes.resize(position + static_cast<size_t>(numBytes));
    std::memcpy(bytes.data() + position, p, static_cast<size_t>(numBytes));
    position += static_cast<size_t>(numBytes);
    if (numBytesWritten != nullptr)
        *numBytesWritten = numBytes;
    return kResultOk;
}

tresult VST3_CALL MemoryStream::seek(int64_t pos, int32_t mode, int64_t* result) {
    const int64_t base = mode == kIBSeekSet ? 0 : mode == kIBSeekCur ? static_cast<int64_t>(position)
                                                                      : static_cast<int64_t>(bytes.size());
    if (base + pos < 0 || base + pos > static_cast<int64_t>(bytes.size()))
        return kInvalidArgument;
    position = static_cast<size_t>(base + pos);
    if (result != nullptr)
        *result = static_cast<int64_t>(position);
    return kResultOk;
}

tresult VST3_CALL MemoryStream::tell(int64_t* pos) {
    *pos = static_cast<int64_t>(position);
    return kResultOk;
}

tresult VST3_CALL ValueQueue::getPoint(int32_t index, int32_t& offset, ParamValue& value) {
    if (index < 0 || index >= getPointCount())
        return kInvalidArgument;
    offset = points[static_cast<size_t>(index)].first;
    value = points[static_cast<size_t>(index)].second;
    return kResultOk;
}

tresult VST3_CALL ValueQueue::addPoint(int32_t offset, ParamValue value, int32_t& index) {
    index = getPointCount();
    points.emplace_back(offset, value);
    return kResultOk;
}

IParamValueQueue* VST3_CALL ParameterChanges::getParameterData(int32_t index) {
    return index >= 0 && index < getParameterCount() ? &queues[static_cast<size_t>(index)] : nullptr;
}

IParamValueQueue* VST3_CALL ParameterChanges::addParameterData(const ParamID& id, int32_t& index) {
    for (size_t i = 0; i < queues.size(); ++i)
        if (queues[i].id == id) {
            index = static_cast<int32_t>(i);
            return &queues[i];
        }
    index = getParameterCount();
    queues.emplace_back();
    queues.back().id = id;
    return &queues.back();
}

void ParameterChanges::add(ParamID id, int32_t offset, double value) {
    int32_t index = 0, point = 0;
    addParameterData(id, index)->addPoint(offset, value, point);
}

Session::Session(double rate, int32_t maxBlock) {
    PClassInfo info{};
    IPluginFactory* factory = Module::instance().factory();
    if (!Module::instance().audioClass(info) ||
        factory->createInstance(reinterpret_cast<const char*>(info.cid),
                                Id(IComponent::iid),
                                reinterpret_cast<void**>(&component)) != kResultOk)
        Fail("no instance");
    if (component->initialize(&context) != kResultOk)
        Fail("initialize failed");
    component->queryInterface(Id(IAudioProcessor::iid), reinterpret_cast<void**>(&processor));
    if (component->queryInterface(Id(IEditController::iid), reinterpret_cast<void**>(&controller)) != kResultOk) {
        // A separate controller, as most plug-ins have.
        TUID cid{};
        if (component->getControllerClassId(cid) != kResultOk ||
            factory->createInstance(cid, Id(IEditController::iid),
                                    reinterpret_cast<void**>(&controller)) != kResultOk ||
            controller->initialize(&context) != kResultOk)
            Fail("no controller");
    }
    controller->setComponentHandler(&handler);
    SpeakerArrangement stereo[2] = {kStereo, kStereo};
    processor->setBusArrangements(&stereo[0], 1, &stereo[1], 1);
    component->activateBus(kAudio, kInput, 0, 1);
    component->activateBus(kAudio, kOutput, 0, 1);
    ProcessSetup setup{kRealtime, kSample32, maxBlock, rate};
    if (processor->setupProcessing(setup) != kResultOk)
        Fail("setupProcessing refused");
    component->setActive(1);
    processor->setProcessing(1);
}

void Session::end() {
    if (ended)
        return;
    ended = true;
    processor->setProcessing(0);
    component->setActive(0);
    void* same = nullptr;
    const bool single = component->queryInterface(Id(IEditController::iid), &same) == kResultOk;
    if (same != nullptr)
        static_cast<FUnknown*>(same)->release();
    if (!single)
        controller->terminate();
    component->terminate();
    controller->release();
    processor->release();
    lastRelease = component->release();
}

tresult Session::process(float** in, float** out, int32_t frames, IParameterChanges* changes,
                         uint64_t* silenceFlags, uint64_t inputSilence) {
    AudioBusBuffers inputs[2] = {{2, inputSilence, {in}}, {keyChannels, 0, {key}}};
    AudioBusBuffers output{2, silenceFlags != nullptr ? *silenceFlags : 0, {out}};
    ProcessData data{};
    data.processMode = kRealtime;
    data.symbolicSampleSize = kSample32;
    data.numSamples = frames;
    data.numInputs = keyChannels > 0 ? 2 : 1;
    data.numOutputs = 1;
    data.inputs = inputs;
    data.outputs = &output;
    data.inputParameterChanges = changes;
    const tresult result = processor->process(data);
    if (silenceFlags != nullptr)
        *silenceFlags = output.silenceFlags;
    return result;
}

std::vector<unsigned char> ReadFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

std::string DataPath(const std::string& name) { return std::string(HALVORINE_VST3_TEST_DATA) + "/" + name; }

std::string Narrow(const char16* text) {
    std::string out;
    for (; *text != 0; ++text)
        out += static_cast<char>(*text < 0x80 ? *text : '?');
    return out;
}

}  // namespace vst3host
