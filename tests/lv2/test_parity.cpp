// The LV2 edition against the VST 2.x library, bit for bit: every factory
// program in both plug-ins at three sample rates and four block lengths, controls outside
// 0..1 and NaN, automation, odd sample rates; and the LV2 instance's own
// rules: a glide only on a real change, activate from silence, in-place
// buffers.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "GateEngine.h"
#include "Lv2TestUtil.h"
#include "TestHost.h"

namespace {

using lv2test::FirstDifference;
using lv2test::Lv2Instance;
using lv2test::Render;
using lv2test::Stereo;
using lv2test::VstInstance;

// The engine alone in Glide mode, set up as the LV2 edition sets it up,
// with a factory program's values.
struct GlidingEngine {
    GlidingEngine(float rate, int program) {
        engine.setDesignRate(rate);
        engine.setChangeMode(gate::ChangeMode::Glide);
        for (int i = 0; i < params::kNumActive; ++i)
            engine.setParameter(i, params::FactoryValue(program, i));
    }
    void setParameter(int index, float value) { engine.setParameter(index, value); }
    void run(const float* inL, const float* inR, float* outL, float* outR, uint32_t frames) {
        engine.processReplacing(inL, inR, outL, outR, static_cast<int32_t>(frames));
    }
    gate::GateEngine engine;
};

constexpr int kFrames = 10000;  // no multiple of 7, 64 or 4096: every render ends on a short block
constexpr int kReferenceBlock = 512;

struct Parity : ::testing::Test {
    void SetUp() override {
        for (const lv2edition::Variant* v : lv2edition::kVariants)
            if (lv2test::World::get().plugin(*v) == nullptr)
                GTEST_SKIP() << "no <" << v->uri << "> on LV2_PATH";
    }
};

// The side-chain plug-in with its key ports unconnected, as a host leaves
// them when nothing feeds the key.
TEST_F(Parity, EveryPresetAtEveryRateAndBlockLengthMatchesTheVstLibrary) {
    const Stereo in = lv2test::TestSignal(kFrames, 20261207);
    for (double rate : {44100.0, 48000.0, 96000.0}) {
        for (int program = 0; program < params::kNumPrograms; ++program) {
            VstInstance vst(static_cast<float>(rate), program);
            ASSERT_TRUE(vst.ok());
            const Stereo expected = Render(vst, in, kReferenceBlock);
            for (const lv2edition::Variant* variant : lv2edition::kVariants) {
                for (int block : {1, 7, 64, 4096}) {
                    Lv2Instance lv2(rate, true, *variant);
                    ASSERT_TRUE(lv2.ok());
                    lv2.applyPreset(program);
                    const Stereo out = Render(lv2, in, block);
                    EXPECT_EQ(FirstDifference(out, expected), -1) << variant->uri << ": " << params::kProgramNames[program]
                                                                  << " at " << rate << " Hz in blocks of " << block;
                }
            }
        }
    }
}

// A square of the largest floats drives bands past the float range (every
// gate open, low rates): they start again on the same frames in both
// editions, counted from the start of the stream, whatever the blocks.
TEST_F(Parity, OverflowingBandsMatchTheVstLibraryInAnyBlocks) {
    Stereo in = lv2test::TestSignal(kFrames, 7);
    for (size_t n = 2000; n < 3500; ++n) {
        in.left[n] = (n / 4) % 2 ? std::numeric_limits<float>::max() : -std::numeric_limits<float>::max();
        in.right[n] = -in.left[n];
    }
    for (double rate : {8000.0, 11025.0}) {
        VstInstance vst(static_cast<float>(rate), 0);
        ASSERT_TRUE(vst.ok());
        const Stereo expected = Render(vst, in, kReferenceBlock);
        for (int block : {1, 7, 100, 4096}) {
            Lv2Instance lv2(rate);
            ASSERT_TRUE(lv2.ok());
            lv2.applyPreset(0);
            EXPECT_EQ(FirstDifference(Render(lv2, in, block), expected), -1) << rate << " Hz in blocks of " << block;
        }
    }
}

// Controls are taken as the VST 2.x setParameter takes values: clamped to
// 0..1, NaN as 0. Each block gets its own odd value on several controls;
// a second LV2 instance gets the value that the VST 2.x library reports it
// took for each (Start, Q and Boost glide in the LV2 edition, so the
// reference is the LV2 edition itself, fed clean values).
TEST_F(Parity, ControlsOutsideTheRangeAndNaNActAsTheVstParameterDoes) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const float odd[] = {nan, -inf, inf, -0.5f, 1.5f, 1e30f, -0.0f, 1e-40f, -nan, 0.25f, 2.0f, -1e-30f};
    constexpr int kOdd = sizeof odd / sizeof odd[0];
    // Start, Q, Attack, Boost and two gates: a redesign, smoothing, gain, thresholds.
    const int targets[] = {0, 2, 3, 5, 7, 12};
    const Stereo in = lv2test::TestSignal(kFrames, 7);

    for (int program : {1, 7}) {
        VstInstance vst(48000.0f, program);
        Lv2Instance lv2(48000.0), clean(48000.0);
        ASSERT_TRUE(vst.ok() && lv2.ok() && clean.ok());
        lv2.applyPreset(program);
        clean.applyPreset(program);
        auto value = [&](int block, int k) { return odd[(block * 5 + k * 7) % kOdd]; };
        const int block = 300;
        const Stereo expected = Render(clean, in, block, [&](int b) {
            if (b % 2 == 1)
                for (int k = 0; k < 6; ++k) {
                    vst.setParameter(targets[k], value(b, k));
                    clean.controls[targets[k]] = vst.getParameter(targets[k]);
                }
        });
        const Stereo out = Render(lv2, in, block, [&](int b) {
            if (b % 2 == 1)
                for (int k = 0; k < 6; ++k)
                    lv2.controls[targets[k]] = value(b, k);
        });
        EXPECT_EQ(FirstDifference(out, expected), -1) << params::kProgramNames[program];
        for (size_t i = 0; i < out.frames(); ++i)
            ASSERT_TRUE(std::isfinite(out.left[i]) && std::isfinite(out.right[i])) << "frame " << i;
    }

    // A NaN Boost is Boost 0, which mutes.
    Lv2Instance muted(44100.0);
    ASSERT_TRUE(muted.ok());
    muted.controls[5] = nan;
    const Stereo silent = Render(muted, in, 64);
    for (size_t i = 0; i < silent.frames(); ++i)
        ASSERT_TRUE(silent.left[i] == 0.0f && silent.right[i] == 0.0f) << "frame " << i;
}

// A rate the band design does not handle is refused: instantiate answers
// NULL. Every rate it accepts is the design rate, as in the VST 2.x library.
TEST_F(Parity, RatesOutsideTheDesignRangeAreRefusedAndEveryOtherIsTheDesignRate) {
    for (double rate : {0.0, -48000.0, std::nan(""), HUGE_VAL, -HUGE_VAL, 1.0, 7999.999, 768000.001, 1e7}) {
        Lv2Instance lv2(rate);
        EXPECT_FALSE(lv2.ok()) << "rate " << rate;
    }
    const Stereo in = lv2test::TestSignal(4000, 99);
    for (double rate : {8000.0, 22050.0, 44100.5, 88200.0, 192000.0, 384000.0, 768000.0}) {
        VstInstance vst(static_cast<float>(rate), 0);
        Lv2Instance lv2(rate);
        ASSERT_TRUE(vst.ok() && lv2.ok()) << "rate " << rate;
        lv2.applyPreset(0);
        EXPECT_EQ(FirstDifference(Render(lv2, in, 256), Render(vst, in, 256)), -1) << "rate " << rate;
    }
}

// A control that the host never connects, or connects to nothing, reads as
// its default: the whole instance sounds as "BigBeat" does.
TEST_F(Parity, UnconnectedControlsReadAsTheirDefaults) {
    const Stereo in = lv2test::TestSignal(4000, 13);
    VstInstance vst(48000.0f, params::kInitialProgram);
    Lv2Instance never(48000.0, false), disconnected(48000.0);
    ASSERT_TRUE(vst.ok() && never.ok() && disconnected.ok());
    for (int i = 0; i < params::kNumActive; ++i)
        lilv_instance_connect_port(disconnected.raw(), lv2edition::ControlPort(i), nullptr);
    const Stereo expected = Render(vst, in, 256);
    EXPECT_EQ(FirstDifference(Render(never, in, 256), expected), -1);
    EXPECT_EQ(FirstDifference(Render(disconnected, in, 256), expected), -1);
}

// Writing the value a control already has, or one that clamps to it, is no
// change: the filters keep ringing. A real change of Start, Finish, Q or
// Boost takes effect from its block on and glides there, as the engine
// makes it in Glide mode (the VST 2.x library restarts the filters).
TEST_F(Parity, FiltersChangeOnlyOnARealChangeAndThenGlide) {
    const Stereo in = lv2test::TestSignal(kFrames, 3);
    const int block = 200;
    Lv2Instance steady(44100.0), rewritten(44100.0);
    ASSERT_TRUE(steady.ok() && rewritten.ok());
    steady.applyPreset(0);  // "Default": Start 0, Finish 1
    rewritten.applyPreset(0);
    const Stereo reference = Render(steady, in, block);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const Stereo same = Render(rewritten, in, block, [&](int b) {
        rewritten.controls[0] = b % 2 ? -3.0f : nan;  // both mean 0
        rewritten.controls[1] = b % 2 ? 2.0f : 1.0f;  // both mean 1
        rewritten.controls[2] = params::FactoryValue(0, 2);
        rewritten.controls[3] = -0.0f;  // Attack 0, written as minus zero
        rewritten.controls[5] = params::FactoryValue(0, 5);
    });
    EXPECT_EQ(FirstDifference(same, reference), -1) << "an unchanged value started a glide or restarted the filters";

    // A control moves for one block and comes back: two glides, and an
    // output that differs from the steady one from that block on.
    for (int changed : {0, 1, 2, 5}) {
        Lv2Instance lv2(44100.0);
        GlidingEngine engine(44100.0f, 0);
        ASSERT_TRUE(lv2.ok());
        lv2.applyPreset(0);
        const float base = params::FactoryValue(0, changed);
        const float moved = base > 0.5f ? base - 0.01f : base + 0.01f;
        auto valueAt = [&](int b) { return b == 10 ? moved : base; };
        const Stereo out = Render(lv2, in, block, [&](int b) { lv2.controls[changed] = valueAt(b); });
        const Stereo expected = Render(engine, in, block, [&](int b) {
            if (b == 10 || b == 11)
                engine.setParameter(changed, valueAt(b));
        });
        EXPECT_EQ(FirstDifference(out, expected), -1) << "parameter " << changed;
        EXPECT_EQ(FirstDifference(out, reference), 10 * block) << "parameter " << changed;
    }
}

TEST_F(Parity, ActivateStartsFromSilence) {
    const Stereo in = lv2test::TestSignal(kFrames, 11);
    Lv2Instance fresh(48000.0), reused(48000.0);
    ASSERT_TRUE(fresh.ok() && reused.ok());
    fresh.applyPreset(5);  // "Chuffy": slow attack and release, long memory
    reused.applyPreset(5);
    const Stereo first = Render(reused, in, 128);
    lilv_instance_deactivate(reused.raw());
    lilv_instance_activate(reused.raw());
    const Stereo again = Render(reused, in, 128);
    EXPECT_EQ(FirstDifference(again, Render(fresh, in, 128)), -1);
    EXPECT_EQ(FirstDifference(again, first), -1);
    // Without the activation the instance carries on, and sounds different.
    const Stereo carriedOn = Render(reused, in, 128);
    EXPECT_NE(FirstDifference(carriedOn, first), -1);
}

// Hosts may hand the same buffer as input and output, also crossed over.
TEST_F(Parity, InPlaceBuffersGiveTheSameOutput) {
    const Stereo in = lv2test::TestSignal(kFrames, 5);
    Lv2Instance apart(44100.0), inPlace(44100.0), crossed(44100.0);
    ASSERT_TRUE(apart.ok() && inPlace.ok() && crossed.ok());
    const Stereo expected = Render(apart, in, 777);

    Stereo same = in;
    Stereo swapped(in.frames());
    swapped.left = in.right;
    swapped.right = in.left;
    for (size_t pos = 0; pos < in.frames(); pos += 777) {
        const uint32_t n = static_cast<uint32_t>(std::min<size_t>(777, in.frames() - pos));
        inPlace.run(same.left.data() + pos, same.right.data() + pos, same.left.data() + pos, same.right.data() + pos, n);
        // Left input in the right buffer and left output into it as well.
        crossed.run(swapped.right.data() + pos, swapped.left.data() + pos, swapped.right.data() + pos,
                    swapped.left.data() + pos, n);
    }
    EXPECT_EQ(FirstDifference(same, expected), -1);
    Stereo unswapped(in.frames());
    unswapped.left = swapped.right;
    unswapped.right = swapped.left;
    EXPECT_EQ(FirstDifference(unswapped, expected), -1);
}

// A block writes its frames and nothing past them.
TEST_F(Parity, ABlockWritesExactlyItsFrames) {
    const Stereo in = lv2test::TestSignal(300, 8);
    Lv2Instance lv2(44100.0);
    ASSERT_TRUE(lv2.ok());
    for (int frames : {1, 3, 64, 65, 300}) {
        testhost::GuardedStereo out(frames, 0.0f);
        lv2.run(in.left.data(), in.right.data(), out.left(), out.right(), static_cast<uint32_t>(frames));
        EXPECT_TRUE(out.guardsIntact()) << frames;
    }
    // An empty block is allowed and touches nothing.
    testhost::GuardedStereo none(0, 0.0f);
    lv2.run(in.left.data(), in.right.data(), none.left(), none.right(), 0);
    EXPECT_TRUE(none.guardsIntact());
}

}  // namespace
