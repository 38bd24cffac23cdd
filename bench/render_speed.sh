#!/bin/sh
# Whole-process speed of `halvorine render`: a 60-second stereo WAV through
# the default program, end to end (start-up, plug-in load, decoding,
# processing, encoding, rename), as x real time. Target: 300x or more.
#
# Usage: bench/render_speed.sh [BUILD_DIR] [--check]
#   BUILD_DIR  where halvorine and Halvorine.so are (default: build/linux)
#   --check    exit 1 when the best run is below the target
# The input is the demo's drum groove repeated to 60 s (24-bit, 44.1 kHz);
# the best of five runs counts.
set -eu
build=build/linux
check=no
for arg in "$@"; do
    case $arg in
        --check) check=yes ;;
        *) build=$arg ;;
    esac
done
tool=$build/halvorine
target=300
seconds=60
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
best=1000000
for _ in $(seq $runs); do
    start=$(now)
    "$tool" render "$work/in.wav" "$work/out.wav" >"$work/summary" 2>/dev/null
    end=$(now)
    best=$(python3 -c "print(min($best, $end - $start))")
done
factor=$(python3 -c "print(f'{$seconds / $best:.0f}')")
echo "render of ${seconds} s stereo 24-bit WAV, best of $runs: $(python3 -c "print(f'{$best:.3f}')") s = ${factor}x real time (target ${target}x)"
echo "last run's own summary: $(cat "$work/summary")"
if [ "$factor" -lt "$target" ]; then
    echo "below target"
    [ $check = no ] || exit 1
fi
