// The Windows backend: the editor as a borderless child window inside the
// host's window.
//
// Every picture's surface is a 32-bit DIB section that the backend writes
// pixel by pixel, so fills, copies and masked images give exactly the bytes
// of the headless backend; only text goes through GDI (TextOut in the named
// system font, transparent background). A paint composes the pictures back
// to front into one more DIB section and blits it in a single step, so the
// window never flickers. Mouse buttons and moves go to the editor's logic as
// they come, in client coordinates, and its capture is the window's mouse
// capture; the repeating timer is a window timer, delivered on the window's
// own thread.
#pragma once

#include <memory>

#include "platform/Platform.h"

namespace platform::win32 {

// Registers the editor's window class for the module `instance` (an
// HINSTANCE) under a name that no other library uses. Safe under the
// loader lock: it only registers a class. Answers false if it cannot.
bool RegisterEditorClass(void* instance);
// Unregisters it again (the module is being unloaded). Harmless if it was
// never registered.
void UnregisterEditorClass(void* instance);
// The registered class name, or an empty text before registration. Windows
// of this class are the editor's.
const wchar_t* EditorClassName();

// The factory that the module installs with platform::setWindowFactory.
// Creates the window hidden, as a child of `parent` (an HWND), at (0, 0),
// with the given client size. Never answers null: if the window cannot be
// created (a null or dead parent, no class) it throws std::runtime_error,
// which the editor bridge turns into a failed open. Window thread only.
std::unique_ptr<Window> CreateWin32Window(void* parent, int clientWidth, int clientHeight, Rgb background,
                                          WindowEvents& events);

// The system's scale for `window` (an HWND) in the calling thread: its DPI
// over 96 where the thread is DPI-aware, 1 where it is not (the system
// scales the window up itself). For null, the scale a new window would
// open at: the system's DPI. A window follows it (Window::setScale(0)).
double SystemScale(void* window);

}  // namespace platform::win32
