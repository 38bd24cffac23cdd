// The library's exported entry and its load step.
//
// Hosts look for `VSTPluginMain` or, older ones, `main`. Both name the same
// function. On Windows the .def file exports `main` as an alias; on ELF the
// alias is a second definition under the assembler name "main", since C++
// reserves that name for the program's own entry.
#include <new>

#include "DAudioEffect.h"
#include "FloatingPointGuard.h"
#include "entry.h"

#if defined(_WIN32)
#include <windows.h>
#define HALVORINE_EXPORT extern "C" __declspec(dllexport)
#else
#define HALVORINE_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {

// Set by the build (HALVORINE_EDITOR); a library built without an editor
// builds instances without one.
#if defined(HALVORINE_EDITOR) && !HALVORINE_EDITOR
constexpr bool kWithEditor = false;
#else
constexpr bool kWithEditor = true;
#endif

AEffect* BuildInstance(audioMasterCallback audioMaster) {
    if (audioMaster == nullptr)
        return nullptr;
    if (audioMaster(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0)
        return nullptr;  // not a VST 2.x host: build nothing
    try {
        AudioEffect* effect = createEffectInstance(audioMaster, kWithEditor);
        return effect != nullptr ? effect->getAeffect() : nullptr;
    } catch (...) {
        return nullptr;
    }
}

}  // namespace

// Construction computes every coefficient: it runs behind a floating-point
// guard, as every later entry through the record does.
HALVORINE_EXPORT AEffect* VSTCALLBACK VSTPluginMain(audioMasterCallback audioMaster) {
    return fpenv::Guarded<BuildInstance>(audioMaster);
}

#if !defined(_WIN32)
HALVORINE_EXPORT AEffect* VSTPluginMainAlias(audioMasterCallback audioMaster) __asm__("main");
HALVORINE_EXPORT AEffect* VSTPluginMainAlias(audioMasterCallback audioMaster) {
    return fpenv::Guarded<BuildInstance>(audioMaster);
}
#endif

// ---------------------------------------------------------------------------
// Load step: mask every floating-point exception on the thread that loads
// the library, so that arithmetic there yields infinities and NaNs instead
// of trapping. Precision and rounding control stay as the host set them.
// The control word and MXCSR belong to each thread: the host's other
// threads, its audio thread among them, keep their own settings, which may
// leave exceptions unmasked. There the entry functions' guards mask them
// for the length of each call (see FloatingPointGuard.h).

void MaskFloatingPointExceptions() {
#if defined(__i386__) || defined(__x86_64__)
    unsigned short controlWord = 0;
    __asm__ __volatile__("fnstcw %0" : "=m"(controlWord));
    controlWord |= 0x003F;  // IM, DM, ZM, OM, UM, PM
    __asm__ __volatile__("fldcw %0" : : "m"(controlWord));

    unsigned int mxcsr = 0;
    __asm__ __volatile__("stmxcsr %0" : "=m"(mxcsr));
    mxcsr |= 0x1F80;  // the six SSE exception masks
    __asm__ __volatile__("ldmxcsr %0" : : "m"(mxcsr));
#endif
}

#if defined(_WIN32)
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        MaskFloatingPointExceptions();
        OnLibraryLoad(instance);
    } else if (reason == DLL_PROCESS_DETACH) {
        OnLibraryUnload(instance);
    }
    return TRUE;
}
#else
__attribute__((constructor)) static void HalvorineLoadStep() { MaskFloatingPointExceptions(); }
#endif
