// What the tests of an editor embedded in an X window share: one display
// connection, a host's top-level window, real pointer and key input
// (XTest), and the server's pixels of a window.
//
// Include it after every other header: Xlib's macros (None, Bool, Status)
// clash with some of them.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "platform/Platform.h"

#include <X11/Xlib.h>

namespace x11test {

// Whether the environment promises an X display and XTest
// (HALVORINE_REQUIRE_DISPLAY, which scripts/test.sh and CI set), so that
// their absence is a fault rather than a reason to skip.
bool DisplayRequired();

// Skips the test for want of `what`, or fails it where that must be there.
#define SKIP_WITHOUT(what)                                                                    \
    do {                                                                                      \
        if (x11test::DisplayRequired())                                                       \
            GTEST_FAIL() << "no " << (what) << ", but HALVORINE_REQUIRE_DISPLAY is set";       \
        GTEST_SKIP() << "no " << (what);                                                      \
    } while (false)

// Real input through the XTest extension, loaded at run time so that
// building needs no extra headers. Null without libXtst.so.6.
struct XTest {
    int (*motion)(Display*, int, int, int, unsigned long) = nullptr;
    int (*button)(Display*, unsigned, int, unsigned long) = nullptr;
    int (*key)(Display*, unsigned, int, unsigned long) = nullptr;
    static const XTest* get();
};

// One connection for the whole program: the last client to leave makes an
// X server without -noreset (xvfb-run's) start over, and a connection made
// meanwhile is refused. Null without a display.
Display* SharedDisplay();

// A mapped top-level window, as a host's window for an editor.
Window MakeHostWindow(Display* dpy, int width, int height);
std::vector<Window> Children(Display* dpy, Window w);
// The window's pixels as the server holds them.
platform::Bitmap Capture(Display* dpy, Window w, int width, int height);
// The display's X resources (what xrdb sets: the RESOURCE_MANAGER property
// of the first screen's root window) replaced by `text` for one scope, as a
// desktop that sets Xft.dpi has them; a connection opened meanwhile reads
// them.
class ScopedResources {
public:
    ScopedResources(Display* dpy, const char* text);
    ~ScopedResources();
    ScopedResources(const ScopedResources&) = delete;
    ScopedResources& operator=(const ScopedResources&) = delete;

private:
    Display* dpy;
    bool had = false;
    std::vector<unsigned char> previous;
};

// Pixels of `a` that differ from `b`, with the first one described.
::testing::AssertionResult SamePicture(const platform::Bitmap& a, const platform::Bitmap& b);

}  // namespace x11test
