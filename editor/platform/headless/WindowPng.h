// Writing the headless editor window as a PNG image (libpng; Linux only,
// never linked into the module). For tests and the command-line host.
#pragma once

#include "platform/Platform.h"

class APlugin;

namespace editorpng {

// Writes `image` as an 8-bit RGB PNG. Answers false if the file cannot be
// written.
bool WritePng(const platform::Bitmap& image, const char* path);

// Writes the plug-in's editor window as the screen would show it. If the
// editor is closed it is opened for the purpose (as a host's effEditOpen
// would, with no parent window) and closed again afterwards; if it is open
// its current picture is written after one refresh pass. The plug-in must
// have been built in this program, with the headless backend (the
// default). Answers false if the window is not headless or the file
// cannot be written.
bool WriteEditorSnapshot(APlugin& plugin, const char* path);

}  // namespace editorpng
