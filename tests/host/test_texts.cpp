// The texts and fixed answers a host reads about the plug-in.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>

#include "BlackBox.h"

using blackbox::Instance;
using blackbox::Observe;
using blackbox::Observed;
using blackbox::TextBuffer;
using testhost::dispatch;
using testhost::Host;

namespace {

// A text request into a prefilled buffer: the text, written whole, and
// nothing after its terminator.
void ExpectText(AEffect* e, VstInt32 opcode, VstInt32 index, VstIntPtr answer, const std::string& expected) {
    TextBuffer buffer;
    EXPECT_EQ(dispatch(e, opcode, index, 0, buffer.bytes), answer);
    EXPECT_EQ(buffer.text(), expected);
    EXPECT_TRUE(buffer.untouchedFrom(expected.size() + 1)) << "written past the terminator";
}

void ExpectUntouched(AEffect* e, VstInt32 opcode, VstInt32 index, VstIntPtr answer) {
    TextBuffer buffer;
    EXPECT_EQ(dispatch(e, opcode, index, 0, buffer.bytes), answer);
    EXPECT_TRUE(buffer.untouched());
}

}  // namespace

TEST(Texts, ParameterNames) {
    Host host;
    Instance e(host);
    ASSERT_TRUE(e);
    const char* const fixed[6] = {"Start Freq", "Finish Freq", "Freq Q", "Attack", "Release", "Boost"};
    for (VstInt32 i = 0; i < 6; ++i) {
        SCOPED_TRACE(i);
        ExpectText(e.get(), effGetParamName, i, 0, fixed[i]);
    }
    for (VstInt32 i = 6; i <= 21; ++i) {
        SCOPED_TRACE(i);
        ExpectText(e.get(), effGetParamName, i, 0, "Band " + std::to_string(i - 5) + "Gate Level");
    }
    ExpectText(e.get(), effGetParamName, 6, 0, "Band 1Gate Level");
    ExpectText(e.get(), effGetParamName, 15, 0, "Band 10Gate Level");
    ExpectText(e.get(), effGetParamName, 21, 0, "Band 16Gate Level");
    for (VstInt32 i : {22, 25, 29, 30, 1000, -1, INT_MIN, INT_MAX}) {
        SCOPED_TRACE(i);
        ExpectUntouched(e.get(), effGetParamName, i, 0);
    }
}

TEST(Texts, LabelsAreEmptyAndDisplaysUntouched) {
    Host host;
    Instance e(host);
    ASSERT_TRUE(e);
    for (VstInt32 i : {0, 5, 6, 21, 22, 29, 30, 1000, -1, INT_MIN}) {
        SCOPED_TRACE(i);
        ExpectText(e.get(), effGetParamLabel, i, 0, "");
        ExpectUntouched(e.get(), effGetParamDisplay, i, 0);
    }
}

TEST(Texts, EffectVendorAndProduct) {
    Host host;
    Instance e(host);
    ASSERT_TRUE(e);
    ExpectText(e.get(), effGetEffectName, 0, 1, "Halvorine");
    ExpectText(e.get(), effGetVendorString, 0, 1, "Pellucid");
    ExpectText(e.get(), effGetProductString, 0, 1, "Halvorine");
    EXPECT_EQ(dispatch(e.get(), effGetVendorVersion), 1);
    ExpectUntouched(e.get(), effGetErrorText, 0, 0);
    ExpectUntouched(e.get(), effGetParameterProperties, 0, 0);
}

TEST(Texts, CapabilitiesMatchExactly) {
    Host host;
    Instance e(host);
    ASSERT_TRUE(e);
    for (const char* yes : {"receiveVstEvents", "receiveVstMidiEvent", "receiveVstTimeInfo"}) {
        SCOPED_TRACE(yes);
        std::string text = yes;
        EXPECT_EQ(dispatch(e.get(), effCanDo, 0, 0, &text[0]), 1);
    }
    for (const char* no : {"ReceiveVstEvents", "receivevstevents", "sendVstEvents", "sendVstMidiEvent",
                           "receiveVstEvent", "receiveVstEventsX", "receiveVstMidiEvents", "receiveVstTimeInfo ",
                           " receiveVstTimeInfo", "plugAsChannelInsert", "bypass", ""}) {
        SCOPED_TRACE(no);
        std::string text = no;
        EXPECT_EQ(dispatch(e.get(), effCanDo, 0, 0, &text[0]), -1);
    }
}

TEST(Texts, PinProperties) {
    Host host;
    Instance e(host);
    ASSERT_TRUE(e);
    for (VstInt32 index : {0, 1}) {
        SCOPED_TRACE(index);
        VstPinProperties pin;
        std::memset(&pin, 0x5A, sizeof pin);
        EXPECT_EQ(dispatch(e.get(), effGetOutputProperties, index, 0, &pin), 1);
        EXPECT_EQ(std::string(pin.label, strnlen(pin.label, sizeof pin.label)),
                  index == 0 ? "Halvorine 1" : "Halvorine 2");
        EXPECT_EQ(pin.flags, 3);
        EXPECT_EQ(pin.arrangementType, 0x5A5A5A5A) << "left as the host passed it";
        for (char c : pin.shortLabel)
            EXPECT_EQ(c, '\x5A') << "left as the host passed it";
    }
    for (VstInt32 index : {2, 3, 100, -1, -2, INT_MIN, INT_MAX}) {
        SCOPED_TRACE(index);
        unsigned char pin[sizeof(VstPinProperties)];
        std::memset(pin, 0x5A, sizeof pin);
        EXPECT_EQ(dispatch(e.get(), effGetOutputProperties, index, 0, pin), 0);
        for (unsigned char c : pin)
            ASSERT_EQ(c, 0x5A);
    }
    for (VstInt32 index : {0, 1, 2, -1}) {
        SCOPED_TRACE(index);
        unsigned char pin[sizeof(VstPinProperties)];
        std::memset(pin, 0x5A, sizeof pin);
        EXPECT_EQ(dispatch(e.get(), effGetInputProperties, index, 0, pin), 0);
        for (unsigned char c : pin)
            ASSERT_EQ(c, 0x5A);
    }
}

TEST(Texts, EventListsAreAcceptedAndIgnored) {
    Host host;
    Instance e(host);
    ASSERT_TRUE(e);
    const Observed before = Observe(e.get());
    VstEvents empty{};
    EXPECT_EQ(dispatch(e.get(), effProcessEvents, 0, 0, &empty), 1);

    VstEvent noteOn{}, noteOff{};
    noteOn.type = noteOff.type = 1;  // MIDI
    noteOn.byteSize = noteOff.byteSize = sizeof(VstEvent);
    noteOn.data[0] = '\x90';
    noteOn.data[1] = 60;
    noteOn.data[2] = 100;
    noteOff.data[0] = '\x80';
    noteOff.data[1] = 60;
    VstEvents two{};
    two.numEvents = 2;
    two.events[0] = &noteOn;
    two.events[1] = &noteOff;
    host.clear();
    EXPECT_EQ(dispatch(e.get(), effProcessEvents, 0, 0, &two), 1);
    EXPECT_TRUE(host.calls.empty());
    EXPECT_EQ(Observe(e.get()), before);
}
