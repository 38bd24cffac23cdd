// The platform's own window backend, for an editor that is always a native
// window inside the host's (the VST3 view, the CLAP editor) whatever backend
// the rest of the process uses. HALVORINE_NATIVE_WINDOW is defined where
// there is one: Windows, and Linux with the X11 backend linked.
#pragma once

#include "platform/Platform.h"

#if defined(_WIN32)
#include "platform/win32/Win32Window.h"
#define HALVORINE_NATIVE_WINDOW 1
#elif defined(HALVORINE_X11)
#include "platform/x11/X11Window.h"
#define HALVORINE_NATIVE_WINDOW 1
#endif

namespace platform {

// The system's scale for a window about to be made, as the backend will
// read it once the window exists; 0 where there is none.
inline double NativeSystemScale() {
#if defined(_WIN32)
    return win32::SystemScale(nullptr);
#elif defined(HALVORINE_X11)
    return x11::DisplayScale();
#else
    return 0.0;
#endif
}

// While it exists, createWindow makes native windows. The module itself
// need not install the backend for the editor's sake; and whatever default
// the rest of the process relies on (the tests' headless windows) is back
// as soon as the window is made.
class NativeWindows {
public:
#if defined(_WIN32)
    NativeWindows() : previous(setWindowFactory(&win32::CreateWin32Window)) {}
#elif defined(HALVORINE_X11)
    NativeWindows() : previous(setWindowFactory(&x11::CreateX11Window)) {}
#endif
#if defined(HALVORINE_NATIVE_WINDOW)
    ~NativeWindows() { setWindowFactory(previous); }
    NativeWindows(const NativeWindows&) = delete;
    NativeWindows& operator=(const NativeWindows&) = delete;

private:
    WindowFactory previous;
#endif
};

}  // namespace platform
