// Halvorine.clap's own answers: its descriptor and ports, activation over
// the whole range of rates and block sizes, parameter texts and
// sample-accurate changes, its state, and the same samples as the VST 2.x
// library.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "ClapHost.h"
#include "ClapTestUtil.h"
#include "HostFloatingPoint.h"
#include "ParameterTable.h"
#include "TestHost.h"

using namespace claphost;
using testhost::GuardedStereo;

namespace {

constexpr clap_id kBoost = 5, kProgram = 22, kBypass = 23, kKey = 24;

bool HasFeature(const clap_plugin_descriptor_t* d, const char* feature) {
    for (const char* const* f = d->features; *f != nullptr; ++f)
        if (std::strcmp(*f, feature) == 0)
            return true;
    return false;
}

}  // namespace

TEST(Halvorine, DescriptorPortsAndUnknownIds) {
    REQUIRE_HALVORINE();
    Module& module = Module::underTest();
    const clap_plugin_factory_t* f = module.factory();
    ASSERT_EQ(f->get_plugin_count(f), 1u);
    const clap_plugin_descriptor_t* d = f->get_plugin_descriptor(f, 0);
    EXPECT_STREQ(d->id, "com.pellucid.halvorine");
    EXPECT_STREQ(d->name, "Halvorine");
    EXPECT_STREQ(d->vendor, "Pellucid");
    for (const char* feature : {CLAP_PLUGIN_FEATURE_AUDIO_EFFECT, CLAP_PLUGIN_FEATURE_GATE,
                                CLAP_PLUGIN_FEATURE_STEREO})
        EXPECT_TRUE(HasFeature(d, feature)) << feature;
    EXPECT_EQ(f->get_plugin_descriptor(f, 1), nullptr);
    EXPECT_EQ(module.entry()->get_factory("com.pellucid.no-such-factory"), nullptr);
    Host host;
    EXPECT_EQ(f->create_plugin(f, host.get(), "com.pellucid.halvorine2"), nullptr);
    EXPECT_EQ(f->create_plugin(f, host.get(), ""), nullptr);

    Plugin p;
    ASSERT_EQ(p.audioPorts(true), 2u);
    ASSERT_EQ(p.audioPorts(false), 1u);
    // The main pair shares buffers in place; the key, a side chain, is
    // read only.
    const struct {
        bool input;
        uint32_t index;
        const char* name;
        bool main;
        clap_id inPlacePair;
    } ports[] = {{true, 0, "Input", true, 0}, {false, 0, "Output", true, 0}, {true, 1, "Key", false, CLAP_INVALID_ID}};
    for (const auto& want : ports) {
        clap_audio_port_info_t port{};
        ASSERT_TRUE(p.audioPort(want.index, want.input, port)) << want.name;
        EXPECT_EQ(port.id, want.index);
        EXPECT_STREQ(port.name, want.name);
        EXPECT_EQ(port.channel_count, 2u);
        EXPECT_EQ((port.flags & CLAP_AUDIO_PORT_IS_MAIN) != 0, want.main) << want.name;
        EXPECT_EQ(port.in_place_pair, want.inPlacePair) << want.name;
        ASSERT_NE(port.port_type, nullptr);
        EXPECT_STREQ(port.port_type, CLAP_PORT_STEREO);
    }
}

// Every rate from 8 kHz to 768 kHz with every largest block from 1 to
// 16384 frames, in blocks of random sizes up to it, with parameter events
// at random frames: buffers untouched outside the block, output finite.
TEST(Halvorine, ActivatesOverTheWholeRange) {
    REQUIRE_HALVORINE();
    testsignal::Lcg rng(5);
    for (double rate : {8000.0, 44100.0, 192000.0, 768000.0}) {
        Plugin p;  // activated again for each largest block
        for (uint32_t max : {1u, 37u, 512u, 16384u}) {
            ASSERT_TRUE(p.activate(rate, 1, max)) << rate << " Hz, " << max;
            GuardedStereo in(static_cast<int>(max)), out(static_cast<int>(max));
            for (uint32_t done = 0; done < std::max(4096u, 2 * max);) {
                const uint32_t frames = 1 + rng.next() % max;
                claptest::Fill(in, done);
                InputEvents events;
                events.add(rng.next() % 22, rng.next() % frames, (rng.next() % 1001) / 1000.0);
                ASSERT_NE(p.process(in.channels(), out.channels(), frames, &events), CLAP_PROCESS_ERROR);
                ASSERT_TRUE(in.guardsIntact() && out.guardsIntact()) << rate << " Hz, " << max << ", " << frames;
                ASSERT_TRUE(claptest::Finite(out)) << rate << " Hz, " << max;
                done += frames;
            }
        }
    }
}

TEST(Halvorine, ParameterTexts) {
    REQUIRE_HALVORINE();
    Plugin p;
    ASSERT_EQ(p.paramCount(), 25u);
    struct Case {
        clap_id id;
        const char* name;
        double value;
        const char* text;
        uint32_t flags;  // of those below
    };
    constexpr uint32_t kFlags = CLAP_PARAM_IS_STEPPED | CLAP_PARAM_IS_ENUM | CLAP_PARAM_IS_BYPASS |
                                CLAP_PARAM_IS_AUTOMATABLE | CLAP_PARAM_IS_MODULATABLE;
    const Case cases[] = {
        {0, "Start Freq", 0.5, "640Hz", CLAP_PARAM_IS_AUTOMATABLE},
        {1, "End Freq", 1.0, "20.5KHz", CLAP_PARAM_IS_AUTOMATABLE},
        {2, "Q", 0.125, "12.5%", CLAP_PARAM_IS_AUTOMATABLE},
        {4, "Release", 0.25, "25%", CLAP_PARAM_IS_AUTOMATABLE},
        {kBoost, "Boost", 0.75, "10dB", CLAP_PARAM_IS_AUTOMATABLE},
        {6, "Band 1 Noise Gate Level", 0.75, "-10dB", CLAP_PARAM_IS_AUTOMATABLE},
        {21, "Band 16 Noise Gate Level", 0.5, "-20dB", CLAP_PARAM_IS_AUTOMATABLE},
        {kProgram, "Program", 1.0, "Gated", CLAP_PARAM_IS_AUTOMATABLE | CLAP_PARAM_IS_STEPPED | CLAP_PARAM_IS_ENUM},
        {kBypass, "Bypass", 1.0, "On", CLAP_PARAM_IS_AUTOMATABLE | CLAP_PARAM_IS_STEPPED | CLAP_PARAM_IS_BYPASS},
        {kKey, "Key", 4.0, "External", CLAP_PARAM_IS_AUTOMATABLE | CLAP_PARAM_IS_STEPPED | CLAP_PARAM_IS_ENUM},
        {kKey, "Key", 3.0, "Side", CLAP_PARAM_IS_AUTOMATABLE | CLAP_PARAM_IS_STEPPED | CLAP_PARAM_IS_ENUM},
    };
    for (const Case& c : cases) {
        clap_param_info_t info{};
        ASSERT_TRUE(p.paramInfo(c.id, info)) << c.name;
        EXPECT_EQ(info.id, c.id);
        EXPECT_STREQ(info.name, c.name);
        EXPECT_EQ(info.flags & kFlags, c.flags) << c.name;
        EXPECT_EQ(info.min_value, 0.0);
        EXPECT_EQ(info.max_value, c.id == kProgram ? 7.0 : c.id == kKey ? 4.0 : 1.0) << c.name;
        std::string text;
        ASSERT_TRUE(p.valueToText(c.id, c.value, text)) << c.name;
        EXPECT_EQ(text, c.text);
        double back = -1;
        ASSERT_TRUE(p.textToValue(c.id, text, back)) << c.text;
        EXPECT_NEAR(back, c.value, 1e-3) << c.text;
    }
    // Every value's text reads back to a value of the same text.
    for (clap_id id = 0; id < 25; ++id)
        for (int step = 0; step <= 20; ++step) {
            const double v = id == kProgram ? step % 8 : id == kBypass ? step % 2 : id == kKey ? step % 5 : step / 20.0;
            std::string text, again;
            double back = -1;
            ASSERT_TRUE(p.valueToText(id, v, text)) << id << " " << v;
            ASSERT_TRUE(p.textToValue(id, text, back)) << id << " " << text;
            ASSERT_TRUE(p.valueToText(id, back, again));
            EXPECT_EQ(again, text) << id << " " << v;
        }
    for (const char* bad : {"", "abc", "5 furlongs", "12 dB"}) {
        double value = -1;
        EXPECT_FALSE(p.textToValue(0, bad, value)) << bad;
    }
    std::string text;
    EXPECT_FALSE(p.valueToText(25, 0.5, text));
}

// A change at frame k of a block sounds as in a host that splits the block
// at k and sends the change at the start of the second part; and it does
// change the sound.
TEST(Halvorine, ChangesApplyAtTheirFrame) {
    REQUIRE_HALVORINE();
    constexpr uint32_t kFrames = 4096;
    GuardedStereo in(kFrames);
    claptest::Fill(in, 11);
    for (uint32_t k : {0u, 1u, 37u, 2048u, 4000u}) {
        Plugin whole, split, unchanged;
        for (Plugin* p : {&whole, &split, &unchanged})
            ASSERT_TRUE(p->activate(44100.0, 1, kFrames));
        GuardedStereo outWhole(kFrames), outSplit(kFrames), outUnchanged(kFrames);
        InputEvents atK, atStart;
        atK.add(kBoost, k, 0.9);
        atK.add(0, k, 0.2);
        atK.add(kKey, k, 3.0);  // Side
        atStart.add(kBoost, 0, 0.9);
        atStart.add(0, 0, 0.2);
        atStart.add(kKey, 0, 3.0);
        whole.process(in.channels(), outWhole.channels(), kFrames, &atK);
        unchanged.process(in.channels(), outUnchanged.channels(), kFrames);
        if (k > 0)
            split.process(in.channels(), outSplit.channels(), k);
        float* i[2] = {in.left() + k, in.right() + k};
        float* o[2] = {outSplit.left() + k, outSplit.right() + k};
        split.process(i, o, kFrames - k, &atStart);
        EXPECT_EQ(0, std::memcmp(outWhole.left(), outSplit.left(), kFrames * sizeof(float))) << k;
        EXPECT_EQ(0, std::memcmp(outWhole.right(), outSplit.right(), kFrames * sizeof(float))) << k;
        EXPECT_EQ(0, std::memcmp(outWhole.left(), outUnchanged.left(), k * sizeof(float))) << k;
        EXPECT_NE(0, std::memcmp(outWhole.left() + k, outUnchanged.left() + k, (kFrames - k) * sizeof(float))) << k;
    }
}

// Boost flushed to 0 while processing is stopped glides down over the next
// blocks from the level the noise left: the tail read right after the
// flush covers that glide, and short blocks, which reach the bands'
// clearing after the tail's silence, give the long block's samples up to
// the tail (the clearing waits for the glide).
TEST(Halvorine, TailCoversAGlideAFlushStarted) {
    REQUIRE_HALVORINE();
    constexpr uint32_t kFrames = 4096;
    const float silent = std::pow(10.0f, -96.0f / 20.0f);
    GuardedStereo noise(256), silence(kFrames);
    uint32_t seed = 1;
    for (int i = 0; i < 256; ++i)
        for (float* channel : {noise.left(), noise.right()}) {
            seed = seed * 1664525u + 1013904223u;
            channel[i] = static_cast<float>(seed >> 8) / 8388608.0f - 1.0f;
        }
    std::vector<float> first;
    for (uint32_t block : {kFrames, 32u}) {
        Plugin p;
        ASSERT_TRUE(p.activate(48000.0, 1, kFrames));
        const auto* tail = static_cast<const clap_plugin_tail_t*>(p.extension(CLAP_EXT_TAIL));
        ASSERT_NE(tail, nullptr);
        GuardedStereo out(kFrames);
        p.process(noise.channels(), out.channels(), 256);
        p.stopProcessing();
        InputEvents boost;
        boost.add(kBoost, 0, 0.0);
        OutputEvents sent;
        p.flush(boost, sent);
        const uint32_t frames = tail->get(p.raw());
        ASSERT_TRUE(p.startProcessing());
        for (uint32_t at = 0; at < kFrames; at += block) {
            float* i[2] = {silence.left() + at, silence.right() + at};
            float* o[2] = {out.left() + at, out.right() + at};
            p.process(i, o, block);
        }
        float peak = 0.0f, after = 0.0f;
        for (uint32_t i = 0; i < kFrames; ++i) {
            float& level = i < frames ? peak : after;
            level = std::max({level, std::fabs(out.left()[i]), std::fabs(out.right()[i])});
        }
        EXPECT_GT(peak, silent) << block << ": the noise left nothing ringing";
        ASSERT_LT(frames, kFrames) << block;
        EXPECT_LT(after, silent) << block << ": tail " << frames;
        const std::vector<float> upToTail(out.left(), out.left() + std::min(frames, kFrames));
        if (first.empty())
            first = upToTail;
        else
            EXPECT_EQ(upToTail, first) << block;
    }
}

// "External" as the host connects the key port: a key made of one input
// channel (the harness's default: the left one on both of the port's
// channels) gives the samples of the choice that keys from that channel,
// bit for bit; an unconnected port closes the gates.
TEST(Halvorine, KeyPort) {
    REQUIRE_HALVORINE();
    constexpr uint32_t kFrames = 16384;
    GuardedStereo in(kFrames);
    claptest::Fill(in, 21);
    auto run = [&](double key, int keyChannels, float* keyChannel) {
        Plugin p;
        EXPECT_TRUE(p.activate(44100.0, 1, kFrames));
        float* buffers[2] = {keyChannel, keyChannel};
        p.keyChannels = keyChannels;
        p.key = buffers;
        InputEvents choose;
        choose.add(kKey, 0, key);
        GuardedStereo out(kFrames);
        p.process(in.channels(), out.channels(), kFrames, &choose);
        std::vector<float> both(out.left() + kFrames / 2, out.left() + kFrames);  // second halves
        both.insert(both.end(), out.right() + kFrames / 2, out.right() + kFrames);
        return both;
    };
    const std::vector<float> left = run(0.0, -1, nullptr), right = run(1.0, -1, nullptr);
    ASSERT_NE(left, right) << "the test signal's channels differ";
    const struct {
        double key;
        int channels;  // -1: the harness's default
        float* channel;
        const std::vector<float>* sameAs;  // null: silence
    } cases[] = {{4.0, -1, nullptr, &left}, {4.0, 1, in.left(), &left}, {4.0, 2, in.right(), &right},
                 {4.0, 0, nullptr, nullptr}};
    for (const auto& c : cases) {
        const std::vector<float> out = run(c.key, c.channels, c.channel);
        // A key made of one input channel keys as that channel's bands do:
        // that channel's output is the same, bit for bit (the other one is
        // bounded by its own level where the gate level outlasts the key).
        const size_t half = kFrames / 2, from = c.channel == in.right() ? half : 0;
        if (c.sameAs != nullptr)
            EXPECT_TRUE(std::equal(out.begin() + from, out.begin() + from + half, c.sameAs->begin() + from))
                << c.key << " " << c.channels;
        else  // closed gates leave only the engine's denormal guards
            EXPECT_LT(std::fabs(*std::max_element(out.begin(), out.end(), [](float a, float b) {
                return std::fabs(a) < std::fabs(b);
            })), 1e-10f) << c.key << " " << c.channels;
    }
}

// The state, read back one byte at a time, and the streams a load must
// refuse, leaving the previous state.
TEST(Halvorine, StateRoundTripAndRefusals) {
    REQUIRE_HALVORINE();
    Plugin p;
    InputEvents edits;
    edits.add(kProgram, 0, 3.0);
    edits.add(kBoost, 0, 0.6);
    edits.add(kKey, 0, 2.0);  // Mid
    OutputEvents sent;
    p.flush(edits, sent);
    const auto saved = p.state(1);
    ASSERT_EQ(saved.size(), 108u) << "the VST3 edition's state";
    ASSERT_EQ(saved[96], 3) << "the program";
    ASSERT_EQ(saved[104], 2) << "the Key choice";
    double boost = 0;
    ASSERT_TRUE(p.paramValue(kBoost, boost));
    EXPECT_NEAR(boost, 0.6, 1e-6);
    {
        Plugin fresh;
        IStream stream(saved, 1);
        ASSERT_TRUE(fresh.load(stream));
        EXPECT_EQ(fresh.state(), saved);
        double program = -1, key = -1;
        ASSERT_TRUE(fresh.paramValue(kProgram, program));
        EXPECT_EQ(program, 3.0);
        ASSERT_TRUE(fresh.paramValue(kKey, key));
        EXPECT_EQ(key, 2.0);
    }
    {
        // Version 1, as the first CLAP builds saved it: Key is Left.
        auto v1 = std::vector<unsigned char>(saved.begin(), saved.begin() + 104);
        v1[4] = 1;
        Plugin fresh;
        IStream stream(v1, 1);
        ASSERT_TRUE(fresh.load(stream));
        double key = -1;
        ASSERT_TRUE(fresh.paramValue(kKey, key));
        EXPECT_EQ(key, 0.0);
    }

    testsignal::Lcg rng(9);
    auto random = [&](size_t n) {
        std::vector<unsigned char> bytes(n);
        for (auto& b : bytes)
            b = static_cast<unsigned char>(rng.next() >> 24);
        return bytes;
    };
    auto newer = saved, badKey = saved;
    newer[4] = 3;
    badKey[104] = 5;
    struct Case {
        const char* what;
        std::vector<unsigned char> bytes;
        bool fails;
    };
    const Case cases[] = {
        {"empty", {}, false},
        {"short", std::vector<unsigned char>(saved.begin(), saved.begin() + 50), false},
        {"one short", std::vector<unsigned char>(saved.begin(), saved.end() - 1), false},
        {"version 2 without its Key", std::vector<unsigned char>(saved.begin(), saved.begin() + 104), false},
        {"garbage", random(108), false},
        {"newer version", newer, false},
        {"Key 5", badKey, false},
        {"3 MB of random bytes", random(3 << 20), false},
        {"failing stream", saved, true},
    };
    for (const Case& c : cases) {
        IStream stream(c.bytes, 1);
        stream.fail = c.fails;
        EXPECT_FALSE(p.load(stream)) << c.what;
        EXPECT_EQ(p.state(), saved) << c.what;
    }
}

// The eight programs at two rates and two block sizes: the same samples as
// the VST 2.x library, bit for bit.
TEST(Halvorine, SameSamplesAsTheVst2Library) {
    REQUIRE_HALVORINE();
    std::vector<float> l, r;
    testsignal::MakeTestSignal(l, r, 8192, 77);
    for (int program = 0; program < 8; ++program)
        for (double rate : {44100.0, 48000.0})
            for (uint32_t block : {512u, 37u}) {
                InputEvents choose;
                choose.add(kProgram, 0, program);
                const auto vst2 = claptest::RunVst2(program, rate, static_cast<int>(block), l, r);
                const auto clap = Plugin().render(rate, block, l, r, &choose);
                ASSERT_EQ(clap.size(), vst2.size()) << "activation at " << rate << " Hz, " << block;
                ASSERT_EQ(0, std::memcmp(vst2.data(), clap.data(), vst2.size() * sizeof(float)))
                    << "program " << program << ", " << rate << " Hz, blocks of " << block;
            }
}

// A program changes the 22 values behind the host's back: they go out as
// value events, through a block as through a flush, and get_value agrees.
// The same program again changes, and sends, nothing.
TEST(Halvorine, ProgramSendsItsValues) {
    REQUIRE_HALVORINE();
    constexpr int kLowGate = 2;
    for (bool block : {true, false}) {
        Plugin p;
        GuardedStereo in(64), out(64);
        if (block) {
            ASSERT_TRUE(p.activate(44100.0, 1, 64));
        }
        for (int round = 0; round < 2; ++round) {
            InputEvents choose;
            choose.add(kProgram, 10, kLowGate);
            OutputEvents sent;
            if (block)
                p.process(in.channels(), out.channels(), 64, &choose, &sent);
            else
                p.flush(choose, sent);
            const auto values = sent.values();
            ASSERT_EQ(values.size(), round == 0 ? 22u : 0u) << block << " " << round;
            for (clap_id i = 0; i < values.size(); ++i) {
                const double factory = params::FactoryValue(kLowGate, static_cast<int>(i));
                EXPECT_EQ(values[i].param_id, i);
                EXPECT_EQ(values[i].value, factory) << i;
                double now = -1;
                ASSERT_TRUE(p.paramValue(i, now));
                EXPECT_EQ(now, factory) << i;
            }
        }
    }
}

// The output's constant mask says which channels are silent (an output
// without an input is silence); a host that hands over 64-bit buffers (the
// ports are 32-bit only) gets silence and an error, its input untouched and
// nothing converted.
TEST(Halvorine, SilenceMaskAndWideBuffers) {
    REQUIRE_HALVORINE();
    constexpr uint32_t kFrames = 256;
    enum Input { kNone, k32, k64 };
    struct Case {
        const char* what;
        Input input;
        uint64_t mask;
    };
    const Case cases[] = {{"no input buffers", kNone, 3}, {"signal", k32, 0}, {"64-bit", k64, 3}};
    for (const Case& c : cases) {
        Plugin p;
        ASSERT_TRUE(p.activate(48000.0, 1, kFrames));
        std::vector<float> in32(2 * kFrames, 0.25f), out32(2 * kFrames, 7.0f);
        std::vector<double> in64(2 * kFrames, 0.25), out64(2 * kFrames, 7.0);
        float* i32[2] = {in32.data(), in32.data() + kFrames};
        float* o32[2] = {out32.data(), out32.data() + kFrames};
        double* i64[2] = {in64.data(), in64.data() + kFrames};
        double* o64[2] = {out64.data(), out64.data() + kFrames};
        const bool wide = c.input == k64;
        clap_audio_buffer_t input{c.input == k32 ? i32 : nullptr, wide ? i64 : nullptr, 2, 0, 0};
        clap_audio_buffer_t output{wide ? nullptr : o32, wide ? o64 : nullptr, 2, 0, 0};
        InputEvents none;
        OutputEvents sent;
        clap_process_t block{0, kFrames, nullptr, &input, &output, 1, 1, none.get(), sent.get()};
        clap_process_status status;
        {
            hostfp::UnmaskedCall call("process");
            p.host.inAudioCall = true;
            status = p.raw()->process(p.raw(), &block);
            p.host.inAudioCall = false;
        }
        EXPECT_EQ(status == CLAP_PROCESS_ERROR, wide) << c.what;
        EXPECT_EQ(output.constant_mask, c.mask) << c.what;
        const bool silent = wide ? std::all_of(out64.begin(), out64.end(), [](double x) { return x == 0.0; })
                                 : std::all_of(out32.begin(), out32.end(), [](float x) { return x == 0.0f; });
        EXPECT_EQ(silent, c.mask == 3) << c.what;
        EXPECT_TRUE(std::all_of(in64.begin(), in64.end(), [](double x) { return x == 0.25; })) << c.what;
    }
}
