#!/bin/sh
# Instructions per frame of the audio path for every kernel valgrind runs,
# the baseline kernels beside today's, counted by callgrind (the count is
# repeatable whatever else the machine is doing). Counts whole runs of two
# lengths and takes the difference, so that start-up drops out.
# Usage: bench/callgrind.sh [DIR]   DIR is the build folder or its bench/
# folder, where callgrind_frames is (default build/linux)
set -eu
build=${1:-build/linux}
tool=$build/bench/callgrind_frames
[ -x "$tool" ] || tool=$build/callgrind_frames
[ -x "$tool" ] ||
    { echo "no callgrind_frames in $build; build it first: cmake --build --preset linux --target callgrind_frames" >&2; exit 2; }
count() {
    out=$(valgrind --tool=callgrind --callgrind-out-file=/dev/null "$tool" "$1" "$2" "$3" 2>&1) ||
        { echo "$out" >&2; exit 1; }
    echo "$out" | sed -n 's/.*Collected : *\([0-9]*\).*/\1/p'
}
for program in 7 1; do
    for kernel in baseline-sse2 sse2 baseline-avx avx; do
        short=$(count "$program" 100 "$kernel")
        long=$(count "$program" 300 "$kernel")
        echo "program $program, $kernel kernel: $(( (long - short) / (200 * 512) )) instructions per frame"
    done
done
