// The controller side of the VST3 plug-in object (HalvorineVst3.h):
// IEditController, IUnitInfo and the editor view's owner, translated to
// and from the format-free edition::Controller.
#include "HalvorineVst3.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "FloatingPointGuard.h"

namespace vst3edition {

using namespace vst3abi;

// ---------------------------------------------------------------------------
// IEditController

void HalvorineVst3::soundValueChanged(int index, double value) {
#if HALVORINE_VST3_VIEW
    for (IPlugView* view : views_)
        EditorViewParameterChanged(view, index, static_cast<float>(value));
#else
    (void)index;
    (void)value;
#endif
}

tresult VST3_CALL HalvorineVst3::setComponentState(IBStream* stream) {
    fpenv::FloatingPointGuard guard;
    if (stream == nullptr)
        return kInvalidArgument;
    edition::State state{};
    if (!edition::ReadStateFrom(ReadPiece, stream, state))
        return kResultFalse;
    controller_.takeState(state);
    return kResultOk;
}

int32_t VST3_CALL HalvorineVst3::getParameterCount() { return edition::kNumParameters; }

tresult VST3_CALL HalvorineVst3::getParameterInfo(int32_t paramIndex, ParameterInfo& info) {
    edition::ParameterDescription description{};
    if (paramIndex < 0 || !edition::DescribeParameter(static_cast<unsigned>(paramIndex), description))
        return kInvalidArgument;
    info.id = static_cast<ParamID>(paramIndex);
    CopyUtf16(info.title, description.title);
    CopyUtf16(info.shortTitle, description.shortTitle);
    CopyUtf16(info.units, description.units);
    info.stepCount = description.stepCount;
    info.defaultNormalizedValue = description.defaultValue;
    info.unitId = kRootUnitId;
    info.flags = ParameterInfo::kCanAutomate;
    if (description.isList)
        info.flags |= ParameterInfo::kIsList;
    if (description.isProgram)
        info.flags |= ParameterInfo::kIsProgramChange;
    if (description.isBypass)
        info.flags |= ParameterInfo::kIsBypass;
    return kResultOk;
}

tresult VST3_CALL HalvorineVst3::getParamStringByValue(ParamID id, ParamValue valueNormalized, String128 string) {
    fpenv::FloatingPointGuard guard;
    if (string == nullptr)
        return kInvalidArgument;
    std::string text;
    if (!edition::ValueText(id, valueNormalized, text))
        return kInvalidArgument;
    CopyUtf16(string, text.c_str());
    return kResultOk;
}

tresult VST3_CALL HalvorineVst3::getParamValueByString(ParamID id, TChar* string, ParamValue& valueNormalized) {
    fpenv::FloatingPointGuard guard;
    if (string == nullptr)
        return kInvalidArgument;
    std::string text;
    for (int i = 0; i < 128 && string[i] != 0; ++i) {
        if (string[i] > 0x7E)
            return kResultFalse;  // no value text has anything but ASCII
        text += static_cast<char>(string[i]);
    }
    double value = 0.0;
    if (!edition::ValueFromText(id, text, value))
        return kResultFalse;
    valueNormalized = value;
    return kResultOk;
}

ParamValue VST3_CALL HalvorineVst3::normalizedParamToPlain(ParamID id, ParamValue valueNormalized) {
    fpenv::FloatingPointGuard guard;
    return edition::PlainFromNormalized(id, valueNormalized);
}

ParamValue VST3_CALL HalvorineVst3::plainParamToNormalized(ParamID id, ParamValue plainValue) {
    fpenv::FloatingPointGuard guard;
    return edition::NormalizedFromPlain(id, plainValue);
}

ParamValue VST3_CALL HalvorineVst3::getParamNormalized(ParamID id) { return controller_.value(id); }

tresult VST3_CALL HalvorineVst3::setParamNormalized(ParamID id, ParamValue value) {
    fpenv::FloatingPointGuard guard;
    if (id == edition::kProgramId)
        programChosenAt_ = blocksBegun_.load(std::memory_order_acquire);
    return controller_.setValue(id, value) ? kResultOk : kInvalidArgument;
}

tresult VST3_CALL HalvorineVst3::setComponentHandler(IComponentHandler* handler) {
    if (handler == handler_)
        return kResultOk;
    if (handler != nullptr)
        handler->addRef();
    if (handler_ != nullptr)
        handler_->release();
    handler_ = handler;
    return kResultOk;
}

IPlugView* VST3_CALL HalvorineVst3::createView(FIDString name) {
#if HALVORINE_VST3_VIEW
    fpenv::FloatingPointGuard guard;
    if (name == nullptr || std::strcmp(name, "editor") != 0)
        return nullptr;
    // A host may make a new view before it releases the old one: each gets
    // its own, and the one attached last shows the window.
    try {
        views_.reserve(views_.size() + 1);
    } catch (...) {
        return nullptr;
    }
    IPlugView* view = CreateEditorView(*this);
    if (view != nullptr)
        views_.push_back(view);
    return view;
#else
    (void)name;
    return nullptr;
#endif
}

// A host that follows the processor's output changes learns a program's
// values from the block that applies it. Told of new values before then,
// it finds them unlike its own and takes them for the user's edits: Ardour
// marks the preset it has just loaded as changed. So while the host runs
// blocks, the notice waits until a second block has begun since the
// choice: the first applied the program and reported the values, and a
// host runs one block of a plug-in after the other, so it has taken that
// report. Every other host still hears, a block or two later.
void HalvorineVst3::tellHost() {
    if (processing_.load(std::memory_order_acquire) &&
        blocksBegun_.load(std::memory_order_acquire) - programChosenAt_ < 2)
        return;
    const uint32_t notices = controller_.takeNotices();
    if (handler_ != nullptr && (notices & edition::DeferredNotices::kValuesChanged) != 0)
        handler_->restartComponent(kParamValuesChanged);
}

// ---------------------------------------------------------------------------
// The editor view's owner

void HalvorineVst3::viewIdle() { tellHost(); }

float HalvorineVst3::editorValue(int index) const {
    return index >= 0 && index < edition::kNumSound ? static_cast<float>(controller_.value(index)) : 0.0f;
}

void HalvorineVst3::viewAttached(IPlugView* view) {
    for (IPlugView* other : views_)
        if (other != view)
            EditorViewCloseWindow(other);
}

void HalvorineVst3::viewDestroyed(IPlugView* view) {
    views_.erase(std::remove(views_.begin(), views_.end(), view), views_.end());
}

void HalvorineVst3::setParameterAutomated(int index, float value) {
    if (index < 0 || index >= edition::kNumSound)
        return;
    const double held = controller_.setFromEditor(index, value);
    if (handler_ != nullptr)
        handler_->performEdit(static_cast<ParamID>(index), held);
}

void HalvorineVst3::beginGesture(int index) {
    if (handler_ != nullptr && index >= 0 && index < edition::kNumSound)
        handler_->beginEdit(static_cast<ParamID>(index));
}

void HalvorineVst3::endGesture(int index) {
    if (handler_ != nullptr && index >= 0 && index < edition::kNumSound)
        handler_->endEdit(static_cast<ParamID>(index));
}

// A click on the selector is a whole edit of Key; the host passes it on to
// the processor as it does its own.
void HalvorineVst3::keySourceChosen(int choice) {
    if (choice < 0 || choice >= edition::kKeyChoices)
        return;
    const double value = edition::NormalizedFromKey(choice);
    controller_.setValue(edition::kKeyId, value);
    if (handler_ == nullptr)
        return;
    handler_->beginEdit(edition::kKeyId);
    handler_->performEdit(edition::kKeyId, value);
    handler_->endEdit(edition::kKeyId);
}

int HalvorineVst3::editorKeySource() const { return edition::KeyFromNormalized(controller_.value(edition::kKeyId)); }

bool HalvorineVst3::editorActivity(float level[16], float gain[16]) { return processor_.takeActivity(level, gain); }

int HalvorineVst3::editorProgram() const {
    return edition::ProgramFromNormalized(controller_.value(edition::kProgramId));
}

// ---------------------------------------------------------------------------
// IUnitInfo

int32_t VST3_CALL HalvorineVst3::getUnitCount() { return 1; }

tresult VST3_CALL HalvorineVst3::getUnitInfo(int32_t unitIndex, UnitInfo& info) {
    if (unitIndex != 0)
        return kInvalidArgument;
    info.id = kRootUnitId;
    info.parentUnitId = kNoParentUnitId;
    CopyUtf16(info.name, "Root");
    info.programListId = kProgramListId;
    return kResultOk;
}

int32_t VST3_CALL HalvorineVst3::getProgramListCount() { return 1; }

tresult VST3_CALL HalvorineVst3::getProgramListInfo(int32_t listIndex, ProgramListInfo& info) {
    if (listIndex != 0)
        return kInvalidArgument;
    info.id = kProgramListId;
    CopyUtf16(info.name, "Factory Programs");
    info.programCount = params::kNumPrograms;
    return kResultOk;
}

tresult VST3_CALL HalvorineVst3::getProgramName(ProgramListID listId, int32_t programIndex, String128 name) {
    if (listId != kProgramListId || programIndex < 0 || programIndex >= params::kNumPrograms || name == nullptr)
        return kInvalidArgument;
    CopyUtf16(name, params::kProgramNames[programIndex]);
    return kResultOk;
}

tresult VST3_CALL HalvorineVst3::getProgramInfo(ProgramListID, int32_t, CString, String128) { return kResultFalse; }
tresult VST3_CALL HalvorineVst3::hasProgramPitchNames(ProgramListID, int32_t) { return kResultFalse; }
tresult VST3_CALL HalvorineVst3::getProgramPitchName(ProgramListID, int32_t, int16_t, String128) {
    return kResultFalse;
}
UnitID VST3_CALL HalvorineVst3::getSelectedUnit() { return kRootUnitId; }
tresult VST3_CALL HalvorineVst3::selectUnit(UnitID unitId) {
    return unitId == kRootUnitId ? kResultOk : kInvalidArgument;
}
tresult VST3_CALL HalvorineVst3::getUnitByBus(MediaType, BusDirection, int32_t, int32_t, UnitID& unitId) {
    unitId = kRootUnitId;
    return kResultOk;
}
tresult VST3_CALL HalvorineVst3::setUnitProgramData(int32_t, int32_t, IBStream*) { return kNotImplemented; }

}  // namespace vst3edition
