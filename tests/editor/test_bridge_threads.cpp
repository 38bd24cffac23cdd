// Parameter changes from another thread (a host's audio thread) while the
// editor opens, refreshes and closes: the copy into the window must never
// touch a window being destroyed. Run under ThreadSanitizer by the tsan
// preset, and under AddressSanitizer by the asan preset.
#include <atomic>
#include <thread>

#include "EditorTestUtil.h"

TEST(EditorBridgeThreads, UpdatesFromAnotherThreadWhileOpeningAndClosing) {
    edtest::Fixture f;
    std::atomic<bool> stop{false};
    std::atomic<long> changes{0};
    std::thread audio([&] {
        float v = 0.0f;
        while (!stop.load()) {
            f.plugin->setParameter(9, v);
            v = v > 0.99f ? 0.0f : v + 0.01f;
            changes.fetch_add(1);
        }
    });
    for (int round = 0; round < 100; ++round) {
        f.dispatch(effEditOpen);
        f.screen().tick();
        f.dispatch(effEditIdle);
        f.dispatch(effEditClose);
    }
    // Let at least a few changes overlap an open window.
    f.dispatch(effEditOpen);
    const long start = changes.load();
    while (changes.load() < start + 100)
        std::this_thread::yield();
    stop.store(true);
    audio.join();
    f.screen().tick();
    EXPECT_EQ(f.window().drawnValues[9], f.plugin->parameterValue(9));
    f.dispatch(effEditClose);
}
