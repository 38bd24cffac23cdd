// The X11 backend: the editor as a borderless child window inside the
// window that a Linux host passes to effEditOpen (an X Window id).
//
// The pictures are the headless backend's own, so fills, copies, masked
// images and the baked read-out font give exactly its pixels; a repaint
// composes them the headless way and puts the changed rectangle on the
// screen with XPutImage from one client-side image, so the window never
// flickers and always equals the headless render.
//
// X has no per-window timer and the host owns the thread's event loop, so
// the window is driven from effEditIdle, which Linux hosts call regularly
// on their user-interface thread: each call (Window::repaintNow) reads the
// window's queued events without blocking, runs a timer tick when 25 ms or
// more have passed since the last one, and puts what changed on the
// screen. Each window has its own display connection, so none of this
// touches the host's connection or its event queue.
#pragma once

#include <memory>

#include "platform/Platform.h"

namespace platform::x11 {

// The factory that the module installs with platform::setWindowFactory.
// `parent` is the host's X Window id, carried in the pointer. Creates the
// window unmapped at (0, 0) of the parent with the given client size, on
// its own connection to the display named by $DISPLAY. Never answers null:
// with no display, a null parent or a parent that the display does not
// know, it throws std::runtime_error, which the editor bridge turns into a
// failed open. X errors on the window's connection never reach the host's
// error handler. Window thread only.
std::unique_ptr<Window> CreateX11Window(void* parent, int clientWidth, int clientHeight, Rgb background,
                                        WindowEvents& events);

// A host that runs the editor from its own event loop instead of effEditIdle
// (a VST3 or CLAP host on Linux lends its loop to the plug-in) watches the
// window's connection (Window::loopConnection) and calls repaintNow when it
// has something to read, and calls Window::runTimerNow from a 25 ms timer
// of its own.

// The system's scale for a window not yet made: Xft.dpi from the X
// resources of the display named by $DISPLAY, as a new window reads it
// (96 dots per inch being 1); 0 when they set none or there is no display.
// For a host that asks the editor's size before it opens it.
double DisplayScale();

}  // namespace platform::x11
