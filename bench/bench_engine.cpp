// ns per frame of processReplacing for stereo 512-frame blocks, for every
// kernel and the baseline kernels beside them, with flush-to-zero off and
// on (the engine's 1e-12 terms keep denormals out, so the two should be
// within a few per cent); the same for every block size a host sends, from
// single frames up; ns per setParameter call; and the cost of the
// floating-point guard at the host boundary (GuardCall, OneFrameBlock).
//
// Names: Process/<kernel>/program:<n>/ftz:<0|1> and
// Block/<kernel>/frames:<n> (program 7, flush-to-zero off), with no meter
// reader (the unmetered kernels); ProcessMetered/<kernel>/program:<n> and
// BlockMetered/<kernel>/frames:<n> take the meters after every block, as an
// open editor keeps them on. A kernel this
// processor lacks is reported as skipped. Glide/<what> is the cost of
// Glide mode's glides: 512-frame blocks of program 7, each starting a new
// glide (of about 5 ms) of the designs, the boost, or both, or none. Timings on a shared machine are
// noisy: run with --benchmark_repetitions=N
// --benchmark_enable_random_interleaving=true and compare the "_min" rows.
#include <benchmark/benchmark.h>

#include <xmmintrin.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "BenchKernels.h"
#include "FloatingPointGuard.h"
#include "uPlugin.h"

namespace {

constexpr int kBlock = 512;

void ProcessBlocks(benchmark::State& state, const benchkernels::Choice& choice, int program, bool flushToZero,
                   int block, bool takeMeters) {
    auto runner = benchkernels::MakeRunner(choice, program, takeMeters);
    if (!runner) {
        state.SkipWithError(("this processor does not run the " + choice.name + " kernel").c_str());
        return;
    }
    if (!benchkernels::MatchesEngine(choice, program, 8 * kBlock)) {
        state.SkipWithError("output differs from the SSE2 engine kernel");
        return;
    }
    const unsigned int savedCsr = _mm_getcsr();
    _mm_setcsr(flushToZero ? (savedCsr | 0x8040) : (savedCsr & ~0x8040u));  // FTZ and DAZ
    std::vector<float> l, r, outL(static_cast<size_t>(block)), outR(static_cast<size_t>(block));
    const int frames = 44100 * 4;
    benchkernels::MakeSignal(l, r, frames);
    int pos = 0;
    for (auto _ : state) {
        runner->process(l.data() + pos, r.data() + pos, outL.data(), outR.data(), block);
        benchmark::DoNotOptimize(outL.data());
        pos += block;
        if (pos + block > frames)
            pos = 0;
    }
    state.SetItemsProcessed(state.iterations() * block);
    state.counters["ns_per_frame"] = benchmark::Counter(static_cast<double>(state.iterations()) * block,
                                                        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    _mm_setcsr(savedCsr);
}

double Minimum(const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); }

// Program 7 "BigBeat" and program 1 "Gated"; flush-to-zero off and on.
// Then program 7 in blocks of every size.
const bool registered = [] {
    for (const auto& choice : benchkernels::Choices())
        for (int program : {7, 1})
            for (bool ftz : {false, true}) {
                const std::string name = "Process/" + choice.name + "/program:" + std::to_string(program) +
                                         "/ftz:" + (ftz ? "1" : "0");
                benchmark::RegisterBenchmark(name.c_str(), ProcessBlocks, choice, program, ftz, kBlock, false)
                    ->ComputeStatistics("min", Minimum);
            }
    for (const auto& choice : benchkernels::Choices())
        for (int block : {1, 2, 4, 8, 16, 32, 64, 128, 512}) {
            const std::string name = "Block/" + choice.name + "/frames:" + std::to_string(block);
            benchmark::RegisterBenchmark(name.c_str(), ProcessBlocks, choice, 7, false, block, false)
                ->ComputeStatistics("min", Minimum);
        }
    // Metered: the engine kernels only (the baselines have no meters).
    for (const auto& choice : benchkernels::Choices()) {
        if (choice.baseline)
            continue;
        for (int program : {7, 1}) {
            const std::string name = "ProcessMetered/" + choice.name + "/program:" + std::to_string(program);
            benchmark::RegisterBenchmark(name.c_str(), ProcessBlocks, choice, program, false, kBlock, true)
                ->ComputeStatistics("min", Minimum);
        }
        for (int block : {1, 8, 64, 512}) {
            const std::string name = "BlockMetered/" + choice.name + "/frames:" + std::to_string(block);
            benchmark::RegisterBenchmark(name.c_str(), ProcessBlocks, choice, 7, false, block, true)
                ->ComputeStatistics("min", Minimum);
        }
    }
    return true;
}();

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

// 512-frame blocks in Glide mode with a new Start value (a glide of the
// designs), a new Boost, both or neither at the start of every block.
void GlideBlocks(benchmark::State& state) {
    const bool designs = (state.range(0) & 1) != 0, boost = (state.range(0) & 2) != 0;
    auto plugin = std::make_unique<APlugin>(nullptr);
    plugin->setProgram(7);
    gate::GateEngine& engine = plugin->engine();
    engine.setChangeMode(gate::ChangeMode::Glide);
    std::vector<float> l, r, outL(kBlock), outR(kBlock);
    const int frames = 44100 * 4 / kBlock * kBlock;
    benchkernels::MakeSignal(l, r, frames);
    const float start = engine.getParameter(gate::kStartFreq), level = engine.getParameter(gate::kBoost);
    int pos = 0, i = 0;
    for (auto _ : state) {
        ++i;
        if (designs)
            engine.setParameter(gate::kStartFreq, start + 0.01f * static_cast<float>(i & 1));
        if (boost)
            engine.setParameter(gate::kBoost, level + 0.01f * static_cast<float>(i & 1));
        engine.processReplacing(l.data() + pos, r.data() + pos, outL.data(), outR.data(), kBlock);
        benchmark::DoNotOptimize(outL.data());
        pos = (pos + kBlock) % frames;
    }
    state.counters["ns_per_frame"] = benchmark::Counter(static_cast<double>(state.iterations()) * kBlock,
                                                        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(GlideBlocks)
    ->ArgName("glides")  // 0 none, 1 designs, 2 boost, 3 both
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->Arg(3)
    ->ComputeStatistics("min", [](const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); });

// The floating-point guard that every entry from a host holds: an empty
// call through a function pointer, plain and behind fpenv::Guarded, with
// the host's exceptions masked (the usual case) and with invalid operation,
// division by zero and overflow unmasked. The difference is the guard's
// cost per call.
void Nothing(int* counter) { benchmark::DoNotOptimize(++*counter); }

void GuardCall(benchmark::State& state) {
    const bool guarded = state.range(0) != 0;
    const bool hostUnmasked = state.range(1) != 0;
    void (*call)(int*) = fpenv::Opaque(guarded ? fpenv::Guarded<Nothing> : &Nothing);
    const unsigned int savedCsr = _mm_getcsr();
    if (hostUnmasked)
        _mm_setcsr(savedCsr & ~0x0680u);  // IM ZM OM
    int counter = 0;
    for (auto _ : state)
        call(&counter);
    _mm_setcsr(savedCsr);
}
double Min(const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); }

BENCHMARK(GuardCall)
    ->ArgNames({"guarded", "host_unmasked"})
    ->Args({0, 0})
    ->Args({1, 0})
    ->Args({1, 1})
    ->ComputeStatistics("min", Min);

// processReplacing of a 1-frame block: through the effect record (the
// guarded entry, as a host calls it) and straight into the plug-in object
// (the same work without the guard).
void OneFrameBlock(benchmark::State& state) {
    const bool throughRecord = state.range(0) != 0;
    auto plugin = std::make_unique<APlugin>(nullptr);
    AEffect* e = plugin->getAeffect();
    std::vector<float> l, r;
    benchkernels::MakeSignal(l, r, 4096);
    float outL = 0.0f, outR = 0.0f;
    float* outputs[2] = {&outL, &outR};
    size_t pos = 0;
    for (auto _ : state) {
        float* inputs[2] = {&l[pos], &r[pos]};
        if (throughRecord)
            e->processReplacing(e, inputs, outputs, 1);
        else
            plugin->processReplacing(inputs, outputs, 1);
        benchmark::DoNotOptimize(outL);
        pos = (pos + 1) & 4095;
    }
}
BENCHMARK(OneFrameBlock)->ArgName("through_record")->Arg(0)->Arg(1)->ComputeStatistics("min", Min);

}  // namespace

BENCHMARK_MAIN();
