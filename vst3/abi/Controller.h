// The edit controller: parameters as the host shows and automates them,
// the host's handler for edits, and the units with their program list.
#pragma once

#include "Base.h"
#include "Component.h"
#include "Processor.h"

namespace vst3abi {

using UnitID = int32_t;
using ProgramListID = int32_t;
using TChar = char16;
using CString = const char*;

constexpr UnitID kRootUnitId = 0;
constexpr UnitID kNoParentUnitId = -1;
constexpr ProgramListID kNoProgramListId = -1;

class IPlugView;  // the editor's view, declared with the view

#if defined(_WIN32)
#pragma pack(push, 8)
#endif

struct ParameterInfo {
    enum ParameterFlags : int32_t {
        kNoFlags = 0,
        kCanAutomate = 1 << 0,
        kIsReadOnly = 1 << 1,
        kIsWrapAround = 1 << 2,
        kIsList = 1 << 3,
        kIsHidden = 1 << 4,
        kIsProgramChange = 1 << 15,
        kIsBypass = 1 << 16,
    };
    ParamID id;
    String128 title;
    String128 shortTitle;
    String128 units;
    int32_t stepCount;  // 0: continuous
    ParamValue defaultNormalizedValue;
    UnitID unitId;
    int32_t flags;
};

struct UnitInfo {
    UnitID id;
    UnitID parentUnitId;
    String128 name;
    ProgramListID programListId;
};

struct ProgramListInfo {
    ProgramListID id;
    String128 name;
    int32_t programCount;
};

#if defined(_WIN32)
#pragma pack(pop)
#endif

// restartComponent's flags.
enum RestartFlags : int32_t {
    kReloadComponent = 1 << 0,
    kIoChanged = 1 << 1,
    kParamValuesChanged = 1 << 2,
    kLatencyChanged = 1 << 3,
    kParamTitlesChanged = 1 << 4,
};

// The host's side of the controller: edits and changes it must hear of.
// 93A0BEA3-0BD045DB-8E890B0C-C1E46AC6
// Windows bytes: A3 BE A0 93 D0 0B DB 45 8E 89 0B 0C C1 E4 6A C6
class IComponentHandler : public FUnknown {
public:
    virtual tresult VST3_CALL beginEdit(ParamID id) = 0;
    virtual tresult VST3_CALL performEdit(ParamID id, ParamValue valueNormalized) = 0;
    virtual tresult VST3_CALL endEdit(ParamID id) = 0;
    virtual tresult VST3_CALL restartComponent(int32_t flags) = 0;
    static constexpr Uid iid{0x93A0BEA3, 0x0BD045DB, 0x8E890B0C, 0xC1E46AC6};

protected:
    ~IComponentHandler() = default;
};

// DCD7BBE3-7742448D-A874AACC-979C759E
// Windows bytes: E3 BB D7 DC 42 77 8D 44 A8 74 AA CC 97 9C 75 9E
class IEditController : public IPluginBase {
public:
    virtual tresult VST3_CALL setComponentState(IBStream* state) = 0;
    virtual tresult VST3_CALL setState(IBStream* state) = 0;
    virtual tresult VST3_CALL getState(IBStream* state) = 0;
    virtual int32_t VST3_CALL getParameterCount() = 0;
    virtual tresult VST3_CALL getParameterInfo(int32_t paramIndex, ParameterInfo& info) = 0;
    virtual tresult VST3_CALL getParamStringByValue(ParamID id, ParamValue valueNormalized, String128 string) = 0;
    virtual tresult VST3_CALL getParamValueByString(ParamID id, TChar* string, ParamValue& valueNormalized) = 0;
    virtual ParamValue VST3_CALL normalizedParamToPlain(ParamID id, ParamValue valueNormalized) = 0;
    virtual ParamValue VST3_CALL plainParamToNormalized(ParamID id, ParamValue plainValue) = 0;
    virtual ParamValue VST3_CALL getParamNormalized(ParamID id) = 0;
    virtual tresult VST3_CALL setParamNormalized(ParamID id, ParamValue value) = 0;
    virtual tresult VST3_CALL setComponentHandler(IComponentHandler* handler) = 0;
    virtual IPlugView* VST3_CALL createView(FIDString name) = 0;
    static constexpr Uid iid{0xDCD7BBE3, 0x7742448D, 0xA874AACC, 0x979C759E};

protected:
    ~IEditController() = default;
};

// 3D4BD6B5-913A4FD2-A886E768-A5EB92C1
// Windows bytes: B5 D6 4B 3D 3A 91 D2 4F A8 86 E7 68 A5 EB 92 C1
class IUnitInfo : public FUnknown {
public:
    virtual int32_t VST3_CALL getUnitCount() = 0;
    virtual tresult VST3_CALL getUnitInfo(int32_t unitIndex, UnitInfo& info) = 0;
    virtual int32_t VST3_CALL getProgramListCount() = 0;
    virtual tresult VST3_CALL getProgramListInfo(int32_t listIndex, ProgramListInfo& info) = 0;
    virtual tresult VST3_CALL getProgramName(ProgramListID listId, int32_t programIndex, String128 name) = 0;
    virtual tresult VST3_CALL getProgramInfo(ProgramListID listId, int32_t programIndex, CString attributeId,
                                             String128 attributeValue) = 0;
    virtual tresult VST3_CALL hasProgramPitchNames(ProgramListID listId, int32_t programIndex) = 0;
    virtual tresult VST3_CALL getProgramPitchName(ProgramListID listId, int32_t programIndex, int16_t midiPitch,
                                                  String128 name) = 0;
    virtual UnitID VST3_CALL getSelectedUnit() = 0;
    virtual tresult VST3_CALL selectUnit(UnitID unitId) = 0;
    virtual tresult VST3_CALL getUnitByBus(MediaType type, BusDirection dir, int32_t busIndex, int32_t channel,
                                           UnitID& unitId) = 0;
    virtual tresult VST3_CALL setUnitProgramData(int32_t listOrUnitId, int32_t programIndex, IBStream* data) = 0;
    static constexpr Uid iid{0x3D4BD6B5, 0x913A4FD2, 0xA886E768, 0xA5EB92C1};

protected:
    ~IUnitInfo() = default;
};

}  // namespace vst3abi
