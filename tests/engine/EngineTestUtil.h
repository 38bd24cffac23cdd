// Shared helpers of the engine tests: deterministic test signals and a
// plug-in object built without a host.
#pragma once

#if defined(__i386__) || defined(__x86_64__)
#include <xmmintrin.h>
#endif

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "TestSignal.h"
#include "uPlugin.h"

namespace enginetest {

using testsignal::Lcg;
using testsignal::MakeTestSignal;

inline std::unique_ptr<APlugin> MakePlugin() { return std::make_unique<APlugin>(nullptr); }

inline void ParameterSet(APlugin& plugin, float out[gate::kNumParams]) {
    for (int i = 0; i < gate::kNumParams; ++i)
        out[i] = plugin.parameterValue(i);
}

inline bool SameBits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// Flush-to-zero and denormals-are-zero on or off for the life of the
// object: MXCSR's FTZ and DAZ on x86, FPCR's FZ (both at once) on 64-bit
// ARM. Elsewhere it does nothing.
class FlushToZero {
public:
#if defined(__i386__) || defined(__x86_64__)
    explicit FlushToZero(bool on) : saved_(_mm_getcsr()) { _mm_setcsr(on ? (saved_ | 0x8040u) : (saved_ & ~0x8040u)); }
    ~FlushToZero() { _mm_setcsr(saved_); }
#elif defined(__aarch64__)
    explicit FlushToZero(bool on) {
        uint64_t fpcr;
        __asm__ __volatile__("mrs %0, fpcr" : "=r"(fpcr));
        saved_ = fpcr;
        fpcr = on ? (fpcr | kFz) : (fpcr & ~kFz);
        __asm__ __volatile__("msr fpcr, %0" : : "r"(fpcr) : "memory");
    }
    ~FlushToZero() { __asm__ __volatile__("msr fpcr, %0" : : "r"(saved_) : "memory"); }
#else
    explicit FlushToZero(bool) {}
#endif
    FlushToZero(const FlushToZero&) = delete;
    FlushToZero& operator=(const FlushToZero&) = delete;

private:
    static constexpr uint64_t kFz = uint64_t{1} << 24;
    uint64_t saved_ = 0;
};

// Every kernel, for the tests that run each one this processor has.
inline constexpr gate::KernelSet kAllKernels[] = {gate::KernelSet::Portable, gate::KernelSet::Sse2,
                                                  gate::KernelSet::Avx,      gate::KernelSet::Avx512,
                                                  gate::KernelSet::Neon};

// Kernel names for test parameters.
inline const char* KernelName(gate::KernelSet set) {
    switch (set) {
    case gate::KernelSet::Avx512:
        return "Avx512";
    case gate::KernelSet::Avx:
        return "Avx";
    case gate::KernelSet::Neon:
        return "Neon";
    case gate::KernelSet::Portable:
        return "Portable";
    case gate::KernelSet::Sse2:
        break;
    }
    return "Sse2";
}

}  // namespace enginetest
