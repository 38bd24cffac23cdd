// What the exported entry needs from the rest of the library.
#pragma once

#include "DAudioEffect.h"

// Builds one plug-in instance for the host; null if it cannot be built.
// Without `withEditor` the instance has no editor: it does not set the
// editor flag and answers the editor requests with 0.
AudioEffect* createEffectInstance(audioMasterCallback audioMaster, bool withEditor = true);

// Masks all floating-point exceptions of the calling thread, x87 and SSE,
// leaving precision and rounding control as they were.
void MaskFloatingPointExceptions();

#if defined(_WIN32)
// The module's load and unload hooks (the Windows editor registers and
// unregisters its window class here). `instance` is the module handle.
void OnLibraryLoad(void* instance);
void OnLibraryUnload(void* instance);
#endif
