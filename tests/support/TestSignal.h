// Deterministic test signals made with integer arithmetic only, so that
// every build, on every C library, makes exactly the same samples.
#pragma once

#include <cstdint>
#include <vector>

namespace testsignal {

class Lcg {
public:
    explicit Lcg(uint32_t seed) : state_(seed) {}
    uint32_t next() {
        state_ = state_ * 1664525u + 1013904223u;
        return state_;
    }
    // Uniform in [-1, 1).
    float uniform() { return static_cast<float>(static_cast<int32_t>(next()) >> 8) / 8388608.0f; }

private:
    uint32_t state_;
};

// Drum-like bursts of noise and tone with quiet noise between them: loud
// enough to open gates, quiet enough in between to close them.
inline void MakeTestSignal(std::vector<float>& left, std::vector<float>& right, int frames, uint32_t seed) {
    Lcg rng(seed);
    left.assign(static_cast<size_t>(frames), 0.0f);
    right.assign(static_cast<size_t>(frames), 0.0f);
    for (int n = 0; n < frames; ++n) {
        const int phase = n % 4410;
        float env = phase < 2000 ? 1.0f - static_cast<float>(phase) / 2000.0f : 0.0f;
        env = env * env;
        // A square-ish tone whose period changes per burst.
        const int period = 20 + 7 * ((n / 4410) % 9);
        const float tone = ((n / period) % 2 == 0) ? 0.5f : -0.5f;
        const float noise = rng.uniform();
        left[static_cast<size_t>(n)] = env * (0.6f * noise + tone) + 0.003f * rng.uniform();
        right[static_cast<size_t>(n)] = env * (0.5f * rng.uniform() - 0.7f * tone) + 0.003f * rng.uniform();
    }
}

}  // namespace testsignal
