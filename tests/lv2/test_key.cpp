// The LV2 edition's key: the ports a host sees in each plug-in, the "Key"
// choice heard as the engine hears it, a key through the side-chain
// plug-in's key_left/key_right gating the sound, and unconnected or silent
// key ports heard as silence and reported missing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "GateEngine.h"
#include "Lv2TestUtil.h"
#include "TestSignal.h"

namespace {

using lv2test::FirstDifference;
using lv2test::Lv2Instance;
using lv2test::Stereo;
using lv2test::World;
using lv2edition::kSidechain;

constexpr int kFrames = 20000;

struct Key : ::testing::Test {
    void SetUp() override {
        if (World::get().plugin(kSidechain) == nullptr)
            GTEST_SKIP() << "no <" << kSidechain.uri << "> on LV2_PATH";
    }
};

// Renders in blocks with the key ports connected to `key`'s channels at
// the block's position; a channel that is not `connected` stays unconnected.
Stereo RenderKeyed(Lv2Instance& lv2, const Stereo& in, const Stereo& key, int block, bool leftConnected = true,
                   bool rightConnected = true) {
    Stereo out(in.frames());
    for (size_t pos = 0; pos < in.frames(); pos += static_cast<size_t>(block)) {
        const size_t n = std::min(in.frames() - pos, static_cast<size_t>(block));
        lv2.connectKey(leftConnected ? key.left.data() + pos : nullptr, rightConnected ? key.right.data() + pos : nullptr);
        lv2.run(in.left.data() + pos, in.right.data() + pos, out.left.data() + pos, out.right.data() + pos,
                static_cast<uint32_t>(n));
    }
    return out;
}

bool HasProperty(const LilvPlugin* plugin, const LilvPort* port, const char* uri) {
    World& w = World::get();
    return lilv_port_has_property(plugin, port, w.uri(uri));
}

// The plain plug-in has the ports of release 1.0.0 and "Key" without
// "External"; the side-chain one has "External", key_missing and the key.
TEST_F(Key, TheKeyPortsFollowEveryOlderPortAsASideChainAndAnIntegerEnumeration) {
    const std::vector<std::string> allLabels = {"Left", "Right", "Mid", "Side", "External"};
    const struct {
        const lv2edition::Variant& variant;
        uint32_t ports;
        std::vector<std::string> labels;
    } plugins[] = {
        {lv2edition::kPlain, 27, {allLabels.begin(), allLabels.end() - 1}},
        {kSidechain, 30, allLabels},
    };
    const struct {
        uint32_t index;
        const char* symbol;
        const char* kind;
        bool input;
    } ports[] = {
        {26, "key", LV2_CORE__ControlPort, true},
        {27, "key_missing", LV2_CORE__ControlPort, false},
        {28, "key_left", LV2_CORE__AudioPort, true},
        {29, "key_right", LV2_CORE__AudioPort, true},
    };
    for (const auto& c : plugins) {
        SCOPED_TRACE(c.variant.uri);
        World& w = World::get();
        const LilvPlugin* plugin = w.plugin(c.variant);
        ASSERT_NE(plugin, nullptr);
        // The band meters follow (their own test is the parity test's).
        ASSERT_EQ(lilv_plugin_get_num_ports(plugin), c.ports + lv2edition::kNumMeterPorts);
        for (const auto& p : ports) {
            if (p.index >= c.ports)
                break;
            SCOPED_TRACE(p.symbol);
            const LilvPort* port = lilv_plugin_get_port_by_index(plugin, p.index);
            ASSERT_NE(port, nullptr);
            EXPECT_STREQ(lilv_node_as_string(lilv_port_get_symbol(plugin, port)), p.symbol);
            EXPECT_TRUE(lilv_port_is_a(plugin, port, w.uri(p.kind)));
            EXPECT_TRUE(lilv_port_is_a(plugin, port, w.uri(p.input ? LV2_CORE__InputPort : LV2_CORE__OutputPort)));
            const bool audio = std::string(p.kind) == LV2_CORE__AudioPort;
            EXPECT_EQ(HasProperty(plugin, port, LV2_CORE_PREFIX "isSideChain"), audio);
            EXPECT_EQ(HasProperty(plugin, port, LV2_CORE__connectionOptional), audio);
            EXPECT_EQ(HasProperty(plugin, port, LV2_CORE__integer), p.index == lv2edition::kKey);
            EXPECT_EQ(HasProperty(plugin, port, LV2_CORE__enumeration), p.index == lv2edition::kKey);
        }
        // A host's main pair stays the first two inputs: the key is no main input.
        for (uint32_t i : {0u, 1u})
            EXPECT_FALSE(HasProperty(plugin, lilv_plugin_get_port_by_index(plugin, i), LV2_CORE_PREFIX "isSideChain"));

        // "Left" by default: what the edition did before it had a key.
        float minimum[lv2edition::kNumPorts], maximum[lv2edition::kNumPorts], defaults[lv2edition::kNumPorts];
        lilv_plugin_get_port_ranges_float(plugin, minimum, maximum, defaults);
        EXPECT_EQ(defaults[lv2edition::kKey], 0.0f);
        EXPECT_EQ(minimum[lv2edition::kKey], 0.0f);
        EXPECT_EQ(maximum[lv2edition::kKey], static_cast<float>(c.labels.size() - 1));
        const LilvPort* key = lilv_plugin_get_port_by_index(plugin, lv2edition::kKey);

        std::vector<std::string> labels(c.labels.size());
        LilvScalePoints* points = lilv_port_get_scale_points(plugin, key);
        ASSERT_NE(points, nullptr);
        EXPECT_EQ(lilv_scale_points_size(points), c.labels.size());
        LILV_FOREACH (scale_points, i, points) {
            const LilvScalePoint* point = lilv_scale_points_get(points, i);
            const float value = lilv_node_as_float(lilv_scale_point_get_value(point));
            ASSERT_TRUE(value >= 0.0f && value < labels.size() && value == std::floor(value)) << value;
            labels[static_cast<size_t>(value)] = lilv_node_as_string(lilv_scale_point_get_label(point));
        }
        lilv_scale_points_free(points);
        EXPECT_EQ(labels, c.labels);
    }
}

// "Left" is the VST 2.x library's sound whatever the key ports carry; the
// other choices hear what the engine hears for them, and an odd "Key"
// value is clamped, NaN as "Left", then rounded.
TEST_F(Key, EachChoiceKeysAsTheEngineDoes) {
    const Stereo in = lv2test::TestSignal(kFrames, 20261207);
    const Stereo key = lv2test::TestSignal(kFrames, 4711);
    lv2test::VstInstance vst(48000.0f, params::kInitialProgram);
    ASSERT_TRUE(vst.ok());
    const Stereo left = lv2test::Render(vst, in, 512);

    const float nan = std::numeric_limits<float>::quiet_NaN();
    const struct {
        float value;
        gate::KeySource source;
    } cases[] = {
        {0.0f, gate::KeySource::Left},     {1.0f, gate::KeySource::Right},    {2.0f, gate::KeySource::Mid},
        {3.0f, gate::KeySource::Side},     {4.0f, gate::KeySource::External}, {nan, gate::KeySource::Left},
        {-1.0f, gate::KeySource::Left},    {1.4f, gate::KeySource::Right},    {2.6f, gate::KeySource::Side},
        {9.0f, gate::KeySource::External},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "Key " << c.value);
        gate::GateEngine engine;
        engine.setDesignRate(48000.0f);
        engine.setChangeMode(gate::ChangeMode::Glide);
        for (int i = 0; i < params::kNumActive; ++i)
            engine.setParameter(i, params::FactoryValue(params::kInitialProgram, i));
        engine.setKeySource(c.source);
        Stereo expected(in.frames());
        for (size_t pos = 0; pos < in.frames(); pos += 300) {
            const int n = static_cast<int>(std::min<size_t>(300, in.frames() - pos));
            engine.processReplacing(in.left.data() + pos, in.right.data() + pos, expected.left.data() + pos,
                                    expected.right.data() + pos, n, key.left.data() + pos, key.right.data() + pos);
        }
        Lv2Instance lv2(48000.0, true, kSidechain);
        ASSERT_TRUE(lv2.ok());
        lv2.key = c.value;
        const Stereo out = RenderKeyed(lv2, in, key, 300);
        EXPECT_EQ(FirstDifference(out, expected), -1);
        if (c.source == gate::KeySource::Left)
            EXPECT_EQ(FirstDifference(out, left), -1) << "Left is not the VST 2.x library's sound";
        else
            EXPECT_NE(FirstDifference(out, left), -1) << "the choice changed nothing";
        EXPECT_EQ(lv2.keyMissing, 0.0f);
    }
}

// A steady noise gated by a key that sounds in bursts: the output sounds
// while the key does and is silent once the gates have released (below
// -180 dB: what is left is the input stage's tiny offset, boosted).
TEST_F(Key, ExternalGatesFromTheKeyAndUnconnectedKeyPortsAreSilence) {
    constexpr int kPeriod = 9600, kBurst = 2400, kRelease = 2400;  // 48 kHz
    testsignal::Lcg rng(5);
    Stereo in(4 * kPeriod), bursts(4 * kPeriod);
    for (size_t n = 0; n < in.frames(); ++n) {
        in.left[n] = 0.5f * rng.uniform();
        in.right[n] = 0.5f * rng.uniform();
        const bool loud = static_cast<int>(n % kPeriod) < kBurst;
        bursts.left[n] = loud ? 0.5f * rng.uniform() : 0.0f;
        bursts.right[n] = loud ? 0.5f * rng.uniform() : 0.0f;
    }
    constexpr float kSilence = 1e-9f;
    auto peak = [](const Stereo& s, size_t from, size_t to) {
        float p = 0.0f;
        for (size_t n = from; n < to; ++n)
            p = std::max(p, std::max(std::fabs(s.left[n]), std::fabs(s.right[n])));
        return p;
    };

    // "Gated": every band has a threshold, no attack, the shortest release.
    Lv2Instance keyed(48000.0, true, kSidechain), unkeyed(48000.0, true, kSidechain);
    ASSERT_TRUE(keyed.ok() && unkeyed.ok());
    keyed.applyPreset(1);
    unkeyed.applyPreset(1);
    keyed.key = unkeyed.key = 4.0f;
    const Stereo gated = RenderKeyed(keyed, in, bursts, 256);
    const Stereo none = RenderKeyed(unkeyed, in, bursts, 256, false, false);
    for (size_t start = 0; start < in.frames(); start += kPeriod) {
        SCOPED_TRACE(testing::Message() << "period at frame " << start);
        EXPECT_GT(peak(gated, start + kBurst / 2, start + kBurst), 0.05f) << "no sound while the key sounds";
        EXPECT_LT(peak(gated, start + kBurst + kRelease, start + kPeriod), kSilence) << "sound after the key stopped";
        // Unconnected: nothing keys the gates, after the first release.
        if (start > 0) {
            EXPECT_LT(peak(none, start, start + kPeriod), kSilence);
        }
    }
    EXPECT_EQ(unkeyed.keyMissing, 1.0f);
    // Connected but silent: not missing while the gates may still ring,
    // missing once the silence outlasts the tail; a sounding key is at once
    // not missing.
    gate::GateEngine gatedEngine;
    gatedEngine.setDesignRate(48000.0f);
    for (int i = 0; i < params::kNumActive; ++i)
        gatedEngine.setParameter(i, params::FactoryValue(1, i));
    const uint64_t tail = gatedEngine.tailFrames();
    uint64_t silent = kPeriod - kBurst;  // the render ends this far into the key's silence
    EXPECT_EQ(keyed.keyMissing, silent > tail ? 1.0f : 0.0f);
    const Stereo quiet(256);
    Stereo out(256);
    while (silent <= tail) {
        keyed.connectKey(quiet.left.data(), quiet.right.data());
        keyed.run(in.left.data(), in.right.data(), out.left.data(), out.right.data(), 256);
        silent += 256;
        ASSERT_EQ(keyed.keyMissing, silent > tail ? 1.0f : 0.0f) << silent << " silent frames of " << tail;
    }
    keyed.connectKey(bursts.left.data(), bursts.right.data());
    keyed.run(in.left.data(), in.right.data(), out.left.data(), out.right.data(), 256);
    EXPECT_EQ(keyed.keyMissing, 0.0f);
    // key_left alone is a mono key: heard as that channel on both sides.
    Stereo monoBursts = bursts;
    monoBursts.right = bursts.left;
    Lv2Instance mono(48000.0, true, kSidechain), both(48000.0, true, kSidechain);
    mono.applyPreset(1);
    both.applyPreset(1);
    mono.key = both.key = 4.0f;
    EXPECT_EQ(FirstDifference(RenderKeyed(mono, in, monoBursts, 256, true, false),
                              RenderKeyed(both, in, monoBursts, 256)), -1);
    // Back to "Left", nothing is missing.
    unkeyed.key = 0.0f;
    RenderKeyed(unkeyed, in, bursts, 256, false, false);
    EXPECT_EQ(unkeyed.keyMissing, 0.0f);
}

}  // namespace
