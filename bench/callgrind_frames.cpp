// Processes a fixed number of frames of the benchmark signal with a factory
// program and one kernel, for counting instructions per frame:
// valgrind --tool=callgrind ./callgrind_frames [PROGRAM [BLOCKS [KERNEL [FRAMES]]]]
// (see bench/callgrind.sh): BLOCKS blocks of FRAMES frames (default 512).
// KERNEL is a name of BenchKernels.h (default "avx"); valgrind does not
// run AVX-512.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "BenchKernels.h"

int main(int argc, char** argv) {
    const int program = argc > 1 ? std::atoi(argv[1]) : 7;
    const int blocks = argc > 2 ? std::atoi(argv[2]) : 200;
    const std::string kernel = argc > 3 ? argv[3] : "avx";
    const int block = argc > 4 ? std::atoi(argv[4]) : 512;
    const benchkernels::Choice* choice = benchkernels::FindChoice(kernel);
    auto runner = choice ? benchkernels::MakeRunner(*choice, program) : nullptr;
    if (!runner || block < 1 || blocks < 1) {
        std::fprintf(stderr, "kernel %s does not run here, or no frames to run\n", kernel.c_str());
        return 2;
    }
    std::vector<float> l, r, outL(static_cast<size_t>(block)), outR(static_cast<size_t>(block));
    benchkernels::MakeSignal(l, r, blocks * block);
    double sum = 0.0;
    for (int b = 0; b < blocks; ++b) {
        runner->process(l.data() + b * block, r.data() + b * block, outL.data(), outR.data(), block);
        sum += outL[static_cast<size_t>(block) - 1];
    }
    std::printf("%d frames, checksum %.9g\n", blocks * block, sum);
    return 0;
}
