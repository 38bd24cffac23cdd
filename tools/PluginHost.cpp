#include "PluginHost.h"

#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <utility>

namespace halvorine {

namespace {

// The host's version as VST 2.4 hosts announce it.
constexpr VstIntPtr kHostVersion = 2400;
// audioMasterGetCurrentProcessLevel answers: 1 user interface, 4 offline.
constexpr VstIntPtr kProcessLevelUser = 1;
constexpr VstIntPtr kProcessLevelOffline = 4;
// audioMasterGetAutomationState: 1 automation off.
constexpr VstIntPtr kAutomationOff = 1;
// audioMasterGetLanguage: 1 English.
constexpr VstIntPtr kLanguageEnglish = 1;

// The host whose plug-in this thread's entry call is building. The entry
// function calls back before the record exists, so the callback cannot
// find its host through the record yet; once it exists, the record's field
// reserved for the host holds it, and every instance of a batch, each on
// its own thread, finds its own.
thread_local Plugin* buildingHost = nullptr;

VstIntPtr VSTCALLBACK audioMaster(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                  float opt) {
    if (opcode == audioMasterVersion)
        return kHostVersion;
    Plugin* host = buildingHost;
    if (host == nullptr && effect != nullptr)
        host = reinterpret_cast<Plugin*>(effect->resvd1);
    return host != nullptr ? host->callback(effect, opcode, index, value, ptr, opt) : 0;
}

std::string lowercase(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

// A whole decimal number, nothing before or after it.
bool parseIndex(const std::string& s, int& index) {
    if (s.empty() || s.size() > 9 || !std::all_of(s.begin(), s.end(), [](unsigned char c) { return std::isdigit(c); }))
        return false;
    index = std::stoi(s);
    return true;
}

void copyText(void* ptr, const char* text, size_t capacity) {
    std::strncpy(static_cast<char*>(ptr), text, capacity - 1);
    static_cast<char*>(ptr)[capacity - 1] = '\0';
}

// dlsym on a library handle also searches the libraries it depends on; an
// entry is only the library's own if it lies inside that library.
EntryProc ownSymbol(void* library, const char* name) {
    void* symbol = dlsym(library, name);
    if (symbol == nullptr)
        return nullptr;
    link_map* map = nullptr;
    Dl_info info{};
    if (dlinfo(library, RTLD_DI_LINKMAP, &map) != 0 || dladdr(symbol, &info) == 0 || map == nullptr)
        return nullptr;
    if (reinterpret_cast<uintptr_t>(info.dli_fbase) != static_cast<uintptr_t>(map->l_addr) &&
        std::strcmp(info.dli_fname, map->l_name) != 0)
        return nullptr;
    return reinterpret_cast<EntryProc>(symbol);
}

}  // namespace

std::vector<std::string> pluginSearchPaths() {
    std::vector<std::string> paths;
    char buffer[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n > 0) {
        std::filesystem::path folder = std::filesystem::path(std::string(buffer, static_cast<size_t>(n))).parent_path();
        paths.push_back((folder / "Halvorine.so").string());
        paths.push_back((folder.parent_path() / "lib" / "vst" / "Halvorine.so").lexically_normal().string());
    }
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/')
        paths.push_back((std::filesystem::path(home) / ".vst" / "Halvorine.so").lexically_normal().string());
    return paths;
}

std::string findDefaultPlugin() {
    for (const std::string& path : pluginSearchPaths())
        if (access(path.c_str(), F_OK) == 0)
            return path;
    return "";
}

std::string noDefaultPluginMessage() {
    std::string message = "no Halvorine.so found; looked for";
    const char* separator = " ";
    for (const std::string& path : pluginSearchPaths()) {
        message += separator + path;
        separator = ", ";
    }
    return message + " (choose a plug-in with --plugin PATH)";
}

PluginLibrary::PluginLibrary(const std::string& path) : path_(path) {
    // A bare file name would make dlopen search the library path instead.
    std::string openPath = path.find('/') == std::string::npos ? "./" + path : path;
    if (access(openPath.c_str(), F_OK) != 0)
        throw std::runtime_error("plug-in " + path + " not found (choose one with --plugin PATH)");
    library_ = dlopen(openPath.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library_ == nullptr) {
        const char* why = dlerror();
        throw std::runtime_error("cannot load plug-in " + path + ": " + (why ? why : "unknown error"));
    }
    entry_ = ownSymbol(library_, "VSTPluginMain");
    if (entry_ == nullptr)
        entry_ = ownSymbol(library_, "main");
    if (entry_ == nullptr) {
        dlclose(library_);
        throw std::runtime_error("plug-in " + path + " has no entry (neither VSTPluginMain nor main)");
    }
}

PluginLibrary::~PluginLibrary() { dlclose(library_); }

Plugin::Plugin(const std::string& path, double sampleRate)
    : Plugin(std::make_shared<const PluginLibrary>(path), sampleRate) {}

Plugin::Plugin(std::shared_ptr<const PluginLibrary> library, double sampleRate)
    : path_(library->path()), library_(std::move(library)), sampleRate_(sampleRate) {
    build(library_->entry());
}

Plugin::Plugin(EntryProc entry, const std::string& name, double sampleRate) : path_(name), sampleRate_(sampleRate) {
    build(entry);
}

void Plugin::build(EntryProc entry) {
    buildingHost = this;
    effect_ = entry(audioMaster);
    buildingHost = nullptr;
    if (effect_ == nullptr || effect_->magic != kEffectMagic || effect_->dispatcher == nullptr) {
        bool built = effect_ != nullptr;
        effect_ = nullptr;
        throw std::runtime_error("plug-in " + path_ +
                                 (built ? " is not a VST 2.x effect (bad record)" : " refused to start (no effect record)"));
    }
    effect_->resvd1 = reinterpret_cast<VstIntPtr>(this);
}

Plugin::~Plugin() {
    if (resumed_)
        suspend();
    // effClose frees the instance even when it was never opened.
    dispatch(effClose);
    effect_ = nullptr;
}

VstIntPtr Plugin::dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
    return effect_->dispatcher(effect_, opcode, index, value, ptr, opt);
}

void Plugin::open(int blockSize) {
    blockSize_ = blockSize;
    dispatch(effOpen);
    dispatch(effSetSampleRate, 0, 0, nullptr, static_cast<float>(sampleRate_));
    dispatch(effSetBlockSize, 0, blockSize);
}

void Plugin::resume() {
    dispatch(effMainsChanged, 0, 1);
    resumed_ = true;
}

void Plugin::suspend() {
    dispatch(effMainsChanged, 0, 0);
    resumed_ = false;
}

void Plugin::process(float** inputs, float** outputs, int frames) {
    processing_ = true;
    if ((effect_->flags & effFlagsCanReplacing) && effect_->processReplacing != nullptr) {
        effect_->processReplacing(effect_, inputs, outputs, frames);
    } else {
        // The VST 1 entry adds into the outputs.
        for (int c = 0; c < effect_->numOutputs; ++c)
            std::fill(outputs[c], outputs[c] + frames, 0.0f);
        effect_->process(effect_, inputs, outputs, frames);
    }
    processing_ = false;
}

std::string Plugin::text(VstInt32 opcode, VstInt32 index) {
    // Plug-ins write past the standard's short lengths; give them room.
    char buffer[512] = {};
    dispatch(opcode, index, 0, buffer);
    buffer[sizeof buffer - 1] = '\0';
    return buffer;
}

std::string Plugin::parameterName(int index) { return text(effGetParamName, index); }
std::string Plugin::parameterLabel(int index) { return text(effGetParamLabel, index); }
std::string Plugin::parameterDisplay(int index) { return text(effGetParamDisplay, index); }

std::string Plugin::programName(int index) {
    char buffer[512] = {};
    if (dispatch(effGetProgramNameIndexed, index, -1, buffer) != 0)
        return buffer;
    // VST 1 plug-ins only name the current program.
    int current = currentProgram();
    if (index != current)
        setProgram(index);
    std::string name = text(effGetProgramName);
    if (index != current)
        setProgram(current);
    return name;
}

int Plugin::findParameter(const std::string& nameOrIndex) {
    std::vector<std::string> names;
    for (int i = 0; i < numParams(); ++i)
        names.push_back(parameterName(i));
    return findName(names, nameOrIndex, "parameter");
}

int Plugin::findProgram(const std::string& nameOrIndex) {
    std::vector<std::string> names;
    int index = 0;
    // An index needs no names: naming the programs may switch between them.
    if (!parseIndex(nameOrIndex, index))
        for (int i = 0; i < numPrograms(); ++i)
            names.push_back(programName(i));
    else
        names.resize(static_cast<size_t>(numPrograms()));
    return findName(names, nameOrIndex, "program");
}

int findName(const std::vector<std::string>& names, const std::string& nameOrIndex, const std::string& kind) {
    const int count = static_cast<int>(names.size());
    int index = 0;
    if (parseIndex(nameOrIndex, index)) {
        if (index >= count)
            throw std::runtime_error(kind + " index " + nameOrIndex + " out of range (0 to " +
                                     std::to_string(count - 1) + ")");
        return index;
    }
    for (int i = 0; i < count; ++i)
        if (names[i] == nameOrIndex)
            return i;
    for (int i = 0; i < count; ++i)
        if (lowercase(names[i]) == lowercase(nameOrIndex))
            return i;
    std::string known;
    for (const std::string& name : names)
        if (!name.empty())
            known += (known.empty() ? "" : ", ") + ("\"" + name + "\"");
    throw std::runtime_error("unknown " + kind + " \"" + nameOrIndex + "\" (known: " + known + ", or an index)");
}

VstIntPtr Plugin::callback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                           float /*opt*/) {
    switch (opcode) {
    case audioMasterGetSampleRate:
        // Plug-ins take their rate while the entry builds them, some from the
        // answer and some from a rate request sent while they ask; give both.
        if (effect_ == nullptr && effect != nullptr && effect->magic == kEffectMagic && effect->dispatcher != nullptr)
            effect->dispatcher(effect, effSetSampleRate, 0, 0, nullptr, static_cast<float>(sampleRate_));
        return static_cast<VstIntPtr>(sampleRate_);
    case audioMasterGetBlockSize:
        return blockSize_;
    case audioMasterPinConnected:
        // Value 0 asks about input `index`, any other value about output
        // `index`; the answer 0 means connected. Every pin the plug-in
        // announces is fed or read, and no other.
        if (effect_ == nullptr)
            return 0;
        return index >= 0 && index < (value == 0 ? effect_->numInputs : effect_->numOutputs) ? 0 : 1;
    case audioMasterGetCurrentProcessLevel:
        return processing_ ? kProcessLevelOffline : kProcessLevelUser;
    case audioMasterGetAutomationState:
        return kAutomationOff;
    case audioMasterWillReplaceOrAccumulate:
        return effect_ != nullptr && (effect_->flags & effFlagsCanReplacing) ? 1 : 2;
    case audioMasterGetVendorString:
        if (ptr == nullptr)
            return 0;
        copyText(ptr, "Halvorine", kVstMaxVendorStrLen);
        return 1;
    case audioMasterGetProductString:
        if (ptr == nullptr)
            return 0;
        copyText(ptr, "halvorine command-line host", kVstMaxProductStrLen);
        return 1;
    case audioMasterGetVendorVersion:
        return 1000;
    case audioMasterGetLanguage:
        return kLanguageEnglish;
    case audioMasterCanDo:
        // Offline rendering: no transport, no events, no windows.
        return -1;
    default:
        // Automation, time information (there is no transport), MIDI
        // interest, idle and display updates: nothing to answer.
        return 0;
    }
}

}  // namespace halvorine
