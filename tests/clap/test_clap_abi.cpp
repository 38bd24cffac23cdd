// The layouts a CLAP host relies on, as C lays them out: each field at the
// next multiple of its alignment, each structure padded to a multiple of its
// largest alignment. Pointers take 8 bytes on 64-bit systems and 4 on 32-bit
// Windows; double and the 64-bit integers take 8 with 8-byte alignment on
// both. The first column holds the 64-bit value, the second the 32-bit one.
#include <gtest/gtest.h>

#include <cstddef>
#include <type_traits>

#include "abi/Extensions.h"
#include "abi/Gui.h"
#include "abi/Presets.h"

#if defined(__i386__) && !defined(_WIN32)
#error "32-bit x86 outside Windows aligns double and int64_t to 4 bytes in structures: other expectations"
#endif

using namespace clapabi;

namespace {

constexpr bool k32 = sizeof(void*) == 4;

struct Layout {
    const char* what;
    size_t actual, expected;
};

#define FIELD(S, f, e64, e32) {#S "." #f, offsetof(S, f), k32 ? (e32) : (e64)}
#define SIZE(S, e64, e32) {"sizeof " #S, sizeof(S), k32 ? (e32) : (e64)}

const Layout kLayouts[] = {
    // Three uint32_t.
    SIZE(clap_version_t, 12, 12), FIELD(clap_version_t, revision, 8, 8),
    // The version's 12 bytes, then pointers: padded to 16 on 64-bit.
    SIZE(clap_plugin_entry_t, 40, 24), FIELD(clap_plugin_entry_t, init, 16, 12),
    FIELD(clap_plugin_entry_t, deinit, 24, 16), FIELD(clap_plugin_entry_t, get_factory, 32, 20),
    SIZE(clap_plugin_descriptor_t, 88, 48), FIELD(clap_plugin_descriptor_t, id, 16, 12),
    FIELD(clap_plugin_descriptor_t, vendor, 32, 20), FIELD(clap_plugin_descriptor_t, manual_url, 48, 28),
    FIELD(clap_plugin_descriptor_t, version, 64, 36), FIELD(clap_plugin_descriptor_t, features, 80, 44),
    SIZE(clap_host_t, 88, 48), FIELD(clap_host_t, host_data, 16, 12), FIELD(clap_host_t, version, 48, 28),
    FIELD(clap_host_t, get_extension, 56, 32), FIELD(clap_host_t, request_callback, 80, 44),
    // Pointers only: the n-th at n pointers.
    SIZE(clap_plugin_t, 96, 48), FIELD(clap_plugin_t, init, 16, 8), FIELD(clap_plugin_t, activate, 32, 16),
    FIELD(clap_plugin_t, reset, 64, 32), FIELD(clap_plugin_t, process, 72, 36),
    FIELD(clap_plugin_t, on_main_thread, 88, 44),
    SIZE(clap_plugin_factory_t, 24, 12), FIELD(clap_plugin_factory_t, create_plugin, 16, 8),
    // Two pointers, two uint32_t, then the uint64_t mask at 8-byte alignment.
    SIZE(clap_audio_buffer_t, 32, 24), FIELD(clap_audio_buffer_t, channel_count, 16, 8),
    FIELD(clap_audio_buffer_t, latency, 20, 12), FIELD(clap_audio_buffer_t, constant_mask, 24, 16),
    // int64_t, uint32_t (then 4 bytes of padding on 64-bit), three pointers,
    // two uint32_t, two pointers.
    SIZE(clap_process_t, 64, 40), FIELD(clap_process_t, frames_count, 8, 8), FIELD(clap_process_t, transport, 16, 12),
    FIELD(clap_process_t, audio_outputs, 32, 20), FIELD(clap_process_t, audio_inputs_count, 40, 24),
    FIELD(clap_process_t, audio_outputs_count, 44, 28), FIELD(clap_process_t, in_events, 48, 32),
    FIELD(clap_process_t, out_events, 56, 36),
    // uint32_t, uint32_t, uint16_t, uint16_t, uint32_t: no padding anywhere.
    SIZE(clap_event_header_t, 16, 16), FIELD(clap_event_header_t, space_id, 8, 8),
    FIELD(clap_event_header_t, type, 10, 10), FIELD(clap_event_header_t, flags, 12, 12),
    // Header 16, id 4 (the cookie pointer then at 24 on 64-bit), int32_t,
    // three int16_t ending at 42 / 34, the double at the next multiple of 8.
    SIZE(clap_event_param_value_t, 56, 48), FIELD(clap_event_param_value_t, param_id, 16, 16),
    FIELD(clap_event_param_value_t, cookie, 24, 20), FIELD(clap_event_param_value_t, note_id, 32, 24),
    FIELD(clap_event_param_value_t, port_index, 36, 28), FIELD(clap_event_param_value_t, channel, 38, 30),
    FIELD(clap_event_param_value_t, key, 40, 32), FIELD(clap_event_param_value_t, value, 48, 40),
    SIZE(clap_event_param_mod_t, 56, 48), FIELD(clap_event_param_mod_t, amount, 48, 40),
    SIZE(clap_event_param_gesture_t, 20, 20), FIELD(clap_event_param_gesture_t, param_id, 16, 16),
    SIZE(clap_input_events_t, 24, 12), FIELD(clap_input_events_t, get, 16, 8),
    SIZE(clap_output_events_t, 16, 8), FIELD(clap_output_events_t, try_push, 8, 4),
    // id 4, name 256, two uint32_t ending at 268, a pointer (at 272 on
    // 64-bit), an id, padded to the pointer's alignment.
    SIZE(clap_audio_port_info_t, 288, 276), FIELD(clap_audio_port_info_t, name, 4, 4),
    FIELD(clap_audio_port_info_t, flags, 260, 260), FIELD(clap_audio_port_info_t, channel_count, 264, 264),
    FIELD(clap_audio_port_info_t, port_type, 272, 268), FIELD(clap_audio_port_info_t, in_place_pair, 280, 272),
    // Two uint32_t, the cookie, 256 + 1024 characters ending at 1296 / 1292,
    // three doubles at 8-byte alignment: 1296 on both.
    SIZE(clap_param_info_t, 1320, 1320), FIELD(clap_param_info_t, cookie, 8, 8), FIELD(clap_param_info_t, name, 16, 12),
    FIELD(clap_param_info_t, module, 272, 268), FIELD(clap_param_info_t, min_value, 1296, 1296),
    FIELD(clap_param_info_t, max_value, 1304, 1304), FIELD(clap_param_info_t, default_value, 1312, 1312),
    SIZE(clap_plugin_params_t, 48, 24), FIELD(clap_plugin_params_t, text_to_value, 32, 16),
    FIELD(clap_plugin_params_t, flush, 40, 20),
    SIZE(clap_host_params_t, 24, 12), FIELD(clap_host_params_t, request_flush, 16, 8),
    SIZE(clap_plugin_audio_ports_t, 16, 8), FIELD(clap_plugin_audio_ports_t, get, 8, 4),
    SIZE(clap_istream_t, 16, 8), FIELD(clap_istream_t, read, 8, 4),
    SIZE(clap_ostream_t, 16, 8), FIELD(clap_ostream_t, write, 8, 4),
    SIZE(clap_plugin_state_t, 16, 8), FIELD(clap_plugin_state_t, load, 8, 4),
    SIZE(clap_plugin_render_t, 16, 8), FIELD(clap_plugin_render_t, set, 8, 4),
    SIZE(clap_host_thread_check_t, 16, 8), FIELD(clap_host_thread_check_t, is_audio_thread, 8, 4),
    // The union is as wide as a pointer (X11's unsigned long is pointer-wide
    // on Linux; on Windows, 4 bytes, the same as a 32-bit pointer).
    SIZE(clap_window_t, 16, 8), FIELD(clap_window_t, x11, 8, 4), FIELD(clap_window_t, win32, 8, 4),
    // Three one-byte bools, then two uint32_t from 4.
    SIZE(clap_gui_resize_hints_t, 12, 12), FIELD(clap_gui_resize_hints_t, preserve_aspect_ratio, 2, 2),
    FIELD(clap_gui_resize_hints_t, aspect_ratio_width, 4, 4), FIELD(clap_gui_resize_hints_t, aspect_ratio_height, 8, 8),
    SIZE(clap_plugin_gui_t, 120, 60), FIELD(clap_plugin_gui_t, create, 16, 8), FIELD(clap_plugin_gui_t, set_scale, 32, 16),
    FIELD(clap_plugin_gui_t, adjust_size, 64, 32), FIELD(clap_plugin_gui_t, set_parent, 80, 40),
    FIELD(clap_plugin_gui_t, suggest_title, 96, 48), FIELD(clap_plugin_gui_t, hide, 112, 56),
    SIZE(clap_host_gui_t, 40, 20), FIELD(clap_host_gui_t, request_resize, 8, 4), FIELD(clap_host_gui_t, closed, 32, 16),
    SIZE(clap_host_timer_support_t, 16, 8), FIELD(clap_host_timer_support_t, unregister_timer, 8, 4),
    SIZE(clap_host_posix_fd_support_t, 24, 12), FIELD(clap_host_posix_fd_support_t, modify_fd, 8, 4),
    FIELD(clap_host_posix_fd_support_t, unregister_fd, 16, 8),
    // uint32_t, pointer, uint32_t, pointer: each pointer 8-aligned on 64-bit.
    SIZE(clap_preset_discovery_location_t, 32, 16), FIELD(clap_preset_discovery_location_t, name, 8, 4),
    FIELD(clap_preset_discovery_location_t, kind, 16, 8), FIELD(clap_preset_discovery_location_t, location, 24, 12),
    // uint32_t, six pointers, then the uint64_t timestamp at 8-byte alignment.
    SIZE(clap_preset_discovery_soundpack_t, 64, 40), FIELD(clap_preset_discovery_soundpack_t, image_path, 48, 24),
    FIELD(clap_preset_discovery_soundpack_t, release_timestamp, 56, 32),
    // The version's 12 bytes, then pointers.
    SIZE(clap_preset_discovery_indexer_t, 88, 48), FIELD(clap_preset_discovery_indexer_t, indexer_data, 48, 28),
    FIELD(clap_preset_discovery_indexer_t, declare_location, 64, 36),
    // 256 characters, an id, 256 characters, eight ids, a bool padded to 4.
    SIZE(clap_remote_controls_page_t, 552, 552), FIELD(clap_remote_controls_page_t, page_name, 260, 260),
    FIELD(clap_remote_controls_page_t, param_ids, 516, 516), FIELD(clap_remote_controls_page_t, is_for_preset, 548, 548),
};

// Hosts copy events and info structures byte for byte, and C code fills
// them in: none may gain a constructor, a virtual table or a base.
template <typename... T>
constexpr bool kPlainC = ((std::is_standard_layout<T>::value && std::is_trivial<T>::value) && ...);
static_assert(kPlainC<clap_version_t, clap_plugin_entry_t, clap_plugin_descriptor_t, clap_host_t, clap_plugin_t,
                      clap_plugin_factory_t, clap_audio_buffer_t, clap_process_t, clap_event_header_t,
                      clap_event_param_value_t, clap_event_param_mod_t, clap_event_param_gesture_t,
                      clap_audio_port_info_t, clap_param_info_t, clap_window_t, clap_gui_resize_hints_t,
                      clap_preset_discovery_location_t, clap_remote_controls_page_t>,
              "CLAP structures must stay plain C");

}  // namespace

TEST(ClapAbi, StructureLayouts) {
    for (const Layout& layout : kLayouts)
        EXPECT_EQ(layout.actual, layout.expected) << layout.what;
}
