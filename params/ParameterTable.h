// The plug-in's parameters in one table: what the VST 2.x host is told,
// what the LV2 Turtle declares, what the editor's read-out shows, and the
// factory programs' values. Plain constant data, free of host, window and
// engine types, so that every edition and the editor read the same rows.
#pragma once

namespace params {

// Parameters 0 to 21 act on the sound; 22 to 29 are host parameters that
// are stored and reported but do nothing, and have no row here.
constexpr int kNumActive = 22;
constexpr int kNumHostParameters = 30;
constexpr int kNumPrograms = 8;
// The program that is current once a new instance is built ("BigBeat"),
// whose values are also the LV2 ports' defaults.
constexpr int kInitialProgram = 7;

// How the editor's read-out shows a value.
enum class Readout {
    Frequency,  // 20 x 2^(10 value) Hz
    Percent,    // the value in percent, one decimal
    Decibels,   // value x dbScale - dbOffset dB, floored to one decimal
};

struct Parameter {
    int index;                // host parameter index, LV2 control order
    const char* hostName;     // the VST 2.x parameter name; the LV2 port's name
    const char* symbol;       // the LV2 port symbol
    const char* label;        // the read-out's label
    const char* caption;      // the caption the panel artwork prints at the control
    Readout readout;
    double dbScale, dbOffset;  // for Readout::Decibels
    const char* comment;      // what the value does, for generic host views
    float programs[kNumPrograms];  // the factory programs' values
};

extern const Parameter kParameters[kNumActive];
extern const char* const kProgramNames[kNumPrograms];

// The factory value of parameter `index` (0 to 29) in `program`; 0 for the
// parameters without a row.
float FactoryValue(int program, int index);

}  // namespace params
