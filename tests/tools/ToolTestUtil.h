// Running the halvorine program from a test, and reading and writing the
// audio files it works on.
#pragma once

#include <fcntl.h>
#include <sndfile.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

namespace tooltest {

namespace fs = std::filesystem;

// A fresh folder, removed with everything in it at the end of the test.
class TempDir {
public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "halvorine-tool-test.XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr)
            throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~TempDir() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    std::string operator/(const std::string& name) const { return (path_ / name).string(); }
    const fs::path& path() const { return path_; }
    // Names of the entries, sorted: shows any file left behind.
    std::vector<std::string> list() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(path_))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

private:
    fs::path path_;
};

// The files under `folder` and its sub-folders, hidden ones included, as
// sorted paths relative to it; none for a folder that is not there.
inline std::vector<std::string> listTree(const fs::path& folder) {
    std::vector<std::string> names;
    std::error_code missing;
    for (fs::recursive_directory_iterator entry(folder, missing), end; !missing && entry != end; ++entry)
        if (!entry->is_directory())
            names.push_back(entry->path().lexically_relative(folder).string());
    std::sort(names.begin(), names.end());
    return names;
}

inline std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

inline void writeText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

struct Run {
    int exitCode = -1;  // 128 + signal when killed by one
    std::string out, err;
};

// Starts the tool with `args`, its output and errors going to the files.
inline pid_t spawnTool(const std::vector<std::string>& args, const std::string& outFile, const std::string& errFile) {
    std::vector<std::string> argv{HALVORINE_TOOL};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> pointers;
    for (auto& a : argv)
        pointers.push_back(a.data());
    pointers.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = -1;
    int status = posix_spawn(&pid, argv[0].c_str(), &actions, nullptr, pointers.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (status != 0)
        throw std::runtime_error("cannot start " + argv[0]);
    return pid;
}

inline int waitExit(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Runs the tool to the end. Its output goes through files outside the
// folders the tests look at, or to `stdoutFile` if one is given (then
// Run::out stays empty).
inline Run runTool(const std::vector<std::string>& args, const std::string& stdoutFile = "") {
    static TempDir logs;
    const std::string out = stdoutFile.empty() ? logs / "stdout" : stdoutFile, err = logs / "stderr";
    Run run;
    run.exitCode = waitExit(spawnTool(args, out, err));
    if (stdoutFile.empty())
        run.out = readText(out);
    run.err = readText(err);
    return run;
}

// Runs the tool with files limited to `bytes`: writing past that fails with
// EFBIG, as on a full disk.
inline Run runToolWithFileLimit(const std::vector<std::string>& args, rlim_t bytes) {
    // Both are inherited by the tool: the limit, and the ignored signal
    // that would otherwise end it at the first write past the limit.
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit limited = saved;
    limited.rlim_cur = bytes;
    struct sigaction ignore {}, previous {};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGXFSZ, &ignore, &previous);
    static TempDir logs;
    const std::string out = logs / "stdout", err = logs / "stderr";
    setrlimit(RLIMIT_FSIZE, &limited);
    const pid_t pid = spawnTool(args, out, err);
    setrlimit(RLIMIT_FSIZE, &saved);
    sigaction(SIGXFSZ, &previous, nullptr);
    Run run;
    run.exitCode = waitExit(pid);
    run.out = readText(out);
    run.err = readText(err);
    return run;
}

struct Audio {
    SF_INFO info{};
    std::vector<float> samples;  // interleaved
};

inline void writeAudio(const std::string& path, int format, int rate, int channels, const std::vector<float>& samples) {
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = format;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (file == nullptr)
        throw std::runtime_error("cannot write " + path + ": " + sf_strerror(nullptr));
    sf_writef_float(file, samples.data(), static_cast<sf_count_t>(samples.size() / channels));
    sf_close(file);
}

inline Audio readAudio(const std::string& path) {
    Audio audio;
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &audio.info);
    if (file == nullptr)
        throw std::runtime_error("cannot read " + path + ": " + sf_strerror(nullptr));
    audio.samples.resize(static_cast<size_t>(audio.info.frames * audio.info.channels));
    sf_readf_float(file, audio.samples.data(), audio.info.frames);
    sf_close(file);
    return audio;
}

// Drum-like test material: decaying tone bursts over low noise, different
// on each channel, from a fixed seed.
inline std::vector<float> testSignal(size_t frames, int channels, int rate, uint32_t seed = 12345) {
    std::vector<float> samples(frames * channels);
    for (size_t i = 0; i < frames; ++i) {
        double t = double(i) / rate, burst = std::fmod(t, 0.25);
        for (int c = 0; c < channels; ++c) {
            seed = seed * 1664525u + 1013904223u;
            double noise = (seed >> 8) / 8388608.0 - 1.0;
            double tone = std::sin(2.0 * M_PI * (110.0 + 70.0 * c) * t) * std::exp(-burst / 0.04);
            samples[i * channels + c] = static_cast<float>(0.6 * tone + 0.01 * noise);
        }
    }
    return samples;
}

}  // namespace tooltest
