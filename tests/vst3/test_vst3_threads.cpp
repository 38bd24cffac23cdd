// The host's threads as they meet in one instance: the audio thread
// processes with parameter changes while the user-interface thread saves
// and restores state and moves the controller's values. Run under
// ThreadSanitizer (the tsan preset) this finds any data race between them.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <thread>

#include "ParameterTable.h"
#include "TestHost.h"
#include "Vst3Host.h"

using namespace vst3host;

TEST(Threads, ProcessWhileTheHostSavesAndRestores) {
    Session s;
    std::atomic<bool> stop{false};
    std::thread audio([&] {
        testhost::GuardedStereo in(256, 0.25f), out(256);
        for (int block = 0; !stop.load(); ++block) {
            ParameterChanges changes;
            changes.add(5, block % 256, (block % 10) / 10.0);
            changes.add(23, 0, block % 50 < 25 ? 1.0 : 0.0);   // bypass on and off
            changes.add(22, 100, (block % 8) / 7.0);         // programs
            changes.add(24, 50, (block % 5) / 4.0);          // every Key choice
            s.process(in.channels(), out.channels(), 256, &changes);
            for (int i = 0; i < 256; ++i)
                ASSERT_TRUE(std::isfinite(out.left()[i]));
        }
    });
    for (int round = 0; round < 300; ++round) {
        MemoryStream saved;
        ASSERT_EQ(s.component->getState(&saved), kResultOk);
        MemoryStream again(saved.bytes);
        ASSERT_EQ(s.component->setState(&again), kResultOk);
        s.controller->setParamNormalized(static_cast<ParamID>(round % 25), (round % 7) / 6.0);
    }
    stop = true;
    audio.join();
}

// Programs change on the audio thread while the user-interface thread
// saves: every saved state is one program's whole state, never half of
// one and half of another.
TEST(Threads, SavesAreWholeProgramsWhileProgramsChange) {
    Session s;
    std::atomic<bool> stop{false};
    std::atomic<int> blocks{0};
    std::thread audio([&] {
        testhost::GuardedStereo in(64, 0.25f), out(64);
        for (int block = 0; !stop.load(); ++block) {
            ParameterChanges changes;
            changes.add(22, 0, (block % 8) / 7.0);
            s.process(in.channels(), out.channels(), 1, &changes);  // changes, hardly any sound
            blocks.store(block + 1);
        }
    });
    while (blocks.load() < 8)
        std::this_thread::yield();
    int torn = 0;
    for (int round = 0; round < 20000; ++round) {
        MemoryStream saved;
        ASSERT_EQ(s.component->getState(&saved), kResultOk);
        ASSERT_EQ(saved.bytes.size(), 108u);
        int32_t program = 0;
        std::memcpy(&program, &saved.bytes[96], 4);  // little-endian hosts only run this
        for (int i = 0; i < 22; ++i) {
            float value = 0;
            std::memcpy(&value, &saved.bytes[8 + 4 * i], 4);
            if (value != params::FactoryValue(program, i)) {
                ++torn;
                break;
            }
        }
    }
    const int during = blocks.load();
    stop = true;
    audio.join();
    EXPECT_EQ(torn, 0) << "of 20000 saves, over " << during << " blocks";
}
