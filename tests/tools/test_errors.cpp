// Every bad input gets a one-line error and a non-zero exit, and nothing is
// lost: no output appears, an existing output keeps its content, and no
// temporary file is left behind, whether the render failed or was stopped.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "ToolTestUtil.h"

namespace {

using tooltest::readText;
using tooltest::runTool;
using tooltest::TempDir;
using tooltest::writeAudio;
using tooltest::writeText;

constexpr const char* kPrecious = "an earlier render that must survive";

struct BadCase {
    const char* what;
    std::vector<std::string> args;  // "IN", "OUT" and "DIR" stand for paths in the test folder
    int exitCode;
    const char* message;  // part of the one error line
};

std::vector<BadCase> badCases() {
    return {
        {"missing input", {"render", "DIR/none.wav", "OUT"}, 1, "No such file"},
        {"input is a folder", {"render", "DIR", "OUT"}, 1, "folder"},
        {"input not audio", {"render", "DIR/notes.wav", "OUT"}, 1, "not an audio file"},
        {"input with 3 channels", {"render", "DIR/three.wav", "OUT"}, 1, "3 channels"},
        {"unknown option", {"render", "IN", "OUT", "--frobnicate"}, 2, "--frobnicate"},
        {"missing OUT", {"render", "IN"}, 2, "OUT"},
        {"unknown parameter", {"render", "IN", "OUT", "--set", "Loudness=0.5"}, 1, "unknown parameter \"Loudness\""},
        {"parameter index too big", {"render", "IN", "OUT", "--set", "30=0.5"}, 1, "out of range"},
        {"no value", {"render", "IN", "OUT", "--set", "Boost"}, 1, "NAME=VALUE"},
        {"value above 1", {"render", "IN", "OUT", "--set", "Boost=1.5"}, 1, "outside 0..1"},
        {"value below 0", {"render", "IN", "OUT", "--set", "Boost=-0.1"}, 1, "outside 0..1"},
        {"value not a number", {"render", "IN", "OUT", "--set", "Boost=loud"}, 1, "not a number"},
        {"value with trailing text", {"render", "IN", "OUT", "--set", "Boost=0.5x"}, 1, "not a number"},
        {"value text above the range", {"render", "IN", "OUT", "--set", "Boost=99dB"}, 1,
         "Boost: '99dB' is out of range; Boost takes -20dB..20dB"},
        {"value text below the range", {"render", "IN", "OUT", "--set", "Band 3Gate Level=-41dB"}, 1,
         "takes -40dB..0dB"},
        {"frequency above the range", {"render", "IN", "OUT", "--set", "Start Freq=30 kHz"}, 1,
         "Start Freq takes 20Hz..20.5KHz"},
        {"value text in another unit", {"render", "IN", "OUT", "--set", "Freq Q=5dB"}, 1,
         "takes 0..1 or a value text, 0%..100%"},
        {"value not finite", {"render", "IN", "OUT", "--set", "Boost=nan"}, 1, "not a number"},
        {"unknown program", {"render", "IN", "OUT", "--program", "Quiet"}, 1, "unknown program \"Quiet\""},
        {"program index too big", {"render", "IN", "OUT", "--program", "8"}, 1, "out of range"},
        {"block size zero", {"render", "IN", "OUT", "--block", "0"}, 2, "--block"},
        {"plug-in missing", {"render", "IN", "OUT", "--plugin", "DIR/none.so"}, 1, "not found"},
        {"plug-in not a library", {"render", "IN", "OUT", "--plugin", "DIR/notes.wav"}, 1, "cannot load plug-in"},
        {"plug-in without entry", {"render", "IN", "OUT", "--plugin", NO_ENTRY_MODULE}, 1, "has no entry"},
        {"OUT is IN", {"render", "IN", "IN"}, 1, "refusing"},
        {"OUT is IN by another path", {"render", "IN", "DIR/./sub/../in.wav"}, 1, "refusing"},
        {"OUT is IN through a link", {"render", "IN", "DIR/link.wav"}, 1, "refusing"},
        {"unknown output format", {"render", "IN", "DIR/out.xyz"}, 1, "unknown output format"},
        {"output folder missing", {"render", "IN", "DIR/missing/out.wav"}, 1, "cannot write"},
        {"OUT is a folder", {"render", "IN", "DIR/folder.wav"}, 1, "it is a folder"},
        {"OUT is a pipe", {"render", "IN", "DIR/pipe.wav"}, 1, "not a regular file"},
        {"OUT is a device", {"render", "IN", "/dev/null"}, 1, "/dev/null: it is not a regular file"},
        {"OUT is a folder without extension", {"render", "IN", "DIR/sub"}, 1, "it is a folder"},
        {"OUT without extension", {"render", "IN", "DIR/out"}, 1, "no extension to choose the output format"},
        {"snapshot into a pipe", {"snapshot", "DIR/pipe.wav"}, 1, "not a regular file"},
        {"info of a missing plug-in", {"info", "--plugin", "DIR/none.so"}, 1, "not found"},
        {"no command", {}, 2, "subcommand"},
        {"unknown command", {"mix", "IN"}, 2, "mix"},
    };
}

std::string substitute(const std::string& arg, const TempDir& dir) {
    if (arg == "IN")
        return dir / "in.wav";
    if (arg == "OUT")
        return dir / "out.wav";
    if (arg.rfind("DIR", 0) == 0)
        return dir.path().string() + arg.substr(3);
    return arg;
}

TEST(ToolErrors, EachBadInputFailsWithOneLineAndLosesNothing) {
    TempDir dir;
    const std::vector<float> input = tooltest::testSignal(2000, 2, 44100);
    writeAudio(dir / "in.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 44100, 2, input);
    writeAudio(dir / "three.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 3, tooltest::testSignal(100, 3, 44100));
    writeText(dir / "notes.wav", "not audio at all\n");
    std::filesystem::create_directory(dir / "sub");
    std::filesystem::create_symlink(dir / "in.wav", dir / "link.wav");
    std::filesystem::create_directory(dir / "folder.wav");
    ASSERT_EQ(mkfifo((dir / "pipe.wav").c_str(), 0644), 0);
    const std::string inputBytes = readText(dir / "in.wav");

    for (bool outExists : {false, true}) {
        for (const BadCase& c : badCases()) {
            SCOPED_TRACE(std::string(c.what) + (outExists ? ", OUT exists" : ", no OUT"));
            if (outExists)
                writeText(dir / "out.wav", kPrecious);
            const std::vector<std::string> before = dir.list();
            std::vector<std::string> args;
            for (const std::string& arg : c.args)
                args.push_back(substitute(arg, dir));

            tooltest::Run run = runTool(args);
            EXPECT_EQ(run.exitCode, c.exitCode) << run.err;
            EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
            // The cause of a failure nothing reported, read from errno.
            EXPECT_EQ(run.err.find("Success"), std::string::npos) << run.err;
            EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
            EXPECT_EQ(run.out, "");
            EXPECT_EQ(dir.list(), before);
            EXPECT_EQ(readText(dir / "in.wav"), inputBytes);
            if (outExists) {
                EXPECT_EQ(readText(dir / "out.wav"), kPrecious);
            }
            std::filesystem::remove(dir / "out.wav");
        }
    }
    EXPECT_TRUE(std::filesystem::is_fifo(dir / "pipe.wav")) << "the pipe was replaced";
}

// Standard output that cannot take the report (a full device, here
// /dev/full) fails every command that writes one, with the cause, even
// when the work itself was done.
TEST(ToolErrors, ReportThatCannotBeWrittenFailsTheCommand) {
    TempDir dir;
    writeAudio(dir / "in.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 44100, 2, tooltest::testSignal(2000, 2, 44100));
    const std::vector<std::vector<std::string>> commands{
        {"info"}, {"info", "--json"}, {"render", dir / "in.wav", dir / "out.wav"}, {"snapshot", dir / "out.png"},
        {"demo", "--out", dir / "demo"}, {"info", "--help"}};
    for (const std::vector<std::string>& args : commands) {
        SCOPED_TRACE(args[0] + (args.size() > 1 ? " " + args[1] : ""));
        tooltest::Run run = runTool(args, "/dev/full");
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_NE(run.err.find(": cannot write to standard output: No space left on device"), std::string::npos)
            << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    }
    // The same commands with somewhere to write succeed.
    for (const std::vector<std::string>& args : commands)
        EXPECT_EQ(runTool(args).exitCode, 0) << args[0];
}

// A disk that fills up while an output is written (files limited to a few
// kilobytes): the command fails with the system's cause and leaves neither
// the output nor its temporary file.
TEST(ToolErrors, FullDiskFailsTheWriteWithItsCause) {
    TempDir dir;
    writeAudio(dir / "in.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 44100, 2, tooltest::testSignal(20000, 2, 44100));
    const std::vector<std::string> before = dir.list();
    const std::vector<std::vector<std::string>> commands{
        {"render", dir / "in.wav", dir / "out.wav"}, {"render", dir / "in.wav", dir / "out.flac"},
        {"snapshot", dir / "out.png"}};
    for (const std::vector<std::string>& args : commands) {
        SCOPED_TRACE(args.back());
        tooltest::Run run = tooltest::runToolWithFileLimit(args, 4096);
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_NE(run.err.find("cannot write " + args.back() + ": "), std::string::npos) << run.err;
        EXPECT_NE(run.err.find("File too large"), std::string::npos) << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
        EXPECT_EQ(dir.list(), before);
    }
}

// Stops a render once it has begun writing, with each of the signals a user
// or a job controller sends. The input is a FIFO that the test holds open:
// its header promises twenty minutes, of which the test sends one second, so
// the render is still waiting for input when the signal comes, however fast
// the machine; the input ends only after the signal. The program removes
// its temporary file, says why it stopped, and dies by that signal, so that
// a shell loop or a script stops too.
TEST(ToolErrors, InterruptedRenderLeavesNothingBehindAndEndsByTheSignal) {
    TempDir dir, source;
    const size_t frames = 20 * 60 * 8000;
    writeAudio(source / "long.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 8000, 1, std::vector<float>(frames, 0.25f));
    const std::string whole = readText(source / "long.wav");
    const std::string start = whole.substr(0, whole.size() - 2 * frames + 2 * 8000);  // the header, one second
    const std::string input = source / "input.wav";
    ASSERT_EQ(mkfifo(input.c_str(), 0600), 0);
    for (int sig : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(sig == SIGINT ? "SIGINT" : "SIGTERM");
        writeText(dir / "out.wav", kPrecious);
        const std::vector<std::string> before = dir.list();
        TempDir logs;
        pid_t pid = tooltest::spawnTool({"render", input, dir / "out.wav"}, logs / "out", logs / "err");

        // Opened once the program opens its end (without a reader, a
        // writer's non-blocking open fails), within a generous bound.
        int feed = -1;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while ((feed = open(input.c_str(), O_WRONLY | O_NONBLOCK)) < 0 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        ASSERT_GE(feed, 0) << "the program never opened its input";
        ASSERT_EQ(write(feed, start.data(), start.size()), static_cast<ssize_t>(start.size()));
        // The temporary output appears once the plug-in is set up.
        while (dir.list().size() == before.size() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        ASSERT_EQ(dir.list().size(), before.size() + 1) << "no temporary output seen";
        kill(pid, sig);
        close(feed);
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);

        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig) << "wait status " << status;
        EXPECT_NE(readText(logs / "err").find("interrupted"), std::string::npos);
        EXPECT_EQ(dir.list(), before);
        EXPECT_EQ(readText(dir / "out.wav"), kPrecious);
    }
}

}  // namespace

namespace {

// SIGINT while two files are rendered at once: both workers stop, remove
// their temporary files, and the program ends by the signal. The inputs
// are FIFOs that the test holds open, as above, so both renders are still
// waiting when the signal comes. Their end is sent once the program has
// taken the signal (none is left pending for it).
TEST(ToolErrors, InterruptedBatchLeavesNoTemporaryFile) {
    TempDir dir, source, logs;
    const size_t frames = 20 * 60 * 8000;
    writeAudio(source / "long.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 8000, 1, std::vector<float>(frames, 0.25f));
    const std::string whole = readText(source / "long.wav");
    const std::string start = whole.substr(0, whole.size() - 2 * frames + 2 * 8000);
    const std::vector<std::string> inputs{source / "a.wav", source / "b.wav"};
    for (const std::string& input : inputs)
        ASSERT_EQ(mkfifo(input.c_str(), 0600), 0);
    pid_t pid = tooltest::spawnTool({"render", inputs[0], inputs[1], "--out-dir", dir / "out", "-j", "2"},
                                    logs / "out", logs / "err");
    std::vector<int> feeds;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    for (const std::string& input : inputs) {
        int feed = -1;
        while ((feed = open(input.c_str(), O_WRONLY | O_NONBLOCK)) < 0 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        ASSERT_GE(feed, 0) << "the program never opened " << input;
        ASSERT_EQ(write(feed, start.data(), start.size()), static_cast<ssize_t>(start.size()));
        feeds.push_back(feed);
    }
    while (tooltest::listTree(dir.path() / "out").size() < 2 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    ASSERT_EQ(tooltest::listTree(dir.path() / "out").size(), 2u) << "no temporary outputs seen";
    kill(pid, SIGINT);
    const std::string procStatus = "/proc/" + std::to_string(pid) + "/status";
    while (readText(procStatus).find("ShdPnd:\t0000000000000000") == std::string::npos &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    for (int feed : feeds)
        close(feed);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT) << "wait status " << status;
    EXPECT_NE(readText(logs / "err").find("interrupted; 0 of 2 files were written"), std::string::npos);
    EXPECT_EQ(tooltest::listTree(dir.path() / "out"), std::vector<std::string>());
}

}  // namespace
