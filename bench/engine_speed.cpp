// ns per frame of every kernel (and the baseline beside it), keyed by the
// left bands and by the mid signal's own key bands (the "+mid" rows, set
// against the same kernel keyed by the left bands), without Google
// Benchmark, so that it builds for Windows too and runs under wine:
//   engine_speed [--reps N] [--module PATH]
//   engine_speed --guard [--reps N]     (the floating-point guard's cost per call)
// Two tables: blocks of 512 frames for two programs with flush-to-zero off
// and on, then every block size a host sends, from 1 to 512 frames. Each
// figure is the fastest of N (default 40) timed runs of 10240 frames (the
// minimum is what a shared machine disturbs least), the kernels taking
// turns. Exits 1 if a kernel's output differs from the SSE2 kernel's.
// --module also times a built plug-in library through its effect record,
// with the kernel it chooses itself.
#include <xmmintrin.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "BenchKernels.h"
#include "DAEffectX.h"
#include "FloatingPointGuard.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace {

constexpr int kBlock = 512;
constexpr int kFramesPerRun = 20 * kBlock;
// The block sizes of the second table: from the single frames some hosts
// send at automation points and loop ends to the usual buffer.
constexpr int kBlockSizes[] = {1, 2, 4, 8, 16, 32, 64, 128, 512};

// A plug-in library driven through its entry and record, as a host does.
class ModuleRunner : public benchkernels::Runner {
public:
    static VstIntPtr VSTCALLBACK audioMaster(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
        return opcode == audioMasterVersion ? 2400 : 0;
    }
    ModuleRunner(const std::string& path, int program) {
        using Entry = AEffect*(VSTCALLBACK*)(audioMasterCallback);
        Entry entry = nullptr;
#if defined(_WIN32)
        HMODULE h = LoadLibraryA(path.c_str());
        if (h != nullptr)
            entry = reinterpret_cast<Entry>(reinterpret_cast<void*>(GetProcAddress(h, "main")));
#else
        void* h = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (h != nullptr)
            entry = reinterpret_cast<Entry>(dlsym(h, "main"));
#endif
        if (entry == nullptr) {
            std::fprintf(stderr, "cannot load %s\n", path.c_str());
            std::exit(2);
        }
        effect_ = entry(&ModuleRunner::audioMaster);
        if (effect_ == nullptr) {
            std::fprintf(stderr, "%s made no instance\n", path.c_str());
            std::exit(2);
        }
        effect_->dispatcher(effect_, effOpen, 0, 0, nullptr, 0.0f);
        effect_->dispatcher(effect_, effSetBlockSize, 0, kBlock, nullptr, 0.0f);
        effect_->dispatcher(effect_, effSetProgram, 0, program, nullptr, 0.0f);
        effect_->dispatcher(effect_, effMainsChanged, 0, 1, nullptr, 0.0f);
    }
    ~ModuleRunner() override { effect_->dispatcher(effect_, effClose, 0, 0, nullptr, 0.0f); }
    void process(const float* inL, const float* inR, float* outL, float* outR, int frames) override {
        float* in[2] = {const_cast<float*>(inL), const_cast<float*>(inR)};
        float* out[2] = {outL, outR};
        effect_->processReplacing(effect_, in, out, frames);
    }

private:
    AEffect* effect_ = nullptr;
};

double Now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Times every runner in turn, `reps` rounds of kFramesPerRun frames in
// blocks of `block`, so that a busy spell of the machine falls on all of
// them alike; answers each one's fastest run in ns per frame.
std::vector<double> Measure(const std::vector<benchkernels::Runner*>& runners, const std::vector<float>& l,
                            const std::vector<float>& r, int block, int reps) {
    std::vector<float> outL(static_cast<size_t>(block)), outR(static_cast<size_t>(block));
    const int blocks = static_cast<int>(l.size()) / block;
    std::vector<int> next(runners.size(), 0);
    auto run = [&](size_t i) {
        for (int n = 0; n < kFramesPerRun / block; ++n) {
            const int b = next[i];
            runners[i]->process(l.data() + b * block, r.data() + b * block, outL.data(), outR.data(), block);
            next[i] = (b + 1) % blocks;
        }
    };
    std::vector<double> best(runners.size(), 1e30);
    for (size_t i = 0; i < runners.size(); ++i)
        run(i);  // warm up
    for (int rep = 0; rep < reps; ++rep)
        for (size_t i = 0; i < runners.size(); ++i) {
            const double start = Now();
            run(i);
            const double t = Now() - start;
            best[i] = t < best[i] ? t : best[i];
        }
    volatile float sink = outL[0];
    (void)sink;
    for (double& t : best)
        t *= 1e9 / kFramesPerRun;
    return best;
}

// The floating-point guard of the host boundary, in ns per call: an empty
// call through a function pointer, plain and behind fpenv::Guarded, with
// the caller's exceptions masked and with invalid operation, division by
// zero and overflow unmasked (SSE and x87: in the 32-bit build that is the
// guard's slower path, which saves the x87 environment). The fastest of
// `reps` runs of a million calls each.
void Nothing(int* counter) {
    ++*counter;
    __asm__ __volatile__("" : : "r"(counter) : "memory");
}

void MeasureGuard(int reps) {
    constexpr int kCalls = 1000000;
    const unsigned int savedCsr = _mm_getcsr();
    unsigned short savedCw = 0;
    __asm__ __volatile__("fnstcw %0" : "=m"(savedCw));
    std::printf("%-34s %10s\n", "floating-point guard", "ns/call");
    for (bool unmasked : {false, true}) {
        for (bool guarded : {false, true}) {
            void (*call)(int*) = fpenv::Opaque(guarded ? fpenv::Guarded<Nothing> : &Nothing);
            if (unmasked) {
                const unsigned short cw = savedCw & ~0x000Du;  // IM ZM OM
                __asm__ __volatile__("fnclex\n\tfldcw %0" : : "m"(cw));
                _mm_setcsr(savedCsr & ~0x0680u);
            }
            int counter = 0;
            double best = 1e30;
            for (int rep = 0; rep < reps; ++rep) {
                const double start = Now();
                for (int i = 0; i < kCalls; ++i)
                    call(&counter);
                const double t = Now() - start;
                best = t < best ? t : best;
            }
            __asm__ __volatile__("fldcw %0" : : "m"(savedCw));
            _mm_setcsr(savedCsr);
            const std::string name = std::string(guarded ? "guarded" : "plain") +
                                     (unmasked ? ", host unmasked" : ", host masked");
            std::printf("%-34s %10.2f\n", name.c_str(), best * 1e9 / kCalls);
        }
    }
}

// The kernels this processor runs (each checked against the SSE2 engine
// kernel), and the module if one is given.
struct Lineup {
    std::vector<std::unique_ptr<benchkernels::Runner>> owned;
    std::vector<benchkernels::Runner*> runners;
    std::vector<std::string> names;
    std::vector<const benchkernels::Choice*> choices;
    std::vector<std::string> missing;
};

bool MakeLineup(Lineup& lineup, int program, const std::string& module) {
    for (const auto& choice : benchkernels::Choices()) {
        auto runner = benchkernels::MakeRunner(choice, program);
        if (!runner) {
            lineup.missing.push_back(choice.name);
            continue;
        }
        if (!benchkernels::MatchesEngine(choice, program, 8 * kBlock)) {
            std::printf("%-14s: OUTPUT DIFFERS from the SSE2 engine kernel\n", choice.name.c_str());
            return false;
        }
        lineup.runners.push_back(runner.get());
        lineup.owned.push_back(std::move(runner));
        lineup.names.push_back(choice.name);
        lineup.choices.push_back(&choice);
    }
    if (!module.empty()) {
        lineup.owned.push_back(std::make_unique<ModuleRunner>(module, program));
        lineup.runners.push_back(lineup.owned.back().get());
        lineup.names.push_back("module");
        lineup.choices.push_back(nullptr);
    }
    return true;
}

// ns per frame for every block size, one column per kernel; then, for each
// kernel of today, the slowest ratio to what ran before at the same size
// and the cost at 32 frames over the cost at 512.
bool BlockSizeTable(const std::vector<float>& l, const std::vector<float>& r, int program, int reps,
                    const std::string& module) {
    Lineup lineup;
    if (!MakeLineup(lineup, program, module))
        return false;
    std::printf("\nprogram %d, ns per frame by block size\n%6s", program, "block");
    for (const std::string& name : lineup.names)
        std::printf(" %14s", name.c_str());
    std::printf("\n");
    std::vector<std::map<std::string, double>> figures;
    for (int block : kBlockSizes) {
        const std::vector<double> ns = Measure(lineup.runners, l, r, block, reps);
        figures.emplace_back();
        std::printf("%6d", block);
        for (size_t i = 0; i < ns.size(); ++i) {
            figures.back()[lineup.names[i]] = ns[i];
            std::printf(" %14.1f", ns[i]);
        }
        std::printf("\n");
        std::fflush(stdout);
    }
    const size_t at32 = 5, at512 = 8;
    for (size_t i = 0; i < lineup.names.size(); ++i) {
        const benchkernels::Choice* choice = lineup.choices[i];
        if (choice == nullptr || choice->baseline)
            continue;
        const std::string& name = lineup.names[i];
        std::printf("%-14s 32 frames: %.2fx the 512-frame cost", name.c_str(),
                    figures[at32][name] / figures[at512][name]);
        if (figures[0].count(choice->before)) {
            double worst = 0.0;
            int worstBlock = 0;
            for (size_t b = 0; b < figures.size(); ++b) {
                const double ratio = figures[b][name] / figures[b][choice->before];
                if (ratio > worst) {
                    worst = ratio;
                    worstBlock = kBlockSizes[b];
                }
            }
            std::printf("; slowest against %s: %.2fx its time, at %d frames", choice->before.c_str(), worst,
                        worstBlock);
        }
        std::printf("\n");
    }
    for (const std::string& name : lineup.missing)
        std::printf("%-14s not here\n", name.c_str());
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    int reps = 40;
    std::string module;
    bool guard = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--reps") == 0 && i + 1 < argc)
            reps = std::atoi(argv[++i]);
        else if (std::strcmp(argv[i], "--module") == 0 && i + 1 < argc)
            module = argv[++i];
        else if (std::strcmp(argv[i], "--guard") == 0)
            guard = true;
        else {
            std::fprintf(stderr, "usage: %s [--reps N] [--module PATH] [--guard]\n", argv[0]);
            return 2;
        }
    }
    if (guard) {
        MeasureGuard(reps);
        return 0;
    }
    std::vector<float> l, r;
    benchkernels::MakeSignal(l, r, 44100 * 4 / kBlock * kBlock);
    const unsigned int savedCsr = _mm_getcsr();
    std::printf("%-14s %8s %4s %12s   %s\n", "kernel", "program", "ftz", "ns/frame", "speed-up");
    for (int program : {7, 1}) {
        for (bool ftz : {false, true}) {
            _mm_setcsr(ftz ? (savedCsr | 0x8040) : (savedCsr & ~0x8040u));
            Lineup lineup;
            if (!MakeLineup(lineup, program, module))
                return 1;
            for (const std::string& name : lineup.missing)
                std::printf("%-14s %8d %4d %12s\n", name.c_str(), program, ftz, "not here");
            const std::vector<double> ns = Measure(lineup.runners, l, r, kBlock, reps);
            std::map<std::string, double> figure;
            for (size_t i = 0; i < ns.size(); ++i)
                figure[lineup.names[i]] = ns[i];
            for (size_t i = 0; i < ns.size(); ++i) {
                const benchkernels::Choice* choice = lineup.choices[i];
                char speedUp[64] = "";
                if (choice && figure.count(choice->before))
                    std::snprintf(speedUp, sizeof speedUp, "%.2fx (vs %s)", figure[choice->before] / ns[i],
                                  choice->before.c_str());
                std::printf("%-14s %8d %4d %12.1f   %s\n", lineup.names[i].c_str(), program, ftz, ns[i], speedUp);
            }
            std::fflush(stdout);
        }
    }
    _mm_setcsr(savedCsr & ~0x8040u);
    for (int program : {7, 1})
        if (!BlockSizeTable(l, r, program, reps, module))
            return 1;
    _mm_setcsr(savedCsr);
    return 0;
}
