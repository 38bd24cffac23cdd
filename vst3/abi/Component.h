// The component side of an instance: its life cycle, its buses, its state
// stream, and the host application it is given.
#pragma once

#include "Base.h"

namespace vst3abi {

using TBool = uint8_t;
using MediaType = int32_t;
using BusDirection = int32_t;
using BusType = int32_t;
using IoMode = int32_t;

enum MediaTypes : MediaType { kAudio = 0, kEvent = 1 };
enum BusDirections : BusDirection { kInput = 0, kOutput = 1 };
enum BusTypes : BusType { kMain = 0, kAux = 1 };

#if defined(_WIN32)
#pragma pack(push, 8)
#endif

struct BusInfo {
    enum : uint32_t { kDefaultActive = 1 << 0 };
    MediaType mediaType;
    BusDirection direction;
    int32_t channelCount;
    String128 name;
    BusType busType;
    uint32_t flags;
};

struct RoutingInfo {
    MediaType mediaType;
    int32_t busIndex;
    int32_t channel;
};

#if defined(_WIN32)
#pragma pack(pop)
#endif

// 22888DDB-156E45AE-8358B348-08190625
// Windows bytes: DB 8D 88 22 6E 15 AE 45 83 58 B3 48 08 19 06 25
class IPluginBase : public FUnknown {
public:
    virtual tresult VST3_CALL initialize(FUnknown* context) = 0;
    virtual tresult VST3_CALL terminate() = 0;
    static constexpr Uid iid{0x22888DDB, 0x156E45AE, 0x8358B348, 0x08190625};

protected:
    ~IPluginBase() = default;
};

// A byte stream the host lends for one state call.
// C3BF6EA2-30994752-9B6BF990-1EE33E9B
// Windows bytes: A2 6E BF C3 99 30 52 47 9B 6B F9 90 1E E3 3E 9B
class IBStream : public FUnknown {
public:
    enum SeekMode : int32_t { kIBSeekSet = 0, kIBSeekCur = 1, kIBSeekEnd = 2 };
    virtual tresult VST3_CALL read(void* buffer, int32_t numBytes, int32_t* numBytesRead) = 0;
    virtual tresult VST3_CALL write(void* buffer, int32_t numBytes, int32_t* numBytesWritten) = 0;
    virtual tresult VST3_CALL seek(int64_t pos, int32_t mode, int64_t* result) = 0;
    virtual tresult VST3_CALL tell(int64_t* pos) = 0;
    static constexpr Uid iid{0xC3BF6EA2, 0x30994752, 0x9B6BF990, 0x1EE33E9B};

protected:
    ~IBStream() = default;
};

// E831FF31-F2D54301-928EBBEE-25697802
// Windows bytes: 31 FF 31 E8 D5 F2 01 43 92 8E BB EE 25 69 78 02
class IComponent : public IPluginBase {
public:
    virtual tresult VST3_CALL getControllerClassId(TUID classId) = 0;
    virtual tresult VST3_CALL setIoMode(IoMode mode) = 0;
    virtual int32_t VST3_CALL getBusCount(MediaType type, BusDirection dir) = 0;
    virtual tresult VST3_CALL getBusInfo(MediaType type, BusDirection dir, int32_t index, BusInfo& bus) = 0;
    virtual tresult VST3_CALL getRoutingInfo(RoutingInfo& inInfo, RoutingInfo& outInfo) = 0;
    virtual tresult VST3_CALL activateBus(MediaType type, BusDirection dir, int32_t index, TBool state) = 0;
    virtual tresult VST3_CALL setActive(TBool state) = 0;
    virtual tresult VST3_CALL setState(IBStream* state) = 0;
    virtual tresult VST3_CALL getState(IBStream* state) = 0;
    static constexpr Uid iid{0xE831FF31, 0xF2D54301, 0x928EBBEE, 0x25697802};

protected:
    ~IComponent() = default;
};

// The host's own object, passed to initialize as its context.
// 58E595CC-DB2D4969-8B6AAF8C-36A664E5
// Windows bytes: CC 95 E5 58 2D DB 69 49 8B 6A AF 8C 36 A6 64 E5
class IHostApplication : public FUnknown {
public:
    virtual tresult VST3_CALL getName(String128 name) = 0;
    virtual tresult VST3_CALL createInstance(TUID cid, TUID iid, void** obj) = 0;
    static constexpr Uid iid{0x58E595CC, 0xDB2D4969, 0x8B6AAF8C, 0x36A664E5};

protected:
    ~IHostApplication() = default;
};

}  // namespace vst3abi
