// The factory programs as presets and the remote-control pages
// (ClapPresets.h). The eight programs live inside the plug-in, so the one
// provider declares one location of the plug-in kind, with no path, and
// tells them apart by load keys "0" to "7": the program numbers that the
// Program parameter takes. Loading one chooses it as that parameter does.
#include "ClapPresets.h"

#include <cstring>
#include <new>

#include "FloatingPointGuard.h"
#include "ParameterTable.h"
#include "edition/Parameters.h"
#include "abi/Presets.h"

namespace clapedition {

using namespace clapabi;

namespace {

constexpr const char* kPluginId = "com.pellucid.halvorine";
constexpr const char* kProviderId = "com.pellucid.halvorine.factory";
constexpr const char* kLocationName = "Factory programs";

// The load key of each program: its number.
const char* const kLoadKeys[params::kNumPrograms] = {"0", "1", "2", "3", "4", "5", "6", "7"};
static_assert(params::kNumPrograms <= 10, "load keys are single digits");

bool Same(const char* a, const char* b) { return a != nullptr && std::strcmp(a, b) == 0; }

// The program a load key names, or -1.
int ProgramOfKey(const char* loadKey) {
    for (int program = 0; program < params::kNumPrograms; ++program)
        if (Same(loadKey, kLoadKeys[program]))
            return program;
    return -1;
}

// The plug-in's own location has no path; a host may pass an empty one.
bool IsPluginLocation(clap_preset_discovery_location_kind kind, const char* location) {
    return kind == CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN && (location == nullptr || location[0] == '\0');
}

// --- Discovery -----------------------------------------------------------------

const clap_preset_discovery_provider_descriptor_t kProviderDescriptor = {CLAP_VERSION, kProviderId,
                                                                         "Halvorine factory programs", "Pellucid"};

// One provider the host made, with the indexer it was made for.
struct Provider {
    clap_preset_discovery_provider_t clap;
    const clap_preset_discovery_indexer_t* indexer;
};

const Provider* ProviderOf(const clap_preset_discovery_provider_t* provider) {
    return provider == nullptr ? nullptr : static_cast<const Provider*>(provider->provider_data);
}

bool providerInit(const clap_preset_discovery_provider_t* provider) {
    const Provider* self = ProviderOf(provider);
    if (self == nullptr || self->indexer == nullptr || self->indexer->declare_location == nullptr)
        return false;
    const clap_preset_discovery_location_t location = {CLAP_PRESET_DISCOVERY_IS_FACTORY_CONTENT, kLocationName,
                                                       CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN, nullptr};
    return self->indexer->declare_location(self->indexer, &location);
}

void providerDestroy(const clap_preset_discovery_provider_t* provider) { delete ProviderOf(provider); }

bool providerGetMetadata(const clap_preset_discovery_provider_t* provider,
                         clap_preset_discovery_location_kind locationKind, const char* location,
                         const clap_preset_discovery_metadata_receiver_t* receiver) {
    if (ProviderOf(provider) == nullptr || receiver == nullptr)
        return false;
    if (!IsPluginLocation(locationKind, location)) {
        if (receiver->on_error != nullptr)
            receiver->on_error(receiver, 0, "Halvorine keeps its presets in the plug-in only");
        return false;
    }
    if (receiver->begin_preset == nullptr)
        return false;
    const clap_universal_plugin_id_t pluginId = {"clap", kPluginId};
    for (int program = 0; program < params::kNumPrograms; ++program) {
        // False: the host wants no more presets from this location.
        if (!receiver->begin_preset(receiver, params::kProgramNames[program], kLoadKeys[program]))
            break;
        if (receiver->add_plugin_id != nullptr)
            receiver->add_plugin_id(receiver, &pluginId);
        if (receiver->set_flags != nullptr)
            receiver->set_flags(receiver, CLAP_PRESET_DISCOVERY_IS_FACTORY_CONTENT);
        if (receiver->add_creator != nullptr)
            receiver->add_creator(receiver, "Pellucid");
    }
    return true;
}

const void* providerGetExtension(const clap_preset_discovery_provider_t*, const char*) { return nullptr; }

uint32_t factoryCount(const clap_preset_discovery_factory_t*) { return 1; }

const clap_preset_discovery_provider_descriptor_t* factoryGetDescriptor(const clap_preset_discovery_factory_t*,
                                                                        uint32_t index) {
    return index == 0 ? &kProviderDescriptor : nullptr;
}

const clap_preset_discovery_provider_t* factoryCreate(const clap_preset_discovery_factory_t*,
                                                      const clap_preset_discovery_indexer_t* indexer,
                                                      const char* providerId) {
    if (indexer == nullptr || !Same(providerId, kProviderId))
        return nullptr;
    Provider* provider = new (std::nothrow) Provider{};
    if (provider == nullptr)
        return nullptr;
    provider->clap = {&kProviderDescriptor,
                      provider,
                      fpenv::Guarded<providerInit>,
                      fpenv::Guarded<providerDestroy>,
                      fpenv::Guarded<providerGetMetadata>,
                      fpenv::Guarded<providerGetExtension>};
    provider->indexer = indexer;
    return &provider->clap;
}

const clap_preset_discovery_factory_t kFactory = {fpenv::Guarded<factoryCount>, fpenv::Guarded<factoryGetDescriptor>,
                                                  fpenv::Guarded<factoryCreate>};

// --- Loading -------------------------------------------------------------------

const clap_host_preset_load_t* HostPresetLoad(const clap_host_t* host) {
    if (host == nullptr || host->get_extension == nullptr)
        return nullptr;
    const void* extension = host->get_extension(host, CLAP_EXT_PRESET_LOAD);
    if (extension == nullptr)
        extension = host->get_extension(host, CLAP_EXT_PRESET_LOAD_COMPAT);
    return static_cast<const clap_host_preset_load_t*>(extension);
}

bool fromLocation(const clap_plugin_t* clapPlugin, clap_preset_discovery_location_kind locationKind,
                  const char* location, const char* loadKey) {
    ClapPlugin* plugin = PluginOf(clapPlugin);
    if (plugin == nullptr)
        return false;
    const int program = IsPluginLocation(locationKind, location) ? ProgramOfKey(loadKey) : -1;
    bool loaded = false;
    try {
        loaded = program >= 0 && ChooseProgram(*plugin, program);
    } catch (...) {
        loaded = false;
    }
    const clap_host_t* host = HostOf(*plugin);
    if (const clap_host_preset_load_t* hostLoad = HostPresetLoad(host)) {
        if (loaded && hostLoad->loaded != nullptr)
            hostLoad->loaded(host, locationKind, location, loadKey);
        else if (!loaded && hostLoad->on_error != nullptr)
            hostLoad->on_error(host, locationKind, location, loadKey, 0,
                               program < 0 ? "Not one of Halvorine's factory programs"
                                           : "Halvorine could not choose the program");
    }
    return loaded;
}

const clap_plugin_preset_load_t kPresetLoad = {fpenv::Guarded<fromLocation>};

// --- Remote controls -------------------------------------------------------------

struct Page {
    const char* section;
    const char* name;
    clap_id params[CLAP_REMOTE_CONTROLS_COUNT];
};

// The envelope and bypass first, then the sixteen band levels in two pages.
const Page kPages[] = {
    {"Main", "Main", {0, 1, 2, 3, 4, 5, edition::kBypassId, CLAP_INVALID_ID}},
    {"Bands", "Bands 1\u20138", {6, 7, 8, 9, 10, 11, 12, 13}},
    {"Bands", "Bands 9\u201316", {14, 15, 16, 17, 18, 19, 20, 21}},
};
constexpr uint32_t kNumPages = sizeof(kPages) / sizeof(kPages[0]);

void CopyName(char (&to)[CLAP_NAME_SIZE], const char* from) {
    std::strncpy(to, from, CLAP_NAME_SIZE - 1);
    to[CLAP_NAME_SIZE - 1] = '\0';
}

uint32_t pagesCount(const clap_plugin_t* plugin) { return PluginOf(plugin) != nullptr ? kNumPages : 0; }

bool pagesGet(const clap_plugin_t* plugin, uint32_t pageIndex, clap_remote_controls_page_t* page) {
    if (PluginOf(plugin) == nullptr || page == nullptr || pageIndex >= kNumPages)
        return false;
    const Page& from = kPages[pageIndex];
    std::memset(page, 0, sizeof(*page));
    CopyName(page->section_name, from.section);
    page->page_id = pageIndex;
    CopyName(page->page_name, from.name);
    for (uint32_t slot = 0; slot < CLAP_REMOTE_CONTROLS_COUNT; ++slot)
        page->param_ids[slot] = from.params[slot];
    page->is_for_preset = false;  // the same pages whatever program is chosen
    return true;
}

const clap_plugin_remote_controls_t kRemoteControls = {fpenv::Guarded<pagesCount>, fpenv::Guarded<pagesGet>};

}  // namespace

const void* PresetDiscoveryFactory(const char* factoryId) {
    fpenv::FloatingPointGuard guard;
    if (Same(factoryId, CLAP_PRESET_DISCOVERY_FACTORY_ID) || Same(factoryId, CLAP_PRESET_DISCOVERY_FACTORY_ID_COMPAT))
        return &kFactory;
    return nullptr;
}

const void* PresetLoadExtension() { return &kPresetLoad; }

const void* RemoteControlsExtension() { return &kRemoteControls; }

bool IsPresetLoadId(const char* extensionId) {
    return Same(extensionId, CLAP_EXT_PRESET_LOAD) || Same(extensionId, CLAP_EXT_PRESET_LOAD_COMPAT);
}

bool IsRemoteControlsId(const char* extensionId) {
    return Same(extensionId, CLAP_EXT_REMOTE_CONTROLS) || Same(extensionId, CLAP_EXT_REMOTE_CONTROLS_COMPAT);
}

}  // namespace clapedition
