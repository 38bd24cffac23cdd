// render --key and --key-source: the tool hosts the CLAP edition and hands
// it the key file on the key input. Checked against the VST 2.x render of
// the same engine and against what a kick-keyed pad must sound like.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "ToolTestUtil.h"

namespace {

using namespace tooltest;

constexpr int kRate = 48000;
constexpr int kFloatWav = SF_FORMAT_WAV | SF_FORMAT_FLOAT;

bool sameBits(const std::vector<float>& a, const std::vector<float>& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
}

// A steady low pad, a little different on each channel.
std::vector<float> pad(size_t frames) {
    std::vector<float> samples(frames * 2);
    for (size_t i = 0; i < samples.size(); ++i) {
        const double t = double(i / 2) / kRate;
        samples[i] = static_cast<float>(0.25 * std::sin(2 * M_PI * 60 * t + (i % 2)) + 0.2 * std::sin(2 * M_PI * 110 * t));
    }
    return samples;
}

// Mono kick-like hits: a falling low sine that dies away in about 60 ms,
// at `onsets` (seconds), silence elsewhere.
std::vector<float> kicks(size_t frames, const std::vector<double>& onsets) {
    std::vector<float> samples(frames, 0.0f);
    for (double onset : onsets)
        for (size_t i = static_cast<size_t>(onset * kRate); i < frames; ++i) {
            const double t = double(i) / kRate - onset;
            if (t > 0.25)
                break;
            samples[i] += static_cast<float>(0.9 * std::exp(-t / 0.06) * std::sin(2 * M_PI * (55 + 60 * std::exp(-t / 0.02)) * t));
        }
    return samples;
}

// Of the left channel of interleaved stereo, between two times.
double rms(const std::vector<float>& stereo, double from, double to) {
    const size_t begin = static_cast<size_t>(from * kRate), end = static_cast<size_t>(to * kRate);
    double sum = 0.0;
    for (size_t i = begin; i < end; ++i)
        sum += double(stereo[2 * i]) * stereo[2 * i];
    return std::sqrt(sum / double(end - begin));
}

// A pad keyed by kicks is loud just after each kick and quiet in between;
// keyed by its own steady left channel it stays as loud throughout. The
// kick file ends before the pad: the rest of the key is silence, so it
// gives the samples of the kicks written out to the pad's length.
TEST(ToolKey, AKickKeyOpensThePadAtItsOnsets) {
    TempDir dir;
    const std::vector<double> onsets{0.25, 0.75, 1.25};
    const size_t frames = static_cast<size_t>(1.8 * kRate), kickFrames = static_cast<size_t>(1.6 * kRate);
    const std::vector<float> key = kicks(frames, onsets);  // silent from 1.5 s
    writeAudio(dir / "pad.wav", kFloatWav, kRate, 2, pad(frames));
    writeAudio(dir / "kick.wav", kFloatWav, kRate, 1, std::vector<float>(key.begin(), key.begin() + kickFrames));
    writeAudio(dir / "whole.wav", kFloatWav, kRate, 1, key);
    for (const bool keyed : {false, true}) {
        SCOPED_TRACE(keyed);
        tooltest::Run run = runTool({"render", dir / "pad.wav", dir / "out.wav", "--program", "Gated",
                                     keyed ? "--key" : "--key-source", keyed ? dir / "kick.wav" : "left"});
        ASSERT_EQ(run.exitCode, 0) << run.err;
        const std::vector<float> out = readAudio(dir / "out.wav").samples;
        ASSERT_EQ(out.size(), 2 * frames);
        for (double onset : onsets) {
            SCOPED_TRACE(onset);
            const double open = rms(out, onset + 0.01, onset + 0.06), between = rms(out, onset + 0.3, onset + 0.45);
            EXPECT_GT(open, 0.02);
            if (keyed) {
                EXPECT_GT(open, 10 * between);  // 20 dB
            } else {
                EXPECT_LT(open, 2 * between);
            }
        }
    }
    // Before the first kick the keyed gates are closed; the shorter key went on as silence.
    const std::vector<float> keyed = readAudio(dir / "out.wav").samples;
    ASSERT_EQ(runTool({"render", dir / "pad.wav", dir / "out.wav", "--program", "Gated", "--key", dir / "whole.wav"})
                  .exitCode,
              0);
    const std::vector<float> whole = readAudio(dir / "out.wav").samples;
    EXPECT_LT(rms(whole, 0.1, 0.24), 0.1 * rms(whole, 0.26, 0.31));
    EXPECT_TRUE(sameBits(whole, keyed));
}

// Each way of keying from the left channel's bands gives the VST 2.x
// library's samples bit for bit: the CLAP edition's "Left", "External"
// with the left channel twice as a stereo key (on the left channel: the
// right one is bounded by its own level where a key's gate level outlasts
// the key), and "Right" on that key as the input.
TEST(ToolKey, KeyingFromTheLeftChannelMatchesTheVst2Render) {
    TempDir dir;
    const std::vector<float> input = testSignal(20011, 2, kRate);
    std::vector<float> twin = input;
    for (size_t i = 0; i < twin.size(); i += 2)
        twin[i + 1] = twin[i];
    writeAudio(dir / "in.wav", kFloatWav, kRate, 2, input);
    writeAudio(dir / "twin.wav", kFloatWav, kRate, 2, twin);
    const std::vector<std::string> settings{"--program", "Gated", "--set", "Boost=0.7", "--set",
                                            "Band 3Gate Level=-20dB", "--block", "300"};
    struct Case {
        const char* input;
        std::vector<std::string> key;
        bool leftOnly;
    } cases[] = {
        {"in.wav", {"--key-source", "left"}, false},
        {"in.wav", {"--key", dir / "twin.wav", "--key-source", "external"}, true},
        {"twin.wav", {"--key-source", "right"}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key.back());
        std::vector<std::string> vst2{"render", dir / c.input, dir / "vst2.wav"};
        vst2.insert(vst2.end(), settings.begin(), settings.end());
        std::vector<std::string> clap = vst2;
        clap[2] = dir / "clap.wav";
        clap.insert(clap.end(), c.key.begin(), c.key.end());
        ASSERT_EQ(runTool(vst2).exitCode, 0);
        tooltest::Run run = runTool(clap);
        ASSERT_EQ(run.exitCode, 0) << run.err;
        std::vector<float> clapOut = readAudio(dir / "clap.wav").samples, vst2Out = readAudio(dir / "vst2.wav").samples;
        if (c.leftOnly)
            for (size_t i = 1; i < clapOut.size() && i < vst2Out.size(); i += 2)
                clapOut[i] = vst2Out[i] = 0.0f;
        EXPECT_TRUE(sameBits(clapOut, vst2Out));
    }
}

// Key files and key options the tool refuses, with their messages and exit
// codes; nothing is written.
TEST(ToolKey, RefusesKeysItCannotUse) {
    TempDir dir;
    const size_t frames = 4800;
    writeAudio(dir / "in.wav", kFloatWav, kRate, 2, pad(frames));
    writeAudio(dir / "rate.wav", kFloatWav, 44100, 1, kicks(frames, {0.01}));
    writeAudio(dir / "three.wav", kFloatWav, kRate, 3, std::vector<float>(frames * 3, 0.1f));
    writeAudio(dir / "long.wav", kFloatWav, kRate, 1, kicks(frames + 1, {0.01}));
    struct Case {
        std::vector<std::string> options;
        int exitCode;
        std::string message;
    } cases[] = {
        {{"--key", dir / "rate.wav"}, 1, "is at 44100 Hz and the input at 48000 Hz"},
        {{"--key", dir / "three.wav"}, 1, "cannot key from " + dir / "three.wav" + ": it has 3 channels; a key is mono or stereo"},
        {{"--key", dir / "long.wav"}, 1, "the key is longer than the input"},
        {{"--key-source", "external"}, 2, "--key-source external needs a key file"},
        {{"--key", dir / "rate.wav", "--key-source", "mid"}, 2, "is only heard with --key-source external"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        std::vector<std::string> args{"render", dir / "in.wav", dir / "out.wav"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        tooltest::Run run = runTool(args);
        EXPECT_EQ(run.exitCode, c.exitCode);
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        EXPECT_EQ(dir.list(), (std::vector<std::string>{"in.wav", "long.wav", "rate.wav", "three.wav"}));
    }
}

}  // namespace
