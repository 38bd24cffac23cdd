// The extensions the edition implements or calls apart from the editor's
// (Gui.h): its ports, its parameters, its state, latency, tail and render
// mode, and the host's log and thread check. The plug-in answers its own
// through clap_plugin_t::get_extension and asks for the host's through
// clap_host_t::get_extension; a host that lacks one answers null, and the
// plug-in must then go without it.
#pragma once

#include "Process.h"

namespace clapabi {

extern "C" {

// --- Audio ports ---------------------------------------------------------

constexpr const char* CLAP_EXT_AUDIO_PORTS = "clap.audio-ports";

constexpr const char* CLAP_PORT_MONO = "mono";
constexpr const char* CLAP_PORT_STEREO = "stereo";

constexpr uint32_t CLAP_AUDIO_PORT_IS_MAIN = 1u << 0;
constexpr uint32_t CLAP_AUDIO_PORT_SUPPORTS_64BITS = 1u << 1;
constexpr uint32_t CLAP_AUDIO_PORT_PREFERS_64BITS = 1u << 2;
// All ports then use the same sample size in a block.
constexpr uint32_t CLAP_AUDIO_PORT_REQUIRES_COMMON_SAMPLE_SIZE = 1u << 3;

struct clap_audio_port_info_t {
    clap_id id;  // stable: hosts keep connections by it
    char name[CLAP_NAME_SIZE];
    uint32_t flags;
    uint32_t channel_count;
    const char* port_type;  // CLAP_PORT_STEREO, CLAP_PORT_MONO, or null: no named layout
    clap_id in_place_pair;  // the port on the other side that may share buffers, or CLAP_INVALID_ID
};

// Main thread only.
struct clap_plugin_audio_ports_t {
    uint32_t(CLAP_CALL* count)(const clap_plugin_t* plugin, bool is_input);
    bool(CLAP_CALL* get)(const clap_plugin_t* plugin, uint32_t index, bool is_input, clap_audio_port_info_t* info);
};

// --- Parameters ------------------------------------------------------------

constexpr const char* CLAP_EXT_PARAMS = "clap.params";

// clap_param_info_t::flags. Values of a stepped parameter are integers.
constexpr uint32_t CLAP_PARAM_IS_STEPPED = 1u << 0;
constexpr uint32_t CLAP_PARAM_IS_PERIODIC = 1u << 1;
constexpr uint32_t CLAP_PARAM_IS_HIDDEN = 1u << 2;
constexpr uint32_t CLAP_PARAM_IS_READONLY = 1u << 3;
// The one parameter a host may show as its own bypass switch (stepped, 0..1).
constexpr uint32_t CLAP_PARAM_IS_BYPASS = 1u << 4;
constexpr uint32_t CLAP_PARAM_IS_AUTOMATABLE = 1u << 5;
constexpr uint32_t CLAP_PARAM_IS_AUTOMATABLE_PER_NOTE_ID = 1u << 6;
constexpr uint32_t CLAP_PARAM_IS_AUTOMATABLE_PER_KEY = 1u << 7;
constexpr uint32_t CLAP_PARAM_IS_AUTOMATABLE_PER_CHANNEL = 1u << 8;
constexpr uint32_t CLAP_PARAM_IS_AUTOMATABLE_PER_PORT = 1u << 9;
constexpr uint32_t CLAP_PARAM_IS_MODULATABLE = 1u << 10;
constexpr uint32_t CLAP_PARAM_IS_MODULATABLE_PER_NOTE_ID = 1u << 11;
constexpr uint32_t CLAP_PARAM_IS_MODULATABLE_PER_KEY = 1u << 12;
constexpr uint32_t CLAP_PARAM_IS_MODULATABLE_PER_CHANNEL = 1u << 13;
constexpr uint32_t CLAP_PARAM_IS_MODULATABLE_PER_PORT = 1u << 14;
// A change needs a process() or flush() call to take effect.
constexpr uint32_t CLAP_PARAM_REQUIRES_PROCESS = 1u << 15;
// Stepped, and each step has a name: hosts may show a list.
constexpr uint32_t CLAP_PARAM_IS_ENUM = 1u << 16;

struct clap_param_info_t {
    clap_id id;  // stable: hosts keep automation by it
    uint32_t flags;
    void* cookie;  // handed back in events for a faster look-up; may be null
    char name[CLAP_NAME_SIZE];
    char module[CLAP_PATH_SIZE];  // "group/subgroup" for a host's tree; may be empty
    double min_value;
    double max_value;
    double default_value;
};

// Main thread only, except flush (either thread, never during process).
struct clap_plugin_params_t {
    uint32_t(CLAP_CALL* count)(const clap_plugin_t* plugin);
    bool(CLAP_CALL* get_info)(const clap_plugin_t* plugin, uint32_t param_index, clap_param_info_t* param_info);
    bool(CLAP_CALL* get_value)(const clap_plugin_t* plugin, clap_id param_id, double* out_value);
    // The text is cut to out_buffer_capacity bytes, terminator included.
    bool(CLAP_CALL* value_to_text)(const clap_plugin_t* plugin, clap_id param_id, double value, char* out_buffer,
                                   uint32_t out_buffer_capacity);
    bool(CLAP_CALL* text_to_value)(const clap_plugin_t* plugin, clap_id param_id, const char* param_value_text,
                                   double* out_value);
    // Takes parameter events while not processing; sends the plug-in's own.
    void(CLAP_CALL* flush)(const clap_plugin_t* plugin, const clap_input_events_t* in,
                           const clap_output_events_t* out);
};

// clap_host_params_t::rescan flags.
constexpr uint32_t CLAP_PARAM_RESCAN_VALUES = 1u << 0;
constexpr uint32_t CLAP_PARAM_RESCAN_TEXT = 1u << 1;
constexpr uint32_t CLAP_PARAM_RESCAN_INFO = 1u << 2;
constexpr uint32_t CLAP_PARAM_RESCAN_ALL = 1u << 3;  // only while deactivated

// clap_host_params_t::clear flags.
constexpr uint32_t CLAP_PARAM_CLEAR_ALL = 1u << 0;
constexpr uint32_t CLAP_PARAM_CLEAR_AUTOMATIONS = 1u << 1;
constexpr uint32_t CLAP_PARAM_CLEAR_MODULATIONS = 1u << 2;

struct clap_host_params_t {
    void(CLAP_CALL* rescan)(const clap_host_t* host, uint32_t flags);  // main thread
    void(CLAP_CALL* clear)(const clap_host_t* host, clap_id param_id, uint32_t flags);  // main thread
    // Asks for a flush or process call soon, to pass on the editor's
    // changes; any thread, never the audio thread.
    void(CLAP_CALL* request_flush)(const clap_host_t* host);
};

// --- State -----------------------------------------------------------------

// Byte streams of the host's. Each call moves at most `size` bytes and
// answers how many it moved: 0 at the end of an input stream, -1 on error.
// Callers loop until everything has passed.
struct clap_istream_t {
    void* ctx;
    int64_t(CLAP_CALL* read)(const clap_istream_t* stream, void* buffer, uint64_t size);
};

struct clap_ostream_t {
    void* ctx;
    int64_t(CLAP_CALL* write)(const clap_ostream_t* stream, const void* buffer, uint64_t size);
};

constexpr const char* CLAP_EXT_STATE = "clap.state";

// Main thread only.
struct clap_plugin_state_t {
    bool(CLAP_CALL* save)(const clap_plugin_t* plugin, const clap_ostream_t* stream);
    bool(CLAP_CALL* load)(const clap_plugin_t* plugin, const clap_istream_t* stream);
};

// The state changed apart from parameters (main thread).
struct clap_host_state_t {
    void(CLAP_CALL* mark_dirty)(const clap_host_t* host);
};

// --- Latency and tail --------------------------------------------------------

constexpr const char* CLAP_EXT_LATENCY = "clap.latency";

// In frames; main thread, asked while the plug-in is activated.
struct clap_plugin_latency_t {
    uint32_t(CLAP_CALL* get)(const clap_plugin_t* plugin);
};

// A new latency takes effect after a restart (request_restart).
struct clap_host_latency_t {
    void(CLAP_CALL* changed)(const clap_host_t* host);
};

constexpr const char* CLAP_EXT_TAIL = "clap.tail";

// In frames; INT32_MAX or more is "infinite". Main and audio threads.
struct clap_plugin_tail_t {
    uint32_t(CLAP_CALL* get)(const clap_plugin_t* plugin);
};

struct clap_host_tail_t {
    void(CLAP_CALL* changed)(const clap_host_t* host);  // audio thread
};

// --- Render mode -------------------------------------------------------------

constexpr const char* CLAP_EXT_RENDER = "clap.render";

using clap_plugin_render_mode = int32_t;
constexpr clap_plugin_render_mode CLAP_RENDER_REALTIME = 0;
constexpr clap_plugin_render_mode CLAP_RENDER_OFFLINE = 1;

// Main thread only.
struct clap_plugin_render_t {
    // True if the plug-in cannot render faster or slower than real time.
    bool(CLAP_CALL* has_hard_realtime_requirement)(const clap_plugin_t* plugin);
    bool(CLAP_CALL* set)(const clap_plugin_t* plugin, clap_plugin_render_mode mode);
};

// --- Host log and thread check ----------------------------------------------

constexpr const char* CLAP_EXT_LOG = "clap.log";

using clap_log_severity = int32_t;
constexpr clap_log_severity CLAP_LOG_DEBUG = 0;
constexpr clap_log_severity CLAP_LOG_INFO = 1;
constexpr clap_log_severity CLAP_LOG_WARNING = 2;
constexpr clap_log_severity CLAP_LOG_ERROR = 3;
constexpr clap_log_severity CLAP_LOG_FATAL = 4;
constexpr clap_log_severity CLAP_LOG_HOST_MISBEHAVING = 5;    // the plug-in reports the host
constexpr clap_log_severity CLAP_LOG_PLUGIN_MISBEHAVING = 6;  // the host reports the plug-in

// Any thread; the host may take locks or allocate, so never from process().
struct clap_host_log_t {
    void(CLAP_CALL* log)(const clap_host_t* host, clap_log_severity severity, const char* msg);
};

constexpr const char* CLAP_EXT_THREAD_CHECK = "clap.thread-check";

struct clap_host_thread_check_t {
    bool(CLAP_CALL* is_main_thread)(const clap_host_t* host);
    bool(CLAP_CALL* is_audio_thread)(const clap_host_t* host);
};

}  // extern "C"

}  // namespace clapabi
