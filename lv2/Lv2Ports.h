// The LV2 edition's identity and port layout: shared by the plug-in, the
// Turtle generator, the UI and the tests, so that none of them numbers a
// port on its own.
#pragma once

#include <cstdint>

#include "ParameterTable.h"

namespace lv2edition {

constexpr const char* kPluginUri = "urn:pellucid:halvorine";
constexpr const char* kUiUri = "urn:pellucid:halvorine#ui";
// A factory program's preset is this followed by the program's name.
constexpr const char* kPresetUriPrefix = "urn:pellucid:halvorine#preset-";

// The four audio ports come first, then one control input for each
// parameter that acts on the sound, in parameter order. Each control takes
// the same 0..1 value as the VST 2.x parameter of that index.
//
// The key's ports come after them all, so that no port of an older release
// moves (sessions and presets name ports by index and symbol): the key's
// audio pair, the "Key" choice (0..4, as gate::KeySource counts) and an
// output that tells the UI that "External" has no key to hear.
enum Port : uint32_t { kInL = 0, kInR = 1, kOutL = 2, kOutR = 3, kFirstControl = 4 };
constexpr uint32_t kEndControls = kFirstControl + params::kNumActive;
constexpr uint32_t ControlPort(int parameter) { return kFirstControl + static_cast<uint32_t>(parameter); }
enum KeyPort : uint32_t { kKeyL = kEndControls, kKeyR, kKey, kKeyMissing };
constexpr uint32_t kNumPorts = kKeyMissing + 1;

// The labels of the "Key" choices, by value.
constexpr int kNumKeyChoices = 5;
constexpr const char* kKeyChoices[kNumKeyChoices] = {"Left", "Right", "Mid", "Side", "External"};
// The "Key" port's value as the plug-in and its UI take it, as the other
// controls are taken: clamped to 0..4, NaN as 0 ("Left"), then the nearest
// whole choice.
constexpr int KeyChoice(float value) {
    if (!(value > 0.0f))
        return 0;
    if (value >= kNumKeyChoices - 1)
        return kNumKeyChoices - 1;
    return static_cast<int>(value + 0.5f);
}

struct AudioPort {
    const char* symbol;
    const char* name;
    bool input;
};
constexpr AudioPort kAudioPorts[kFirstControl] = {
    {"in_l", "Left In", true},
    {"in_r", "Right In", true},
    {"out_l", "Left Out", false},
    {"out_r", "Right Out", false},
};

}  // namespace lv2edition
