// The Key parameter and the key bus of the VST3 edition: how a host sets
// the bus up, what reaches the gates through it, when a Key change takes
// effect, and what the editor is told.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "HalvorineVst3.h"
#include "TestHost.h"
#include "TestSignal.h"
#include "Vst3Host.h"

using namespace vst3host;
using testhost::GuardedStereo;

namespace {

constexpr ParamID kKey = 24;
constexpr double kLeft = 0.0, kRight = 0.25, kSide = 0.75, kExternal = 1.0;
constexpr int32_t kFrames = 16384;

bool IsHalvorine() { return Module::instance().path().find("Halvorine") != std::string::npos; }

void Fill(GuardedStereo& buffers, uint32_t seed) {
    std::vector<float> l, r;
    testsignal::MakeTestSignal(l, r, buffers.frames(), seed);
    std::copy(l.begin(), l.end(), buffers.left());
    std::copy(r.begin(), r.end(), buffers.right());
}

std::vector<float> Both(GuardedStereo& out) {
    std::vector<float> both(out.left(), out.left() + out.frames());
    both.insert(both.end(), out.right(), out.right() + out.frames());
    return both;
}

// Frames from `from` to the end of both channels are silent: below
// -200 dB (closed gates leave only the engine's denormal guards).
bool SilentFrom(GuardedStereo& out, int32_t from) {
    float peak = 0.0f;
    for (int32_t i = from; i < out.frames(); ++i)
        peak = std::max({peak, std::fabs(out.left()[i]), std::fabs(out.right()[i])});
    if (peak >= 1e-10f)
        ADD_FAILURE() << "peak " << peak << " from frame " << from;
    return peak < 1e-10f;
}

// The bus set up as a host does it, while inactive.
void SetUpKeyBus(Session& s, SpeakerArrangement key, bool active) {
    s.processor->setProcessing(0);
    s.component->setActive(0);
    SpeakerArrangement ins[2] = {kStereo, key}, outs[1] = {kStereo};
    ASSERT_EQ(s.processor->setBusArrangements(ins, 2, outs, 1), kResultTrue);
    ASSERT_EQ(s.component->activateBus(kAudio, kInput, 1, active ? 1 : 0), kResultOk);
    s.component->setActive(1);
    s.processor->setProcessing(1);
}

}  // namespace

// The key bus as hosts see it, and the arrangements it takes, in the order
// a host might try them (a refused one leaves what was there).
TEST(HalvorineKey, BusArrangementsAndActivation) {
    if (!IsHalvorine())
        GTEST_SKIP();
    Session s;
    EXPECT_EQ(s.component->getBusCount(kAudio, kInput), 2);
    EXPECT_EQ(s.component->getBusCount(kAudio, kOutput), 1);
    BusInfo bus{};
    ASSERT_EQ(s.component->getBusInfo(kAudio, kInput, 1, bus), kResultOk);
    EXPECT_EQ(Narrow(bus.name), "Key");
    EXPECT_EQ(bus.busType, kAux);
    EXPECT_EQ(bus.flags & BusInfo::kDefaultActive, 0u) << "inactive until the host routes a key";
    EXPECT_EQ(bus.channelCount, 2);
    ASSERT_EQ(s.component->getBusInfo(kAudio, kInput, 0, bus), kResultOk);
    EXPECT_EQ(bus.busType, kMain);
    EXPECT_NE(s.component->getBusInfo(kAudio, kInput, 2, bus), kResultOk);
    EXPECT_NE(s.component->getBusInfo(kAudio, kOutput, 1, bus), kResultOk);
    EXPECT_EQ(s.component->activateBus(kAudio, kInput, 1, 1), kResultOk);
    EXPECT_EQ(s.component->activateBus(kAudio, kInput, 1, 0), kResultOk);
    EXPECT_NE(s.component->activateBus(kAudio, kInput, 2, 1), kResultOk);
    EXPECT_NE(s.component->activateBus(kAudio, kOutput, 1, 1), kResultOk);
    EXPECT_NE(s.component->activateBus(kEvent, kInput, 0, 1), kResultOk);

    struct Case {
        SpeakerArrangement main, key, out;
        int32_t ins;
        tresult answer;
        SpeakerArrangement keyAfter;
    };
    const Case cases[] = {
        {kStereo, kMono, kStereo, 2, kResultTrue, kMono},
        {kStereo, 0x3F, kStereo, 2, kResultFalse, kMono},  // 5.1: kept mono
        {kStereo, kStereo, kStereo, 2, kResultTrue, kStereo},
        {kStereo, 0, kStereo, 2, kResultFalse, kStereo},
        {kMono, kMono, kStereo, 2, kResultFalse, kStereo},  // the main buses stay stereo
        {kStereo, kMono, kMono, 2, kResultFalse, kStereo},
        {kStereo, kMono, kStereo, 2, kResultTrue, kMono},
        {kStereo, kStereo, kStereo, 1, kResultTrue, kMono},  // a host that leaves the key out
    };
    for (const Case& c : cases) {
        SpeakerArrangement ins[2] = {c.main, c.key}, outs[1] = {c.out};
        EXPECT_EQ(s.processor->setBusArrangements(ins, c.ins, outs, 1), c.answer) << c.main << " " << c.key;
        SpeakerArrangement now = 0;
        ASSERT_EQ(s.processor->getBusArrangement(kInput, 1, now), kResultOk);
        EXPECT_EQ(now, c.keyAfter) << c.main << " " << c.key;
        ASSERT_EQ(s.component->getBusInfo(kAudio, kInput, 1, bus), kResultOk);
        EXPECT_EQ(bus.channelCount, c.keyAfter == kMono ? 1 : 2);
        ASSERT_EQ(s.processor->getBusArrangement(kInput, 0, now), kResultOk);
        EXPECT_EQ(now, kStereo);
    }
}

// What keys the gates with "External", as the host sets the bus up and
// hands it over: a key made of the input's own channels gives the samples
// of the choice that keys from that channel, bit for bit; no key (an
// inactive bus, whatever buffers come with it, or no bus at all) closes
// the gates.
TEST(HalvorineKey, KeyBusFeedsTheGates) {
    if (!IsHalvorine())
        GTEST_SKIP();
    GuardedStereo in(kFrames);
    Fill(in, 31);
    auto reference = [&](double key) {
        Session s;
        ParameterChanges choose;
        choose.add(kKey, 0, key);
        GuardedStereo out(kFrames);
        s.process(in.channels(), out.channels(), kFrames, &choose);
        return Both(out);
    };
    const std::vector<float> left = reference(kLeft), right = reference(kRight);
    ASSERT_NE(left, right) << "the test signal's channels differ";
    float* leftTwice[2] = {in.left(), in.left()};
    float* rightTwice[2] = {in.right(), in.right()};
    struct Case {
        const char* what;
        SpeakerArrangement arrangement;
        bool active;
        int32_t channels;  // handed over; 0: no key bus in process
        float** key;
        const std::vector<float>* sameAs;  // null: silence at the end
    };
    const Case cases[] = {
        {"stereo, the left channel twice", kStereo, true, 2, leftTwice, &left},
        {"mono, the left channel", kMono, true, 1, leftTwice, &left},
        {"stereo, the right channel twice", kStereo, true, 2, rightTwice, &right},
        {"inactive, with buffers", kStereo, false, 2, leftTwice, nullptr},
        {"active, no bus in process", kStereo, true, 0, nullptr, nullptr},
    };
    for (const Case& c : cases) {
        Session s;
        SetUpKeyBus(s, c.arrangement, c.active);
        s.key = c.key;
        s.keyChannels = c.channels;
        ParameterChanges choose;
        choose.add(kKey, 0, kExternal);
        GuardedStereo out(kFrames);
        s.process(in.channels(), out.channels(), kFrames, &choose);
        if (c.sameAs != nullptr) {
            EXPECT_TRUE(Both(out) == *c.sameAs) << c.what;
        } else {
            EXPECT_TRUE(SilentFrom(out, kFrames / 2)) << c.what;
            EXPECT_NE(Both(out), left) << c.what;
        }
    }
}

// A Key change at frame k of a block sounds as in a host that splits the
// block at k: the frames before it are Left's, and from it "External"
// without a key closes the gates.
TEST(HalvorineKey, KeyChangeLandsAtItsFrame) {
    if (!IsHalvorine())
        GTEST_SKIP();
    GuardedStereo in(kFrames);
    Fill(in, 12);
    for (int32_t k : {0, 1, 300, 4000}) {
        Session whole, split, unchanged;
        GuardedStereo outWhole(kFrames), outSplit(kFrames), outUnchanged(kFrames);
        ParameterChanges atK, atStart;
        atK.add(kKey, k, kExternal);
        atStart.add(kKey, 0, kExternal);
        whole.process(in.channels(), outWhole.channels(), kFrames, &atK);
        unchanged.process(in.channels(), outUnchanged.channels(), kFrames);
        if (k > 0)
            split.process(in.channels(), outSplit.channels(), k);
        float* i[2] = {in.left() + k, in.right() + k};
        float* o[2] = {outSplit.left() + k, outSplit.right() + k};
        split.process(i, o, kFrames - k, &atStart);
        EXPECT_TRUE(Both(outWhole) == Both(outSplit)) << k;
        EXPECT_EQ(0, std::memcmp(outWhole.left(), outUnchanged.left(), k * sizeof(float))) << k;
        EXPECT_TRUE(SilentFrom(outWhole, kFrames / 2)) << k;
    }
}

// The plug-in object as the view sees it: a click on the selector reaches
// the host as one whole edit of Key, a program leaves Key as it is, and the
// read-out hears of a missing key after the block that missed it.
TEST(HalvorineKey, SelectorEditsAndMissingKey) {
    auto* plugin = new vst3edition::HalvorineVst3();
    IComponent* component = plugin;
    IEditController* controller = plugin;
    IAudioProcessor* processor = plugin;
    ComponentHandler handler;
    controller->setComponentHandler(&handler);
    plugin->keySourceChosen(4);
    ASSERT_EQ(handler.calls.size(), 3u);
    const char kinds[] = {'b', 'p', 'e'};
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(handler.calls[i].what, kinds[i]);
        EXPECT_EQ(handler.calls[i].id, kKey);
    }
    EXPECT_EQ(handler.calls[1].value, kExternal);
    EXPECT_EQ(controller->getParamNormalized(kKey), kExternal);
    EXPECT_EQ(plugin->editorKeySource(), 4);
    controller->setParamNormalized(22, 3.0 / 7);  // a program
    EXPECT_EQ(controller->getParamNormalized(kKey), kExternal);
    controller->setParamNormalized(kKey, 0.55);  // within Mid's fifth
    EXPECT_EQ(controller->getParamNormalized(kKey), 0.5);

    GuardedStereo in(64), out(64), key(64);
    Fill(in, 3);
    struct Case {
        double choice;
        bool active;
        int32_t channels;
        bool missing;
    };
    const Case cases[] = {
        {kExternal, false, 2, true}, {kExternal, true, 2, false}, {kExternal, true, 1, false},
        {kExternal, true, 0, true},  {kSide, false, 0, false},   {kLeft, true, 0, false},
    };
    for (const Case& c : cases) {
        component->activateBus(kAudio, kInput, 1, c.active ? 1 : 0);
        ParameterChanges choose;
        choose.add(kKey, 10, c.choice);
        AudioBusBuffers inputs[2] = {{2, 0, {in.channels()}}, {c.channels, 0, {key.channels()}}};
        AudioBusBuffers output{2, 0, {out.channels()}};
        ProcessData data{};
        data.symbolicSampleSize = kSample32;
        data.numSamples = 64;
        data.numInputs = c.channels > 0 ? 2 : 1;
        data.numOutputs = 1;
        data.inputs = inputs;
        data.outputs = &output;
        data.inputParameterChanges = &choose;
        ASSERT_EQ(processor->process(data), kResultOk);
        EXPECT_EQ(plugin->editorKeyMissing(), c.missing) << c.choice << " " << c.active << " " << c.channels;
    }
    controller->setComponentHandler(nullptr);
    component->release();
}
