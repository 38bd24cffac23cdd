// The editor: the plug-in's window embedded in one of the host's, and the
// host services it runs on where there is no message loop of its own (on
// X11, timers and file descriptors that the host watches for it).
#pragma once

#include "Base.h"

namespace clapabi {

extern "C" {

// --- Editor --------------------------------------------------------------

constexpr const char* CLAP_EXT_GUI = "clap.gui";

// Windowing systems, by name.
constexpr const char* CLAP_WINDOW_API_WIN32 = "win32";
constexpr const char* CLAP_WINDOW_API_COCOA = "cocoa";
constexpr const char* CLAP_WINDOW_API_X11 = "x11";
constexpr const char* CLAP_WINDOW_API_WAYLAND = "wayland";

// A window of the named system: an HWND, an NSView* or an X11 Window
// (which is an unsigned long: 8 bytes on 64-bit Linux, 4 on 32-bit
// systems and on Windows, which never uses it).
struct clap_window_t {
    const char* api;
    union {
        void* cocoa;
        unsigned long x11;
        void* win32;
        void* ptr;  // any other system's
    };
};

struct clap_gui_resize_hints_t {
    bool can_resize_horizontally;
    bool can_resize_vertically;
    // When true, sizes keep aspect_ratio_width : aspect_ratio_height.
    bool preserve_aspect_ratio;
    uint32_t aspect_ratio_width;
    uint32_t aspect_ratio_height;
};

// Main thread only. Sizes are in physical pixels on Windows and X11 (the
// host's scale comes through set_scale), in logical points on macOS. The
// plug-in embeds into the host's window (is_floating false) after create,
// set_scale, get_size or set_size, and set_parent; floating windows are
// the plug-in's own top-level ones.
struct clap_plugin_gui_t {
    bool(CLAP_CALL* is_api_supported)(const clap_plugin_t* plugin, const char* api, bool is_floating);
    bool(CLAP_CALL* get_preferred_api)(const clap_plugin_t* plugin, const char** api, bool* is_floating);
    bool(CLAP_CALL* create)(const clap_plugin_t* plugin, const char* api, bool is_floating);
    void(CLAP_CALL* destroy)(const clap_plugin_t* plugin);
    // False if the plug-in takes the scale from the system itself.
    bool(CLAP_CALL* set_scale)(const clap_plugin_t* plugin, double scale);
    bool(CLAP_CALL* get_size)(const clap_plugin_t* plugin, uint32_t* width, uint32_t* height);
    bool(CLAP_CALL* can_resize)(const clap_plugin_t* plugin);
    bool(CLAP_CALL* get_resize_hints)(const clap_plugin_t* plugin, clap_gui_resize_hints_t* hints);
    // Rounds a size the host proposes to the nearest one the editor takes.
    bool(CLAP_CALL* adjust_size)(const clap_plugin_t* plugin, uint32_t* width, uint32_t* height);
    bool(CLAP_CALL* set_size)(const clap_plugin_t* plugin, uint32_t width, uint32_t height);
    bool(CLAP_CALL* set_parent)(const clap_plugin_t* plugin, const clap_window_t* window);
    bool(CLAP_CALL* set_transient)(const clap_plugin_t* plugin, const clap_window_t* window);
    void(CLAP_CALL* suggest_title)(const clap_plugin_t* plugin, const char* title);
    bool(CLAP_CALL* show)(const clap_plugin_t* plugin);
    bool(CLAP_CALL* hide)(const clap_plugin_t* plugin);
};

struct clap_host_gui_t {
    void(CLAP_CALL* resize_hints_changed)(const clap_host_t* host);
    // Any thread. True when the host will call set_size with that size.
    bool(CLAP_CALL* request_resize)(const clap_host_t* host, uint32_t width, uint32_t height);
    bool(CLAP_CALL* request_show)(const clap_host_t* host);
    bool(CLAP_CALL* request_hide)(const clap_host_t* host);
    // A floating window closed by the user, or the editor lost its window
    // (was_destroyed: the host must call destroy).
    void(CLAP_CALL* closed)(const clap_host_t* host, bool was_destroyed);
};

// --- Timers ------------------------------------------------------------------

constexpr const char* CLAP_EXT_TIMER_SUPPORT = "clap.timer-support";

// Main thread, every period the plug-in asked for (roughly).
struct clap_plugin_timer_support_t {
    void(CLAP_CALL* on_timer)(const clap_plugin_t* plugin, clap_id timer_id);
};

// Main thread. The host may round the period.
struct clap_host_timer_support_t {
    bool(CLAP_CALL* register_timer)(const clap_host_t* host, uint32_t period_ms, clap_id* timer_id);
    bool(CLAP_CALL* unregister_timer)(const clap_host_t* host, clap_id timer_id);
};

// --- File descriptors (POSIX) ----------------------------------------------

constexpr const char* CLAP_EXT_POSIX_FD_SUPPORT = "clap.posix-fd-support";

constexpr uint32_t CLAP_POSIX_FD_READ = 1u << 0;
constexpr uint32_t CLAP_POSIX_FD_WRITE = 1u << 1;
constexpr uint32_t CLAP_POSIX_FD_ERROR = 1u << 2;

// Main thread, when a registered descriptor is ready (flags: which way).
struct clap_plugin_posix_fd_support_t {
    void(CLAP_CALL* on_fd)(const clap_plugin_t* plugin, int fd, uint32_t flags);
};

// Main thread. A descriptor is registered once; modify_fd changes what is
// watched.
struct clap_host_posix_fd_support_t {
    bool(CLAP_CALL* register_fd)(const clap_host_t* host, int fd, uint32_t flags);
    bool(CLAP_CALL* modify_fd)(const clap_host_t* host, int fd, uint32_t flags);
    bool(CLAP_CALL* unregister_fd)(const clap_host_t* host, int fd);
};

}  // extern "C"

}  // namespace clapabi
