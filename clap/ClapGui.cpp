// The CLAP editor: the editor window of the other editions behind
// "clap.gui", driven on Linux by the host's timers and descriptors (see
// ClapGui.h).
//
// Size, opening and closing, the refresh and the Win32 timer are the
// embedded editor's (EmbeddedEditor): the size is fixed at a scale, the
// host may not resize the window, and adjust_size answers that one size.
// A new size of the window goes to the host through request_resize.
//
// Re-entry. The host may destroy the editor, or the plug-in, from inside a
// call the editor makes to it (request_resize, or an edit that reaches it):
// an editor destroyed while one of the host's entries into it is under way
// goes when that entry is done, and every entry does nothing after the
// call that may destroy it. A window closed from inside one of its own
// events goes when the event is done (CloseEmbeddedWindow).
//
// Every entry from the host masks floating-point exceptions for its length
// (fpenv::FloatingPointGuard) and lets no exception through.
#include "ClapGui.h"

#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>

#include "EditorController.h"
#include "EmbeddedEditor.h"
#include "FloatingPointGuard.h"
#include "abi/Gui.h"
#include "platform/NativeWindow.h"
#include "uEditor.h"

namespace clapedition {

using namespace clapabi;

namespace {

constexpr int kSliders = TPluginEditorWindow::kNumSliders;

#if defined(_WIN32)
constexpr const char* kNativeApi = CLAP_WINDOW_API_WIN32;
#elif defined(HALVORINE_X11)
constexpr const char* kNativeApi = CLAP_WINDOW_API_X11;
#endif

bool NativeApi(const char* api) {
#if defined(HALVORINE_NATIVE_WINDOW)
    return api != nullptr && std::strcmp(api, kNativeApi) == 0;
#else
    (void)api;
    return false;  // a build without a native window has no editor to show
#endif
}

template <typename Result, typename Body>
Result HostEntry(Result failed, Body&& body) {
    return fpenv::HostCall(failed, std::forward<Body>(body));
}

}  // namespace

// The editor of one plug-in: edits go on to the plug-in's controller, and a
// new size of the window goes to the host.
struct ClapGui final : EmbeddedEditor::Owner {
    ClapGui(ClapPlugin& plugin, const clap_host_t* host, const clap_host_timer_support_t* timers,
            const clap_host_posix_fd_support_t* fds)
        : plugin(plugin), host(host), timers(timers), fds(fds) {}
    ClapGui(const ClapGui&) = delete;
    ClapGui& operator=(const ClapGui&) = delete;

    // EmbeddedEditor::Owner
    EditorController& edits() override { return EditorControllerOf(plugin); }
    platform::Backend backend() override { return platform::NativeBackend(); }
    // The plug-in's values as the window is to show them: the host's
    // automation, program changes and the window's own edits alike; the
    // Key choice, whether its key is missing and the program with them.
    void showIn(TPluginEditorWindow& into) override {
        for (int i = 0; i < kSliders; ++i)
            into.values[i].store(platform::ShownValue(EditorValue(plugin, i)), std::memory_order_relaxed);
        into.keySource.store(EditorKeySource(plugin), std::memory_order_relaxed);
        into.keyMissing.store(EditorKeyMissing(plugin), std::memory_order_relaxed);
        into.program.store(EditorProgram(plugin), std::memory_order_relaxed);
        into.showsActivity = true;
        float level[TPluginEditorWindow::kNumBands], gain[TPluginEditorWindow::kNumBands];
        if (EditorActivity(plugin, level, gain))
            for (int band = 0; band < TPluginEditorWindow::kNumBands; ++band)
                into.bandActivity(band, level[band], gain[band]);
    }
#if defined(HALVORINE_X11)
    bool joinLoop(int connection) override;
    void leaveLoop() override;
#endif
    // Last in a change of the window's scale: the host is to make room.
    void sizeChanged(int newWidth, int newHeight) override {
        const auto* hostGui = static_cast<const clap_host_gui_t*>(host->get_extension(host, CLAP_EXT_GUI));
        if (hostGui != nullptr && hostGui->request_resize != nullptr)
            hostGui->request_resize(host, static_cast<uint32_t>(newWidth), static_cast<uint32_t>(newHeight));
    }

    uint32_t width() const { return static_cast<uint32_t>(editor.width()); }
    uint32_t height() const { return static_cast<uint32_t>(editor.height()); }

    ClapPlugin& plugin;
    const clap_host_t* host;
    const clap_host_timer_support_t* timers;   // null on Windows, where the window has its own
    const clap_host_posix_fd_support_t* fds;   // null where the host watches none
    clap_id timerId = CLAP_INVALID_ID;
    int fd = -1;         // the window's connection while the host watches it
    int entries = 0;     // entries from the host under way
    bool doomed = false; // destroyed inside one of them
    EmbeddedEditor editor{*this, EmbeddedEditor::Refresh::Pulled};  // last: it goes first
};

namespace {

// Keeps the editor for the length of an entry from the host: it may be
// destroyed inside, and then goes at the end.
class Entry {
public:
    explicit Entry(ClapGui& gui) : gui(gui) { ++gui.entries; }
    ~Entry() {
        if (--gui.entries == 0 && gui.doomed)
            delete &gui;
    }
    Entry(const Entry&) = delete;
    Entry& operator=(const Entry&) = delete;

private:
    ClapGui& gui;
};

ClapGui* GuiOf(const clap_plugin_t* plugin) {
    ClapPlugin* p = PluginOf(plugin);
    return p != nullptr ? GuiSlot(*p) : nullptr;
}

}  // namespace

#if defined(HALVORINE_X11)
// The refresh pass on the host's timer; the window's events as they come
// where the host watches its connection, else at the next tick.
bool ClapGui::joinLoop(int connection) {
    clap_id id = CLAP_INVALID_ID;
    if (!timers->register_timer(host, kGuiTimerPeriodMs, &id) || id == CLAP_INVALID_ID)
        return false;
    timerId = id;
    if (fds != nullptr && fds->register_fd(host, connection, CLAP_POSIX_FD_READ))
        fd = connection;
    return true;
}

void ClapGui::leaveLoop() {
    if (fd >= 0) {
        const int watched = fd;
        fd = -1;
        fds->unregister_fd(host, watched);
    }
    if (timerId != CLAP_INVALID_ID) {
        const clap_id id = timerId;
        timerId = CLAP_INVALID_ID;
        timers->unregister_timer(host, id);
    }
}
#endif

namespace {

// --- clap.gui ---

bool CLAP_CALL IsApiSupported(const clap_plugin_t* plugin, const char* api, bool isFloating) {
    return HostEntry(false, [&] { return PluginOf(plugin) != nullptr && !isFloating && NativeApi(api); });
}

bool CLAP_CALL GetPreferredApi(const clap_plugin_t* plugin, const char** api, bool* isFloating) {
    return HostEntry(false, [&] {
#if defined(HALVORINE_NATIVE_WINDOW)
        if (PluginOf(plugin) == nullptr || api == nullptr || isFloating == nullptr)
            return false;
        *api = kNativeApi;
        *isFloating = false;
        return true;
#else
        (void)plugin, (void)api, (void)isFloating;
        return false;
#endif
    });
}

bool CLAP_CALL Create(const clap_plugin_t* plugin, const char* api, bool isFloating) {
    return HostEntry(false, [&] {
        ClapPlugin* p = PluginOf(plugin);
        if (p == nullptr || isFloating || !NativeApi(api) || GuiSlot(*p) != nullptr)
            return false;
        const clap_host_t* host = HostOf(*p);
        if (host == nullptr || host->get_extension == nullptr)
            return false;
        const clap_host_timer_support_t* timers = nullptr;
        const clap_host_posix_fd_support_t* fds = nullptr;
#if defined(HALVORINE_X11)
        timers = static_cast<const clap_host_timer_support_t*>(host->get_extension(host, CLAP_EXT_TIMER_SUPPORT));
        if (timers == nullptr || timers->register_timer == nullptr || timers->unregister_timer == nullptr)
            return false;  // nothing would drive the window
        fds = static_cast<const clap_host_posix_fd_support_t*>(host->get_extension(host, CLAP_EXT_POSIX_FD_SUPPORT));
        if (fds != nullptr && (fds->register_fd == nullptr || fds->unregister_fd == nullptr))
            fds = nullptr;
#endif
        GuiSlot(*p) = new ClapGui(*p, host, timers, fds);
        return true;
    });
}

void CLAP_CALL Destroy(const clap_plugin_t* plugin) {
    HostEntry(false, [&] {
        ClapPlugin* p = PluginOf(plugin);
        if (p == nullptr)
            return false;
        ClapGui* gui = GuiSlot(*p);
        GuiSlot(*p) = nullptr;
        DestroyGui(gui);
        return true;
    });
}

// The panel is drawn again at the host's scale (1 to 3; HALVORINE_SCALE
// still overrides it); an open window asks the host for its new size. A
// scale that is not a positive number is refused.
bool CLAP_CALL SetScale(const clap_plugin_t* plugin, double scale) {
    return HostEntry(false, [&] {
        ClapGui* gui = GuiOf(plugin);
        if (gui == nullptr || !(scale > 0.0) || !std::isfinite(scale))
            return false;
        Entry entry(*gui);
        gui->editor.setHostScale(scale);  // last: the host may destroy the editor inside
        return true;
    });
}

bool CLAP_CALL GetSize(const clap_plugin_t* plugin, uint32_t* width, uint32_t* height) {
    return HostEntry(false, [&] {
        const ClapGui* gui = GuiOf(plugin);
        if (gui == nullptr || width == nullptr || height == nullptr)
            return false;
        *width = gui->width();
        *height = gui->height();
        return true;
    });
}

bool CLAP_CALL CanResize(const clap_plugin_t*) {
    return false;
}

// The editor has one size per scale: neither side can be dragged. Hosts
// ask whatever can_resize said, and log a failure when there is no answer.
bool CLAP_CALL GetResizeHints(const clap_plugin_t*, clap_gui_resize_hints_t* hints) {
    if (hints == nullptr)
        return false;
    *hints = clap_gui_resize_hints_t{false, false, false, 0, 0};
    return true;
}

// Whatever the host proposes, the editor's one size.
bool CLAP_CALL AdjustSize(const clap_plugin_t* plugin, uint32_t* width, uint32_t* height) {
    return GetSize(plugin, width, height);
}

// The window keeps its size: only that one is taken (the host's
// confirmation of a size the editor asked for).
bool CLAP_CALL SetSize(const clap_plugin_t* plugin, uint32_t width, uint32_t height) {
    return HostEntry(false, [&] {
        const ClapGui* gui = GuiOf(plugin);
        return gui != nullptr && width == gui->width() && height == gui->height();
    });
}

bool CLAP_CALL SetParent(const clap_plugin_t* plugin, const clap_window_t* window) {
    return HostEntry(false, [&] {
        ClapGui* gui = GuiOf(plugin);
        if (gui == nullptr || window == nullptr || !NativeApi(window->api))
            return false;
#if defined(_WIN32)
        void* parent = window->win32;
#else
        void* parent = reinterpret_cast<void*>(static_cast<uintptr_t>(window->x11));
#endif
        if (parent == nullptr)
            return false;
        Entry entry(*gui);
        if (!gui->editor.open(parent))
            return false;
        gui->editor.reportSizeIfChanged();  // last, as above
        return true;
    });
}

// Embedded windows only: there is no window of our own to keep above another.
bool CLAP_CALL SetTransient(const clap_plugin_t*, const clap_window_t*) {
    return false;
}

void CLAP_CALL SuggestTitle(const clap_plugin_t*, const char*) {}

bool CLAP_CALL ShowOrHide(const clap_plugin_t* plugin, bool show) {
    return HostEntry(false, [&] {
        ClapGui* gui = GuiOf(plugin);
        if (gui == nullptr || gui->editor.window() == nullptr)
            return false;
        gui->editor.setVisible(show);
        return true;
    });
}

bool CLAP_CALL Show(const clap_plugin_t* plugin) {
    return ShowOrHide(plugin, true);
}

bool CLAP_CALL Hide(const clap_plugin_t* plugin) {
    return ShowOrHide(plugin, false);
}

const clap_plugin_gui_t kGui{&IsApiSupported, &GetPreferredApi, &Create,       &Destroy,        &SetScale,
                             &GetSize,        &CanResize,       &GetResizeHints, &AdjustSize,   &SetSize,
                             &SetParent,      &SetTransient,    &SuggestTitle,  &Show,          &Hide};

// --- clap.timer-support: the refresh pass ---

void CLAP_CALL OnTimer(const clap_plugin_t* plugin, clap_id timerId) {
    HostEntry(false, [&] {
        ClapGui* gui = GuiOf(plugin);
        if (gui == nullptr || gui->editor.window() == nullptr || timerId != gui->timerId)
            return false;
        Entry entry(*gui);
        gui->editor.tick();  // the window's events may destroy the editor
        return true;
    });
}

const clap_plugin_timer_support_t kTimerSupport{&OnTimer};

#if defined(HALVORINE_X11)
// --- clap.posix-fd-support: the window's connection has events to read ---

void CLAP_CALL OnFd(const clap_plugin_t* plugin, int fd, uint32_t) {
    HostEntry(false, [&] {
        ClapGui* gui = GuiOf(plugin);
        if (gui == nullptr || gui->editor.window() == nullptr || fd != gui->fd)
            return false;
        Entry entry(*gui);
        gui->editor.pump();  // as above
        return true;
    });
}

const clap_plugin_posix_fd_support_t kPosixFd{&OnFd};
#endif

}  // namespace

const void* GuiExtension() {
#if defined(HALVORINE_NATIVE_WINDOW)
    return &kGui;
#else
    return nullptr;
#endif
}

const void* TimerSupportExtension() {
    return &kTimerSupport;
}

const void* PosixFdExtension() {
#if defined(HALVORINE_X11)
    return &kPosixFd;
#else
    return nullptr;
#endif
}

void DestroyGui(ClapGui* gui) {
    if (gui == nullptr)
        return;
    fpenv::FloatingPointGuard guard;
    try {
        gui->editor.close();
    } catch (...) {
    }
    if (gui->entries > 0)
        gui->doomed = true;  // goes when the entry it was destroyed in is done
    else
        delete gui;
}

}  // namespace clapedition
