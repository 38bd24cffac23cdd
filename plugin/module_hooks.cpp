// Load and unload hooks of the Windows module: the editor's window class
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
