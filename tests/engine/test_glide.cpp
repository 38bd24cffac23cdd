// Glide mode: automation of Start, Finish, Q and Boost does not click, and
// unchanged settings compute exactly what AtOnce mode (the VST 2.x
// edition) computes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "EngineTestUtil.h"
#include "GateEngine.h"
#include "ParameterTable.h"

using namespace enginetest;

namespace {

constexpr double kPi = 3.14159265358979323846;

void LoadProgram(gate::GateEngine& engine, int program) {
    for (int i = 0; i < params::kNumHostParameters; ++i)
        engine.setParameter(i, params::FactoryValue(program, i));
}

// Four seconds of a 441 Hz sine at 0.25 through "Default" at 44.1 kHz in
// 147-frame blocks; when `index` >= 0, that parameter swings from its
// "Default" value inwards by `depth` and back twice a second, a 2 Hz sine
// in 400 steps (one every third block). Answers the largest step between
// consecutive left outputs after the first 0.1 s.
double LargestStep(gate::ChangeMode mode, int index, double depth) {
    gate::GateEngine engine;
    engine.setChangeMode(mode);
    LoadProgram(engine, 0);
    const int block = 147, frames = 4 * 44100;
    std::vector<float> in(frames), outL(frames), outR(frames);
    for (int n = 0; n < frames; ++n)
        in[n] = static_cast<float>(0.25 * std::sin(2.0 * kPi * 441.0 * n / 44100.0));
    const double start = index >= 0 ? params::FactoryValue(0, index) : 0.0;
    const double swing = start > 0.5 ? -depth : depth;
    for (int b = 0; b * block < frames; ++b) {
        if (index >= 0 && b % 3 == 0)
            engine.setParameter(index, static_cast<float>(start + swing * 0.5 * (1.0 - std::cos(2.0 * kPi * b / 150.0))));
        const int at = b * block;
        engine.processReplacing(&in[at], &in[at], &outL[at], &outR[at], block);
    }
    double largest = 0.0;
    for (int n = 4410; n < frames; ++n)
        largest = std::fmax(largest, std::fabs(static_cast<double>(outL[n]) - outL[n - 1]));
    return largest;
}

}  // namespace

TEST(Glide, AutomationStaysSmooth) {
    // A swing of 0.1 changes the output level by up to 1.6 times (Boost:
    // 4 dB); the glides themselves add next to nothing to the largest step.
    struct Row {
        int index;
        gate::ChangeMode mode;
        bool smooth;  // largest step within twice the unautomated one
    };
    const Row rows[] = {
        {gate::kStartFreq, gate::ChangeMode::Glide, true},  {gate::kFinishFreq, gate::ChangeMode::Glide, true},
        {gate::kFreqQ, gate::ChangeMode::Glide, true},      {gate::kBoost, gate::ChangeMode::Glide, true},
        // AtOnce mode clears the filter histories at every step of a
        // design parameter.
        {gate::kStartFreq, gate::ChangeMode::AtOnce, false}, {gate::kFinishFreq, gate::ChangeMode::AtOnce, false},
        {gate::kFreqQ, gate::ChangeMode::AtOnce, false},
    };
    const double still = LargestStep(gate::ChangeMode::Glide, -1, 0.0);
    EXPECT_EQ(still, LargestStep(gate::ChangeMode::AtOnce, -1, 0.0));
    for (const Row& row : rows) {
        const double swept = LargestStep(row.mode, row.index, 0.1);
        EXPECT_EQ(swept <= 2.0 * still, row.smooth)
            << "parameter " << row.index << (row.mode == gate::ChangeMode::Glide ? " gliding" : " at once")
            << ": largest step " << swept << ", unautomated " << still;
    }
}

// Glide mode computes AtOnce mode's samples while nothing glides; a glide
// ends on exactly the target's design and boost.
TEST(Glide, UnchangedSettingsGiveUnchangedBits) {
    gate::GateEngine atOnce, glide;
    glide.setChangeMode(gate::ChangeMode::Glide);
    std::vector<float> l, r, outA(3000), outG(3000);
    MakeTestSignal(l, r, 3500, 5);
    // Initial values at the first block apply at once; a change of gate
    // level and release glides nothing; a Start applied at once by request
    // redesigns and clears in both.
    for (int part = 0; part < 3; ++part)
        for (gate::GateEngine* e : {&atOnce, &glide}) {
            if (part == 0)
                LoadProgram(*e, 7);
            if (part == 1) {
                e->setParameter(gate::kRelease, 0.5f);
                e->setParameter(gate::kFirstGateLevel + 3, 0.2f);
            }
            if (part == 2) {
                e->setParameter(gate::kStartFreq, 0.2f);
                e->applyNextAtOnce();
            }
            float* out = (e == &atOnce ? outA : outG).data() + 1000 * part;
            e->processReplacing(&l[1000 * part], &r[1000 * part], out, out, 1000);
        }
    EXPECT_EQ(std::memcmp(outA.data(), outG.data(), sizeof(float) * outA.size()), 0);

    // Glides of the designs and the boost end on the target's own values.
    const float boostBefore = glide.derived().boostGain;
    glide.setParameter(gate::kFinishFreq, 0.9f);
    glide.setParameter(gate::kFreqQ, 0.05f);
    glide.setParameter(gate::kBoost, 0.8f);
    glide.processReplacing(&l[3000], &r[3000], outG.data(), outG.data(), 100);
    EXPECT_TRUE(glide.gliding());
    EXPECT_GT(glide.derived().boostGain, boostBefore);
    EXPECT_LT(glide.derived().boostGain, gate::DbToGain(20.0f, 40.0f, 0.8f));
    glide.processReplacing(&l[3100], &r[3100], outG.data(), outG.data(), 400);
    EXPECT_FALSE(glide.gliding());
    float set[gate::kNumParams];
    for (int i = 0; i < gate::kNumParams; ++i)
        set[i] = glide.getParameter(i);
    gate::DerivedValues fresh{};
    gate::DesignAllBands(set, 44100.0f, fresh.band);
    gate::DeriveGains(set, fresh);
    EXPECT_TRUE(SameBits(glide.derived().boostGain, fresh.boostGain));
    EXPECT_EQ(std::memcmp(glide.derived().band, fresh.band, sizeof fresh.band), 0);
}
