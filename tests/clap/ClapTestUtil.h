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

}  // namespace claptest
