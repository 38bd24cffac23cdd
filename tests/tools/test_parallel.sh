#!/bin/sh
# The README's GNU parallel line, on this machine (-S : is the local one):
# the same outputs, bit for bit, as one halvorine render --out-dir.
# Usage: test_parallel.sh PATH-TO-halvorine
set -u
tool=$1
if ! command -v parallel >/dev/null 2>&1; then
    echo "GNU parallel is needed; skipped"
    exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
"$tool" demo --out demo >/dev/null || { echo "FAIL: demo"; exit 1; }
mkdir in
cp demo/groove.wav demo/groove-gated.wav demo/groove-bigbeat.wav in/
PATH=$(dirname "$tool"):$PATH
export PATH
parallel -S : --transferfile {} --return out/{/} --cleanup \
    'mkdir -p out && halvorine render {} out/{/} --program Gated -q' ::: in/*.wav >/dev/null 2>parallel.err ||
    { echo "FAIL: parallel"; cat parallel.err; exit 1; }
halvorine render in/*.wav --out-dir batch --program Gated -q >/dev/null || { echo "FAIL: render --out-dir"; exit 1; }
failures=0
for file in in/*.wav; do
    name=$(basename "$file")
    cmp -s "out/$name" "batch/$name" || { echo "FAIL: $name differs"; failures=$((failures + 1)); }
done
[ $failures -eq 0 ] && echo "parallel's outputs are the batch's"
[ $failures -eq 0 ]
