// The module's one export, clap_entry, its plug-in factory with the one
// plug-in, and the C functions that the host calls on an instance: each
// finds the ClapPlugin, runs under the floating-point guard and lets no
// exception through.
// The build hides every symbol by default, and an object keeps the
// visibility of its first declaration: clap_entry's (in Base.h) must be
// visible, for the exports map to export it.
#if !defined(_WIN32)
#pragma GCC visibility push(default)
#endif
#include "abi/Base.h"
#if !defined(_WIN32)
#pragma GCC visibility pop
#endif

#include <cstring>
#include <new>
#include <string>

#include "ClapPlugin.h"
#include "ClapPresets.h"
#include "FloatingPointGuard.h"
#include "abi/Gui.h"

namespace clapedition {

using namespace clapabi;

namespace {

const char* const kFeatures[] = {CLAP_PLUGIN_FEATURE_AUDIO_EFFECT, CLAP_PLUGIN_FEATURE_GATE,
                                 CLAP_PLUGIN_FEATURE_STEREO, nullptr};

ClapPlugin& Self(const clap_plugin_t* plugin) { return *static_cast<ClapPlugin*>(plugin->plugin_data); }

// Runs `call` under the guard; `fallback` if it throws.
template <typename Result, typename Call>
Result Guarded(Result fallback, Call&& call) {
    fpenv::FloatingPointGuard guard;
    try {
        return call();
    } catch (...) {
        return fallback;
    }
}

template <typename Call>
void GuardedVoid(Call&& call) {
    fpenv::FloatingPointGuard guard;
    try {
        call();
    } catch (...) {
    }
}

void CopyText(char* out, size_t size, const char* text) {
    std::strncpy(out, text, size - 1);
    out[size - 1] = '\0';
}

// --- Audio ports: one stereo pair, 32-bit, in place; and the key -------------

// The key: a second input, not main, which hosts offer as a side chain.
constexpr uint32_t kKeyPort = 1;

uint32_t CLAP_CALL PortCount(const clap_plugin_t*, bool isInput) { return isInput ? 2 : 1; }

bool CLAP_CALL PortGet(const clap_plugin_t*, uint32_t index, bool isInput, clap_audio_port_info_t* info) {
    if (index >= PortCount(nullptr, isInput) || info == nullptr)
        return false;
    info->channel_count = 2;
    info->port_type = CLAP_PORT_STEREO;
    if (index == kKeyPort) {
        info->id = kKeyPort;
        CopyText(info->name, sizeof info->name, "Key");
        info->flags = 0;
        info->in_place_pair = CLAP_INVALID_ID;  // read only: the output never shares its buffers
        return true;
    }
    info->id = 0;
    CopyText(info->name, sizeof info->name, isInput ? "Input" : "Output");
    info->flags = CLAP_AUDIO_PORT_IS_MAIN;
    info->in_place_pair = 0;
    return true;
}

const clap_plugin_audio_ports_t kAudioPorts{&PortCount, &PortGet};

// --- Parameters: index = ID ---------------------------------------------------

uint32_t CLAP_CALL ParamCount(const clap_plugin_t*) { return edition::kNumParameters; }

bool CLAP_CALL ParamInfo(const clap_plugin_t*, uint32_t index, clap_param_info_t* info) {
    fpenv::FloatingPointGuard guard;
    edition::ParameterDescription d{};
    if (info == nullptr || !edition::DescribeParameter(index, d))
        return false;
    std::memset(info, 0, sizeof *info);
    info->id = index;
    info->flags = CLAP_PARAM_IS_AUTOMATABLE;
    if (d.stepCount > 0)
        info->flags |= CLAP_PARAM_IS_STEPPED;
    if (d.isList)
        info->flags |= CLAP_PARAM_IS_ENUM;
    if (d.isBypass)
        info->flags |= CLAP_PARAM_IS_BYPASS;
    CopyText(info->name, sizeof info->name, d.title);
    info->min_value = 0.0;
    info->max_value = edition::PlainFromNormalized(index, 1.0);
    info->default_value = edition::PlainFromNormalized(index, d.defaultValue);
    return true;
}

bool CLAP_CALL ParamValue(const clap_plugin_t* plugin, clap_id id, double* value) {
    return value != nullptr && Guarded(false, [&] { return Self(plugin).paramValue(id, *value); });
}

bool CLAP_CALL ValueToText(const clap_plugin_t* plugin, clap_id id, double value, char* out, uint32_t capacity) {
    if (out == nullptr || capacity == 0)
        return false;
    return Guarded(false, [&] {
        Self(plugin).checkMainThread();
        std::string text;
        if (!edition::ValueText(id, edition::NormalizedFromPlain(id, value == value ? value : 0.0), text))
            return false;
        CopyText(out, capacity, text.c_str());
        return true;
    });
}

bool CLAP_CALL TextToValue(const clap_plugin_t* plugin, clap_id id, const char* text, double* value) {
    if (text == nullptr || value == nullptr)
        return false;
    return Guarded(false, [&] {
        Self(plugin).checkMainThread();
        double normalized = 0.0;
        if (!edition::ValueFromText(id, text, normalized))
            return false;
        *value = edition::PlainFromNormalized(id, normalized);
        return true;
    });
}

void CLAP_CALL ParamFlush(const clap_plugin_t* plugin, const clap_input_events_t* in,
                          const clap_output_events_t* out) {
    GuardedVoid([&] { Self(plugin).flush(in, out); });
}

const clap_plugin_params_t kParams{&ParamCount, &ParamInfo, &ParamValue, &ValueToText, &TextToValue, &ParamFlush};

// --- State, latency, tail, render -------------------------------------------

bool CLAP_CALL StateSave(const clap_plugin_t* plugin, const clap_ostream_t* stream) {
    return stream != nullptr && stream->write != nullptr && Guarded(false, [&] { return Self(plugin).save(*stream); });
}

bool CLAP_CALL StateLoad(const clap_plugin_t* plugin, const clap_istream_t* stream) {
    return stream != nullptr && Guarded(false, [&] { return Self(plugin).load(*stream); });
}

const clap_plugin_state_t kState{&StateSave, &StateLoad};

uint32_t CLAP_CALL LatencyGet(const clap_plugin_t*) { return 0; }
const clap_plugin_latency_t kLatency{&LatencyGet};

// How long the bands ring once the input falls silent.
uint32_t CLAP_CALL TailGet(const clap_plugin_t* plugin) {
    return Guarded(0u, [&] { return Self(plugin).tail(); });
}
const clap_plugin_tail_t kTail{&TailGet};

// The gate renders as fast as it is asked to, in either mode alike.
bool CLAP_CALL HardRealtime(const clap_plugin_t*) { return false; }
bool CLAP_CALL RenderSet(const clap_plugin_t*, clap_plugin_render_mode mode) {
    return mode == CLAP_RENDER_REALTIME || mode == CLAP_RENDER_OFFLINE;
}
const clap_plugin_render_t kRender{&HardRealtime, &RenderSet};

// --- The plug-in ------------------------------------------------------------

bool CLAP_CALL Init(const clap_plugin_t* plugin) {
    return Guarded(false, [&] { return Self(plugin).init(); });
}

void CLAP_CALL Destroy(const clap_plugin_t* plugin) {
    GuardedVoid([&] {
        Self(plugin).checkMainThread();
        delete &Self(plugin);
    });
}

bool CLAP_CALL Activate(const clap_plugin_t* plugin, double rate, uint32_t minFrames, uint32_t maxFrames) {
    return Guarded(false, [&] { return Self(plugin).activate(rate, minFrames, maxFrames); });
}

void CLAP_CALL Deactivate(const clap_plugin_t* plugin) {
    GuardedVoid([&] {
        Self(plugin).checkMainThread();
        Self(plugin).deactivate();
    });
}

bool CLAP_CALL StartProcessing(const clap_plugin_t* plugin) {
    return Guarded(false, [&] { return Self(plugin).startProcessing(); });
}

void CLAP_CALL StopProcessing(const clap_plugin_t* plugin) {
    GuardedVoid([&] { Self(plugin).stopProcessing(); });
}

void CLAP_CALL Reset(const clap_plugin_t* plugin) {
    GuardedVoid([&] { Self(plugin).reset(); });
}

clap_process_status CLAP_CALL Process(const clap_plugin_t* plugin, const clap_process_t* process) {
    if (process == nullptr)
        return CLAP_PROCESS_ERROR;
    return Guarded(CLAP_PROCESS_ERROR, [&] { return Self(plugin).process(*process); });
}

const void* CLAP_CALL GetExtension(const clap_plugin_t*, const char* id) {
    if (id == nullptr)
        return nullptr;
    const std::pair<const char*, const void*> own[] = {
        {CLAP_EXT_AUDIO_PORTS, &kAudioPorts}, {CLAP_EXT_PARAMS, &kParams}, {CLAP_EXT_STATE, &kState},
        {CLAP_EXT_LATENCY, &kLatency},        {CLAP_EXT_TAIL, &kTail},     {CLAP_EXT_RENDER, &kRender},
    };
    for (const auto& e : own)
        if (std::strcmp(id, e.first) == 0)
            return e.second;
    return Guarded<const void*>(nullptr, [&]() -> const void* {
        if (std::strcmp(id, CLAP_EXT_GUI) == 0)
            return GuiExtension();
        if (std::strcmp(id, CLAP_EXT_TIMER_SUPPORT) == 0)
            return TimerSupportExtension();
        if (std::strcmp(id, CLAP_EXT_POSIX_FD_SUPPORT) == 0)
            return PosixFdExtension();
        if (IsPresetLoadId(id))
            return PresetLoadExtension();
        if (IsRemoteControlsId(id))
            return RemoteControlsExtension();
        return nullptr;
    });
}

void CLAP_CALL OnMainThread(const clap_plugin_t* plugin) {
    GuardedVoid([&] { Self(plugin).onMainThread(); });
}

// --- The factory and the entry -----------------------------------------------

uint32_t CLAP_CALL PluginCount(const clap_plugin_factory_t*) { return 1; }

const clap_plugin_descriptor_t* CLAP_CALL Descriptor(const clap_plugin_factory_t*, uint32_t index) {
    return index == 0 ? &kDescriptor : nullptr;
}

const clap_plugin_t* CLAP_CALL CreatePlugin(const clap_plugin_factory_t*, const clap_host_t* host,
                                            const char* pluginId) {
    if (host == nullptr || host->get_extension == nullptr || host->request_callback == nullptr ||
        !clap_version_is_compatible(host->clap_version) || pluginId == nullptr ||
        std::strcmp(pluginId, kDescriptor.id) != 0)
        return nullptr;
    fpenv::FloatingPointGuard guard;
    ClapPlugin* plugin = new (std::nothrow) ClapPlugin(host);
    return plugin != nullptr ? plugin->clapPlugin() : nullptr;
}

const clap_plugin_factory_t kFactory{&PluginCount, &Descriptor, &CreatePlugin};

bool CLAP_CALL EntryInit(const char*) { return true; }
void CLAP_CALL EntryDeinit() {}

const void* CLAP_CALL GetFactory(const char* factoryId) {
    if (factoryId == nullptr)
        return nullptr;
    if (std::strcmp(factoryId, CLAP_PLUGIN_FACTORY_ID) == 0)
        return &kFactory;
    return Guarded<const void*>(nullptr, [&] { return PresetDiscoveryFactory(factoryId); });
}

}  // namespace

const clap_plugin_descriptor_t kDescriptor{
    CLAP_VERSION, "com.pellucid.halvorine", "Halvorine", "Pellucid", "", "", "", HALVORINE_VERSION,
    "Sixteen-band stereo gate", kFeatures};

// The instance's C face, filled in here so that PluginOf can tell this
// edition's instances by their functions.
void FillPlugin(clap_plugin_t& plugin, ClapPlugin* self) {
    plugin.desc = &kDescriptor;
    plugin.plugin_data = self;
    plugin.init = &Init;
    plugin.destroy = &Destroy;
    plugin.activate = &Activate;
    plugin.deactivate = &Deactivate;
    plugin.start_processing = &StartProcessing;
    plugin.stop_processing = &StopProcessing;
    plugin.reset = &Reset;
    plugin.process = &Process;
    plugin.get_extension = &GetExtension;
    plugin.on_main_thread = &OnMainThread;
}

// --- What the other parts reach the plug-in through (ClapParts.h) ------------

ClapPlugin* PluginOf(const clap_plugin_t* plugin) {
    return plugin != nullptr && plugin->init == &Init && plugin->plugin_data != nullptr
               ? static_cast<ClapPlugin*>(plugin->plugin_data)
               : nullptr;
}

const clap_host_t* HostOf(ClapPlugin& plugin) { return plugin.host(); }
float EditorValue(ClapPlugin& plugin, int index) { return plugin.editorValue(index); }
int EditorKeySource(ClapPlugin& plugin) { return plugin.editorKeySource(); }
bool EditorKeyMissing(ClapPlugin& plugin) { return plugin.editorKeyMissing(); }
int EditorProgram(ClapPlugin& plugin) { return plugin.editorProgram(); }
bool EditorActivity(ClapPlugin& plugin, float level[16], float gain[16]) {
    return plugin.editorActivity(level, gain);
}
EditorController& EditorControllerOf(ClapPlugin& plugin) { return plugin; }
bool ChooseProgram(ClapPlugin& plugin, int program) { return plugin.chooseProgram(program); }
ClapGui*& GuiSlot(ClapPlugin& plugin) { return plugin.gui(); }

}  // namespace clapedition

// The one export (see exports.map and Halvorine.def).
extern "C" {

const clapabi::clap_plugin_entry_t clap_entry{clapabi::CLAP_VERSION, &clapedition::EntryInit,
                                              &clapedition::EntryDeinit, &clapedition::GetFactory};
}
