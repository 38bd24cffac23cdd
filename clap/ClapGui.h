// The CLAP edition's editor: the editor window of the other editions inside
// the host's window, behind the plug-in extensions "clap.gui",
// "clap.timer-support" and "clap.posix-fd-support" (what ClapParts.h lists
// under "Provided by the editor").
//
// One editor per plug-in, from the host's create to its destroy (or the
// plug-in's own destruction, DestroyGui); its window exists from set_parent
// on. It reaches the plug-in only through ClapParts.h: the values it shows
// (EditorValue, copied at every refresh pass, which is how the host's
// automation reaches the open window), where its edits go
// (EditorControllerOf) and its slot (GuiSlot). Everything here runs on the
// host's main thread.
//
// Linux: the window is an X11 child window driven by the host, as the VST3
// view's is by its run loop: a 25 ms timer through the host's timer-support
// (the refresh pass) and a watch on the window's X connection through its
// posix-fd-support (pointer and expose events, as they come). A host
// without timer-support gets no editor (create answers false): a window
// that nothing drives would never follow automation. Without
// posix-fd-support the events wait for the next tick.
// Windows: a Win32 child window with a timer of its own, as in the other
// editions, and a second timer on it for the refresh of the values.
#pragma once

#include "ClapParts.h"

namespace clapedition {

// The refresh period the editor asks of the host's timer-support.
constexpr uint32_t kGuiTimerPeriodMs = 25;

}  // namespace clapedition
