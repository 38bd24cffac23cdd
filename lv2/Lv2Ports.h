// The LV2 edition's identity and port layout: shared by the plug-in, the
// Turtle generator, the UI and the tests, so that none of them numbers a
// port on its own.
#pragma once

#include <cstdint>

#include "ParameterTable.h"

namespace lv2edition {

// Two plug-ins in one bundle and one DSP binary (lv2_descriptor 0 and 1),
// served by one UI. The first has the ports of release 1.0.0 and a "Key"
// choice among the input's own channels: hosts that feed every audio input
// from the file or the track (lv2apply, a stereo track) find two inputs for
// two channels. The second adds the side-chain: the key's audio pair, the
// "External" choice and key_missing.
constexpr const char* kPluginUri = "urn:pellucid:halvorine";
constexpr const char* kSidechainUri = "urn:pellucid:halvorine#sidechain";
constexpr const char* kUiUri = "urn:pellucid:halvorine#ui";
// A factory program's preset is this followed by the program's name; each
// applies to both plug-ins.
constexpr const char* kPresetUriPrefix = "urn:pellucid:halvorine#preset-";

// The four audio ports come first, then one control input for each
// parameter that acts on the sound, in parameter order. Each control takes
// the same 0..1 value as the VST 2.x parameter of that index.
//
// The key's ports come after them all, so that no port of release 1.0.0
// moves (sessions and presets name ports by index and symbol): the "Key"
// choice (0..3 in the plain plug-in, 0..4 in the side-chain one, as
// gate::KeySource counts), then, in the side-chain plug-in alone, an output
// that tells the UI that "External" hears no key, and the key's audio pair.
// Both plug-ins number every port they share alike, so that the DSP and
// the UI need no table per plug-in; the band meters alone, last in each,
// start where that plug-in's other ports end (Variant::firstMeter): a
// level output for every band (level_1 ... level_16), then a gain output
// for every band (gain_1 ... gain_16).
enum Port : uint32_t { kInL = 0, kInR = 1, kOutL = 2, kOutR = 3, kFirstControl = 4 };
constexpr uint32_t kEndControls = kFirstControl + params::kNumActive;
constexpr uint32_t ControlPort(int parameter) { return kFirstControl + static_cast<uint32_t>(parameter); }
enum KeyPort : uint32_t { kKey = kEndControls, kKeyMissing, kKeyL, kKeyR };

// What tells the two plug-ins apart.
struct Variant {
    const char* uri;
    const char* name;
    uint32_t numPorts;
    int numKeyChoices;  // "External" is the last choice, where there is one
    bool sidechain;
    uint32_t firstMeter;  // level_1; gain_1 is kNumMeterBands further
};
// Band meters: 16 levels, then 16 gain ratios.
constexpr uint32_t kNumMeterBands = 16;
constexpr uint32_t kNumMeterPorts = 2 * kNumMeterBands;
inline constexpr Variant kPlain = {kPluginUri, "Halvorine", kKey + 1 + kNumMeterPorts, 4, false, kKey + 1};
inline constexpr Variant kSidechain = {kSidechainUri, "Halvorine Sidechain", kKeyR + 1 + kNumMeterPorts, 5, true,
                                       kKeyR + 1};
inline constexpr const Variant* kVariants[] = {&kPlain, &kSidechain};
constexpr uint32_t kNumPorts = kSidechain.numPorts;  // the most either has

// The labels of the "Key" choices, by value.
constexpr int kNumKeyChoices = 5;
constexpr const char* kKeyChoices[kNumKeyChoices] = {"Left", "Right", "Mid", "Side", "External"};
// The "Key" port's value as the plug-in and its UI take it, as the other
// controls are taken: clamped to 0..choices-1, NaN as 0 ("Left"), then the
// nearest whole choice.
constexpr int KeyChoice(float value, int choices = kNumKeyChoices) {
    if (!(value > 0.0f))
        return 0;
    if (value >= choices - 1)
        return choices - 1;
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
