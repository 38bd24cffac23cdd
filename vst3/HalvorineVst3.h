// The VST3 edition's plug-in object: one object that is both the audio
// component (IComponent, IAudioProcessor) and its edit controller
// (IEditController, IUnitInfo), around the same gate engine as the other
// editions. It translates VST3's calls and structures; what it does lives
// in edition/, shared with the other editions that have programs, bypass
// and sample-accurate changes.
//
// One object rather than a processor and a controller joined by messages:
// the hosts this edition is tested in take it directly (they ask the
// component for IEditController first), state needs no copying between two
// halves, and nothing crosses a connection point on the audio thread.
//
// Two sides all the same, as a host sees them:
// - the processor side (audio thread: process; the host's set-up calls
//   while not processing) is an edition::Processor: the engine, the
//   processor's program and the bypass fade. Parameter changes reach it
//   only through process, at their sample offsets. It publishes what it
//   runs, whole, in a StateSnapshot;
// - the controller side (the host's user-interface thread) is an
//   edition::Controller, the values that the host and the editor show,
//   with the component handler and the view.
// getState and setState are the one pair for both: they save what the
// processor runs (the snapshot), and restore both sides.
//
// Buses: the main stereo input and output, and a second input, "Key", an
// auxiliary bus that hosts offer as a side chain. It is inactive until the
// host activates it, mono or stereo; while it is inactive the processor is
// given no key. The controller
// side's calls are in HalvorineVst3Controller.cpp.
//
// Nothing calls back into the host from inside a host call: what the host
// must hear of waits in DeferredNotices for its user-interface thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "edition/Controller.h"
#include "EditorController.h"
#include "edition/Processor.h"
#include "abi/Component.h"
#include "abi/Controller.h"
#include "abi/Processor.h"
#include "view/EditorView.h"

namespace vst3edition {

// The fixed class identifier of the plug-in.
extern const vst3abi::Uid kClassId;
constexpr vst3abi::ProgramListID kProgramListId = 1;

// The input buses: the main one, then the key.
constexpr int32_t kMainBus = 0;
constexpr int32_t kKeyBus = 1;

// Up to 127 characters of ASCII `text`, and the end mark.
void CopyUtf16(vst3abi::String128 out, const char* text);
// The next piece of a state from an IBStream, for edition::ReadStateFrom.
int64_t ReadPiece(void* stream, unsigned char* out, size_t size);

class HalvorineVst3 final : public vst3abi::IComponent,
                            public vst3abi::IAudioProcessor,
                            public vst3abi::IEditController,
                            public vst3abi::IUnitInfo,
                            public vst3abi::IProcessContextRequirements,
                            public EditorViewOwner,
                            public EditorController,
                            private edition::ValueObserver {
public:
    // With one reference, the caller's.
    HalvorineVst3();

    // FUnknown
    vst3abi::tresult VST3_CALL queryInterface(const vst3abi::TUID iid, void** obj) override;
    uint32_t VST3_CALL addRef() override;
    uint32_t VST3_CALL release() override;

    // IPluginBase (the component's and the controller's)
    vst3abi::tresult VST3_CALL initialize(vst3abi::FUnknown* context) override;
    vst3abi::tresult VST3_CALL terminate() override;

    // IComponent
    vst3abi::tresult VST3_CALL getControllerClassId(vst3abi::TUID classId) override;
    vst3abi::tresult VST3_CALL setIoMode(vst3abi::IoMode mode) override;
    int32_t VST3_CALL getBusCount(vst3abi::MediaType type, vst3abi::BusDirection dir) override;
    vst3abi::tresult VST3_CALL getBusInfo(vst3abi::MediaType type, vst3abi::BusDirection dir, int32_t index,
                                          vst3abi::BusInfo& bus) override;
    vst3abi::tresult VST3_CALL getRoutingInfo(vst3abi::RoutingInfo& inInfo, vst3abi::RoutingInfo& outInfo) override;
    vst3abi::tresult VST3_CALL activateBus(vst3abi::MediaType type, vst3abi::BusDirection dir, int32_t index,
                                           vst3abi::TBool state) override;
    vst3abi::tresult VST3_CALL setActive(vst3abi::TBool state) override;
    // Also IEditController's: the same bytes for both.
    vst3abi::tresult VST3_CALL setState(vst3abi::IBStream* state) override;
    vst3abi::tresult VST3_CALL getState(vst3abi::IBStream* state) override;

    // IAudioProcessor
    vst3abi::tresult VST3_CALL setBusArrangements(vst3abi::SpeakerArrangement* inputs, int32_t numIns,
                                                  vst3abi::SpeakerArrangement* outputs, int32_t numOuts) override;
    vst3abi::tresult VST3_CALL getBusArrangement(vst3abi::BusDirection dir, int32_t index,
                                                 vst3abi::SpeakerArrangement& arr) override;
    vst3abi::tresult VST3_CALL canProcessSampleSize(int32_t symbolicSampleSize) override;
    uint32_t VST3_CALL getLatencySamples() override;
    vst3abi::tresult VST3_CALL setupProcessing(vst3abi::ProcessSetup& setup) override;
    vst3abi::tresult VST3_CALL setProcessing(vst3abi::TBool state) override;
    vst3abi::tresult VST3_CALL process(vst3abi::ProcessData& data) override;
    uint32_t VST3_CALL getTailSamples() override;

    // IProcessContextRequirements
    uint32_t VST3_CALL getProcessContextRequirements() override;

    // IEditController
    vst3abi::tresult VST3_CALL setComponentState(vst3abi::IBStream* state) override;
    int32_t VST3_CALL getParameterCount() override;
    vst3abi::tresult VST3_CALL getParameterInfo(int32_t paramIndex, vst3abi::ParameterInfo& info) override;
    vst3abi::tresult VST3_CALL getParamStringByValue(vst3abi::ParamID id, vst3abi::ParamValue valueNormalized,
                                                     vst3abi::String128 string) override;
    vst3abi::tresult VST3_CALL getParamValueByString(vst3abi::ParamID id, vst3abi::TChar* string,
                                                     vst3abi::ParamValue& valueNormalized) override;
    vst3abi::ParamValue VST3_CALL normalizedParamToPlain(vst3abi::ParamID id,
                                                        vst3abi::ParamValue valueNormalized) override;
    vst3abi::ParamValue VST3_CALL plainParamToNormalized(vst3abi::ParamID id, vst3abi::ParamValue plainValue) override;
    vst3abi::ParamValue VST3_CALL getParamNormalized(vst3abi::ParamID id) override;
    vst3abi::tresult VST3_CALL setParamNormalized(vst3abi::ParamID id, vst3abi::ParamValue value) override;
    vst3abi::tresult VST3_CALL setComponentHandler(vst3abi::IComponentHandler* handler) override;
    vst3abi::IPlugView* VST3_CALL createView(vst3abi::FIDString name) override;

    // IUnitInfo: one unit, the root, with the factory program list.
    int32_t VST3_CALL getUnitCount() override;
    vst3abi::tresult VST3_CALL getUnitInfo(int32_t unitIndex, vst3abi::UnitInfo& info) override;
    int32_t VST3_CALL getProgramListCount() override;
    vst3abi::tresult VST3_CALL getProgramListInfo(int32_t listIndex, vst3abi::ProgramListInfo& info) override;
    vst3abi::tresult VST3_CALL getProgramName(vst3abi::ProgramListID listId, int32_t programIndex,
                                              vst3abi::String128 name) override;
    vst3abi::tresult VST3_CALL getProgramInfo(vst3abi::ProgramListID listId, int32_t programIndex,
                                              vst3abi::CString attributeId,
                                              vst3abi::String128 attributeValue) override;
    vst3abi::tresult VST3_CALL hasProgramPitchNames(vst3abi::ProgramListID listId, int32_t programIndex) override;
    vst3abi::tresult VST3_CALL getProgramPitchName(vst3abi::ProgramListID listId, int32_t programIndex,
                                                   int16_t midiPitch, vst3abi::String128 name) override;
    vst3abi::UnitID VST3_CALL getSelectedUnit() override;
    vst3abi::tresult VST3_CALL selectUnit(vst3abi::UnitID unitId) override;
    vst3abi::tresult VST3_CALL getUnitByBus(vst3abi::MediaType type, vst3abi::BusDirection dir, int32_t busIndex,
                                            int32_t channel, vst3abi::UnitID& unitId) override;
    vst3abi::tresult VST3_CALL setUnitProgramData(int32_t listOrUnitId, int32_t programIndex,
                                                  vst3abi::IBStream* data) override;

    // EditorViewOwner
    float editorValue(int index) const override;
    EditorController& editorController() override { return *this; }
    void viewIdle() override;
    void retainOwner() override { addRef(); }
    void releaseOwner() override { release(); }
    void viewAttached(vst3abi::IPlugView* view) override;
    void viewDestroyed(vst3abi::IPlugView* view) override;

    // EditorController: the view's edits, framed for the host.
    void setParameterAutomated(int index, float value) override;
    void beginGesture(int index) override;
    void endGesture(int index) override;
    void keySourceChosen(int choice) override;

    // For the view: the Key choice (0 to 4) the controller holds, and
    // whether the processor's last block wanted a key it did not get.
    int editorKeySource() const override;
    bool editorKeyMissing() const override { return processor_.keyMissing(); }
    int editorProgram() const override;
    bool editorActivity(float level[16], float gain[16]) override;
    float learnRate() override { return static_cast<float>(processor_.sampleRate()); }

private:
    ~HalvorineVst3();

    // edition::ValueObserver: open views follow the values.
    void soundValueChanged(int index, double value) override;
    // Tells the host what waited in the controller's notices. Only from a
    // host call on its user-interface thread that holds no lock of the
    // host's (see DeferredNotices).
    void tellHost();

    std::atomic<uint32_t> refs_{1};
    bool initialized_ = false;  // between initialize and terminate
    vst3abi::FUnknown* hostContext_ = nullptr;

    edition::Processor processor_;
    // The key bus, as the host set it up while not processing; process
    // reads it.
    std::atomic<bool> keyActive_{false};
    std::atomic<bool> keyMono_{false};
    edition::Controller controller_{this};
    vst3abi::IComponentHandler* handler_ = nullptr;
    // When the host may hear of a program's values (see tellHost): the
    // blocks that process has begun, whether the host runs them, and the
    // count when a program was last chosen (user-interface thread).
    std::atomic<uint32_t> blocksBegun_{0};
    std::atomic<bool> processing_{false};
    uint32_t programChosenAt_ = 0;
    std::vector<vst3abi::IPlugView*> views_;  // every view not yet gone; the last attached has the window
};

}  // namespace vst3edition
