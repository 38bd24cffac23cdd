// Load and unload hooks of the module. Windows: the editor's window class
// and the backend that opens the editor in the host's window.
//
// They run inside DllMain, under the loader lock: registering a window
// class and storing a function pointer are safe there; creating a window
// is not, and waits for the host's effEditOpen.
#include "entry.h"

#if defined(_WIN32)
#include "platform/Platform.h"
#include "platform/win32/Win32Window.h"

void OnLibraryLoad(void* instance) {
    // Should registration fail here, the backend retries when the editor
    // is first opened, outside the loader lock.
    platform::win32::RegisterEditorClass(instance);
    platform::setWindowFactory(&platform::win32::CreateWin32Window);
}

void OnLibraryUnload(void* instance) {
    platform::setWindowFactory(nullptr);  // back to the headless default
    platform::win32::UnregisterEditorClass(instance);
}
#endif

#if defined(HALVORINE_X11)
#include "platform/Platform.h"
#include "platform/x11/X11Window.h"

// The Linux module opens its editor in the host's X window. Only the module
// has this hook: programs that link the editor directly keep the headless
// window. Storing a function pointer is all a load step may safely do; the
// display is opened with the first editor.
__attribute__((constructor)) static void InstallX11Editor() {
    platform::setWindowFactory(&platform::x11::CreateX11Window);
}

__attribute__((destructor)) static void RemoveX11Editor() { platform::setWindowFactory(nullptr); }
#endif
