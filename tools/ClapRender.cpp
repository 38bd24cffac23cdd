#include "ClapRender.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <utility>

#include "ParameterTable.h"
#include "edition/Parameters.h"
#include "PluginHost.h"
#include "Render.h"
#include "ValueTexts.h"

namespace halvorine {

using namespace clapabi;

const char* const kKeySourceNames[kNumKeySources] = {"left", "right", "mid", "side", "external"};

namespace {

// The CLAP IDs: 0..21 are the VST 2.x indices, Program's plain values are
// the program numbers, Key's the choices of kKeySourceNames.
constexpr clap_id kProgramId = edition::kProgramId;
constexpr clap_id kKeyId = edition::kKeyId;
constexpr uint32_t kKeyPort = 1;

// The host object the plug-in sees: it offers no extension, so the plug-in
// goes without log, thread check and parameter requests, and it never asks
// for anything the tool would have to do later (it renders in one pass).
const void* CLAP_CALL noExtension(const clap_host_t*, const char*) { return nullptr; }
void CLAP_CALL ignoreRequest(const clap_host_t*) {}

// Parameter changes handed to flush, in order: Program first, so that the
// parameters set after it change the program's values.
struct EventList {
    std::vector<clap_event_param_value_t> events;
    clap_input_events_t list{this, size, get};

    void add(clap_id id, double value) {
        clap_event_param_value_t event{};
        event.header.size = sizeof event;
        event.header.space_id = CLAP_CORE_EVENT_SPACE_ID;
        event.header.type = CLAP_EVENT_PARAM_VALUE;
        event.param_id = id;
        event.note_id = -1;
        event.port_index = event.channel = event.key = -1;
        event.value = value;
        events.push_back(event);
    }
    static uint32_t CLAP_CALL size(const clap_input_events_t* list) {
        return static_cast<uint32_t>(static_cast<const EventList*>(list->ctx)->events.size());
    }
    static const clap_event_header_t* CLAP_CALL get(const clap_input_events_t* list, uint32_t index) {
        const auto& events = static_cast<const EventList*>(list->ctx)->events;
        return index < events.size() ? &events[index].header : nullptr;
    }
};

// The plug-in's own events (none are expected from an instance without an
// editor) are dropped.
bool CLAP_CALL dropEvent(const clap_output_events_t*, const clap_event_header_t*) { return true; }
const clap_output_events_t kNoOutput{nullptr, dropEvent};
const EventList kNoEvents;

}  // namespace

std::vector<std::string> clapSearchPaths() {
    std::vector<std::string> paths;
    char buffer[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n > 0) {
        std::filesystem::path folder = std::filesystem::path(std::string(buffer, static_cast<size_t>(n))).parent_path();
        paths.push_back((folder / "Halvorine.clap").string());
        paths.push_back((folder.parent_path() / "lib" / "clap" / "Halvorine.clap").lexically_normal().string());
    }
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/')
        paths.push_back((std::filesystem::path(home) / ".clap" / "Halvorine.clap").lexically_normal().string());
    paths.push_back("/usr/lib/clap/Halvorine.clap");
    return paths;
}

std::string findDefaultClap() {
    for (const std::string& path : clapSearchPaths())
        if (access(path.c_str(), F_OK) == 0)
            return path;
    return "";
}

std::string noDefaultClapMessage() {
    std::string message = "no Halvorine.clap found (a key needs the CLAP edition); looked for";
    const char* separator = " ";
    for (const std::string& path : clapSearchPaths()) {
        message += separator + path;
        separator = ", ";
    }
    return message + " (choose one with --plugin PATH)";
}

int keySourceIndex(const std::string& name) {
    for (int i = 0; i < kNumKeySources; ++i)
        if (name == kKeySourceNames[i])
            return i;
    return -1;
}

ClapModule::ClapModule(const std::string& path) : path_(path) {
    std::string openPath = path.find('/') == std::string::npos ? "./" + path : path;
    if (access(openPath.c_str(), F_OK) != 0)
        throw std::runtime_error("CLAP module " + path + " not found (choose one with --plugin PATH)");
    library_ = dlopen(openPath.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library_ == nullptr) {
        const char* why = dlerror();
        throw std::runtime_error("cannot load CLAP module " + path + ": " + (why ? why : "unknown error"));
    }
    try {
        entry_ = static_cast<const clap_plugin_entry_t*>(dlsym(library_, kEntrySymbol));
        if (entry_ == nullptr || entry_->init == nullptr || entry_->get_factory == nullptr ||
            !clap_version_is_compatible(entry_->clap_version))
            throw std::runtime_error(path + " is not a CLAP module (no usable clap_entry)");
        if (!entry_->init(path.c_str()))
            throw std::runtime_error("CLAP module " + path + " refused to start");
        entryInitialised_ = true;
        factory_ = static_cast<const clap_plugin_factory_t*>(entry_->get_factory(CLAP_PLUGIN_FACTORY_ID));
        const clap_plugin_descriptor_t* descriptor =
            factory_ != nullptr && factory_->get_plugin_count(factory_) > 0
                ? factory_->get_plugin_descriptor(factory_, 0)
                : nullptr;
        if (descriptor == nullptr || descriptor->id == nullptr)
            throw std::runtime_error("CLAP module " + path + " has no plug-in");
        pluginId_ = descriptor->id;
    } catch (...) {
        unload();
        throw;
    }
}

ClapModule::~ClapModule() { unload(); }

void ClapModule::unload() {
    if (entryInitialised_)
        entry_->deinit();
    entryInitialised_ = false;
    if (library_ != nullptr)
        dlclose(library_);
    library_ = nullptr;
}

ClapInstance::ClapInstance(const std::string& path) : ClapInstance(std::make_shared<const ClapModule>(path)) {}

ClapInstance::ClapInstance(std::shared_ptr<const ClapModule> module)
    : module_(std::move(module)), path_(module_->path()) {
    const clap_plugin_factory_t* factory = module_->factory();
    const std::string& path = path_;
    try {
        host_.clap_version = CLAP_VERSION;
        host_.name = "halvorine command-line host";
        host_.vendor = "Halvorine";
        host_.url = "";
        host_.version = HALVORINE_VERSION;
        host_.get_extension = noExtension;
        host_.request_restart = host_.request_process = host_.request_callback = ignoreRequest;
        plugin_ = factory->create_plugin(factory, &host_, module_->pluginId());
        if (plugin_ == nullptr || !plugin_->init(plugin_)) {
            if (plugin_ != nullptr)
                plugin_->destroy(plugin_);
            plugin_ = nullptr;
            throw std::runtime_error("CLAP module " + path + " could not create its plug-in");
        }

        const auto* ports = static_cast<const clap_plugin_audio_ports_t*>(plugin_->get_extension(plugin_, CLAP_EXT_AUDIO_PORTS));
        params_ = static_cast<const clap_plugin_params_t*>(plugin_->get_extension(plugin_, CLAP_EXT_PARAMS));
        clap_audio_port_info_t main{}, key{}, out{};
        const bool stereo = ports != nullptr && ports->count(plugin_, true) >= 1 && ports->count(plugin_, false) >= 1 &&
                            ports->get(plugin_, 0, true, &main) && ports->get(plugin_, 0, false, &out) &&
                            main.channel_count == 2 && out.channel_count == 2;
        if (!stereo)
            throw std::runtime_error("CLAP plug-in in " + path + " has no stereo input and output");
        double value = 0.0;
        if (ports->count(plugin_, true) <= kKeyPort || !ports->get(plugin_, kKeyPort, true, &key) ||
            (key.flags & CLAP_AUDIO_PORT_IS_MAIN) != 0 || key.channel_count != 2 || params_ == nullptr ||
            !params_->get_value(plugin_, kKeyId, &value))
            throw std::runtime_error("CLAP plug-in in " + path + " has no key input (an edition without \"Key\")");
    } catch (...) {
        unload();
        throw;
    }
}

ClapInstance::~ClapInstance() { unload(); }

void ClapInstance::unload() {
    if (plugin_ != nullptr) {
        if (processing_)
            plugin_->stop_processing(plugin_);
        if (active_)
            plugin_->deactivate(plugin_);
        plugin_->destroy(plugin_);
        plugin_ = nullptr;
    }
}

void ClapInstance::configure(const Settings& settings, int keySource) {
    EventList changes;
    if (!settings.program.empty()) {
        std::vector<std::string> names(params::kProgramNames, params::kProgramNames + params::kNumPrograms);
        changes.add(kProgramId, findName(names, settings.program, "program"));
    }
    std::vector<std::string> names;
    for (const params::Parameter& parameter : params::kParameters)
        names.push_back(parameter.hostName);
    for (const auto& [name, text] : settings.set) {
        const int index = findName(names, name, "parameter");
        changes.add(static_cast<clap_id>(index), settingValue(index, text));
    }
    changes.add(kKeyId, keySource);
    params_->flush(plugin_, &changes.list, &kNoOutput);
}

void ClapInstance::activate(double sampleRate, int maxFrames) {
    if (!plugin_->activate(plugin_, sampleRate, 1, static_cast<uint32_t>(maxFrames)))
        throw std::runtime_error("CLAP plug-in in " + path_ + " refused to run at " +
                                 std::to_string(static_cast<long>(sampleRate)) + " Hz");
    active_ = true;
    if (!plugin_->start_processing(plugin_))
        throw std::runtime_error("CLAP plug-in in " + path_ + " refused to start processing");
    processing_ = true;
}

void ClapInstance::process(float* const* in, float* const* key, float* const* out, int frames) {
    clap_audio_buffer_t inputs[2] = {{const_cast<float**>(in), nullptr, 2, 0, 0},
                                     {const_cast<float**>(key), nullptr, 2, 0, 0}};
    clap_audio_buffer_t output{const_cast<float**>(out), nullptr, 2, 0, 0};
    clap_process_t block{};
    block.steady_time = steadyTime_;
    block.frames_count = static_cast<uint32_t>(frames);
    block.audio_inputs = inputs;
    block.audio_outputs = &output;
    block.audio_inputs_count = 2;
    block.audio_outputs_count = 1;
    block.in_events = &kNoEvents.list;
    block.out_events = &kNoOutput;
    if (plugin_->process(plugin_, &block) == CLAP_PROCESS_ERROR)
        throw std::runtime_error("CLAP plug-in in " + path_ + " failed to process a block");
    steadyTime_ += frames;
}

}  // namespace halvorine
