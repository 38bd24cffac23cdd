#!/bin/sh
# Whole-process speed of `halvorine render`: a 60-second stereo WAV through
# the default program, end to end (start-up, plug-in load, decoding,
# processing, encoding, rename), as x real time. Target: 300x or more.
#
# Usage: bench/render_speed.sh [BUILD_DIR] [--check] [--batch N]
#   BUILD_DIR  where halvorine and Halvorine.so are (default: build/linux)
#   --check    exit 1 when the best run is below the target
#   --batch N  instead: N files of 30 s rendered with --out-dir, by one
#              thread (-j 1) and by two (-j 2), against one-file renders of
#              the same files one after another; the speed-up of -j 2 over
#              -j 1 (target 1.8 on two idle cores) and -j 1's time per file
#              against a one-file render's
# The input is the demo's drum groove repeated to length (24-bit, 44.1 kHz);
# the best of five runs counts.
set -eu
build=build/linux
check=no
batch=0
while [ $# -gt 0 ]; do
    case $1 in
        --check) check=yes ;;
        --batch) batch=$2; shift ;;
        *) build=$1 ;;
    esac
    shift
done
tool=$build/halvorine
target=300
seconds=60
[ "$batch" -eq 0 ] || seconds=30
runs=5
[ -x "$tool" ] || { echo "no $tool; build it first: cmake --build --preset linux --target halvorine Halvorine" >&2; exit 2; }
command -v python3 >/dev/null || { echo "python3 is needed to assemble the input" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$tool" demo --out "$work/demo" >/dev/null
python3 - "$work/demo/groove.wav" "$work/in.wav" "$seconds" <<'PY'
import sys, wave
source, target, seconds = sys.argv[1], sys.argv[2], int(sys.argv[3])
with wave.open(source, "rb") as w:
    params, frames = w.getparams(), w.readframes(w.getnframes())
need = params.framerate * seconds * params.nchannels * params.sampwidth
data = (frames * (need // len(frames) + 1))[:need]
with wave.open(target, "wb") as w:
    w.setparams(params)
    w.writeframes(data)
PY

now() { date +%s.%N; }
# best COMMAND...: the shortest wall time of $runs runs, in seconds.
best() {
    shortest=1000000
    for _ in $(seq $runs); do
        rm -rf "$work/out"
        mkdir "$work/out"
        start=$(now)
        "$@" >"$work/summary" 2>/dev/null
        end=$(now)
        shortest=$(python3 -c "print(min($shortest, $end - $start))")
    done
    echo "$shortest"
}

if [ "$batch" -gt 0 ]; then
    mkdir "$work/batch"
    for i in $(seq "$batch"); do cp "$work/in.wav" "$work/batch/$i.wav"; done
    one_by_one() { for f in "$work"/batch/*.wav; do "$tool" render "$f" "$work/out/$(basename "$f")"; done; }
    singles=$(best one_by_one)
    j1=$(best "$tool" render "$work"/batch/*.wav --out-dir "$work/out" -j 1)
    j2=$(best "$tool" render "$work"/batch/*.wav --out-dir "$work/out" -j 2)
    python3 - "$batch" "$seconds" "$singles" "$j1" "$j2" <<'PY'
import sys
n, seconds, singles, j1, j2 = int(sys.argv[1]), int(sys.argv[2]), *map(float, sys.argv[3:])
audio = n * seconds
print(f"{n} files of {seconds} s stereo 24-bit WAV, best of 5 runs each:")
print(f"  one-file renders, one after another: {singles:.3f} s = {singles / n:.3f} s a file ({audio / singles:.0f}x real time)")
print(f"  --out-dir -j 1:                      {j1:.3f} s = {j1 / n:.3f} s a file ({audio / j1:.0f}x real time)")
print(f"  --out-dir -j 2:                      {j2:.3f} s = {j2 / n:.3f} s a file ({audio / j2:.0f}x real time)")
print(f"  -j 2 over -j 1: {j1 / j2:.2f}x (target 1.8x on two idle cores)")
PY
    echo "load: $(uptime)"
    exit 0
fi

best_time=$(best "$tool" render "$work/in.wav" "$work/out/out.wav")
factor=$(python3 -c "print(f'{$seconds / $best_time:.0f}')")
echo "render of ${seconds} s stereo 24-bit WAV, best of $runs: $(python3 -c "print(f'{$best_time:.3f}')") s = ${factor}x real time (target ${target}x)"
echo "last run's own summary: $(cat "$work/summary")"
if [ "$factor" -lt "$target" ]; then
    echo "below target"
    [ $check = no ] || exit 1
fi
