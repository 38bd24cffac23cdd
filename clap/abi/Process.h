// The audio side: the block a host hands to process(), its audio buffers,
// and the events (parameter changes, gestures) that come with it, each at a
// frame of the block.
#pragma once

#include "Base.h"

namespace clapabi {

extern "C" {

// One port's channels for one block: data32 or data64, as the port was
// agreed (32-bit unless the port offers 64-bit and the host chose it).
struct clap_audio_buffer_t {
    float** data32;
    double** data64;
    uint32_t channel_count;
    uint32_t latency;        // of the host's own buffering; unused by plug-ins
    uint64_t constant_mask;  // bit n: channel n holds one value for the whole block
};

// What every event begins with; `size` is the whole event's, so that a
// reader can step over types it does not know.
struct clap_event_header_t {
    uint32_t size;
    uint32_t time;      // frame within the block
    uint16_t space_id;  // CLAP_CORE_EVENT_SPACE_ID for the types below
    uint16_t type;
    uint32_t flags;     // CLAP_EVENT_IS_LIVE, CLAP_EVENT_DONT_RECORD
};

constexpr uint16_t CLAP_CORE_EVENT_SPACE_ID = 0;

constexpr uint32_t CLAP_EVENT_IS_LIVE = 1u << 0;      // from a live user gesture, not a recording
constexpr uint32_t CLAP_EVENT_DONT_RECORD = 1u << 1;  // the host must not record it

// Event types of the core space.
constexpr uint16_t CLAP_EVENT_NOTE_ON = 0;
constexpr uint16_t CLAP_EVENT_NOTE_OFF = 1;
constexpr uint16_t CLAP_EVENT_NOTE_CHOKE = 2;
constexpr uint16_t CLAP_EVENT_NOTE_END = 3;
constexpr uint16_t CLAP_EVENT_NOTE_EXPRESSION = 4;
constexpr uint16_t CLAP_EVENT_PARAM_VALUE = 5;
constexpr uint16_t CLAP_EVENT_PARAM_MOD = 6;
constexpr uint16_t CLAP_EVENT_PARAM_GESTURE_BEGIN = 7;
constexpr uint16_t CLAP_EVENT_PARAM_GESTURE_END = 8;
constexpr uint16_t CLAP_EVENT_TRANSPORT = 9;
constexpr uint16_t CLAP_EVENT_MIDI = 10;
constexpr uint16_t CLAP_EVENT_MIDI_SYSEX = 11;
constexpr uint16_t CLAP_EVENT_MIDI2 = 12;

// A parameter's new value from that frame on. note_id, port_index, channel
// and key narrow it to one voice; -1 is "all", which is all this plug-in,
// with no notes, ever sees or sends.
struct clap_event_param_value_t {
    clap_event_header_t header;
    clap_id param_id;
    void* cookie;  // the parameter info's cookie, or null
    int32_t note_id;
    int16_t port_index;
    int16_t channel;
    int16_t key;
    double value;
};

// A modulation offset on top of the value; the same layout. The plug-in
// declares no modulatable parameter, so it only has to skip these.
struct clap_event_param_mod_t {
    clap_event_header_t header;
    clap_id param_id;
    void* cookie;
    int32_t note_id;
    int16_t port_index;
    int16_t channel;
    int16_t key;
    double amount;
};

// A user's drag of a control begins or ends (the editor sends these).
struct clap_event_param_gesture_t {
    clap_event_header_t header;
    clap_id param_id;
};

// The transport's state: never read, so left undeclared.
struct clap_event_transport_t;

// The block's incoming events, in time order.
struct clap_input_events_t {
    void* ctx;  // the host's
    uint32_t(CLAP_CALL* size)(const clap_input_events_t* list);
    const clap_event_header_t*(CLAP_CALL* get)(const clap_input_events_t* list, uint32_t index);
};

// Where the plug-in sends events; the host copies each one. False when the
// host's queue is full.
struct clap_output_events_t {
    void* ctx;  // the host's
    bool(CLAP_CALL* try_push)(const clap_output_events_t* list, const clap_event_header_t* event);
};

struct clap_process_t {
    int64_t steady_time;  // frames since activation, or -1 if the host keeps no count
    uint32_t frames_count;
    const clap_event_transport_t* transport;  // null in a free-running host
    const clap_audio_buffer_t* audio_inputs;
    clap_audio_buffer_t* audio_outputs;
    uint32_t audio_inputs_count;
    uint32_t audio_outputs_count;
    const clap_input_events_t* in_events;
    const clap_output_events_t* out_events;
};

}  // extern "C"

}  // namespace clapabi
