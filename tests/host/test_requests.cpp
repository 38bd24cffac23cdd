// Every request code a host can send through the record's dispatcher, with
// the answer and the (absence of) side effects a host sees.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>

#include "BlackBox.h"

using blackbox::Instance;
using blackbox::Observe;
using blackbox::Observed;
using testhost::dispatch;
using testhost::Host;

namespace {

struct Row {
    VstInt32 opcode;
    VstInt32 index;
    VstIntPtr value;
    float opt;
    VstIntPtr answer;
};

// Requests whose answer is fixed and which change nothing a host can see.
// Text requests get a scratch buffer; their texts are checked elsewhere.
const Row kRows[] = {
    {effOpen, 0, 0, 0.0f, 0},
    {effGetProgram, 0, 0, 0.0f, 7},
    {effGetProgramName, 0, 0, 0.0f, 0},
    {effGetParamLabel, 0, 0, 0.0f, 0},
    {effGetParamDisplay, 0, 0, 0.0f, 0},
    {effGetParamName, 0, 0, 0.0f, 0},
    {effGetVu, 0, 0, 0.0f, 0},
    {effSetSampleRate, 0, 0, 44100.0f, 0},
    {effSetBlockSize, 0, 512, 0.0f, 0},
    {effMainsChanged, 0, 0, 0.0f, 0},
    {effEditClose, 0, 0, 0.0f, 0},
    {effEditDraw, 0, 0, 0.0f, 0},
    {effEditMouse, 3, 4, 0.0f, 0},
    {effEditKey, 65, 0, 0.0f, 0},
    {effEditIdle, 0, 0, 0.0f, 0},
    {effEditTop, 0, 0, 0.0f, 0},
    {effEditSleep, 0, 0, 0.0f, 0},
    {effIdentify, 0, 0, 0.0f, 0x4E764566},
    {effIdentify, -7, 123, 3.5f, 0x4E764566},
    {effSetChunk, 0, 16, 0.0f, 0},
    {effSetChunk, 1, 16, 0.0f, 0},
    {effCanBeAutomated, 0, 0, 0.0f, 1},
    {effCanBeAutomated, 29, 0, 0.0f, 1},
    {effCanBeAutomated, 1000, 0, 0.0f, 1},
    {effCanBeAutomated, -1, 0, 0.0f, 1},
    {effString2Parameter, 0, 0, 0.0f, 0},
    {effGetNumProgramCategories, 0, 0, 0.0f, 1},
    {effGetProgramNameIndexed, 0, 0, 0.0f, 1},
    {effCopyProgram, 1, 0, 0.0f, 0},
    {effConnectInput, 0, 0, 0.0f, 1},
    {effConnectInput, 1, 1, 0.0f, 1},
    {effConnectOutput, 0, 0, 0.0f, 1},
    {effConnectOutput, 1, 1, 0.0f, 1},
    {effGetInputProperties, 0, 0, 0.0f, 0},
    {effGetOutputProperties, 0, 0, 0.0f, 1},
    {effGetPlugCategory, 0, 0, 0.0f, 0},
    {effGetCurrentPosition, 0, 0, 0.0f, 0},
    {effGetDestinationBuffer, 0, 0, 0.0f, 0},
    {effOfflineNotify, 1, 2, 0.0f, 0},
    {effOfflinePrepare, 0, 2, 0.0f, 0},
    {effOfflineRun, 0, 2, 0.0f, 0},
    {effProcessVarIo, 0, 0, 0.0f, 0},
    {effSetSpeakerArrangement, 0, 0, 0.0f, 0},
    {effSetBlockSizeAndSampleRate, 0, 512, 44100.0f, 1},
    {effSetBypass, 0, 1, 0.0f, 0},
    {effSetBypass, 0, 0, 0.0f, 0},
    {effGetEffectName, 0, 0, 0.0f, 1},
    {effGetErrorText, 0, 0, 0.0f, 0},
    {effGetVendorString, 0, 0, 0.0f, 1},
    {effGetProductString, 0, 0, 0.0f, 1},
    {effGetVendorVersion, 0, 0, 0.0f, 1},
    {effVendorSpecific, 1, 2, 3.0f, 0},
    {effGetTailSize, 0, 0, 0.0f, 0},
    {effIdle, 0, 0, 0.0f, 0},
    {effGetIcon, 0, 0, 0.0f, 0},
    {effSetViewPosition, 10, 20, 0.0f, 0},
    {effGetParameterProperties, 0, 0, 0.0f, 0},
    {effKeysRequired, 0, 0, 0.0f, 1},
    {effGetVstVersion, 0, 0, 0.0f, 2200},
    // The editor's "key not used"; 0 from a build without an editor.
    {effEditKeyDown, 'a', 0, 0.0f, HALVORINE_EDITOR ? -1 : 0},
    {effEditKeyDown, 0, 37, 4.0f, HALVORINE_EDITOR ? -1 : 0},
    {effEditKeyUp, 'a', 0, 0.0f, HALVORINE_EDITOR ? -1 : 0},
    {effSetEditKnobMode, 0, 2, 0.0f, 0},
    {effGetMidiProgramName, 0, 0, 0.0f, 0},
    {effGetCurrentMidiProgram, 0, 0, 0.0f, -1},
    {effGetMidiProgramCategory, 0, 0, 0.0f, 0},
    {effHasMidiProgramsChanged, 0, 0, 0.0f, 0},
    {effGetMidiKeyName, 0, 0, 0.0f, 0},
    {effBeginSetProgram, 0, 0, 0.0f, 0},
    {effEndSetProgram, 0, 0, 0.0f, 0},
};

}  // namespace

TEST(Requests, EveryCodeAnswersAsTheTablesSay) {
    Host host;
    Instance e(host);
    ASSERT_TRUE(e);
    const Observed before = Observe(e.get());
    for (const Row& row : kRows) {
        SCOPED_TRACE(::testing::Message() << "opcode " << row.opcode << " index " << row.index);
        alignas(16) char scratch[512] = {};
        host.clear();
        EXPECT_EQ(dispatch(e.get(), row.opcode, row.index, row.value, scratch, row.opt), row.answer);
        EXPECT_TRUE(host.calls.empty()) << "made " << host.calls.size() << " host callbacks";
    }
    EXPECT_EQ(Observe(e.get()), before);

    // No chunk: the answer is 0 and the host's pointer stays as it was.
    for (VstInt32 isPreset : {0, 1}) {
        void* target = &host;
        EXPECT_EQ(dispatch(e.get(), effGetChunk, isPreset, 0, &target), 0);
        EXPECT_EQ(target, static_cast<void*>(&host));
    }
    VstEvents none{};
    EXPECT_EQ(dispatch(e.get(), effProcessEvents, 0, 0, &none), 1);
    EXPECT_EQ(Observe(e.get()), before);
}

TEST(Requests, UnknownCodesAnswerZeroAndChangeNothing) {
    Host host;
    Instance e(host);
    Instance twin(host);
    ASSERT_TRUE(e && twin);
    const Observed before = Observe(e.get());
    for (VstInt32 opcode : {69, 70, 71, 100, 1000, 0x7FFF, -1, -2, -25, -69, INT_MIN, INT_MAX}) {
        SCOPED_TRACE(opcode);
        blackbox::TextBuffer buffer;
        host.clear();
        EXPECT_EQ(dispatch(e.get(), opcode, 1, 2, buffer.bytes, 44.0f), 0);
        EXPECT_EQ(dispatch(e.get(), opcode, 0, 0, nullptr, 0.0f), 0);
        EXPECT_TRUE(buffer.untouched());
        EXPECT_TRUE(host.calls.empty());
    }
    EXPECT_EQ(Observe(e.get()), before);
    const blackbox::Stereo signal = blackbox::TestSignal(1024);
    EXPECT_EQ(blackbox::Render(e.get(), signal), blackbox::Render(twin.get(), signal));
}

TEST(Requests, NullPointersAreAnsweredWithoutTouchingAnything) {
    Host host;
    Instance e(host);
    ASSERT_TRUE(e);
    const Observed before = Observe(e.get());
    struct NullRow {
        VstInt32 opcode;
        VstInt32 index;
        VstIntPtr value;
        VstIntPtr answer;
    };
    const NullRow rows[] = {
        {effSetProgramName, 0, 0, 0},       {effGetProgramName, 0, 0, 0},
        {effGetParamLabel, 0, 0, 0},        {effGetParamLabel, 40, 0, 0},
        {effGetParamDisplay, 0, 0, 0},      {effGetParamName, 0, 0, 0},
        {effGetParamName, 6, 0, 0},         {effGetParamName, 21, 0, 0},
        {effEditGetRect, 0, 0, 0},          {effGetChunk, 0, 0, 0},
        {effGetChunk, 1, 0, 0},             {effSetChunk, 0, 100, 0},
        {effString2Parameter, 0, 0, 0},     {effGetProgramNameIndexed, 0, 0, 0},
        {effGetProgramNameIndexed, 7, 3, 0}, {effGetInputProperties, 0, 0, 0},
        {effGetOutputProperties, 0, 0, 0},  {effGetOutputProperties, 1, 0, 0},
        {effSetSpeakerArrangement, 0, 0, 0}, {effGetEffectName, 0, 0, 0},
        {effGetErrorText, 0, 0, 0},         {effGetVendorString, 0, 0, 0},
        {effGetProductString, 0, 0, 0},     {effCanDo, 0, 0, -1},
        {effGetParameterProperties, 0, 0, 0}, {effGetMidiProgramName, 0, 0, 0},
        {effGetMidiProgramCategory, 0, 0, 0}, {effGetMidiKeyName, 0, 0, 0},
    };
    for (const NullRow& row : rows) {
        SCOPED_TRACE(::testing::Message() << "opcode " << row.opcode << " index " << row.index);
        host.clear();
        EXPECT_EQ(dispatch(e.get(), row.opcode, row.index, row.value, nullptr), row.answer);
        EXPECT_TRUE(host.calls.empty());
    }
    EXPECT_EQ(Observe(e.get()), before);
}

TEST(Requests, ResumeAsksForMidiOnceAndSuspendAsksNothing) {
    Host host;
    Instance e(host);
    ASSERT_TRUE(e);
    host.clear();
    EXPECT_EQ(dispatch(e.get(), effMainsChanged, 0, 0), 0);
    EXPECT_TRUE(host.calls.empty());

    for (VstIntPtr on : {1, -1, 2}) {
        SCOPED_TRACE(on);
        host.clear();
        EXPECT_EQ(dispatch(e.get(), effMainsChanged, 0, on), 0);
        ASSERT_EQ(host.calls.size(), 1u);
        const testhost::Callback& c = host.calls[0];
        EXPECT_EQ(c.effect, e.get());
        EXPECT_EQ(c.opcode, audioMasterWantMidi);
        EXPECT_EQ(c.index, 0);
        EXPECT_EQ(c.value, 1);
        EXPECT_EQ(c.ptr, nullptr);
        EXPECT_EQ(c.opt, 0.0f);
    }
    host.clear();
    dispatch(e.get(), effMainsChanged, 0, 0);
    EXPECT_TRUE(host.calls.empty());
}
