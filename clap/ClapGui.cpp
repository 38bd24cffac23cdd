// The CLAP editor: the editor window of the other editions behind
// "clap.gui", driven on Linux by the host's timers and descriptors (see
// ClapGui.h).
//
// Size. The editor's size is the window's: the panel's at the scale that
// platform::ChooseScale picks from HALVORINE_SCALE, the host's (set_scale)
// and the system's. Before the window exists the editor works it out from
// the same sources (the system's: Xft.dpi of the default display, the
// system's DPI on Windows), so that the size the host asks for before
// set_parent is the size the window opens at. The size is fixed at a
// scale: the host may not resize the window, and adjust_size answers that
// one size. When the window's scale changes while it is open (a new
// set_scale, a screen of another density) the window takes its new size at
// once and the editor asks the host to follow (request_resize).
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
#include "FloatingPointGuard.h"
#include "abi/Gui.h"
#include "platform/NativeWindow.h"
#include "uEditor.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace clapedition {

using namespace clapabi;

namespace {

constexpr int kWidth = TPluginEditorWindow::kClientWidth;
constexpr int kHeight = TPluginEditorWindow::kClientHeight;
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

// Runs `body` as an entry from the host: exceptions masked for its length,
// and none let through (`failed` answers instead).
template <typename Result, typename Body>
Result HostEntry(Result failed, Body&& body) {
    fpenv::FloatingPointGuard guard;
    try {
        return body();
    } catch (...) {
        return failed;
    }
}

}  // namespace

// The editor of one plug-in. It is its window's plug-in: edits go on to the
// plug-in's controller, and a new size of the window goes to the host.
struct ClapGui final : EditorController {
    ClapGui(ClapPlugin& plugin, const clap_host_t* host, const clap_host_timer_support_t* timers,
            const clap_host_posix_fd_support_t* fds)
        : edits(EditorControllerOf(plugin)), plugin(plugin), host(host), timers(timers), fds(fds) {}
    ClapGui(const ClapGui&) = delete;
    ClapGui& operator=(const ClapGui&) = delete;

    // EditorController
    void setParameterAutomated(int index, float value) override { edits.setParameterAutomated(index, value); }
    void beginGesture(int index) override { edits.beginGesture(index); }
    void endGesture(int index) override { edits.endGesture(index); }
    void keySourceChosen(int choice) override { edits.keySourceChosen(choice); }
    // Last in a change of the window's scale: the host is to make room.
    void editorResized(int newWidth, int newHeight) override {
        const auto* hostGui = static_cast<const clap_host_gui_t*>(host->get_extension(host, CLAP_EXT_GUI));
        if (hostGui != nullptr && hostGui->request_resize != nullptr)
            hostGui->request_resize(host, static_cast<uint32_t>(newWidth), static_cast<uint32_t>(newHeight));
    }

    // The editor's size in screen pixels: the open window's, or what the
    // window would open at.
    uint32_t width() const {
        return static_cast<uint32_t>(window != nullptr ? window->form().clientWidth()
                                                       : platform::ScaledLength(kWidth, scaleBeforeWindow()));
    }
    uint32_t height() const {
        return static_cast<uint32_t>(window != nullptr ? window->form().clientHeight()
                                                       : platform::ScaledLength(kHeight, scaleBeforeWindow()));
    }
    // The system's scale is read once until a window opens: hosts ask for
    // the size many times, and each reading is a connection to the display.
    double scaleBeforeWindow() const {
        if (systemScale < 0.0)
            systemScale = platform::NativeSystemScale();
        return platform::ChooseScale(hostScale, systemScale);
    }
    mutable double systemScale = -1.0;  // -1: not read yet

    // The plug-in's values as the window is to show them: the host's
    // automation, program changes and the window's own edits alike; the
    // Key choice and whether its key is missing with them.
    void copyValues(TPluginEditorWindow& into) {
        for (int i = 0; i < kSliders; ++i)
            into.values[i].store(platform::ShownValue(EditorValue(plugin, i)), std::memory_order_relaxed);
        into.keySource.store(EditorKeySource(plugin), std::memory_order_relaxed);
        into.keyMissing.store(EditorKeyMissing(plugin), std::memory_order_relaxed);
        into.program.store(EditorProgram(plugin), std::memory_order_relaxed);
    }

    bool open(void* parent);
    // Leaves the host's timer and descriptor lists and takes the window down.
    void close();

    EditorController& edits;
    ClapPlugin& plugin;
    const clap_host_t* host;
    const clap_host_timer_support_t* timers;   // null on Windows, where the window has its own
    const clap_host_posix_fd_support_t* fds;   // null where the host watches none
    TPluginEditorWindow* window = nullptr;
    double hostScale = 0.0;  // the host's, or 0 for none
    clap_id timerId = CLAP_INVALID_ID;
    int fd = -1;         // the window's connection while the host watches it
    int entries = 0;     // entries from the host under way
    bool doomed = false; // destroyed inside one of them

#if defined(_WIN32)
    // The refresh timer on the window. Its id is the editor's address
    // (never the window's own timer id, 1), so the timer procedure finds
    // the editor without a table; it ends with the window.
    static void CALLBACK RefreshTimer(HWND, UINT, UINT_PTR id, DWORD);
#endif
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

bool ClapGui::open(void* parent) {
    close();  // set_parent again: the window moves to the new parent
    const uint32_t toldWidth = width(), toldHeight = height();
    std::unique_ptr<TPluginEditorWindow> made;
    try {
        [[maybe_unused]] platform::NativeWindows native;
        made = std::make_unique<TPluginEditorWindow>(parent, hostScale);  // runs FormCreate
    } catch (...) {
        return false;  // no window to be had (a parent that is gone, no display)
    }
    made->form().setPosition(0, 0);
    copyValues(*made);
    made->plugin = this;
#if defined(HALVORINE_X11)
    const int connection = platform::x11::ConnectionFileDescriptor(made->form());
    clap_id id = CLAP_INVALID_ID;
    if (connection < 0 || !timers->register_timer(host, kGuiTimerPeriodMs, &id) || id == CLAP_INVALID_ID)
        return false;
    timerId = id;
    // Without the watch the window's events wait for the next tick.
    if (fds != nullptr && fds->register_fd(host, connection, CLAP_POSIX_FD_READ))
        fd = connection;
#endif
    window = made.release();
    window->form().repaintNow();
    // Shown at once, as the other editions' windows are: show and hide
    // only toggle it.
    window->form().show();
    window->SetAll();
#if defined(_WIN32)
    SetTimer(static_cast<HWND>(window->form().nativeHandle()), reinterpret_cast<UINT_PTR>(this),
             kGuiTimerPeriodMs, &ClapGui::RefreshTimer);
#endif
    // The window opened at another size than the host was told (its screen
    // is not the one the system's scale is for): the host is to follow.
    if (width() != toldWidth || height() != toldHeight)
        editorResized(static_cast<int>(width()), static_cast<int>(height()));  // last: may destroy the editor
    return true;
}

void ClapGui::close() {
    // Out of the host's lists first: the descriptor closes with the window.
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
    TPluginEditorWindow* doomedWindow = window;
    window = nullptr;
#if defined(_WIN32)
    if (doomedWindow != nullptr)
        KillTimer(static_cast<HWND>(doomedWindow->form().nativeHandle()), reinterpret_cast<UINT_PTR>(this));
#endif
    CloseEmbeddedWindow(doomedWindow);
}

#if defined(_WIN32)
void CALLBACK ClapGui::RefreshTimer(HWND, UINT, UINT_PTR id, DWORD) {
    HostEntry(false, [&] {
        auto* gui = reinterpret_cast<ClapGui*>(id);
        if (gui->window != nullptr)
            gui->copyValues(*gui->window);
        return true;
    });
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
        gui->hostScale = scale;
        if (gui->window != nullptr) {
            Entry entry(*gui);
            gui->window->setScale(scale);  // last: the host may destroy the editor inside
        }
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
        return gui->open(parent);
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
        if (gui == nullptr || gui->window == nullptr)
            return false;
        if (show)
            gui->window->form().show();
        else
            gui->window->form().hide();
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
        if (gui == nullptr || gui->window == nullptr || timerId != gui->timerId)
            return false;
#if defined(HALVORINE_X11)
        Entry entry(*gui);
        gui->copyValues(*gui->window);
        platform::x11::RunTimerNow(gui->window->form());  // last: the window's events may destroy the editor
#endif
        return true;
    });
}

const clap_plugin_timer_support_t kTimerSupport{&OnTimer};

#if defined(HALVORINE_X11)
// --- clap.posix-fd-support: the window's connection has events to read ---

void CLAP_CALL OnFd(const clap_plugin_t* plugin, int fd, uint32_t) {
    HostEntry(false, [&] {
        ClapGui* gui = GuiOf(plugin);
        if (gui == nullptr || gui->window == nullptr || fd != gui->fd)
            return false;
        Entry entry(*gui);
        gui->window->form().repaintNow();  // last, as above
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
        gui->close();
    } catch (...) {
    }
    if (gui->entries > 0)
        gui->doomed = true;  // goes when the entry it was destroyed in is done
    else
        delete gui;
}

}  // namespace clapedition
