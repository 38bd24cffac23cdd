// Processes a fixed number of frames of the benchmark signal with a factory
// program and one kernel, for counting instructions per frame:
// valgrind --tool=callgrind ./callgrind_frames [PROGRAM [BLOCKS [KERNEL]]]
// (see bench/callgrind.sh). KERNEL is a name of BenchKernels.h (default
// "avx"); valgrind does not run AVX-512.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "BenchKernels.h"

int main(int argc, char** argv) {
    const int program = argc > 1 ? std::atoi(argv[1]) : 7;
    const int blocks = argc > 2 ? std::atoi(argv[2]) : 200;
    const std::string kernel = argc > 3 ? argv[3] : "avx";
    const benchkernels::Choice* choice = benchkernels::FindChoice(kernel);
    auto runner = choice ? benchkernels::MakeRunner(*choice, program) : nullptr;
    if (!runner) {
        std::fprintf(stderr, "kernel %s does not run here\n", kernel.c_str());
        return 2;
    }
    constexpr int kBlock = 512;
    std::vector<float> l, r, outL(kBlock), outR(kBlock);
    benchkernels::MakeSignal(l, r, blocks * kBlock);
    double sum = 0.0;
    for (int b = 0; b < blocks; ++b) {
        runner->process(l.data() + b * kBlock, r.data() + b * kBlock, outL.data(), outR.data(), kBlock);
        sum += outL[kBlock - 1];
    }
    std::printf("%d frames, checksum %.9g\n", blocks * kBlock, sum);
    return 0;
}
