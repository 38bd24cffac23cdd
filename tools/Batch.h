// Rendering many files at once: `halvorine render IN... --out-dir DIR`.
// Every file is rendered with the same settings, each by one thread with
// an instance of its own, from a library loaded once.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "Progress.h"
#include "Render.h"

namespace halvorine {

struct BatchOptions {
    std::vector<std::string> inputs;  // files, and folders with `recursive`
    std::string outDir;
    std::string format;  // the outputs' extension; empty: each input's own
    bool recursive = false;
    bool skipExisting = false;
};

struct BatchFile {
    std::string input, output;
    bool skip = false;  // the output is there already (--skip-existing)
};

// A command line that names no batch to render: a folder without
// --recursive, two inputs for one output. Nothing has been done.
struct BatchRefused : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The files to render and their outputs, in the order given (a folder's
// files sorted by path). Throws BatchRefused.
std::vector<BatchFile> planBatch(const BatchOptions& options);

// The processors this process may run on: the default number of files
// rendered at once.
int availableCores();

// Renders the plan with `shared`'s settings (input and output aside),
// `threads` files at once. Each file's report goes to standard output and
// each failure to standard error as it happens; the others go on. Answers
// the exit status: 0, 1 when any file failed (after a summary of which),
// or 128 + the signal that stopped it, which is then in `interruptedBy`.
// Throws std::runtime_error, before any file is touched, for settings the
// plug-in refuses.
int runBatch(const std::vector<BatchFile>& plan, const RenderOptions& shared, int threads, Progress::Mode mode,
             int& interruptedBy);

}  // namespace halvorine
