// The demo's input: a short stereo drum groove with noisy room tone, made
// from fixed formulas and a seeded noise source, so every run and every
// machine produces the same samples.
#pragma once

#include <vector>

namespace halvorine {

struct StereoBuffer {
    int sampleRate = 44100;
    std::vector<float> left, right;
};

StereoBuffer synthesiseGroove(int sampleRate = 44100);

}  // namespace halvorine
