// A file rendered by the tool holds exactly the samples that the library
// gives a host that drives it directly with the same blocks.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <regex>
#include <set>
#include <sstream>

#include "TestHost.h"
#include "ToolTestUtil.h"

namespace {

using tooltest::Audio;
using tooltest::readAudio;
using tooltest::runTool;
using tooltest::TempDir;
using tooltest::testSignal;
using tooltest::writeAudio;

// The plug-in driven straight through its record: built at `rate` (the rate
// is answered and also sent while the plug-in asks for it during
// construction), opened, set up, resumed, fed `block` frames at a time.
// A mono input feeds both plug-in inputs. Answers interleaved stereo.
std::vector<float> processDirectly(const std::vector<float>& input, int channels, int rate, int block,
                                   const std::function<void(AEffect*)>& setup) {
    testhost::Host host;
    bool building = true;
    host.answer = [&](const testhost::Callback& c) -> VstIntPtr {
        if (c.opcode == audioMasterVersion)
            return 2400;
        if (c.opcode == audioMasterGetSampleRate) {
            if (building && c.effect != nullptr)
                testhost::dispatch(c.effect, effSetSampleRate, 0, 0, nullptr, static_cast<float>(rate));
            return rate;
        }
        return 0;
    };
    AEffect* e = host.create(false);
    building = false;
    EXPECT_NE(e, nullptr);
    if (e == nullptr)
        return {};
    testhost::dispatch(e, effOpen);
    testhost::dispatch(e, effSetSampleRate, 0, 0, nullptr, static_cast<float>(rate));
    testhost::dispatch(e, effSetBlockSize, 0, block);
    setup(e);
    testhost::dispatch(e, effMainsChanged, 0, 1);

    const size_t frames = input.size() / channels;
    std::vector<float> output(frames * 2);
    std::vector<float> inL(block), inR(block), outL(block), outR(block);
    for (size_t start = 0; start < frames; start += block) {
        const size_t n = std::min<size_t>(block, frames - start);
        for (size_t i = 0; i < n; ++i) {
            inL[i] = input[(start + i) * channels];
            inR[i] = input[(start + i) * channels + channels - 1];
        }
        float* ins[2] = {inL.data(), inR.data()};
        float* outs[2] = {outL.data(), outR.data()};
        e->processReplacing(e, ins, outs, static_cast<VstInt32>(n));
        for (size_t i = 0; i < n; ++i) {
            output[(start + i) * 2] = outL[i];
            output[(start + i) * 2 + 1] = outR[i];
        }
    }
    testhost::dispatch(e, effMainsChanged, 0, 0);
    testhost::dispatch(e, effClose);
    return output;
}

bool sameBits(const std::vector<float>& a, const std::vector<float>& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
}

size_t nonZero(const std::vector<float>& v) {
    return static_cast<size_t>(std::count_if(v.begin(), v.end(), [](float x) { return x != 0.0f; }));
}

// "Gated" with two edits, by name; 48 kHz so that a tool which left the
// plug-in at its default rate would design other filters. A block size that
// does not divide the length leaves a short last block.
TEST(ToolRender, StereoFloatMatchesTheLibraryBitForBit) {
    TempDir dir;
    const int rate = 48000, block = 300;
    const std::vector<float> input = testSignal(10007, 2, rate);
    writeAudio(dir / "in.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, rate, 2, input);

    tooltest::Run run = runTool({"render", dir / "in.wav", dir / "out.wav", "--program", "Gated", "--set",
                                 "Boost=0.7", "--set", "Band 3Gate Level=0.2", "--block", std::to_string(block)});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("x real time"), std::string::npos) << run.out;

    Audio out = readAudio(dir / "out.wav");
    EXPECT_EQ(out.info.channels, 2);
    EXPECT_EQ(out.info.samplerate, rate);
    EXPECT_EQ(out.info.format, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
    std::vector<float> expected = processDirectly(input, 2, rate, block, [](AEffect* e) {
        testhost::dispatch(e, effSetProgram, 0, 1);  // Gated
        e->setParameter(e, 5, 0.7f);                 // Boost
        e->setParameter(e, 8, 0.2f);                 // Band 3Gate Level
    });
    EXPECT_GT(nonZero(expected), expected.size() / 2);
    EXPECT_TRUE(sameBits(out.samples, expected));
}

// Indices, and names written in another case, select the same as the names.
TEST(ToolRender, IndicesAndNamesSelectTheSame) {
    TempDir dir;
    const std::vector<float> input = testSignal(4000, 2, 44100);
    writeAudio(dir / "in.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 44100, 2, input);
    ASSERT_EQ(runTool({"render", dir / "in.wav", dir / "names.wav", "--program", "HiGate", "--set", "Release=0.6"})
                  .exitCode,
              0);
    ASSERT_EQ(runTool({"render", dir / "in.wav", dir / "indices.wav", "--program", "2", "--set", "4=0.6"}).exitCode,
              0);
    ASSERT_EQ(runTool({"render", dir / "in.wav", dir / "case.wav", "--program", "higate", "--set", "release=0.6"})
                  .exitCode,
              0);
    ASSERT_EQ(runTool({"render", dir / "in.wav", dir / "other.wav", "--program", "HiGate", "--set", "Release=0.1"})
                  .exitCode,
              0);
    const Audio names = readAudio(dir / "names.wav");
    EXPECT_TRUE(sameBits(names.samples, readAudio(dir / "indices.wav").samples));
    EXPECT_TRUE(sameBits(names.samples, readAudio(dir / "case.wav").samples));
    EXPECT_FALSE(sameBits(names.samples, readAudio(dir / "other.wav").samples));
}

// Values written as the read-out writes them (with a decimal comma or a space
// too) set what their numbers in 0..1 set.
TEST(ToolRender, ValueTextsSetWhatTheirNumbersSet) {
    TempDir dir;
    writeAudio(dir / "in.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 44100, 2, testSignal(4000, 2, 44100));
    ASSERT_EQ(runTool({"render", dir / "in.wav", dir / "plain.wav"}).exitCode, 0);
    const std::vector<float> plain = readAudio(dir / "plain.wav").samples;
    const std::pair<const char*, const char*> cases[] = {
        {"Boost=15dB", "Boost=0.875"},          {"Start Freq=640Hz", "Start Freq=0.5"},
        {"Start Freq=1,28 kHz", "Start Freq=0.6"}, {"Finish Freq=20.5KHz", "Finish Freq=1"},
        {"Freq Q=50 %", "Freq Q=0.5"},            {"Band 2Gate Level=-20 dB", "Band 2Gate Level=0.5"},
    };
    for (const auto& [text, number] : cases) {
        SCOPED_TRACE(text);
        tooltest::Run run = runTool({"render", dir / "in.wav", dir / "text.wav", "--set", text});
        ASSERT_EQ(run.exitCode, 0) << run.err;
        ASSERT_EQ(runTool({"render", dir / "in.wav", dir / "number.wav", "--set", number}).exitCode, 0);
        const std::vector<float> fromText = readAudio(dir / "text.wav").samples;
        EXPECT_TRUE(sameBits(fromText, readAudio(dir / "number.wav").samples));
        EXPECT_FALSE(sameBits(fromText, plain));
    }
}

// A mono file feeds both inputs and gives a stereo file.
TEST(ToolRender, MonoInputFeedsBothInputs) {
    TempDir dir;
    const std::vector<float> input = testSignal(6000, 1, 44100);
    writeAudio(dir / "mono.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 44100, 1, input);
    tooltest::Run run = runTool({"render", dir / "mono.wav", dir / "out.wav", "--block", "512"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("mono"), std::string::npos) << run.out;
    Audio out = readAudio(dir / "out.wav");
    EXPECT_EQ(out.info.channels, 2);
    std::vector<float> expected = processDirectly(input, 1, 44100, 512, [](AEffect*) {});
    EXPECT_GT(nonZero(expected), expected.size() / 2);
    EXPECT_TRUE(sameBits(out.samples, expected));
}

// The output's format follows its extension, with the input's sample width
// where that format has it.
TEST(ToolRender, OutputFormatFollowsExtensionAndInputWidth) {
    TempDir dir;
    const std::vector<float> input = testSignal(3000, 2, 44100);
    writeAudio(dir / "in16.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2, input);
    writeAudio(dir / "in24.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_24, 44100, 2, input);
    writeAudio(dir / "float.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 44100, 2, input);
    writeAudio(dir / "in.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 22050, 2, input);
    struct Case {
        const char* in;
        const char* out;
        int format;
    } cases[] = {
        {"in16.wav", "a.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16},
        {"in16.wav", "b.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16},
        {"in24.aiff", "c.WAV", SF_FORMAT_WAV | SF_FORMAT_PCM_24},
        {"float.wav", "d.aif", SF_FORMAT_AIFF | SF_FORMAT_FLOAT},
        {"float.wav", "e.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_24},  // FLAC has no float: the widest it has
        {"in.flac", "f.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS},
    };
    for (const Case& c : cases) {
        tooltest::Run run = runTool({"render", dir / c.in, dir / c.out});
        ASSERT_EQ(run.exitCode, 0) << c.out << ": " << run.err;
        Audio out = readAudio(dir / c.out);
        EXPECT_EQ(out.info.format, c.format) << c.out;
        EXPECT_EQ(out.info.samplerate, readAudio(dir / c.in).info.samplerate) << c.out;
        EXPECT_EQ(out.info.frames, 3000) << c.out;
    }
}

// A successful render replaces an existing output and leaves no temporary
// file beside it.
TEST(ToolRender, ReplacesAnExistingOutputWholly) {
    TempDir dir;
    writeAudio(dir / "in.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2, testSignal(2000, 2, 44100));
    tooltest::writeText(dir / "out.wav", "an older file");
    ASSERT_EQ(runTool({"render", dir / "in.wav", dir / "out.wav"}).exitCode, 0);
    EXPECT_EQ(readAudio(dir / "out.wav").info.frames, 2000);
    EXPECT_EQ(dir.list(), (std::vector<std::string>{"in.wav", "out.wav"}));
}

// Every output, audio or picture, reaches the disk whole before it is renamed
// into place, and the rename after: the program syncs the finished file,
// renames it, then syncs the folder (as the preloaded probe logs them).
TEST(ToolRender, OutputsReachTheDiskAroundTheirRename) {
    TempDir dir, logs;
    writeAudio(dir / "in.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2, testSignal(2000, 2, 44100));
    const std::string demo = dir / "demo";
    const std::vector<std::vector<std::string>> commands{{"render", dir / "in.wav", dir / "out.wav"},
                                                         {"render", dir / "in.wav", dir / "out.flac"},
                                                         {"snapshot", dir / "out.png"},
                                                         {"demo", "--out", demo}};
    setenv("HALVORINE_SYNC_LOG", (logs / "sync").c_str(), 1);
    setenv("LD_PRELOAD", SYNC_PROBE_MODULE, 1);
    const char* asan = std::getenv("ASAN_OPTIONS");
    const std::string asanBefore = asan != nullptr ? asan : "";
    // The probe comes before the sanitizer's runtime.
    setenv("ASAN_OPTIONS", (asanBefore + ":verify_asan_link_order=0").c_str(), 1);
    for (const std::vector<std::string>& args : commands)
        EXPECT_EQ(runTool(args).exitCode, 0) << args[0];
    unsetenv("LD_PRELOAD");
    if (asan != nullptr)
        setenv("ASAN_OPTIONS", asanBefore.c_str(), 1);
    else
        unsetenv("ASAN_OPTIONS");
    std::vector<std::string> lines;
    std::istringstream log(tooltest::readText(logs / "sync"));
    for (std::string line; std::getline(log, line);)
        lines.push_back(line);

    namespace fs = std::filesystem;
    for (const std::string& out : {dir / "out.wav", dir / "out.flac", dir / "out.png", demo + "/groove.wav",
                                   demo + "/groove-gated.wav", demo + "/comparison.png"}) {
        SCOPED_TRACE(out);
        auto renamed = std::find_if(lines.begin(), lines.end(), [&](const std::string& line) {
            return line.rfind("rename ", 0) == 0 && line.size() > out.size() &&
                   line.compare(line.size() - out.size() - 1, std::string::npos, " " + out) == 0;
        });
        ASSERT_NE(renamed, lines.end());
        const std::string temporary = renamed->substr(7, renamed->size() - 8 - out.size());
        const fs::path folder = fs::canonical(fs::path(out).parent_path());
        ASSERT_NE(renamed, lines.begin());
        EXPECT_EQ(*(renamed - 1), "fsync " + (folder / fs::path(temporary).filename()).string());
        ASSERT_NE(renamed + 1, lines.end());
        EXPECT_EQ(*(renamed + 1), "fsync " + folder.string());
    }
}

}  // namespace

// The host's answer about a plug-in's pins: value 0 asks about an input, 1
// about an output, and 0 answers "connected". A plug-in of one input and
// two outputs hears that exactly those are connected.
TEST(ToolHost, TellsAPluginWhichOfItsPinsAreConnected) {
    tooltest::Run run = runTool({"info", "--json", "--plugin", PIN_PROBE_MODULE});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("\"effectName\": \"in 10 out 110\""), std::string::npos) << run.out;
}

namespace {

using Names = std::vector<std::string>;

// Many inputs into one folder: what is written, what is refused before
// anything is, and what a failing file leaves to the others. "IN/" stands
// for the folder of inputs; "OUT" for the output folder, made afresh.
TEST(ToolBatch, CommandLineCases) {
    TempDir dir;
    namespace fs = std::filesystem;
    fs::create_directories(dir / "in/sub");
    for (const char* name : {"in/a.wav", "in/b.wav", "in/sub/a.wav", "in/sub/c.wav", "key.wav"})
        writeAudio(dir / name, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2, testSignal(3000, 2, 44100));
    tooltest::writeText(dir / "notes.wav", "not audio\n");
    const std::string kept = "an earlier output, kept";
    struct Case {
        const char* what;
        Names args;
        int exitCode;
        Names outputs;
        const char* message;  // in standard error
    } cases[] = {
        {"two inputs", {"IN/a.wav", "IN/b.wav"}, 0, {"a.wav", "b.wav"}, ""},
        {"an unreadable one among them", {"IN/a.wav", dir / "notes.wav", "IN/b.wav"}, 1, {"a.wav", "b.wav"},
         "1 of 3 files failed: "},
        {"the same output named twice", {"IN/a.wav", "IN/sub/a.wav"}, 2, {}, "would both be written to"},
        {"--skip-existing", {"IN/a.wav", "IN/b.wav", "--skip-existing"}, 0, {"a.wav", "b.wav"}, ""},
        {"a folder, --recursive", {dir / "in", "--recursive", "--format", "flac"}, 0,
         {"a.flac", "b.flac", "sub/a.flac", "sub/c.flac"}, ""},
        {"a folder without --recursive", {dir / "in"}, 2, {}, "add --recursive"},
        {"--key with two inputs", {"IN/a.wav", "IN/b.wav", "--key", dir / "key.wav"}, 2, {}, "belongs to one input"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(dir / "out");
        const bool skip = std::string(c.what) == "--skip-existing";
        if (skip) {
            fs::create_directory(dir / "out");
            tooltest::writeText(dir / "out/a.wav", kept);
        }
        Names args{"render", "--out-dir", dir / "out"};
        for (const std::string& arg : c.args)
            args.push_back(arg.rfind("IN/", 0) == 0 ? dir / ("in/" + arg.substr(3)) : arg);
        tooltest::Run run = runTool(args);
        EXPECT_EQ(run.exitCode, c.exitCode) << run.err;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        EXPECT_EQ(tooltest::listTree(dir.path() / "out"), c.outputs);
        if (skip) {
            EXPECT_EQ(tooltest::readText(dir / "out/a.wav"), kept);
        }
    }
}

// Files rendered four at once, each by its own thread and instance, hold
// the bits that one at a time and a one-file render give, through either
// library (the CLAP edition with a key source).
TEST(ToolBatch, FourAtOnceGiveTheBitsOfOneAtATime) {
    TempDir dir;
    Names inputs;
    for (int i = 0; i < 6; ++i) {
        const int rate = i % 2 == 0 ? 44100 : 48000, channels = i % 3 == 2 ? 1 : 2;
        inputs.push_back(dir / ("in" + std::to_string(i) + ".wav"));
        writeAudio(inputs.back(), SF_FORMAT_WAV | SF_FORMAT_FLOAT, rate, channels,
                   testSignal(20000 + 1000 * i, channels, rate, 7 + i));
    }
    for (const Names& settings : {Names{"--program", "Gated", "--set", "Boost=0.7"}, Names{"--key-source", "side"}}) {
        SCOPED_TRACE(settings[0]);
        for (const char* jobs : {"1", "4"}) {
            Names args{"render", "--out-dir", dir / ("j" + std::string(jobs)), "-j", jobs};
            args.insert(args.end(), inputs.begin(), inputs.end());
            args.insert(args.end(), settings.begin(), settings.end());
            ASSERT_EQ(runTool(args).exitCode, 0);
        }
        Names one{"render", inputs[5], dir / "one.wav"};
        one.insert(one.end(), settings.begin(), settings.end());
        ASSERT_EQ(runTool(one).exitCode, 0);
        EXPECT_TRUE(sameBits(readAudio(dir / "j4/in5.wav").samples, readAudio(dir / "one.wav").samples));
        for (int i = 0; i < 6; ++i) {
            const std::string name = "/in" + std::to_string(i) + ".wav";
            EXPECT_TRUE(sameBits(readAudio(dir / ("j1" + name)).samples, readAudio(dir / ("j4" + name)).samples))
                << name;
        }
        std::filesystem::remove_all(dir / "j1");
        std::filesystem::remove_all(dir / "j4");
    }
}

// --progress=plain: a line per file on standard error, and each file's
// report whole on standard output, however the threads finish.
TEST(ToolBatch, PlainProgressHasALinePerFileEachWhole) {
    TempDir dir;
    Names args{"render", "--out-dir", dir / "out", "-j", "3", "--progress=plain"};
    for (int i = 0; i < 7; ++i) {
        args.push_back(dir / ("in" + std::to_string(i) + ".wav"));
        writeAudio(args.back(), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2, testSignal(30000, 2, 44100, i));
    }
    tooltest::Run run = runTool(args);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::regex progress(R"(([1-7])/7 files +\d+%  \d+x real time  \d+:\d\d left  done: .*/out/in[0-6]\.wav)");
    const std::regex report(R"(.*/out/in[0-6]\.wav: 0\.68 s at 44100 Hz stereo in .* dBFS, RMS -?[0-9.]+ dBFS)");
    for (const auto& [text, pattern] : {std::make_pair(run.err, progress), std::make_pair(run.out, report)}) {
        std::istringstream lines(text);
        std::set<std::string> files;
        size_t count = 0;
        for (std::string line; std::getline(lines, line); ++count) {
            EXPECT_TRUE(std::regex_match(line, pattern)) << line;
            files.insert(line.substr(line.find("/out/")));
        }
        EXPECT_EQ(count, 7u) << text;
        EXPECT_EQ(files.size(), 7u) << text;
    }
}

}  // namespace
