// A host automating parameters and switching programs on one thread while
// its audio thread processes: the audio must stay finite and bounded, and
// come back to rest. Run under ThreadSanitizer by the tsan preset.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>

#include "EngineTestUtil.h"

// In both change modes; in Glide mode a program change applies at once.
class Concurrency : public ::testing::TestWithParam<gate::ChangeMode> {};

TEST_P(Concurrency, AutomationWhileProcessing) {
    auto plugin = enginetest::MakePlugin();
    plugin->engine().setChangeMode(GetParam());
    std::atomic<bool> done{false};

    std::thread automation([&] {
        enginetest::Lcg rng(2024);
        long step = 0;
        while (!done.load(std::memory_order_relaxed)) {
            const uint32_t pick = rng.next() % 40;
            if (pick < 2) {
                plugin->setProgram(static_cast<VstInt32>(rng.next() % 8));
                plugin->engine().applyNextAtOnce();
            } else {
                const int index = static_cast<int>(rng.next() % 30);
                // Attack and release reach both ends, 0 and 1 included.
                float value = (rng.uniform() + 1.0f) * 0.5f;
                if (pick == 3)
                    value = 0.0f;
                if (pick == 4)
                    value = 1.0f;
                plugin->setParameter(index, value);
            }
            if (++step % 64 == 0)
                std::this_thread::yield();
        }
    });

    // Ten seconds of loud audio at 44.1 kHz in 512-frame blocks.
    std::vector<float> l, r;
    enginetest::MakeTestSignal(l, r, 44100, 8);
    for (auto& v : l)
        v *= 4.0f;
    for (auto& v : r)
        v *= 4.0f;
    std::vector<float> outL(512), outR(512);
    long bad = 0;
    for (int block = 0; block < 441000 / 512; ++block) {
        const size_t offset = static_cast<size_t>((block * 512) % (44100 - 512));
        float* in[2] = {l.data() + offset, r.data() + offset};
        float* out[2] = {outL.data(), outR.data()};
        // Hosts also play automation back from the audio thread, between
        // blocks, while the user switches programs on the other.
        plugin->setParameter(6 + block % 16, static_cast<float>(block % 11) / 10.0f);
        plugin->processReplacing(in, out, 512);
        for (int i = 0; i < 512; ++i)
            if (!std::isfinite(outL[i]) || !std::isfinite(outR[i]) || std::fabs(outL[i]) > 1.0f ||
                std::fabs(outR[i]) > 1.0f)
                ++bad;
    }
    done.store(true);
    automation.join();
    EXPECT_EQ(bad, 0);

    // Silence afterwards settles on the small constant that the 1e-12
    // terms leave. The programs now hold automated values, so the settings
    // are made quick explicitly (those of "Default"), to settle within a
    // second.
    const float quick[6] = {0.0f, 1.0f, 0.33f, 0.0f, 0.0f, 0.5f};
    for (int i = 0; i < 6; ++i)
        plugin->setParameter(i, quick[i]);
    std::vector<float> silence(512, 0.0f);
    for (int block = 0; block < 2 * 44100 / 512; ++block) {
        float* in[2] = {silence.data(), silence.data()};
        float* out[2] = {outL.data(), outR.data()};
        plugin->processReplacing(in, out, 512);
    }
    const double constant = 16e-12 * plugin->engine().derived().boostGain * 1.5;
    EXPECT_NEAR(outL[511], constant, constant * 1e-3);
    EXPECT_NEAR(outR[511], constant, constant * 1e-3);
}

INSTANTIATE_TEST_SUITE_P(Modes, Concurrency, ::testing::Values(gate::ChangeMode::AtOnce, gate::ChangeMode::Glide),
                         [](const ::testing::TestParamInfo<gate::ChangeMode>& info) {
                             return info.param == gate::ChangeMode::Glide ? "Glide" : "AtOnce";
                         });
