// The platform's own window backend, for an editor that is always a native
// window inside the host's (the VST3 view, the CLAP editor) whatever backend
// the rest of the process uses. HALVORINE_NATIVE_WINDOW is defined where
// there is one: Windows, and Linux with the X11 backend linked.
#pragma once

#include "platform/Platform.h"

#if defined(_WIN32)
#include <windows.h>

#include "platform/win32/Win32Window.h"
#define HALVORINE_NATIVE_WINDOW 1
#elif defined(HALVORINE_X11)
#include "platform/x11/X11Window.h"
#define HALVORINE_NATIVE_WINDOW 1
#endif

namespace platform {

// A value as the window may show it: within 0 to 1, and not a NaN.
inline float ShownValue(float value) {
    if (value > 1.0f)
        return 1.0f;
    if (!(value >= 0.0f))
        return 0.0f;
    return value;
}

#if defined(_WIN32)
// The first window registers the editor's window class for the library that
// holds this code (see CreateWin32Window). Windows keeps a library's classes
// after it is unloaded, and a later copy loaded at the same address could
// then not register its own: the class goes with the library, when its
// static objects are destroyed on unloading. One object in each library
// that includes this (an inline variable), found by an address of its own.
struct WindowClassRelease {
    ~WindowClassRelease() {
        HMODULE self = nullptr;
        if (GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                               reinterpret_cast<LPCWSTR>(this), &self))
            win32::UnregisterEditorClass(self);
    }
};
inline WindowClassRelease gWindowClassRelease;
#endif

// The platform's own window backend; none in a build without one.
inline Backend NativeBackend() {
#if defined(_WIN32)
    return {&win32::CreateWin32Window, [] { return win32::SystemScale(nullptr); }};
#elif defined(HALVORINE_X11)
    return {&x11::CreateX11Window, &x11::DisplayScale};
#else
    return {};
#endif
}

}  // namespace platform
