// The VST3 editor interfaces, declared from their published facts: the view
// the plug-in hands the host, the frame the host gives it back, the content
// scale notice, and on Linux the host's run loop with the two handlers the
// view registers in it.
//
// Each interface lists its methods in slot order, after FUnknown's three.
// Beside each identifier: its four words as published, then its 16 bytes in
// the Windows (GUID) order; elsewhere the bytes are the four words
// big-endian, one after the other (see Uid in Base.h).
#pragma once

#include <cstdint>

#include "Base.h"

namespace vst3abi {

using TBool = uint8_t;

// What attached()'s `parent` is, by the type the host names with it.
// "HWND": a Windows window handle.
constexpr const char* kPlatformTypeHWND = "HWND";
// "X11EmbedWindowID": an X11 Window id, carried in the pointer.
constexpr const char* kPlatformTypeX11EmbedWindowID = "X11EmbedWindowID";

// A rectangle in pixels; right and bottom are exclusive (width = right - left).
struct ViewRect {
    int32_t left;
    int32_t top;
    int32_t right;
    int32_t bottom;
};

class IPlugFrame;

// The plug-in's editor view, created by IEditController::createView.
// 5BC32507-D06049EA-A6151B52-2B755B29
// Windows bytes: 07 25 C3 5B 60 D0 EA 49 A6 15 1B 52 2B 75 5B 29
class IPlugView : public FUnknown {
public:
    virtual tresult VST3_CALL isPlatformTypeSupported(FIDString type) = 0;
    // The host's window exists: make ours inside `parent`.
    virtual tresult VST3_CALL attached(void* parent, FIDString type) = 0;
    // The host's window is about to go: take ours down.
    virtual tresult VST3_CALL removed() = 0;
    virtual tresult VST3_CALL onWheel(float distance) = 0;
    virtual tresult VST3_CALL onKeyDown(char16 key, int16_t keyCode, int16_t modifiers) = 0;
    virtual tresult VST3_CALL onKeyUp(char16 key, int16_t keyCode, int16_t modifiers) = 0;
    virtual tresult VST3_CALL getSize(ViewRect* size) = 0;
    virtual tresult VST3_CALL onSize(ViewRect* newSize) = 0;
    virtual tresult VST3_CALL onFocus(TBool state) = 0;
    virtual tresult VST3_CALL setFrame(IPlugFrame* frame) = 0;
    virtual tresult VST3_CALL canResize() = 0;
    // The host proposes `rect`; the view writes the size it can take instead.
    virtual tresult VST3_CALL checkSizeConstraint(ViewRect* rect) = 0;
    static constexpr Uid iid{0x5BC32507, 0xD06049EA, 0xA6151B52, 0x2B755B29};

protected:
    ~IPlugView() = default;
};

// The host's side of a view, given to it by setFrame. On Linux the same
// object also answers IRunLoop.
// 367FAF01-AFA94693-8D4DA2A0-ED0882A3
// Windows bytes: 01 AF 7F 36 A9 AF 93 46 8D 4D A2 A0 ED 08 82 A3
class IPlugFrame : public FUnknown {
public:
    virtual tresult VST3_CALL resizeView(IPlugView* view, ViewRect* newSize) = 0;
    static constexpr Uid iid{0x367FAF01, 0xAFA94693, 0x8D4DA2A0, 0xED0882A3};

protected:
    ~IPlugFrame() = default;
};

// The host tells the view the scale of the screen it shows it on. A view
// that answers kResultTrue scales itself (and asks the frame for the new
// size); one that answers kResultFalse keeps its pixels as they are.
// 65ED9690-8AC44525-8AADEF7A-72EA703F
// Windows bytes: 90 96 ED 65 C4 8A 25 45 8A AD EF 7A 72 EA 70 3F
class IPlugViewContentScaleSupport : public FUnknown {
public:
    using ScaleFactor = float;
    virtual tresult VST3_CALL setContentScaleFactor(ScaleFactor factor) = 0;
    static constexpr Uid iid{0x65ED9690, 0x8AC44525, 0x8AADEF7A, 0x72EA703F};

protected:
    ~IPlugViewContentScaleSupport() = default;
};

// ---------------------------------------------------------------------------
// Linux only: X has no loop of its own for a plug-in to join, so the host
// lends its user-interface loop, queried from the IPlugFrame. Handlers run on
// the host's user-interface thread.

using FileDescriptor = int;
using TimerInterval = uint64_t;  // milliseconds

// Called when a registered descriptor has something to read.
// 561E65C9-13A0496F-813A2C35-654D7983
// Windows bytes: C9 65 1E 56 A0 13 6F 49 81 3A 2C 35 65 4D 79 83
class IEventHandler : public FUnknown {
public:
    virtual void VST3_CALL onFDIsSet(FileDescriptor fd) = 0;
    static constexpr Uid iid{0x561E65C9, 0x13A0496F, 0x813A2C35, 0x654D7983};

protected:
    ~IEventHandler() = default;
};

// Called at every period of a registered timer.
// 10BDD94F-41424774-821FAD8F-ECA72CA9
// Windows bytes: 4F D9 BD 10 42 41 74 47 82 1F AD 8F EC A7 2C A9
class ITimerHandler : public FUnknown {
public:
    virtual void VST3_CALL onTimer() = 0;
    static constexpr Uid iid{0x10BDD94F, 0x41424774, 0x821FAD8F, 0xECA72CA9};

protected:
    ~ITimerHandler() = default;
};

// 18C35366-97764F1A-9C5B8385-7A871389
// Windows bytes: 66 53 C3 18 76 97 1A 4F 9C 5B 83 85 7A 87 13 89
class IRunLoop : public FUnknown {
public:
    virtual tresult VST3_CALL registerEventHandler(IEventHandler* handler, FileDescriptor fd) = 0;
    virtual tresult VST3_CALL unregisterEventHandler(IEventHandler* handler) = 0;
    virtual tresult VST3_CALL registerTimer(ITimerHandler* handler, TimerInterval milliseconds) = 0;
    virtual tresult VST3_CALL unregisterTimer(ITimerHandler* handler) = 0;
    static constexpr Uid iid{0x18C35366, 0x97764F1A, 0x9C5B8385, 0x7A871389};

protected:
    ~IRunLoop() = default;
};

}  // namespace vst3abi
