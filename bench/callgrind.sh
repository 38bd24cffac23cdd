#!/bin/sh
# Instructions per frame of the audio path for every kernel valgrind runs,
# the baseline kernels beside today's, counted by callgrind (the count is
# repeatable whatever else the machine is doing). Counts whole runs of two
# lengths and takes the difference, so that start-up drops out.
# Usage: bench/callgrind.sh [DIR [FRAMES...]]   DIR is the build folder or
# its bench/ folder, where callgrind_frames is (default build/linux);
# FRAMES the block sizes (default 512), e.g. 1 2 4 8 16 32 64 128 512
set -eu
build=${1:-build/linux}
[ $# -gt 0 ] && shift
sizes=${*:-512}
tool=$build/bench/callgrind_frames
[ -x "$tool" ] || tool=$build/callgrind_frames
[ -x "$tool" ] ||
    { echo "no callgrind_frames in $build; build it first: cmake --build --preset linux --target callgrind_frames" >&2; exit 2; }
count() {
    out=$(valgrind --tool=callgrind --callgrind-out-file=/dev/null "$tool" "$@" 2>&1) ||
        { echo "$out" >&2; exit 1; }
    echo "$out" | sed -n 's/.*Collected : *\([0-9]*\).*/\1/p'
}
for program in 7 1; do
    for frames in $sizes; do
        for kernel in baseline-sse2 sse2 baseline-avx avx; do
            # about 100000 frames apart, in blocks of `frames`
            blocks=$(( 51200 / frames + 1 ))
            short=$(count "$program" "$blocks" "$kernel" "$frames")
            long=$(count "$program" $(( 3 * blocks )) "$kernel" "$frames")
            echo "program $program, blocks of $frames, $kernel kernel:" \
                "$(( (long - short) / (2 * blocks * frames) )) instructions per frame"
        done
    done
done
