// The VST3 edition's plug-in object: one object that is both the audio
// component (IComponent, IAudioProcessor) and its edit controller
// (IEditController, IUnitInfo), around the same gate engine as the other
// editions.
//
// One object rather than a processor and a controller joined by messages:
// the hosts this edition is tested in take it directly (they ask the
// component for IEditController first), state needs no copying between two
// halves, and nothing crosses a connection point on the audio thread.
//
// Two sides all the same, as a host sees them:
// - the processor side (audio thread: process; the host's set-up calls
//   while not processing) owns the engine, the processor's program and the
//   bypass fade. Parameter changes reach it only through process, at their
//   sample offsets. It publishes what it runs, whole, in a StateSnapshot;
// - the controller side (the host's user-interface thread) owns the values
//   that the host and the editor show, the component handler and the view.
// getState and setState are the one pair for both: they save what the
// processor runs (the snapshot), and restore both sides.
//
// Nothing calls back into the host from inside a host call: what the host
// must hear of waits in DeferredNotices for its user-interface thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "DeferredNotices.h"
#include "EditorController.h"
#include "GateEngine.h"
#include "StateSnapshot.h"
#include "Vst3Parameters.h"
#include "Vst3State.h"
#include "abi/Component.h"
#include "abi/Controller.h"
#include "abi/Processor.h"
#include "view/EditorView.h"

namespace vst3edition {

// The fixed class identifier of the plug-in.
extern const vst3abi::Uid kClassId;
constexpr vst3abi::ProgramListID kProgramListId = 1;

class HalvorineVst3 final : public vst3abi::IComponent,
                            public vst3abi::IAudioProcessor,
                            public vst3abi::IEditController,
                            public vst3abi::IUnitInfo,
                            public vst3abi::IProcessContextRequirements,
                            public EditorViewOwner,
                            public EditorController {
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

private:
    ~HalvorineVst3();

    // Audio thread.
    void takeLoadedState();
    void applyChange(vst3abi::ParamID id, vst3abi::ParamValue value);
    void setSound(int index, float value);
    void publish();
    void reportProgramValues(vst3abi::IParameterChanges* out, int32_t offset);
    void clearAfterSilence();
    void countSilence(const vst3abi::AudioBusBuffers& input, int32_t frames);
    void render(const float* inL, const float* inR, float* outL, float* outR, int32_t frames);
    void renderBypassFade(const float* inL, const float* inR, float* outL, float* outR, int32_t frames,
                          double target);

    // User-interface thread.
    void setControllerValue(int index, double value);
    void takeState(const State& state);
    // Tells the host what waited in notices_. Only from a host call on its
    // user-interface thread that holds no lock of the host's (see there).
    void tellHost();

    std::atomic<uint32_t> refs_{1};
    bool initialized_ = false;  // between initialize and terminate
    vst3abi::FUnknown* hostContext_ = nullptr;

    // Processor side.
    gate::GateEngine engine_;
    State live_{};  // audio thread: what the engine runs, as the state saves it
    uint32_t liveGeneration_ = 0;  // the snapshot's loads that live_ has taken up
    bool unpublished_ = false;  // live_ changed since it was last published
    bool programTaken_ = false;  // a program change was applied in this block
    StateSnapshot snapshot_;
    std::atomic<double> sampleRate_{44100.0};
    std::atomic<bool> bypass_{false};  // the last Bypass value received (or restored)
    // Consecutive input frames the host reported silent or that were zero
    // (counted up to the tail and one more), the tail of the current
    // design (stale after a change of Start, Finish or Q), and whether the
    // bands were cleared since the input was last heard.
    uint32_t silentFrames_ = 0;
    uint32_t tailFrames_ = 0;
    bool tailStale_ = true;
    bool bandsCleared_ = false;
    double bypassMix_ = 0.0;  // 0: the gate's output, 1: the input
    static constexpr int kPiece = 64;  // frames of dry signal kept while fading
    float dryL_[kPiece] = {}, dryR_[kPiece] = {};

    // Controller side.
    double values_[kNumParameters] = {};
    DeferredNotices notices_;
    vst3abi::IComponentHandler* handler_ = nullptr;
    std::vector<vst3abi::IPlugView*> views_;  // every view not yet gone; the last attached has the window
};

}  // namespace vst3edition
