// ns per frame of processReplacing for stereo 512-frame blocks, with
// flush-to-zero off and on (the engine's 1e-12 terms keep denormals out, so
// the two should be within a few per cent), and ns per setParameter call.
#include <benchmark/benchmark.h>

#include <xmmintrin.h>

#include <memory>
#include <vector>

#include "uPlugin.h"

namespace {

constexpr int kBlock = 512;

// A loud, gated-drum-like test signal that opens and closes the gates.
void MakeSignal(std::vector<float>& l, std::vector<float>& r, int frames) {
    uint32_t s = 12345;
    l.resize(static_cast<size_t>(frames));
    r.resize(static_cast<size_t>(frames));
    for (int n = 0; n < frames; ++n) {
        s = s * 1664525u + 1013904223u;
        const float noise = static_cast<float>(static_cast<int32_t>(s) >> 8) / 8388608.0f;
        const int phase = n % 11025;
        const float env = phase < 3000 ? 1.0f - phase / 3000.0f : 0.001f;
        l[static_cast<size_t>(n)] = env * noise;
        r[static_cast<size_t>(n)] = env * noise * 0.7f;
    }
}

void ProcessBlocks(benchmark::State& state) {
    const int program = static_cast<int>(state.range(0));
    const bool flushToZero = state.range(1) != 0;
    const bool avx = state.range(2) != 0;
    const unsigned int savedCsr = _mm_getcsr();
    _mm_setcsr(flushToZero ? (savedCsr | 0x8040) : (savedCsr & ~0x8040u));  // FTZ and DAZ

    auto plugin = std::make_unique<APlugin>(nullptr);
    plugin->setProgram(program);
    plugin->engine().useAvx(avx);
    if (avx && !plugin->engine().usesAvx()) {
        state.SkipWithError("no AVX on this processor");
        _mm_setcsr(savedCsr);
        return;
    }
    std::vector<float> l, r, outL(kBlock), outR(kBlock);
    const int frames = 44100 * 4;
    MakeSignal(l, r, frames);
    int pos = 0;
    for (auto _ : state) {
        float* in[2] = {l.data() + pos, r.data() + pos};
        float* out[2] = {outL.data(), outR.data()};
        plugin->processReplacing(in, out, kBlock);
        benchmark::DoNotOptimize(outL.data());
        pos += kBlock;
        if (pos + kBlock > frames)
            pos = 0;
    }
    state.SetItemsProcessed(state.iterations() * kBlock);
    state.counters["ns_per_frame"] = benchmark::Counter(static_cast<double>(state.iterations()) * kBlock,
                                                        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    _mm_setcsr(savedCsr);
}
// Program 7 "BigBeat" and program 1 "Gated"; flush-to-zero off and on; the
// SSE2 kernel that every build has and the AVX one chosen where possible.
BENCHMARK(ProcessBlocks)
    ->ArgNames({"program", "ftz", "avx"})
    ->ArgsProduct({{7, 1}, {0, 1}, {0, 1}});

void SetParameterCall(benchmark::State& state) {
    auto plugin = std::make_unique<APlugin>(nullptr);
    int i = 0;
    for (auto _ : state) {
        plugin->setParameter(5 + (i & 15), static_cast<float>(i & 1023) / 1023.0f);
        ++i;
    }
}
BENCHMARK(SetParameterCall);

// What the audio thread pays at the start of a block after a change: the
// uptake of the new set, with and without a redesign of the sixteen bands.
void ParameterUptake(benchmark::State& state) {
    const int index = static_cast<int>(state.range(0));
    auto plugin = std::make_unique<APlugin>(nullptr);
    int i = 0;
    for (auto _ : state) {
        plugin->setParameter(index, static_cast<float>(i++ & 1023) / 1023.0f);
        plugin->engine().refresh();
    }
}
BENCHMARK(ParameterUptake)->ArgName("index")->Arg(5)->Arg(0);

}  // namespace

BENCHMARK_MAIN();
