// The foundation of the CLAP binary interface, declared from its published
// facts: the calling convention, the version, identifiers, and the four
// objects every session starts with (the entry, the plug-in factory, the
// host and the plug-in).
//
// Only what the CLAP edition uses or must answer is declared, in clap/abi/.
// The interface is plain C: structures of data and function pointers, found
// by the host through one exported object. What a host relies on is the
// layout (field order, C alignment), the calling convention and the
// identifier strings; the names follow the published ones so that the
// edition reads like the format's documentation.
#pragma once

#include <cstdint>

// Every function pointer uses the platform's default C calling convention:
// cdecl on 32-bit Windows (where a C++ compiler could otherwise be told to
// use another default), the only convention everywhere else.
#if defined(_WIN32) && !defined(_WIN64)
#define CLAP_CALL __cdecl
#else
#define CLAP_CALL
#endif

namespace clapabi {

// The interface passes C's bool; every platform we build for gives it one
// byte, as C++ does.
static_assert(sizeof(bool) == 1, "CLAP passes C's one-byte bool");

extern "C" {

struct clap_version_t {
    uint32_t major;
    uint32_t minor;
    uint32_t revision;
};

// The version the edition declares: 1.2.2. Any 1.x host loads a 1.y plug-in
// (and the reverse), so the minor and revision only say which additions the
// plug-in was written against; it uses none beyond 1.0's.
constexpr clap_version_t CLAP_VERSION{1, 2, 2};

// A host or plug-in of major version 1 or later speaks this interface;
// 0.x was the unstable development series.
constexpr bool clap_version_is_compatible(const clap_version_t& v) { return v.major >= 1; }

// Parameter, port and timer identifiers; UINT32_MAX is "none".
using clap_id = uint32_t;
constexpr clap_id CLAP_INVALID_ID = UINT32_MAX;

// Fixed sizes of the text fields in the info structures, terminator included.
constexpr uint32_t CLAP_NAME_SIZE = 256;
constexpr uint32_t CLAP_PATH_SIZE = 1024;

struct clap_plugin_descriptor_t;
struct clap_plugin_t;
struct clap_process_t;

// What the host offers the plug-in. Strings are the host's and live as
// long as the host object.
struct clap_host_t {
    clap_version_t clap_version;
    void* host_data;  // the host's own, never touched by the plug-in
    const char* name;
    const char* vendor;
    const char* url;
    const char* version;

    // A host extension by identifier, or null; on any thread.
    const void*(CLAP_CALL* get_extension)(const clap_host_t* host, const char* extension_id);
    // Asks for deactivate and activate again (any thread).
    void(CLAP_CALL* request_restart)(const clap_host_t* host);
    // Asks for processing to be started if it is not (any thread).
    void(CLAP_CALL* request_process)(const clap_host_t* host);
    // Asks for a call to the plug-in's on_main_thread (any thread).
    void(CLAP_CALL* request_callback)(const clap_host_t* host);
};

// What a host lists without creating an instance. Strings may be empty
// but not null, except features' entries, which end at a null.
struct clap_plugin_descriptor_t {
    clap_version_t clap_version;
    const char* id;  // reverse-domain, kept for good: hosts store it in sessions
    const char* name;
    const char* vendor;
    const char* url;
    const char* manual_url;
    const char* support_url;
    const char* version;
    const char* description;
    const char* const* features;  // null-terminated list, see the CLAP_PLUGIN_FEATURE_ strings
};

// Process status: what process() answers.
using clap_process_status = int32_t;
constexpr clap_process_status CLAP_PROCESS_ERROR = 0;
constexpr clap_process_status CLAP_PROCESS_CONTINUE = 1;
// Go on processing while the output is not quiet, then the host may stop.
constexpr clap_process_status CLAP_PROCESS_CONTINUE_IF_NOT_QUIET = 2;
// Go on while the tail (clap.tail) lasts.
constexpr clap_process_status CLAP_PROCESS_TAIL = 3;
// Nothing to do until input or events arrive.
constexpr clap_process_status CLAP_PROCESS_SLEEP = 4;

// One plug-in instance. The host calls init once, then activate /
// start_processing / process / stop_processing / deactivate any number of
// times, then destroy. Threads: process, start_processing, stop_processing
// and reset on the audio thread; the others on the main thread.
struct clap_plugin_t {
    const clap_plugin_descriptor_t* desc;
    void* plugin_data;  // the plug-in's own

    bool(CLAP_CALL* init)(const clap_plugin_t* plugin);
    void(CLAP_CALL* destroy)(const clap_plugin_t* plugin);
    // The block sizes bound every process() call until deactivate; the
    // place to allocate.
    bool(CLAP_CALL* activate)(const clap_plugin_t* plugin, double sample_rate, uint32_t min_frames_count,
                              uint32_t max_frames_count);
    void(CLAP_CALL* deactivate)(const clap_plugin_t* plugin);
    bool(CLAP_CALL* start_processing)(const clap_plugin_t* plugin);
    void(CLAP_CALL* stop_processing)(const clap_plugin_t* plugin);
    // Clears buffers and envelopes, as after a seek.
    void(CLAP_CALL* reset)(const clap_plugin_t* plugin);
    clap_process_status(CLAP_CALL* process)(const clap_plugin_t* plugin, const clap_process_t* process);
    // A plug-in extension by identifier, or null.
    const void*(CLAP_CALL* get_extension)(const clap_plugin_t* plugin, const char* id);
    // Answers the host's request_callback.
    void(CLAP_CALL* on_main_thread)(const clap_plugin_t* plugin);
};

// The factory that lists and creates the plug-ins of a file.
constexpr const char* CLAP_PLUGIN_FACTORY_ID = "clap.plugin-factory";

struct clap_plugin_factory_t {
    uint32_t(CLAP_CALL* get_plugin_count)(const clap_plugin_factory_t* factory);
    const clap_plugin_descriptor_t*(CLAP_CALL* get_plugin_descriptor)(const clap_plugin_factory_t* factory,
                                                                      uint32_t index);
    // Null for an unknown plugin_id. The instance is not initialised: the
    // host calls its init next.
    const clap_plugin_t*(CLAP_CALL* create_plugin)(const clap_plugin_factory_t* factory, const clap_host_t* host,
                                                   const char* plugin_id);
};

// The one object a CLAP file exports, under the name kEntrySymbol: data,
// not a function. init runs once when the file is loaded (given the path of
// the file, or of the bundle on macOS), deinit once before it is unloaded;
// get_factory answers null for an unknown identifier.
struct clap_plugin_entry_t {
    clap_version_t clap_version;
    bool(CLAP_CALL* init)(const char* plugin_path);
    void(CLAP_CALL* deinit)();
    const void*(CLAP_CALL* get_factory)(const char* factory_id);
};

}  // extern "C"

constexpr const char* kEntrySymbol = "clap_entry";

// Descriptor features the edition names (other standard ones exist).
constexpr const char* CLAP_PLUGIN_FEATURE_AUDIO_EFFECT = "audio-effect";
constexpr const char* CLAP_PLUGIN_FEATURE_GATE = "gate";
constexpr const char* CLAP_PLUGIN_FEATURE_STEREO = "stereo";

}  // namespace clapabi

// The exported entry, defined once by the CLAP module (with default
// visibility: the build hides every other symbol).
extern "C" const clapabi::clap_plugin_entry_t clap_entry;
