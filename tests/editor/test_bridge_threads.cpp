// Parameter and program changes from another thread (a host's audio
// thread) while the editor opens, refreshes and closes: the copy into the
// window must never touch a window being destroyed, and must not lose a
// change made while the window opens. Run under ThreadSanitizer by the tsan
// preset, and under AddressSanitizer by the asan preset.
#include <atomic>
#include <thread>

#include "EditorTestUtil.h"

namespace {
// Rounds of opening the editor. The sanitizers slow every open down a
// hundredfold; what they look for (a race, a freed window) shows in a few.
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
constexpr int kOpenRounds = 10;
constexpr int kFillRounds = 10;
#else
constexpr int kOpenRounds = 100;
constexpr int kFillRounds = 1000;  // enough to catch a lost change: see below
#endif
}  // namespace

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
    for (int round = 0; round < kOpenRounds; ++round) {
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

// Another thread changes a parameter without pause for as long as the
// editor is closed, and stops once it sees the editor open, so that no
// later change can put right a change the window missed. The parameter is
// the last one the window is filled with: now and then the last change
// falls between that copy and the moment the window becomes visible to
// other threads (a bridge that copied first lost two to four opens in a
// hundred on a busy two-core machine, none when the threads did not run
// at once). The window must show every last change.
TEST(EditorBridgeThreads, OpenKeepsAChangeMadeWhileItFillsTheWindow) {
    edtest::Fixture f;
    constexpr int kRounds = kFillRounds;
    constexpr int kIndex = 30;
    std::atomic<int> round{-1};
    std::atomic<int> finished{-1};
    std::atomic<long> changes{0};
    std::thread audio([&] {
        float v = 0.0f;
        for (int r = 0; r < kRounds; ++r) {
            while (round.load() != r)
                std::this_thread::yield();
            while (f.plugin->editorClosed.load()) {
                v = v >= 0.999f ? 0.001f : v + 0.001f;
                f.plugin->setParameter(kIndex, v);
                changes.fetch_add(1, std::memory_order_relaxed);
            }
            finished.store(r);
        }
    });
    int lost = 0;
    for (int r = 0; r < kRounds; ++r) {
        f.dispatch(effEditClose);  // editorClosed is now true
        round.store(r);
        // Open only once the changes are flowing: on a busy machine the
        // other thread may not run at all otherwise.
        const long before = changes.load(std::memory_order_relaxed);
        while (changes.load(std::memory_order_relaxed) < before + 64)
            std::this_thread::yield();
        f.dispatch(effEditOpen);
        while (finished.load() != r)
            std::this_thread::yield();
        lost += f.window().values[kIndex].load() != f.plugin->parameterValue(kIndex);
    }
    audio.join();
    EXPECT_EQ(lost, 0) << "of " << kRounds << " opens";
    f.dispatch(effEditClose);
}

namespace {
// Answers the version and nothing else, from any thread, keeping no record.
VstIntPtr VSTCALLBACK QuietHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}
}  // namespace

// Program changes on another thread read whether the editor is closed
// while the user-interface thread opens and closes it.
TEST(EditorBridgeThreads, ProgramChangesFromAnotherThreadWhileOpeningAndClosing) {
    APlugin plugin(&QuietHost);
    AEffect* e = plugin.getAeffect();
    auto& bridge = *static_cast<APluginEditor*>(plugin.getEditor());
    std::atomic<bool> stop{false};
    std::thread host([&] {
        for (int p = 0; !stop.load(); p = (p + 1) % APlugin::kNumPrograms)
            e->dispatcher(e, effSetProgram, 0, p, nullptr, 0.0f);
    });
    for (int round = 0; round < kOpenRounds; ++round) {
        e->dispatcher(e, effEditOpen, 0, 0, nullptr, 0.0f);
        e->dispatcher(e, effEditIdle, 0, 0, nullptr, 0.0f);
        e->dispatcher(e, effEditClose, 0, 0, nullptr, 0.0f);
    }
    stop.store(true);
    host.join();
    e->dispatcher(e, effSetProgram, 0, 3, nullptr, 0.0f);
    e->dispatcher(e, effEditOpen, 0, 0, nullptr, 0.0f);
    ASSERT_NE(bridge.editorWindow(), nullptr);
    for (int i = 0; i < 31; ++i)
        EXPECT_EQ(bridge.editorWindow()->values[i].load(), plugin.parameterValue(i)) << i;
    e->dispatcher(e, effEditClose, 0, 0, nullptr, 0.0f);
}
