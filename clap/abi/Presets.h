// Presets and hardware controls: the preset-discovery factory, through
// which a host indexes a plug-in's presets without making an instance; the
// preset-load extension, through which an instance loads one of them; and
// the remote-controls extension, which lays parameters out in pages of
// eight for a controller's knobs.
//
// The first two left their draft stage under new identifiers; hosts made
// during the drafts still ask for the draft ones, which name the same
// layouts, so a plug-in answers both.
#pragma once

#include "Base.h"

namespace clapabi {

extern "C" {

// --- Plug-in identity across formats ----------------------------------------

// A plug-in named by the format whose identifier it is ("clap" for ours,
// with the descriptor's id).
struct clap_universal_plugin_id_t {
    const char* abi;
    const char* id;
};

// Seconds since the Unix epoch; 0 is unknown.
using clap_timestamp = uint64_t;
constexpr clap_timestamp CLAP_TIMESTAMP_UNKNOWN = 0;

// --- Preset discovery --------------------------------------------------------

constexpr const char* CLAP_PRESET_DISCOVERY_FACTORY_ID = "clap.preset-discovery-factory/2";
constexpr const char* CLAP_PRESET_DISCOVERY_FACTORY_ID_COMPAT = "clap.preset-discovery-factory/draft-2";

// Where presets live: files (a path to a file or folder), or inside the
// plug-in itself (no path: the location is null).
using clap_preset_discovery_location_kind = uint32_t;
constexpr clap_preset_discovery_location_kind CLAP_PRESET_DISCOVERY_LOCATION_FILE = 0;
constexpr clap_preset_discovery_location_kind CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN = 1;

// Flags of a location, sound pack or preset.
constexpr uint32_t CLAP_PRESET_DISCOVERY_IS_FACTORY_CONTENT = 1u << 0;
constexpr uint32_t CLAP_PRESET_DISCOVERY_IS_USER_CONTENT = 1u << 1;
constexpr uint32_t CLAP_PRESET_DISCOVERY_IS_DEMO_CONTENT = 1u << 2;
constexpr uint32_t CLAP_PRESET_DISCOVERY_IS_FAVORITE = 1u << 3;

// The host's collector of one location's presets. For each preset the
// provider calls begin_preset (false: the host wants no more), then any of
// the setters, which describe the preset begun last. Strings are copied by
// the host before the call returns.
struct clap_preset_discovery_metadata_receiver_t {
    void* receiver_data;  // the host's own
    // The location could not be read; os_error is 0 where none applies.
    void(CLAP_CALL* on_error)(const clap_preset_discovery_metadata_receiver_t* receiver, int32_t os_error,
                              const char* error_message);
    // load_key tells presets of one location apart; null for a file that
    // holds one preset only.
    bool(CLAP_CALL* begin_preset)(const clap_preset_discovery_metadata_receiver_t* receiver, const char* name,
                                  const char* load_key);
    void(CLAP_CALL* add_plugin_id)(const clap_preset_discovery_metadata_receiver_t* receiver,
                                   const clap_universal_plugin_id_t* plugin_id);
    void(CLAP_CALL* set_soundpack_id)(const clap_preset_discovery_metadata_receiver_t* receiver,
                                      const char* soundpack_id);
    void(CLAP_CALL* set_flags)(const clap_preset_discovery_metadata_receiver_t* receiver, uint32_t flags);
    void(CLAP_CALL* add_creator)(const clap_preset_discovery_metadata_receiver_t* receiver, const char* creator);
    void(CLAP_CALL* set_description)(const clap_preset_discovery_metadata_receiver_t* receiver,
                                     const char* description);
    void(CLAP_CALL* set_timestamps)(const clap_preset_discovery_metadata_receiver_t* receiver,
                                    clap_timestamp creation_time, clap_timestamp modification_time);
    void(CLAP_CALL* add_feature)(const clap_preset_discovery_metadata_receiver_t* receiver, const char* feature);
    void(CLAP_CALL* add_extra_info)(const clap_preset_discovery_metadata_receiver_t* receiver, const char* key,
                                    const char* value);
};

// A kind of preset file the host should look for in file locations.
struct clap_preset_discovery_filetype_t {
    const char* name;
    const char* description;     // may be null
    const char* file_extension;  // without the dot; empty or null: any file
};

struct clap_preset_discovery_location_t {
    uint32_t flags;  // CLAP_PRESET_DISCOVERY_IS_...
    const char* name;
    clap_preset_discovery_location_kind kind;
    const char* location;  // a path for FILE, null for PLUGIN
};

struct clap_preset_discovery_soundpack_t {
    uint32_t flags;
    const char* id;
    const char* name;
    const char* description;   // may be null
    const char* homepage_url;  // may be null
    const char* vendor;        // may be null
    const char* image_path;    // may be null
    clap_timestamp release_timestamp;
};

// One provider of presets: a factory may list several.
struct clap_preset_discovery_provider_descriptor_t {
    clap_version_t clap_version;
    const char* id;
    const char* name;
    const char* vendor;  // may be null
};

// What a host gives a provider: its own description, and where the
// provider declares its file types, locations and sound packs (during
// init only).
struct clap_preset_discovery_indexer_t {
    clap_version_t clap_version;
    const char* name;
    const char* vendor;   // may be null
    const char* url;      // may be null
    const char* version;  // may be null
    void* indexer_data;   // the host's own

    bool(CLAP_CALL* declare_filetype)(const clap_preset_discovery_indexer_t* indexer,
                                      const clap_preset_discovery_filetype_t* filetype);
    bool(CLAP_CALL* declare_location)(const clap_preset_discovery_indexer_t* indexer,
                                      const clap_preset_discovery_location_t* location);
    bool(CLAP_CALL* declare_soundpack)(const clap_preset_discovery_indexer_t* indexer,
                                       const clap_preset_discovery_soundpack_t* soundpack);
    const void*(CLAP_CALL* get_extension)(const clap_preset_discovery_indexer_t* indexer, const char* extension_id);
};

// A provider the host made: init (declarations), then any number of
// get_metadata calls, then destroy. Any thread, one at a time.
struct clap_preset_discovery_provider_t {
    const clap_preset_discovery_provider_descriptor_t* desc;
    void* provider_data;  // the plug-in's own

    bool(CLAP_CALL* init)(const clap_preset_discovery_provider_t* provider);
    void(CLAP_CALL* destroy)(const clap_preset_discovery_provider_t* provider);
    // Tells the receiver every preset at one declared location.
    bool(CLAP_CALL* get_metadata)(const clap_preset_discovery_provider_t* provider,
                                  clap_preset_discovery_location_kind location_kind, const char* location,
                                  const clap_preset_discovery_metadata_receiver_t* metadata_receiver);
    const void*(CLAP_CALL* get_extension)(const clap_preset_discovery_provider_t* provider, const char* extension_id);
};

struct clap_preset_discovery_factory_t {
    uint32_t(CLAP_CALL* count)(const clap_preset_discovery_factory_t* factory);
    const clap_preset_discovery_provider_descriptor_t*(CLAP_CALL* get_descriptor)(
        const clap_preset_discovery_factory_t* factory, uint32_t index);
    // Null for an unknown provider_id. The host calls init next.
    const clap_preset_discovery_provider_t*(CLAP_CALL* create)(const clap_preset_discovery_factory_t* factory,
                                                               const clap_preset_discovery_indexer_t* indexer,
                                                               const char* provider_id);
};

// --- Preset load -------------------------------------------------------------

constexpr const char* CLAP_EXT_PRESET_LOAD = "clap.preset-load/2";
constexpr const char* CLAP_EXT_PRESET_LOAD_COMPAT = "clap.preset-load.draft/2";

// Main thread. Loads the preset a provider listed, by its location and load
// key; true on success.
struct clap_plugin_preset_load_t {
    bool(CLAP_CALL* from_location)(const clap_plugin_t* plugin, clap_preset_discovery_location_kind location_kind,
                                   const char* location, const char* load_key);
};

// Main thread. The plug-in reports the outcome of a load: on_error after a
// failed from_location (os_error 0 where none applies), loaded after a
// successful one, so that the host can show the current preset.
struct clap_host_preset_load_t {
    void(CLAP_CALL* on_error)(const clap_host_t* host, clap_preset_discovery_location_kind location_kind,
                              const char* location, const char* load_key, int32_t os_error, const char* msg);
    void(CLAP_CALL* loaded)(const clap_host_t* host, clap_preset_discovery_location_kind location_kind,
                            const char* location, const char* load_key);
};

// --- Remote controls ---------------------------------------------------------

constexpr const char* CLAP_EXT_REMOTE_CONTROLS = "clap.remote-controls/2";
constexpr const char* CLAP_EXT_REMOTE_CONTROLS_COMPAT = "clap.remote-controls.draft/2";

constexpr uint32_t CLAP_REMOTE_CONTROLS_COUNT = 8;

// A page of eight controls; a slot without a parameter holds CLAP_INVALID_ID.
// Pages of one section_name belong together on the controller.
struct clap_remote_controls_page_t {
    char section_name[CLAP_NAME_SIZE];
    clap_id page_id;  // stable: hosts keep a chosen page by it
    char page_name[CLAP_NAME_SIZE];
    clap_id param_ids[CLAP_REMOTE_CONTROLS_COUNT];
    // The page belongs to the current preset, not to the plug-in as a whole.
    bool is_for_preset;
};

// Main thread only.
struct clap_plugin_remote_controls_t {
    uint32_t(CLAP_CALL* count)(const clap_plugin_t* plugin);
    bool(CLAP_CALL* get)(const clap_plugin_t* plugin, uint32_t page_index, clap_remote_controls_page_t* page);
};

// Main thread only.
struct clap_host_remote_controls_t {
    // The pages changed: the host asks for them again.
    void(CLAP_CALL* changed)(const clap_host_t* host);
    // The plug-in proposes showing a page (the one its editor shows, say).
    void(CLAP_CALL* suggest_page)(const clap_host_t* host, clap_id page_id);
};

}  // extern "C"

}  // namespace clapabi
