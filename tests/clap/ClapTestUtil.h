// What the CLAP suites share: the skip for a module not built yet, and the
// test signal in guarded buffers.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>

#include "ClapHost.h"
#include "TestHost.h"
#include "TestSignal.h"

namespace claptest {

inline bool Exists(const std::string& path) { return std::ifstream(path, std::ios::binary).good(); }

}  // namespace claptest

// Skips while the module is not there (not built yet); fails when it is
// there but does not load.
#define REQUIRE_MODULE(module)                                                               \
    do {                                                                                     \
        if (!claptest::Exists((module).path()))                                              \
            GTEST_SKIP() << "no " << (module).path() << " (not built)";                      \
        ASSERT_TRUE((module).loaded()) << (module).error();                                  \
    } while (false)

// The same, and skips unless the module is Halvorine's.
#define REQUIRE_HALVORINE()                                                                  \
    do {                                                                                     \
        REQUIRE_MODULE(claphost::Module::underTest());                                       \
        if (claphost::Module::underTest().firstId() != "com.pellucid.halvorine")             \
            GTEST_SKIP() << "not Halvorine";                                                 \
    } while (false)

namespace claptest {

inline void Fill(testhost::GuardedStereo& buffers, uint32_t seed) {
    std::vector<float> l, r;
    testsignal::MakeTestSignal(l, r, buffers.frames(), seed);
    std::copy(l.begin(), l.end(), buffers.left());
    std::copy(r.begin(), r.end(), buffers.right());
}

inline bool Finite(testhost::GuardedStereo& buffers) {
    for (int i = 0; i < buffers.frames(); ++i)
        if (!std::isfinite(buffers.left()[i]) || !std::isfinite(buffers.right()[i]))
            return false;
    return true;
}

// The VST 2.x library's output for the same signal (left, then right): the
// program through effSetProgram, blocks of `block` frames.
inline std::vector<float> RunVst2(int program, double rate, int block, const std::vector<float>& l,
                                  const std::vector<float>& r) {
    const int frames = static_cast<int>(l.size());
    testhost::Host host;
    AEffect* e = host.create();
    testhost::dispatch(e, effSetSampleRate, 0, 0, nullptr, static_cast<float>(rate));
    testhost::dispatch(e, effSetBlockSize, 0, block);
    testhost::dispatch(e, effMainsChanged, 0, 1);
    testhost::dispatch(e, effSetProgram, 0, program);
    std::vector<float> out(2 * static_cast<size_t>(frames));
    for (int at = 0; at < frames; at += block) {
        const int n = std::min(block, frames - at);
        float* in[2] = {const_cast<float*>(l.data()) + at, const_cast<float*>(r.data()) + at};
        float* o[2] = {out.data() + at, out.data() + frames + at};
        e->processReplacing(e, in, o, n);
    }
    testhost::dispatch(e, effClose);
    return out;
}

}  // namespace claptest
