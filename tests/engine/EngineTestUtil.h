// Shared helpers of the engine tests: deterministic test signals and a
// plug-in object built without a host.
#pragma once

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

}  // namespace enginetest
