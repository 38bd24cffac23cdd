// The foundation of the VST3 binary interface, declared from its published
// facts: the calling convention, the result codes, interface identifiers and
// the reference-counted base interface every other one derives from.
//
// Only what this plug-in uses or must answer is declared, in vst3/abi/.
// C++ names are ours; what a host relies on is the layout: the order of the
// virtual methods (each interface's methods follow its base's), the calling
// convention, the 16 identifier bytes and the structures' field order.
#pragma once

#include <cstdint>
#include <cstring>

#if defined(_WIN32) && !defined(_WIN64)
#define VST3_CALL __stdcall
#else
#define VST3_CALL
#endif

namespace vst3abi {

using tresult = int32_t;
using TUID = char[16];
using FIDString = const char*;
using char16 = char16_t;
using String128 = char16[128];

// Result codes. Windows hosts use the COM values; every other platform has
// small integers of its own.
#if defined(_WIN32)
constexpr tresult kNoInterface = static_cast<tresult>(0x80004002u);
constexpr tresult kResultOk = 0;
constexpr tresult kResultTrue = 0;
constexpr tresult kResultFalse = 1;
constexpr tresult kInvalidArgument = static_cast<tresult>(0x80070057u);
constexpr tresult kNotImplemented = static_cast<tresult>(0x80004001u);
constexpr tresult kInternalError = static_cast<tresult>(0x80004005u);
constexpr tresult kNotInitialized = static_cast<tresult>(0x8000FFFFu);
constexpr tresult kOutOfMemory = static_cast<tresult>(0x8007000Eu);
#else
constexpr tresult kNoInterface = -1;
constexpr tresult kResultOk = 0;
constexpr tresult kResultTrue = 0;
constexpr tresult kResultFalse = 1;
constexpr tresult kInvalidArgument = 2;
constexpr tresult kNotImplemented = 3;
constexpr tresult kInternalError = 4;
constexpr tresult kNotInitialized = 5;
constexpr tresult kOutOfMemory = 6;
#endif

// An interface or class identifier, written as four 32-bit words
// l1-l2-l3-l4 (the way identifiers are published). On Windows the bytes
// take the GUID layout, as COM does: l1 little-endian, then the two halves
// of l2 each little-endian (high half first), then l3 and l4 big-endian.
// Everywhere else the four words are big-endian, one after the other.
struct Uid {
    unsigned char bytes[16];

    constexpr Uid(uint32_t l1, uint32_t l2, uint32_t l3, uint32_t l4)
        : bytes{
#if defined(_WIN32)
              Byte(l1, 0), Byte(l1, 1), Byte(l1, 2), Byte(l1, 3), Byte(l2, 2), Byte(l2, 3), Byte(l2, 0),
              Byte(l2, 1),
#else
              Byte(l1, 3), Byte(l1, 2), Byte(l1, 1), Byte(l1, 0), Byte(l2, 3), Byte(l2, 2), Byte(l2, 1),
              Byte(l2, 0),
#endif
              Byte(l3, 3), Byte(l3, 2), Byte(l3, 1), Byte(l3, 0), Byte(l4, 3), Byte(l4, 2), Byte(l4, 1),
              Byte(l4, 0)} {
    }

    // The identifier a host passes, as raw bytes; null matches nothing.
    bool matches(const void* tuid) const { return tuid != nullptr && std::memcmp(bytes, tuid, 16) == 0; }
    void copyTo(TUID out) const { std::memcpy(out, bytes, 16); }

private:
    // Byte `n` of `word`, counted from the least significant.
    static constexpr unsigned char Byte(uint32_t word, int n) { return static_cast<unsigned char>(word >> (8 * n)); }
};

// The base of every interface: COM's IUnknown, with the same identifier.
// 00000000-0000-0000-C000-000000000046
// Windows bytes: 00 00 00 00 00 00 00 00 C0 00 00 00 00 00 00 46 (the same
// in both orders).
class FUnknown {
public:
    virtual tresult VST3_CALL queryInterface(const TUID iid, void** obj) = 0;
    virtual uint32_t VST3_CALL addRef() = 0;
    virtual uint32_t VST3_CALL release() = 0;
    static constexpr Uid iid{0x00000000, 0x00000000, 0xC0000000, 0x00000046};

protected:
    ~FUnknown() = default;  // objects go with their last release
};

}  // namespace vst3abi
