// The module's factory: what a host asks first, before any instance
// exists. Classes are described in 8-bit texts (PClassInfo, PClassInfo2)
// and, for hosts that ask, in UTF-16 (PClassInfoW).
#pragma once

#include "Base.h"

namespace vst3abi {

#if defined(_WIN32)
#pragma pack(push, 8)
#endif

struct PFactoryInfo {
    enum : int32_t { kUnicode = 1 << 4 };  // the classes are also described in UTF-16
    char vendor[64];
    char url[256];
    char email[128];
    int32_t flags;
};

constexpr int32_t kManyInstances = 0x7FFFFFFF;

struct PClassInfo {
    TUID cid;
    int32_t cardinality;
    char category[32];
    char name[64];
};

struct PClassInfo2 {
    TUID cid;
    int32_t cardinality;
    char category[32];
    char name[64];
    uint32_t classFlags;
    char subCategories[128];  // "|"-separated
    char vendor[64];
    char version[64];
    char sdkVersion[64];
};

struct PClassInfoW {
    TUID cid;
    int32_t cardinality;
    char category[32];
    char16 name[64];
    uint32_t classFlags;
    char subCategories[128];
    char16 vendor[64];
    char16 version[64];
    char16 sdkVersion[64];
};

#if defined(_WIN32)
#pragma pack(pop)
#endif

// 7A4D811C-52114A1F-AED9D2EE-0B43BF9F
// Windows bytes: 1C 81 4D 7A 11 52 1F 4A AE D9 D2 EE 0B 43 BF 9F
class IPluginFactory : public FUnknown {
public:
    virtual tresult VST3_CALL getFactoryInfo(PFactoryInfo* info) = 0;
    virtual int32_t VST3_CALL countClasses() = 0;
    virtual tresult VST3_CALL getClassInfo(int32_t index, PClassInfo* info) = 0;
    virtual tresult VST3_CALL createInstance(FIDString cid, FIDString iid, void** obj) = 0;
    static constexpr Uid iid{0x7A4D811C, 0x52114A1F, 0xAED9D2EE, 0x0B43BF9F};

protected:
    ~IPluginFactory() = default;
};

// 0007B650-F24B4C0B-A464EDB9-F00B2ABB
// Windows bytes: 50 B6 07 00 4B F2 0B 4C A4 64 ED B9 F0 0B 2A BB
class IPluginFactory2 : public IPluginFactory {
public:
    virtual tresult VST3_CALL getClassInfo2(int32_t index, PClassInfo2* info) = 0;
    static constexpr Uid iid{0x0007B650, 0xF24B4C0B, 0xA464EDB9, 0xF00B2ABB};

protected:
    ~IPluginFactory2() = default;
};

// 4555A2AB-C1234E57-9B122910-36878931
// Windows bytes: AB A2 55 45 23 C1 57 4E 9B 12 29 10 36 87 89 31
class IPluginFactory3 : public IPluginFactory2 {
public:
    virtual tresult VST3_CALL getClassInfoUnicode(int32_t index, PClassInfoW* info) = 0;
    virtual tresult VST3_CALL setHostContext(FUnknown* context) = 0;
    static constexpr Uid iid{0x4555A2AB, 0xC1234E57, 0x9B122910, 0x36878931};

protected:
    ~IPluginFactory3() = default;
};

}  // namespace vst3abi
