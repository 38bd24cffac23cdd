// Learning the sixteen gate levels from a stretch of noise: the noise is
// run through the engine with the chosen program, settings and key source,
// and each band's gate level is set a margin above the band's largest
// detector value (gate::LearnGateLevels, as the editor's Learn does).
#pragma once

#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "GateMath.h"
#include "Render.h"

namespace halvorine {

struct LearnOptions {
    std::string noise;       // the audio file to learn from
    double marginDb = gate::kLearnMarginDb;  // how far above the noise the thresholds go
    Settings settings;       // --program and --set, as render applies them
    std::string keySource;   // as --key-source names it; empty: left
};

struct Learned {
    int sampleRate = 0;  // the noise file's, which the bands were designed for
    int heard = 0;       // bands that heard the noise; 0: nothing learned
    // The sixteen gate levels as --set takes them: the parameter's name
    // and the read-out's text, which reads back as exactly the learned
    // level. Bands that heard nothing keep the level the settings give.
    std::vector<std::pair<std::string, std::string>> sets;
    std::vector<int> silentBands;  // numbers (1 to 16) of the bands that heard nothing
};

// Thrown when the noise held no audio above any band's floor.
struct NothingLearned : std::runtime_error {
    explicit NothingLearned(const std::string& noise);
};

// Throws std::runtime_error (one line), NothingLearned or Interrupted.
Learned learn(const LearnOptions& options);

// The levels as one line of shell-ready arguments:
// --set "Band 1Gate Level=-23.4dB" --set ...
std::string setArguments(const Learned& learned);

// render --learn: learns from `noise` with the render's own settings and
// key source, and appends the levels to its --set. The noise must have
// the input's sample rate, since the bands are designed for it (checked
// where the render has one input, render.input).
void addLearnedLevels(RenderOptions& render, const std::string& noise, double marginDb);

}  // namespace halvorine
