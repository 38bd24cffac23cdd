// Load and unload hooks of the Windows module: nothing to do yet.
#include "entry.h"

#if defined(_WIN32)
void OnLibraryLoad(void*) {}
void OnLibraryUnload(void*) {}
#endif
