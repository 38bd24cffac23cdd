// Shared helpers of the engine tests: deterministic test signals and a
// plug-in object built without a host.
#pragma once

#include <xmmintrin.h>

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

// Flush-to-zero and denormals-are-zero on or off for the life of the object.
class FlushToZero {
public:
    explicit FlushToZero(bool on) : saved_(_mm_getcsr()) { _mm_setcsr(on ? (saved_ | 0x8040u) : (saved_ & ~0x8040u)); }
    ~FlushToZero() { _mm_setcsr(saved_); }
    FlushToZero(const FlushToZero&) = delete;
    FlushToZero& operator=(const FlushToZero&) = delete;

private:
    unsigned int saved_;
};

// Kernel names for test parameters.
inline const char* KernelName(gate::KernelSet set) {
    switch (set) {
    case gate::KernelSet::Avx512:
        return "Avx512";
    case gate::KernelSet::Avx:
        return "Avx";
    case gate::KernelSet::Sse2:
        break;
    }
    return "Sse2";
}

}  // namespace enginetest
