// What a render says while it runs: a line on standard error rewritten in
// place, or a line per finished file, or nothing; and each file's report,
// printed whole however many files are rendered at once.
#pragma once

#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

namespace halvorine {

class Progress {
public:
    enum class Mode {
        Line,   // one line on standard error (a terminal), rewritten in place
        Plain,  // a line per finished file, for logs
        None,
    };
    // The names as --progress takes them, in the order of Mode.
    static constexpr const char* kModeNames[] = {"line", "plain", "none"};

    Progress(Mode mode, int files);
    ~Progress();  // takes the line away
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    // File `file` (0 .. files-1) has `done` of its `total` seconds of audio
    // rendered; a total still unknown is 0. Called from the file's thread.
    void update(int file, double done, double total);
    // File `file`, whose output is `name`, is finished: `report` goes to
    // standard output and `error` to standard error, each whole; `failed`
    // when it was not written.
    void finish(int file, const std::string& name, const std::string& report, const std::string& error,
                bool failed);
    // A message that belongs to no file, whole, to standard error.
    void say(const std::string& text);

private:
    using Clock = std::chrono::steady_clock;
    std::string stateText(double elapsed) const;
    void draw(Clock::time_point now);
    void clearLine();

    Mode mode_;
    std::mutex mutex_;
    std::vector<double> done_, total_;  // per file, seconds of audio
    double doneSum_ = 0.0, totalSum_ = 0.0;
    int files_, finished_ = 0;
    Clock::time_point start_, lastDrawn_;
    bool drawn_ = false;
};

}  // namespace halvorine
