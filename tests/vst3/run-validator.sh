#!/bin/sh
# Runs the format owner's validator with its extended tests on a bundle and
# passes only when it reports 0 failed (its exit status is no verdict).
# Usage: run-validator.sh VALIDATOR_DIR BUNDLE [linux|win32|win64 [WINE_PREFIX]]
# Exits 77 (skipped) when the validator is not there.
set -u
dir=$1
bundle=$2
kind=${3:-linux}
prefix=${4:-}
here=$(cd "$(dirname "$0")" && pwd)
case $kind in
    linux) tool=$dir/validator ;;
    win32) tool=$dir/validator-win32.exe ;;
    win64) tool=$dir/validator-win64.exe ;;
    *) echo "unknown kind $kind" >&2; exit 2 ;;
esac
if [ ! -e "$tool" ]; then
    echo "skipped: no validator at $tool (it lives in ../shared/tools/vst3-validator beside the worktree)"
    exit 77
fi
log=$(mktemp)
trap 'rm -f "$log"' EXIT
if [ "$kind" = linux ]; then
    "$tool" -e "$bundle" >"$log" 2>&1
else
    "$here/../support/wine-run.sh" "$prefix" "$tool" -e "Z:$bundle" >"$log" 2>&1
fi
result=$(grep -E '^Result: [0-9]+ tests passed, [0-9]+ tests failed' "$log" | tail -n 1)
grep -E 'Failed|ERROR' "$log"
echo "${result:-no result line: the validator did not finish}"
case $result in
    *" 0 tests failed") exit 0 ;;
    *) tail -n 40 "$log"; exit 1 ;;
esac
