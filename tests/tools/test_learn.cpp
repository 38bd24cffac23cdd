// Gate levels learned from a noise keep that noise out and let a tone
// well above it through.
#include <gtest/gtest.h>

#include <cmath>

#include "ToolTestUtil.h"

namespace {

using tooltest::readAudio;
using tooltest::runTool;
using tooltest::TempDir;
using tooltest::writeAudio;

constexpr int kRate = 44100;
constexpr size_t kFrames = 2 * kRate;

// White noise of RMS 0.01 (-40 dBFS), different on each channel, plus a
// 1 kHz tone of RMS `toneRms` on both.
std::vector<float> noiseAndTone(double toneRms) {
    std::vector<float> samples(kFrames * 2);
    uint32_t seed = 2024;
    for (size_t i = 0; i < kFrames; ++i) {
        const double tone = toneRms * std::sqrt(2.0) * std::sin(2.0 * M_PI * 1000.0 * double(i) / kRate);
        for (int c = 0; c < 2; ++c) {
            seed = seed * 1664525u + 1013904223u;
            const double uniform = (seed >> 8) / 8388608.0 - 1.0;  // -1 .. 1, RMS 1 / sqrt(3)
            samples[i * 2 + c] = static_cast<float>(0.01 * std::sqrt(3.0) * uniform + tone);
        }
    }
    return samples;
}

// RMS of the second second, after the gates have settled, in dBFS.
double settledRmsDb(const std::vector<float>& samples) {
    double sum = 0.0;
    const size_t from = samples.size() / 2;
    for (size_t i = from; i < samples.size(); ++i)
        sum += double(samples[i]) * samples[i];
    return 10.0 * std::log10(sum / double(samples.size() - from) + 1e-300);
}

}  // namespace

TEST(Learn, LearnedLevelsCloseOnTheNoiseAndPassATone) {
    struct Case {
        const char* what;
        double toneRms;
        double lowestDb, highestDb;  // the output's settled RMS
    };
    const Case cases[] = {
        {"the noise itself: every band closed", 0.0, -400.0, -100.0},
        {"a tone 20 dB over the noise passes", 0.1, -26.0, -10.0},
    };
    TempDir dir;
    writeAudio(dir / "noise.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, kRate, 2, noiseAndTone(0.0));
    for (const Case& c : cases) {
        writeAudio(dir / "in.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, kRate, 2, noiseAndTone(c.toneRms));
        const auto run = runTool({"render", dir / "in.wav", dir / "out.wav", "--learn", dir / "noise.wav"});
        ASSERT_EQ(run.exitCode, 0) << c.what << ": " << run.err;
        const double rms = settledRmsDb(readAudio(dir / "out.wav").samples);
        EXPECT_GE(rms, c.lowestDb) << c.what;
        EXPECT_LE(rms, c.highestDb) << c.what;
    }
}
