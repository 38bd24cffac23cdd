#!/bin/sh
# Runs pluginval, the plug-in validator, at its highest strictness on a
# bundle, with a HOME of its own (it keeps its settings there) and under
# xvfb-run when there is no display (its editor tests open windows).
# Passes only when its last word is SUCCESS and it exits with 0.
# Usage: run-pluginval.sh PLUGINVAL_DIR BUNDLE
# Exits 77 (skipped) when pluginval is not there.
set -u
tool=$1/pluginval
bundle=$2
if [ ! -x "$tool" ]; then
    echo "skipped: no pluginval at $tool (it lives in ../shared/tools/pluginval beside the worktree)"
    exit 77
fi
home=$(mktemp -d)
log=$(mktemp)
trap 'rm -rf "$home" "$log"' EXIT
run=
if [ -z "${DISPLAY:-}" ]; then
    if ! command -v xvfb-run >/dev/null 2>&1; then
        echo "skipped: no display and no xvfb-run"
        exit 77
    fi
    run="xvfb-run -a"
fi
HOME=$home $run "$tool" --strictness-level 10 --timeout-ms 600000 --validate "$bundle" >"$log" 2>&1
status=$?
# Its failures start with "!!!"; the verdict is the last line.
grep -E '^!!!|FAILED' "$log"
verdict=$(tr -d '\r' <"$log" | grep -E '^(SUCCESS|FAILED)' | tail -n 1)
echo "pluginval: ${verdict:-no verdict: it did not finish}, exit status $status"
if [ "$verdict" = SUCCESS ] && [ $status -eq 0 ]; then
    exit 0
fi
tail -n 60 "$log"
exit 1
