// Writing the headless editor window as a PNG image (libpng; Linux only,
// never linked into the module). For tests and the command-line host.
#pragma once

#include <string>

#include "DAEffect.h"
#include "platform/Platform.h"

class APlugin;

namespace editorpng {

// Each answers false if the file cannot be written, and then stores the
// reason, one short line, in `why` if it is given.

// Writes `image` as an 8-bit RGB PNG.
bool WritePng(const platform::Bitmap& image, const char* path, std::string* why = nullptr);

// Writes the plug-in's editor window as the screen would show it. If the
// editor is closed it is opened for the purpose (as a host's effEditOpen
// would, with no parent window) and closed again afterwards; if it is open
// its current picture is written after one refresh pass. The plug-in must
// have been built in this program, with the headless backend (the
// default). Also answers false if the editor cannot be opened or its
// window is not headless. An editor opened here is shown at `scale` (the
// host's scale, as effVendorSpecific gives it; 0 for the system's), one
// already open as it is.
bool WriteEditorSnapshot(APlugin& plugin, const char* path, std::string* why = nullptr, double scale = 0.0);

// Writes the editor of any instance reached through its effect record (a
// loaded module's, say): a plug-in object built here takes over the
// instance's current program and its parameters 0 to 29, and its editor
// is written as above. Only the record's entry points are used.
bool WriteEditorSnapshot(AEffect* source, const char* path, std::string* why = nullptr);

}  // namespace editorpng
