// The Key parameter and the key bus of the VST3 edition: how a host sets
// the bus up, what reaches the gates through it, when a Key change takes
// effect, and what the editor is told.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "HalvorineVst3.h"
#include "TestHost.h"
#include "TestSignal.h"
#include "Vst3Host.h"

using namespace vst3host;
using testhost::GuardedStereo;

namespace {

constexpr ParamID kKey = 24;
constexpr ParamID kRelease = 4;
constexpr double kLeft = 0.0, kRight = 0.25, kSide = 0.75, kExternal = 1.0;
constexpr int32_t kFrames = 16384;

// Both channels of a render through a new session, with Key set at frame
// `at` and the session's key bus as `setUp` leaves it.
template <typename SetUp>
std::vector<float> Render(double key, int32_t at, SetUp&& setUp) {
    GuardedStereo in(kFrames), out(kFrames);
    std::vector<float> l, r;
    testsignal::MakeTestSignal(l, r, kFrames, 31);
    std::copy(l.begin(), l.end(), in.left());
    std::copy(r.begin(), r.end(), in.right());
    Session s;
    setUp(s, in);
    ParameterChanges choose;
    choose.add(kKey, at, key);
    // A short release: the gates that a key leaves
    // open close within the render.
    choose.add(kRelease, 0, 0.5);
    s.process(in.channels(), out.channels(), kFrames, &choose);
    std::vector<float> both(out.left(), out.left() + kFrames);
    both.insert(both.end(), out.right(), out.right() + kFrames);
    return both;
}

// The second half of each channel is below -200 dB: closed gates leave
// only the engine's denormal guards.
bool SilentAtTheEnd(const std::vector<float>& both) {
    float peak = 0.0f;
    for (int32_t i = kFrames / 2; i < kFrames; ++i)
        peak = std::max({peak, std::fabs(both[i]), std::fabs(both[kFrames + i])});
    return peak < 1e-10f;
}

}  // namespace

// The arrangements the key takes, in the order a host might try them: a
// refused one leaves what was there, and the bus's description follows.
TEST(HalvorineKey, BusArrangements) {
    Session s;
    ASSERT_EQ(s.component->getBusCount(kAudio, kInput), 2);
    BusInfo bus{};
    ASSERT_EQ(s.component->getBusInfo(kAudio, kInput, 1, bus), kResultOk);
    EXPECT_EQ(Narrow(bus.name), "Key");
    EXPECT_EQ(bus.busType, kAux);
    EXPECT_EQ(bus.flags & BusInfo::kDefaultActive, 0u) << "inactive until the host routes a key";
    struct Case {
        SpeakerArrangement main, key, out;
        int32_t ins;
        tresult answer;
        SpeakerArrangement keyAfter;
    };
    const Case cases[] = {
        {kStereo, kMono, kStereo, 2, kResultTrue, kMono},  {kStereo, 0x3F, kStereo, 2, kResultFalse, kMono},
        {kMono, kMono, kStereo, 2, kResultFalse, kMono},   {kStereo, kStereo, kStereo, 2, kResultTrue, kStereo},
        {kStereo, 0, kStereo, 2, kResultFalse, kStereo},   {kStereo, kMono, kStereo, 1, kResultTrue, kStereo},
    };
    for (const Case& c : cases) {
        SpeakerArrangement ins[2] = {c.main, c.key}, outs[1] = {c.out};
        EXPECT_EQ(s.processor->setBusArrangements(ins, c.ins, outs, 1), c.answer) << c.main << " " << c.key;
        SpeakerArrangement now = 0;
        ASSERT_EQ(s.processor->getBusArrangement(kInput, 1, now), kResultOk);
        EXPECT_EQ(now, c.keyAfter) << c.main << " " << c.key;
        ASSERT_EQ(s.component->getBusInfo(kAudio, kInput, 1, bus), kResultOk);
        EXPECT_EQ(bus.channelCount, c.keyAfter == kMono ? 1 : 2);
    }
}

// "External" through the bus as the host sets it up: a key made of one
// input channel gives the samples of the choice that keys from that
// channel, bit for bit; no key (an inactive bus, whatever buffers come with
// it, or none handed over) closes the gates, also from a change at a frame
// within the block, which comes in at that frame (the frames before it are
// Left's).
TEST(HalvorineKey, KeyBusFeedsTheGates) {
    const std::vector<float> left = Render(kLeft, 0, [](Session&, GuardedStereo&) {});
    const std::vector<float> right = Render(kRight, 0, [](Session&, GuardedStereo&) {});
    ASSERT_NE(left, right) << "the test signal's channels differ";
    struct Case {
        const char* what;
        SpeakerArrangement arrangement;
        bool active;
        int32_t channels;  // handed over; 0: no key bus in process
        int channel;       // the input channel the key is made of
        int32_t at;        // the frame of the change to External
        const std::vector<float>* sameAs;  // null: silence at the end
    };
    const Case cases[] = {
        {"stereo, left twice", kStereo, true, 2, 0, 0, &left}, {"mono, left", kMono, true, 1, 0, 0, &left},
        {"stereo, right twice", kStereo, true, 2, 1, 0, &right}, {"inactive", kStereo, false, 2, 0, 0, nullptr},
        {"no bus handed over", kStereo, true, 0, 0, 0, nullptr}, {"inactive, at 300", kStereo, false, 0, 0, 300, nullptr},
    };
    for (const Case& c : cases) {
        float* key[2] = {};
        const std::vector<float> out = Render(kExternal, c.at, [&](Session& s, GuardedStereo& in) {
            s.component->setActive(0);
            SpeakerArrangement ins[2] = {kStereo, c.arrangement}, outs[1] = {kStereo};
            EXPECT_EQ(s.processor->setBusArrangements(ins, 2, outs, 1), kResultTrue);
            EXPECT_EQ(s.component->activateBus(kAudio, kInput, 1, c.active ? 1 : 0), kResultOk);
            s.component->setActive(1);
            key[0] = key[1] = in.channels()[c.channel];
            s.key = key;
            s.keyChannels = c.channels;
        });
        // A key made of the left channel keys as the left bands do, so the
        // left channel is Left's; the right channel is bounded by its own
        // level where a key's gate level outlasts the key (Left's is not).
        if (c.sameAs != nullptr)
            EXPECT_TRUE(std::equal(out.begin(), out.begin() + kFrames, c.sameAs->begin())) << c.what;
        else
            EXPECT_TRUE(SilentAtTheEnd(out) && std::equal(out.begin(), out.begin() + c.at, left.begin())) << c.what;
    }
}

// The plug-in object as the view sees it: a click on the selector reaches
// the host as one whole edit of Key, a program leaves Key as it is, and the
// read-out hears of a missing key after the block that missed it.
TEST(HalvorineKey, SelectorEditsAndMissingKey) {
    auto* plugin = new vst3edition::HalvorineVst3();
    ComponentHandler handler;
    plugin->setComponentHandler(&handler);
    plugin->keySourceChosen(4);
    ASSERT_EQ(handler.calls.size(), 3u);
    for (size_t i = 0; i < 3; ++i)
        EXPECT_TRUE(handler.calls[i].what == "bpe"[i] && handler.calls[i].id == kKey);
    EXPECT_EQ(handler.calls[1].value, kExternal);
    plugin->setParamNormalized(22, 3.0 / 7);  // a program
    EXPECT_EQ(plugin->getParamNormalized(kKey), kExternal);
    EXPECT_EQ(plugin->editorKeySource(), 4);

    // A key connected but silent for longer than the tail is missing too;
    // one that sounds again is not.
    const int32_t longer = static_cast<int32_t>(plugin->getTailSamples()) + 64;
    GuardedStereo in(longer), out(longer), silentKey(longer), soundingKey(64, 0.25f);
    struct Case {
        double choice;
        bool active;
        int32_t channels;
        bool missing;
        int32_t frames;
        GuardedStereo& key;
    };
    const Case cases[] = {
        {kExternal, false, 2, true, 64, silentKey},     {kExternal, true, 1, false, 64, silentKey},
        {kExternal, true, 0, true, 64, silentKey},      {kSide, false, 0, false, 64, silentKey},
        {kExternal, true, 2, true, longer, silentKey},  {kExternal, true, 2, false, 64, soundingKey},
    };
    for (const Case& c : cases) {
        GuardedStereo& key = c.key;
        plugin->activateBus(kAudio, kInput, 1, c.active ? 1 : 0);
        ParameterChanges choose;
        choose.add(kKey, 10, c.choice);
        AudioBusBuffers inputs[2] = {{2, 0, {in.channels()}}, {c.channels, 0, {key.channels()}}};
        AudioBusBuffers output{2, 0, {out.channels()}};
        ProcessData data{};
        data.numSamples = c.frames;
        data.numInputs = c.channels > 0 ? 2 : 1;
        data.numOutputs = 1;
        data.inputs = inputs;
        data.outputs = &output;
        data.inputParameterChanges = &choose;
        ASSERT_EQ(plugin->process(data), kResultOk);
        EXPECT_EQ(plugin->editorKeyMissing(), c.missing) << c.choice << " " << c.active << " " << c.channels;
    }
    plugin->setComponentHandler(nullptr);
    static_cast<IComponent*>(plugin)->release();
}
