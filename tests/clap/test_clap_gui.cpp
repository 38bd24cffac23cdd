// The editor as a host runs it: created, embedded in a real window of the
// host's (an X window under Xvfb on Linux, a Win32 window under wine),
// shown and hidden while the host drives the timers and descriptors it
// registered, then destroyed: its window goes, and everything it
// registered is unregistered.
#include <gtest/gtest.h>

#include <cstdlib>

#include "ClapHost.h"
#include "ClapTestUtil.h"

#if defined(_WIN32)
#include <windows.h>
#elif defined(HALVORINE_CLAP_X11)
#include <X11/Xlib.h>
#endif

using namespace claphost;

namespace {

// Skips for want of `what`, or fails where the environment promises it.
#define SKIP_WITHOUT_DISPLAY(what)                                                         \
    do {                                                                                   \
        if (std::getenv("HALVORINE_REQUIRE_DISPLAY") != nullptr)                           \
            GTEST_FAIL() << "no " << (what) << ", but HALVORINE_REQUIRE_DISPLAY is set";    \
        GTEST_SKIP() << "no " << (what);                                                   \
    } while (false)

#if defined(_WIN32)
const char* const kApi = CLAP_WINDOW_API_WIN32;

class ParentWindow {
public:
    ParentWindow() {
        WNDCLASSW wc{};
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"HalvorineClapTestHost";
        RegisterClassW(&wc);
        window_ = CreateWindowExW(0, wc.lpszClassName, L"CLAP host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 640,
                                  480, nullptr, nullptr, wc.hInstance, nullptr);
    }
    ~ParentWindow() {
        if (window_ != nullptr)
            DestroyWindow(window_);
    }
    bool ok() const { return window_ != nullptr; }
    uintptr_t handle() const { return reinterpret_cast<uintptr_t>(window_); }
    int children() const {
        int n = 0;
        for (HWND c = GetWindow(window_, GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT))
            ++n;
        return n;
    }

private:
    HWND window_ = nullptr;
};
#elif defined(HALVORINE_CLAP_X11)
const char* const kApi = CLAP_WINDOW_API_X11;

// One connection for the whole program: the last client to leave makes
// xvfb-run's server start over.
Display* SharedDisplay() {
    static Display* dpy = XOpenDisplay(nullptr);
    return dpy;
}

class ParentWindow {
public:
    ParentWindow() : dpy_(SharedDisplay()) {
        if (dpy_ == nullptr)
            return;
        window_ = XCreateSimpleWindow(dpy_, DefaultRootWindow(dpy_), 0, 0, 640, 480, 0, 0, 0);
        XMapWindow(dpy_, window_);
        XSync(dpy_, False);
    }
    ~ParentWindow() {
        if (window_ != 0) {
            XDestroyWindow(dpy_, window_);
            XSync(dpy_, False);
        }
    }
    bool ok() const { return window_ != 0; }
    uintptr_t handle() const { return window_; }
    int children() const {
        XSync(dpy_, False);
        Window root = 0, parent = 0, *list = nullptr;
        unsigned int n = 0;
        if (XQueryTree(dpy_, window_, &root, &parent, &list, &n) == 0)
            return -1;
        if (list != nullptr)
            XFree(list);
        return static_cast<int>(n);
    }

private:
    Display* dpy_;
    Window window_ = 0;
};
#endif

}  // namespace

TEST(Gui, EmbeddedShownHiddenAndDestroyed) {
#if !defined(_WIN32) && !defined(HALVORINE_CLAP_X11)
    GTEST_SKIP() << "built without Xlib";
#else
    REQUIRE_MODULE(Module::underTest());
    const bool halvorine = Module::underTest().firstId() == "com.pellucid.halvorine";
    ParentWindow parent;
    if (!parent.ok())
        SKIP_WITHOUT_DISPLAY("display (run under xvfb-run -a)");
    Plugin p;
    ASSERT_TRUE(p.ok());
    if (!p.guiSupported(kApi)) {
        ASSERT_FALSE(halvorine) << "Halvorine has an embedded " << kApi << " editor";
        GTEST_SKIP() << "no embedded " << kApi << " editor";
    }
    ASSERT_TRUE(p.guiCreate(kApi));
    uint32_t width = 0, height = 0;
    ASSERT_TRUE(p.guiSize(width, height));
    EXPECT_GT(width, 0u);
    EXPECT_GT(height, 0u);
    ASSERT_TRUE(p.guiSetParent(kApi, parent.handle()));
    EXPECT_TRUE(p.guiShow());
    p.drive(300);
    EXPECT_GE(parent.children(), 1) << "no window inside the host's";
    if (!p.host.timers.empty()) {
        EXPECT_GT(p.host.timerTicks, 0);
    }
    EXPECT_TRUE(p.guiHide());
    p.drive(50);
    EXPECT_TRUE(p.guiShow());
    p.drive(50);
    p.guiDestroy();
    p.drive(50);
    EXPECT_EQ(parent.children(), 0) << "the editor's window outlived destroy";
    EXPECT_TRUE(p.host.timers.empty()) << p.host.timers.size() << " timers left registered";
    EXPECT_TRUE(p.host.fds.empty()) << p.host.fds.size() << " descriptors left registered";
    EXPECT_FALSE(p.host.mainThreadOnlyCallOffMain);
#if !defined(_WIN32)
    if (halvorine) {
        EXPECT_GT(p.host.timerRegistrations + p.host.fdRegistrations, 0)
            << "on Linux the editor runs on the host's timers and descriptors";
    }
#endif
#endif
}
