#include "Batch.h"

#include <sched.h>
#include <sndfile.h>

#include <algorithm>
#include <atomic>
#include <cfenv>
#include <filesystem>
#include <map>
#include <mutex>
#include <system_error>
#include <thread>

#include "AudioFiles.h"
#include "ClapRender.h"
#include "PluginHost.h"

namespace halvorine {

namespace fs = std::filesystem;

namespace {

std::string extensionOf(const fs::path& path) {
    const std::string ext = path.extension().string();
    return ext.empty() ? "" : ext.substr(1);
}

// The audio files in `folder` and its sub-folders, sorted. Hidden entries
// are passed over (a render's temporary files are hidden), and so is the
// output folder when it lies inside: its files are this batch's outputs.
std::vector<fs::path> audioFilesIn(const fs::path& folder, const fs::path& outDir) {
    std::vector<fs::path> files;
    std::error_code error;
    fs::recursive_directory_iterator entry(folder, error), end;
    for (; !error && entry != end; entry.increment(error)) {
        const fs::path& path = entry->path();
        std::error_code ignored;
        if (path.filename().string()[0] == '.' || fs::equivalent(path, outDir, ignored)) {
            entry.disable_recursion_pending();
            continue;
        }
        if (entry->is_regular_file(ignored) && knownAudioExtension(extensionOf(path)))
            files.push_back(path);
    }
    if (error)
        throw std::runtime_error("cannot read the folder " + folder.string() + ": " + error.message());
    std::sort(files.begin(), files.end());
    return files;
}

// The length of a file in seconds, from its header, for the progress line;
// 0 for what is not a plain, readable audio file (a pipe is read once, by
// its render).
double lengthOf(const std::string& path) {
    std::error_code error;
    if (!fs::is_regular_file(path, error))
        return 0.0;
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr)
        return 0.0;
    sf_close(file);
    return info.samplerate > 0 ? double(info.frames) / info.samplerate : 0.0;
}

// The settings applied once to an instance of their own, so that a name
// or value the plug-in refuses stops the batch before it starts rather
// than failing every file alike.
void checkSettings(const RenderOptions& shared) {
    if (!shared.keySource.empty()) {
        ClapInstance probe(shared.clapModule);
        probe.configure(shared.settings, keySourceIndex(shared.keySource));
    } else {
        Plugin probe(shared.library, 44100.0);
        probe.open(shared.blockSize);
        applySettings(probe, shared.settings);
    }
}

// "cannot read x.wav: ..." names its file already; other messages (the
// plug-in refused the rate) are given the input's name.
std::string failureText(const BatchFile& file, const std::string& why) {
    const bool named = why.find(file.input) != std::string::npos || why.find(file.output) != std::string::npos;
    return "halvorine render: " + (named ? why : file.input + ": " + why) + "\n";
}

std::string listOf(const std::vector<std::string>& names) {
    constexpr size_t kShown = 10;
    std::string text;
    for (size_t i = 0; i < names.size() && i < kShown; ++i)
        text += (i == 0 ? "" : ", ") + names[i];
    if (names.size() > kShown)
        text += " and " + std::to_string(names.size() - kShown) + " more";
    return text;
}

}  // namespace

std::vector<BatchFile> planBatch(const BatchOptions& options) {
    const fs::path outDir(options.outDir);
    // Each input with its output's path inside the output folder.
    std::vector<std::pair<std::string, fs::path>> found;
    for (const std::string& input : options.inputs) {
        std::error_code error;
        if (!fs::is_directory(input, error)) {
            found.emplace_back(input, fs::path(input).filename());
            continue;
        }
        if (!options.recursive)
            throw BatchRefused(input + " is a folder; add --recursive to render the audio files in it and its "
                                       "sub-folders");
        const std::vector<fs::path> files = audioFilesIn(input, outDir);
        if (files.empty())
            throw BatchRefused("no audio files in the folder " + input);
        for (const fs::path& file : files)
            found.emplace_back(file.string(), file.lexically_relative(input));
    }

    std::map<std::string, std::string> inputOf;
    std::vector<BatchFile> plan;
    for (auto& [input, relative] : found) {
        if (!options.format.empty())
            relative.replace_extension(options.format);
        BatchFile file;
        file.input = input;
        file.output = (outDir / relative).lexically_normal().string();
        auto [earlier, fresh] = inputOf.emplace(file.output, input);
        if (!fresh)
            throw BatchRefused(earlier->second + " and " + input + " would both be written to " + file.output +
                               (options.recursive ? "" : "; keep their folders with --recursive, or render them apart"));
        std::error_code error;
        file.skip = options.skipExisting && fs::is_regular_file(file.output, error);
        plan.push_back(file);
    }
    return plan;
}

int availableCores() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0)
        return CPU_COUNT(&set);
    return std::max(1u, std::thread::hardware_concurrency());
}

int runBatch(const std::vector<BatchFile>& plan, const RenderOptions& shared, int threads, Progress::Mode mode,
             int& interruptedBy) {
    checkSettings(shared);
    std::vector<const BatchFile*> work;
    for (const BatchFile& file : plan) {
        if (file.skip)
            std::printf("%s: there already; left as it is (--skip-existing)\n", file.output.c_str());
        else
            work.push_back(&file);
    }
    if (work.empty())
        return 0;

    Progress progress(mode, static_cast<int>(work.size()));
    for (size_t i = 0; i < work.size(); ++i)
        progress.update(static_cast<int>(i), 0.0, lengthOf(work[i]->input));

    // Each thread does its arithmetic in this thread's environment, which
    // the library's load step set (exceptions masked); the plug-in's entry
    // points guard their own rounding either way.
    std::fenv_t environment;
    std::fegetenv(&environment);
    std::atomic<size_t> next{0};
    std::atomic<int> written{0};
    std::mutex failedLock;
    std::vector<size_t> failed;
    auto renderFiles = [&] {
        std::fesetenv(&environment);
        for (;;) {
            if (InterruptGuard::pending())
                return;
            const size_t index = next++;
            if (index >= work.size())
                return;
            const BatchFile& file = *work[index];
            RenderOptions options = shared;
            options.input = file.input;
            options.output = file.output;
            options.progress = [&progress, index](long long done, long long total, int rate) {
                progress.update(static_cast<int>(index), double(done) / rate, double(total) / rate);
            };
            try {
                const fs::path folder = fs::path(file.output).parent_path();
                std::error_code error;
                if (!folder.empty() && !fs::create_directories(folder, error) && error)
                    throw std::runtime_error("cannot write " + file.output + ": cannot make its folder: " +
                                             error.message());
                const RenderResult result = render(options);
                ++written;
                progress.finish(static_cast<int>(index), file.output, result.summary(file.output) + "\n", "", false);
            } catch (const Interrupted&) {
                return;
            } catch (const std::exception& e) {
                // Once a signal has come, what fails is part of stopping,
                // not a fault of the file.
                if (InterruptGuard::pending())
                    return;
                {
                    std::lock_guard<std::mutex> lock(failedLock);
                    failed.push_back(index);
                }
                progress.finish(static_cast<int>(index), file.input, "", failureText(file, e.what()), true);
            }
        }
    };
    // One file at a time (-j 1, or a single file, as each task of a job
    // spread over machines renders) needs no thread but this one.
    std::vector<std::thread> pool;
    const size_t count = std::min(work.size(), static_cast<size_t>(std::max(1, threads)));
    try {
        while (count > 1 && pool.size() < count)
            pool.emplace_back(renderFiles);
    } catch (const std::system_error&) {
        // Fewer threads than asked for share the work; with none, this one does it.
    }
    if (pool.empty())
        renderFiles();
    for (std::thread& thread : pool)
        thread.join();

    const size_t total = work.size();
    if (int sig = InterruptGuard::pending()) {
        progress.say("halvorine render: interrupted; " + std::to_string(written.load()) + " of " +
                     std::to_string(total) + " files were written, the others not\n");
        interruptedBy = sig;
        return 128 + sig;
    }
    if (!failed.empty()) {
        std::sort(failed.begin(), failed.end());
        std::vector<std::string> names;
        for (size_t index : failed)
            names.push_back(work[index]->input);
        progress.say("halvorine render: " + std::to_string(failed.size()) + " of " + std::to_string(total) +
                     " files failed: " + listOf(names) + "\n");
        return 1;
    }
    return 0;
}

}  // namespace halvorine
