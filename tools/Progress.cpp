#include "Progress.h"

#include <algorithm>
#include <cmath>

namespace halvorine {

namespace {

// A run shorter than this draws no line: it would only flicker.
constexpr double kQuietSeconds = 1.0;
constexpr auto kRedrawEvery = std::chrono::milliseconds(100);

std::string clockText(double seconds) {
    long total = std::lround(std::max(0.0, seconds));
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%ld:%02ld", total / 60, total % 60);
    return buffer;
}

// Standard error is unbuffered: each text leaves in one piece. Standard
// output keeps its buffering (main() checks that all of it arrived); every
// text is written under the one lock, so none is split by another.
void put(FILE* stream, const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stream);
    if (stream == stderr)
        std::fflush(stream);
}

}  // namespace

Progress::Progress(Mode mode, int files)
    : mode_(mode), done_(files, 0.0), total_(files, 0.0), files_(files), start_(Clock::now()), lastDrawn_(start_) {}

Progress::~Progress() {
    std::lock_guard<std::mutex> lock(mutex_);
    clearLine();
}

void Progress::update(int file, double done, double total) {
    std::lock_guard<std::mutex> lock(mutex_);
    // A file whose header promised less than it held (a pipe, a stream)
    // counts what it gave.
    total = std::max(total, done);
    totalSum_ += total - total_[file];
    doneSum_ += done - done_[file];
    total_[file] = total;
    done_[file] = done;
    if (mode_ != Mode::Line)
        return;
    const Clock::time_point now = Clock::now();
    if (std::chrono::duration<double>(now - start_).count() < kQuietSeconds ||
        (drawn_ && now - lastDrawn_ < kRedrawEvery))
        return;
    draw(now);
}

void Progress::finish(int file, const std::string& name, const std::string& report, const std::string& error,
                      bool failed) {
    std::lock_guard<std::mutex> lock(mutex_);
    ++finished_;
    // A failed file's audio counts as done: nothing of it is left to do.
    doneSum_ += total_[file] - done_[file];
    done_[file] = total_[file];
    clearLine();
    if (!error.empty())
        put(stderr, error);
    if (!report.empty())
        put(stdout, report);
    if (mode_ == Mode::Plain) {
        const double elapsed = std::chrono::duration<double>(Clock::now() - start_).count();
        put(stderr, stateText(elapsed) + (failed ? "  failed: " : "  done: ") + name + "\n");
    }
}

void Progress::say(const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    clearLine();
    put(stderr, text);
}

// "3/16 files  42%  380x real time  0:12 left"
std::string Progress::stateText(double elapsed) const {
    // The sums gather rounding errors: all done is 100 %.
    const double fraction = finished_ == files_ ? 1.0 : totalSum_ > 0.0 ? std::min(1.0, doneSum_ / totalSum_) : 0.0;
    const double speed = elapsed > 0.0 ? doneSum_ / elapsed : 0.0;
    char buffer[160];
    std::snprintf(buffer, sizeof buffer, "%d/%d files  %3d%%  %.0fx real time  %s left", finished_, files_,
                  static_cast<int>(fraction * 100), speed,
                  speed > 0.0 ? clockText((totalSum_ - doneSum_) / speed).c_str() : "?:??");
    return buffer;
}

void Progress::draw(Clock::time_point now) {
    lastDrawn_ = now;
    drawn_ = true;
    const double elapsed = std::chrono::duration<double>(now - start_).count();
    const double fraction = totalSum_ > 0.0 ? std::min(1.0, doneSum_ / totalSum_) : 0.0;
    constexpr int kWidth = 30;
    std::string bar(static_cast<size_t>(fraction * kWidth), '#');
    bar.resize(kWidth, '.');
    put(stderr, "\r[" + bar + "] " + stateText(elapsed) + "\033[K");
}

void Progress::clearLine() {
    if (!drawn_)
        return;
    put(stderr, "\r\033[K");
    drawn_ = false;
}

}  // namespace halvorine
