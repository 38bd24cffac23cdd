#include "ParameterTable.h"

namespace params {

namespace {

// Time constants in samples: the smoothing coefficient 2^(17 value) is
// about 1.4 samples at 0, 362 at 0.5 and 131 000 at 1.
constexpr const char* kAttackComment =
    "How fast a band's gate opens: about 0.03 ms at 0, 8 ms at 0.5, 3 s at 1 (at 44.1 kHz)";
constexpr const char* kReleaseComment =
    "How fast a band's gate closes: about 0.03 ms at 0, 8 ms at 0.5, 3 s at 1 (at 44.1 kHz)";
// Threshold 10^((40 value - 40) / 20) / 32.
constexpr const char* kGateComment =
    "Level the band must exceed to open: -70 dB just above 0, -50 dB at 0.5, -30 dB at 1; 0 keeps it open";

}  // namespace

// Columns of the programs: "Default", "Gated", "HiGate", "LowGate",
// "LongRel", "Chuffy", "BandLimited", "BigBeat".
const Parameter kParameters[kNumActive] = {
    {0, "Start Freq", "start_freq", "Start Freq", "Low Freq", Readout::Frequency, 0, 0,
     "Centre frequency of band 1: 20 Hz at 0, 640 Hz at 0.5, 20.5 kHz at 1",
     {0, 0, 0.2375f, 0.3375f, 0, 0, 0.3125f, 0.7375f}},
    {1, "Finish Freq", "finish_freq", "End Freq", "Hi Freq", Readout::Frequency, 0, 0,
     "Centre frequency of band 16: 20 Hz at 0, 640 Hz at 0.5, 20.5 kHz at 1",
     {1, 1, 0.9625f, 1, 1, 1, 0.8375f, 0.55f}},
    {2, "Freq Q", "freq_q", "Q", "Q", Readout::Percent, 0, 0,
     "Width of every band as a fraction of its centre frequency, 0.5 % to 99 %",
     {0.33f, 0.33f, 0.33f, 0.33f, 0.35f, 0.33f, 0.0375f, 0.125f}},
    {3, "Attack", "attack", "Attack", "Attack", Readout::Percent, 0, 0,
     kAttackComment,
     {0, 0, 0, 0, 0, 0.6875f, 0, 0.3125f}},
    {4, "Release", "release", "Release", "Release", Readout::Percent, 0, 0,
     kReleaseComment,
     {0, 0, 0, 0, 0.7875f, 0.5625f, 0.3875f, 0.95f}},
    {5, "Boost", "boost", "Boost", "Boost", Readout::Decibels, 40, 20,
     "Gain before the soft clipper: -20 dB just above 0, 0 dB at 0.5, +20 dB at 1; 0 mutes",
     {0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.9f, 1, 0.3f}},
    {6, "Band 1Gate Level", "gate_1", "Band 1 Noise Gate Level", "Band 1", Readout::Decibels, 40, 40,
     kGateComment,
     {0, 0.625f, 0.075f, 0.6f, 0.8625f, 0.6f, 0.5125f, 0}},
    {7, "Band 2Gate Level", "gate_2", "Band 2 Noise Gate Level", "Band 2", Readout::Decibels, 40, 40,
     kGateComment,
     {0, 0.675f, 0.0625f, 0.6f, 0.8125f, 0.6125f, 0.525f, 0.7875f}},
    {8, "Band 3Gate Level", "gate_3", "Band 3 Noise Gate Level", "Band 3", Readout::Decibels, 40, 40,
     kGateComment,
     {0, 0.675f, 0.0875f, 0.5875f, 0.7375f, 0.6125f, 0.525f, 0}},
    {9, "Band 4Gate Level", "gate_4", "Band 4 Noise Gate Level", "Band 4", Readout::Decibels, 40, 40,
     kGateComment,
     {0, 0.65f, 0.0625f, 0.5875f, 0.7875f, 0.6f, 0.525f, 0.7875f}},
    {10, "Band 5Gate Level", "gate_5", "Band 5 Noise Gate Level", "Band 5", Readout::Decibels, 40, 40,
     kGateComment,
     {0, 0.675f, 0.125f, 0.7875f, 0.7875f, 0.6f, 0.4875f, 0}},
    {11, "Band 6Gate Level", "gate_6", "Band 6 Noise Gate Level", "Band 6", Readout::Decibels, 40, 40,
     kGateComment,
     {0, 0.6875f, 0.1125f, 0.75f, 0.7875f, 0.625f, 0.4875f, 0.775f}},
    {12, "Band 7Gate Level", "gate_7", "Band 7 Noise Gate Level", "Band 7", Readout::Decibels, 40, 40,
     kGateComment,
     {0, 0.6875f, 0.1125f, 0.75f, 0.7875f, 0.6f, 0.4125f, 0}},
    {13, "Band 8Gate Level", "gate_8", "Band 8 Noise Gate Level", "Band 8", Readout::Decibels, 40, 40,
     kGateComment,
     {0, 0.7f, 0.1125f, 0.9125f, 0.7625f, 0.6375f, 0.8f, 0.7875f}},
    {14, "Band 9Gate Level", "gate_9", "Band 9 Noise Gate Level", "Band 9", Readout::Decibels, 40, 40,
     kGateComment,
     {0, 0.7125f, 0.2f, 0.55f, 0, 0.7125f, 0, 0}},
    {15, "Band 10Gate Level", "gate_10", "Band 10 Noise Gate Level", "Band 10", Readout::Decibels, 40, 40,
     kGateComment,
     {0, 0.7125f, 0.3f, 0.6375f, 0, 0.7125f, 0, 0.8875f}},
    {16, "Band 11Gate Level", "gate_11", "Band 11 Noise Gate Level", "Band 11", Readout::Decibels, 40, 40,
     kGateComment,
     {0, 0.7f, 0.325f, 0.725f, 0, 0.7f, 0, 0}},
    {17, "Band 12Gate Level", "gate_12", "Band 12 Noise Gate Level", "Band 12", Readout::Decibels, 40, 40,
     kGateComment,
     {0, 0.725f, 0.8875f, 0.6875f, 0, 0.725f, 0, 0.8625f}},
    {18, "Band 13Gate Level", "gate_13", "Band 13 Noise Gate Level", "Band 13", Readout::Decibels, 40, 40,
     kGateComment,
     {0, 0.7625f, 0.7625f, 0, 0, 0.7625f, 0, 0}},
    {19, "Band 14Gate Level", "gate_14", "Band 14 Noise Gate Level", "Band 14", Readout::Decibels, 40, 40,
     kGateComment,
     {0, 0.75f, 0.9f, 0, 0, 0.9f, 0.6875f, 0.8875f}},
    {20, "Band 15Gate Level", "gate_15", "Band 15 Noise Gate Level", "Band 15", Readout::Decibels, 40, 40,
     kGateComment,
     {0, 0.7375f, 0.8875f, 0, 0, 0.8875f, 0.675f, 0}},
    {21, "Band 16Gate Level", "gate_16", "Band 16 Noise Gate Level", "Band 16", Readout::Decibels, 40, 40,
     kGateComment,
     {0, 0.75f, 0.875f, 0, 0, 0.875f, 0.6875f, 0.8375f}},
};

const char* const kProgramNames[kNumPrograms] = {"Default", "Gated",  "HiGate",      "LowGate",
                                                 "LongRel", "Chuffy", "BandLimited", "BigBeat"};

float FactoryValue(int program, int index) {
    if (program < 0 || program >= kNumPrograms || index < 0 || index >= kNumActive)
        return 0.0f;
    return kParameters[index].programs[program];
}

}  // namespace params
