// Shared helpers of the editor tests: a plug-in object built directly (no
// module), with a recording host, and access to its headless window.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "APluginEditor.h"
#include "platform/headless/HeadlessWindow.h"
#include "uEditor.h"
#include "uPlugin.h"

namespace edtest {

struct HostCall {
    VstInt32 opcode;
    VstInt32 index;
    float opt;
};

// The recording host: one per process is enough, tests clear it.
std::vector<HostCall>& HostCalls();
VstIntPtr VSTCALLBACK RecordingHost(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                    float opt);

// A plug-in object as `main` builds it (program 7, "BigBeat", current).
struct Fixture {
    Fixture();
    ~Fixture();
    VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                       float opt = 0.0f);
    APluginEditor& bridge();
    TPluginEditorWindow& window();  // the open window; fails the test if none
    platform::headless::HeadlessWindow& screen();
    // Client point of slider-relative (x, y) on the slider of `index`.
    int sliderX(int index, int x);
    int sliderY(int index);
    // Shows the open window as the VST3, CLAP and LV2 editions do (the VST
    // 2.x editor itself never does): the key selector on `source` and the
    // Learn button; then runs a refresh pass: the picture such a view shows
    // for the same values.
    void showKey(int source);
    // The automation messages the host received.
    std::vector<HostCall> automation() const;

    APlugin* plugin;
};

uint64_t Fnv1a(const platform::Bitmap& image);

}  // namespace edtest

namespace edtest {
// FNV-1a of the RGB bytes of the window just opened on "BigBeat"
// (golden/bigbeat_open.png holds the same picture).
constexpr uint64_t kBigBeatGoldenHash = 0x22e7606d9892258ull;
}  // namespace edtest
