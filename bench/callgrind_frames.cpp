// Processes a fixed number of frames with a factory program, for counting
// instructions per frame: valgrind --tool=callgrind ./callgrind_frames
// [PROGRAM [BLOCKS [sse2]]] (see bench/callgrind.sh); "sse2" picks the
// kernel that every build has instead of the AVX one.
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "uPlugin.h"

int main(int argc, char** argv) {
    const int program = argc > 1 ? std::atoi(argv[1]) : 7;
    const int blocks = argc > 2 ? std::atoi(argv[2]) : 200;
    auto plugin = std::make_unique<APlugin>(nullptr);
    plugin->setProgram(program);
    if (argc > 3 && std::string(argv[3]) == "sse2")
        plugin->engine().useAvx(false);
    std::vector<float> l(512), r(512), outL(512), outR(512);
    uint32_t s = 1;
    double sum = 0.0;
    for (int b = 0; b < blocks; ++b) {
        for (int n = 0; n < 512; ++n) {
            s = s * 1664525u + 1013904223u;
            l[n] = static_cast<float>(static_cast<int32_t>(s) >> 8) / 8388608.0f * ((b % 8) < 2 ? 1.0f : 0.001f);
            r[n] = l[n] * 0.5f;
        }
        float* in[2] = {l.data(), r.data()};
        float* out[2] = {outL.data(), outR.data()};
        plugin->processReplacing(in, out, 512);
        sum += outL[511];
    }
    std::printf("%d frames, checksum %.9g\n", blocks * 512, sum);
    return 0;
}
