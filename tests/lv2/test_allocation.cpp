// `run` allocates nothing: not with steady controls, not when a control
// changes, not when the filters are redesigned. The count is taken at the
// C library's allocator, which the plug-in's own C++ runtime (linked into
// it) calls as well.
#include <gtest/gtest.h>

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <limits>

#include "Lv2TestUtil.h"

extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void* __libc_memalign(size_t, size_t);
void __libc_free(void*);
}

namespace {
std::atomic<long> g_allocations{0};
}

// This program's allocator: glibc's, counted.
extern "C" {
void* malloc(size_t size) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_malloc(size);
}
void* calloc(size_t count, size_t size) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_calloc(count, size);
}
void* realloc(void* p, size_t size) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_realloc(p, size);
}
void* memalign(size_t alignment, size_t size) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_memalign(alignment, size);
}
void* aligned_alloc(size_t alignment, size_t size) { return memalign(alignment, size); }
int posix_memalign(void** out, size_t alignment, size_t size) {
    void* p = memalign(alignment, size);
    if (p == nullptr)
        return 12;  // ENOMEM
    *out = p;
    return 0;
}
void free(void* p) { __libc_free(p); }
}

namespace {

TEST(Lv2Allocation, RunNeverAllocates) {
    lv2test::World& w = lv2test::World::get();
    ASSERT_NE(w.plugin(), nullptr);

    // The counter sees the plug-in's own allocations: its instantiate,
    // called directly, allocates the instance.
    {
        lv2test::Lv2Instance probe(44100.0);
        ASSERT_TRUE(probe.ok());
        const LV2_Descriptor* descriptor = lilv_instance_get_descriptor(probe.raw());
        const long before = g_allocations.load();
        LV2_Handle handle = descriptor->instantiate(descriptor, 44100.0, "", nullptr);
        EXPECT_GT(g_allocations.load() - before, 0);
        ASSERT_NE(handle, nullptr);
        descriptor->cleanup(handle);
    }

    lv2test::Lv2Instance lv2(48000.0);
    ASSERT_TRUE(lv2.ok());
    const lv2test::Stereo in = lv2test::TestSignal(4096, 41);
    lv2test::Stereo out(4096);
    long during = 0;
    for (int round = 0; round < 12; ++round) {
        // Between blocks: nothing, a gain, a redesign, NaN.
        if (round % 4 == 1)
            lv2.controls[5] = 0.1f * static_cast<float>(round % 10);
        if (round % 4 == 2)
            lv2.controls[round % 3] = 0.05f * static_cast<float>(round);
        if (round % 4 == 3)
            lv2.controls[7] = std::numeric_limits<float>::quiet_NaN();
        const long before = g_allocations.load();
        lv2.run(in.left.data(), in.right.data(), out.left.data(), out.right.data(), 4096);
        lv2.run(in.left.data(), in.right.data(), out.left.data(), out.right.data(), 1);
        lv2.run(in.left.data(), in.right.data(), out.left.data(), out.right.data(), 333);
        during += g_allocations.load() - before;
    }
    EXPECT_EQ(during, 0);
}

}  // namespace
