#!/bin/sh
# Instructions per frame of the audio path, counted by callgrind (the count
# is repeatable whatever else the machine is doing). Counts the whole run
# of two lengths and takes the difference, so that start-up drops out.
# Usage: bench/callgrind.sh [DIR]   DIR holds callgrind_frames (default build/linux/bench)
set -eu
build=${1:-build/linux/bench}
[ -x "$build/callgrind_frames" ] ||
    { echo "no $build/callgrind_frames; build it first: cmake --build --preset linux --target callgrind_frames" >&2; exit 2; }
count() {
    valgrind --tool=callgrind --callgrind-out-file=/dev/null "$build/callgrind_frames" "$1" "$2" "$3" 2>&1 |
        sed -n 's/.*Collected : *\([0-9]*\).*/\1/p'
}
for kernel in default sse2; do
    for program in 7 1; do
        short=$(count "$program" 100 "$kernel")
        long=$(count "$program" 300 "$kernel")
        echo "program $program, $kernel kernel: $(( (long - short) / (200 * 512) )) instructions per frame"
    done
done
