// Nothing on the audio path allocates: not the processing, not the uptake
// of a new parameter set, not a redesign, not a glide.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "EngineTestUtil.h"

namespace {
std::atomic<long> g_allocations{0};
}

// These replace the global allocation functions for the whole test
// program, malloc and free underneath; GCC cannot see that the pairs match.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

void* operator new(std::size_t size) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

TEST(AudioPath, NeverAllocates) {
    auto plugin = enginetest::MakePlugin();
    std::vector<float> l, r;
    enginetest::MakeTestSignal(l, r, 4096, 41);
    std::vector<float> outL(4096), outR(4096);
    float* in[2] = {l.data(), r.data()};
    float* out[2] = {outL.data(), outR.data()};

    long during = 0;
    for (int round = 0; round < 12; ++round) {
        // The second half in Glide mode, gliding through the blocks.
        if (round == 6)
            plugin->engine().setChangeMode(gate::ChangeMode::Glide);
        // Between blocks: changes that need a new set, some a redesign.
        plugin->setParameter(round % 3, 0.1f * static_cast<float>(round));
        plugin->setParameter(5 + round, 0.3f);
        if (round < 6)
            plugin->setSampleRate(round % 2 ? 48000.0f : 44100.0f);
        else
            plugin->setParameter(gate::kBoost, 0.05f * static_cast<float>(round));
        const long before = g_allocations.load();
        plugin->processReplacing(in, out, 64);
        EXPECT_EQ(plugin->engine().gliding(), round >= 6);
        plugin->processReplacing(in, out, 4096);
        plugin->process(in, out, 512);
        during += g_allocations.load() - before;
    }
    EXPECT_EQ(during, 0);

    // The counter itself works.
    const long before = g_allocations.load();
    void* probe = ::operator new(16);  // a call, which the compiler may not elide
    ::operator delete(probe);
    EXPECT_EQ(g_allocations.load() - before, 1);
}
