#!/bin/sh
# Ardour 7 routes a second track into the plug-in's key, headless (Dummy
# backend): key.lua makes the tracks, connects the key track to the
# plug-in's side-chain input, sets "Key" to "External" and rolls; the
# plug-in must gate one track's noise by the other's bursts.
#
# Usage: run-ardour-key.sh VST3|LV2 BUNDLE PLUGIN [SCRIPT]
#   VST3: BUNDLE is the .vst3 bundle, PLUGIN its class name;
#   LV2:  BUNDLE is a folder for LV2_PATH, PLUGIN the plug-in's URI;
#   SCRIPT: another session script in key.lua's stead (tests/lv2/meters.lua),
#   with the DSP scripts (halvorine-*.lua) of its folder.
# Exits 77 (skipped) when Ardour 7 is not installed.
set -u
kind=$1
bundle=$2
name=$3
here=$(cd "$(dirname "$0")" && pwd)
script=${4:-$here/key.lua}
scanner=/usr/lib/ardour7/ardour-vst3-scanner
if [ ! -x "$scanner" ] || ! command -v ardour7-lua >/dev/null 2>&1; then
    echo "skipped: Ardour 7 is not installed (Debian package ardour)"
    exit 77
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# A home of its own, as in run-ardour.sh, with the test's DSP scripts.
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_CACHE_HOME="$work/home/.cache"
mkdir -p "$HOME/.vst3" "$XDG_CONFIG_HOME/ardour7/scripts"
cp "$here/halvorine-key-signal.lua" "$here/halvorine-level-probe.lua" "$XDG_CONFIG_HOME/ardour7/scripts/"
[ $# -lt 4 ] || cp "$(dirname "$script")"/halvorine-*.lua "$XDG_CONFIG_HOME/ardour7/scripts/"
case $kind in
    VST3)
        installed="$HOME/.vst3/$(basename "$bundle")"
        cp -R "$bundle" "$installed"
        find "$installed" -exec touch -d "@$(($(date +%s) - 60))" {} +
        scan=$(LD_LIBRARY_PATH=/usr/lib/ardour7 timeout 120 "$scanner" -f "$installed" 2>&1)
        case $scan in
            *"Found Plugin: $name"*) ;;
            *) echo "$scan"; echo "FAIL: the scanner does not list $name"; exit 1 ;;
        esac
        ;;
    LV2) export LV2_PATH="$bundle" ;;
    *) echo "usage: $0 VST3|LV2 BUNDLE PLUGIN"; exit 2 ;;
esac

# The interpreter does not always exit by itself: the verdict line ends
# the wait (at most two minutes), then the interpreter is stopped. The log
# exists before the first look at it.
: >"$work/key.log"
H_DIR="$work/session" H_PLUGIN="$name" H_TYPE="$kind" ardour7-lua "$script" >"$work/key.log" 2>&1 &
lua=$!
waited=0
while kill -0 $lua 2>/dev/null && ! grep -qE "^(OK|FAIL): " "$work/key.log" && [ $waited -lt 120 ]; do
    sleep 1
    waited=$((waited + 1))
done
kill $lua 2>/dev/null
wait $lua 2>/dev/null
if ! grep -q "^OK: " "$work/key.log"; then
    tail -n 40 "$work/key.log"
    echo "FAIL: the Ardour session did not complete"
    exit 1
fi
grep -E "^(OK: |quietest|.*side-chain pins)" "$work/key.log"
