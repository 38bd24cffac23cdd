#!/bin/sh
# cmake --install puts the LV2 bundle in <prefix>/lib/lv2, beside the VST
# 2.x library in <prefix>/lib/vst, and a host finds the plug-in there.
# Usage: test_install.sh BUILD-DIR LV2-DIR VST-DIR (the configured folders)
set -u
build=$1
lv2dir=$2
vstdir=$3
for dir in "$lv2dir" "$vstdir"; do
    case $dir in
        /*) echo "configured to install into $dir, outside any prefix; skipped"; exit 77 ;;
    esac
done
if ! command -v lv2ls >/dev/null 2>&1; then
    echo "lv2ls is needed (package lilv-utils); skipped"
    exit 77
fi
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

cmake --install "$build" --prefix "$prefix" >"$prefix/install.log" 2>&1 || { fail "cmake --install failed"; cat "$prefix/install.log"; }
[ -f "$prefix/$vstdir/Halvorine.so" ] || fail "no $vstdir/Halvorine.so"
for file in manifest.ttl halvorine.ttl halvorine_dsp.so; do
    [ -f "$prefix/$lv2dir/Halvorine.lv2/$file" ] || fail "no $lv2dir/Halvorine.lv2/$file"
done
# Every binary that the installed manifest names (the UI's too, where it
# is built) is there.
for file in $(sed -n 's/.*binary <\([^>]*\)>.*/\1/p' "$prefix/$lv2dir/Halvorine.lv2/manifest.ttl" 2>/dev/null); do
    [ -f "$prefix/$lv2dir/Halvorine.lv2/$file" ] || fail "the manifest names $file, which is not installed"
done
LV2_PATH="$prefix/$lv2dir" lv2ls 2>/dev/null | grep -qx 'urn:pellucid:halvorine' || fail "lv2ls does not find the installed plug-in"

[ $failures -eq 0 ] && echo "installed: $vstdir/Halvorine.so and $lv2dir/Halvorine.lv2"
[ $failures -eq 0 ]
