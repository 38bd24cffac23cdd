#!/bin/sh
# Runs the strict checking CLAP host on a module and passes only on its
# "N passed, 0 failed" line with exit status 0. Without a display it runs
# under xvfb-run, so that its editor checks run too.
# Usage: run-clap-check.sh CLAPCHECK MODULE.clap
# Exits 77 (skipped) when the tool or the module is not there.
set -u
tool=$1
module=$2
if [ ! -x "$tool" ]; then
    echo "skipped: no clapcheck at $tool (it lives in ../shared/tools/clap-check beside the worktree)"
    exit 77
fi
if [ ! -e "$module" ]; then
    echo "skipped: no $module (the CLAP edition is not built)"
    exit 77
fi
log=$(mktemp)
trap 'rm -f "$log"' EXIT
if [ -n "${DISPLAY:-}" ]; then
    "$tool" "$module" >"$log" 2>&1
else
    xvfb-run -a "$tool" "$module" >"$log" 2>&1
fi
status=$?
grep -E '^FAIL' "$log"
result=$(grep -E '^[0-9]+ passed, [0-9]+ failed$' "$log" | tail -n 1)
echo "${result:-no result line: clapcheck did not finish} (exit status $status)"
case $result in
    *" passed, 0 failed")
        [ "$status" -eq 0 ] && exit 0 ;;
esac
tail -n 40 "$log"
exit 1
