// The parameters of the editions that have programs and bypass (VST3,
// CLAP): the 22 that act on the sound (IDs 0 to 21, the VST 2.x indices,
// with the same 0..1 values), the program list, the bypass switch and the
// list of what keys the gates. Descriptions and value texts come from the shared
// parameter table and the editor's read-out, so that every edition and the
// editor agree.
#pragma once

#include <string>

#include "ParameterTable.h"

namespace edition {

constexpr int kNumSound = params::kNumActive;  // IDs 0 to 21
constexpr unsigned kProgramId = 22;
constexpr unsigned kBypassId = 23;
// Appended after Bypass, so that no ID that hosts keep moves.
constexpr unsigned kKeyId = 24;
constexpr int kNumParameters = kNumSound + 3;
constexpr int kProgramSteps = params::kNumPrograms - 1;  // a list of eight entries
constexpr int kKeyChoices = 5;                           // gate::KeySource's order
constexpr int kKeySteps = kKeyChoices - 1;
extern const char* const kKeyNames[kKeyChoices];  // "Left", "Right", "Mid", "Side", "External"
// How long switching Bypass fades between the gate's output and the input.
constexpr double kBypassFadeSeconds = 0.005;

// What a host is told of one parameter (the order is the IDs' order).
struct ParameterDescription {
    const char* title;       // the editor read-out's label
    const char* shortTitle;  // the panel artwork's caption
    const char* units;       // empty where the value text carries the unit
    int stepCount;            // 0: continuous
    double defaultValue;      // normalised
    bool isList;              // a list of named entries (Program, Key)
    bool isProgram, isBypass;
};

// False for an unknown ID.
bool DescribeParameter(unsigned id, ParameterDescription& out);

// A normalised value limited to 0..1 (0 for not a number).
double ClampNormalized(double value);

// The program a normalised Program value selects (0 to 7), and back.
int ProgramFromNormalized(double value);
double NormalizedFromProgram(int program);
// The same for the Key choice (0 to 4, gate::KeySource's values).
int KeyFromNormalized(double value);
double NormalizedFromKey(int key);

// A plain value is the program's number (0 to 7) for Program, 0 or 1 for
// Bypass, the choice (0 to 4) for Key, and the normalised value itself for
// the others.
double PlainFromNormalized(unsigned id, double value);
double NormalizedFromPlain(unsigned id, double plain);

// The text the host shows for a normalised value: the editor read-out's
// value text for the sound parameters, the program's name, "On"/"Off",
// the Key choice's name.
// False for an unknown ID.
bool ValueText(unsigned id, double value, std::string& text);
// Reads such a text (also without its unit, and with a comma as the
// decimal separator) back to a normalised value, clamped to 0..1. False
// for an unknown ID or a text that is not a value of the parameter.
bool ValueFromText(unsigned id, const std::string& text, double& value);

}  // namespace edition
