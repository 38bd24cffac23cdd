#!/bin/sh
# The VST3 edition in Ardour 7, headless: its scanner must list the class;
# then bounce.lua loads the plug-in on a track (Dummy backend), sets
# parameters, bounces, saves and reloads the session. With a halvorine
# command, the bounce must equal `halvorine render` of the same signal with
# the same values, bit for bit.
#
# Usage: run-ardour.sh BUNDLE PLUGIN_NAME [HALVORINE_COMMAND]
# Exits 77 (skipped) when Ardour 7 is not installed.
set -u
bundle=$1
name=$2
halvorine=${3:-}
here=$(cd "$(dirname "$0")" && pwd)
scanner=/usr/lib/ardour7/ardour-vst3-scanner
if [ ! -x "$scanner" ] || ! command -v ardour7-lua >/dev/null 2>&1; then
    echo "skipped: Ardour 7 is not installed (Debian package ardour)"
    exit 77
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# A home of its own: a copy of the bundle in ~/.vst3, the test signal's
# script in Ardour's user scripts, and nothing of the user's settings.
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_CACHE_HOME="$work/home/.cache"
mkdir -p "$HOME/.vst3" "$XDG_CONFIG_HOME/ardour7/scripts"
installed="$HOME/.vst3/$(basename "$bundle")"
cp -R "$bundle" "$installed"
# Ardour takes a cache only when it is newer than the bundle: the copy is
# dated a minute back, so that a scan in the same second still counts.
find "$installed" -exec touch -d "@$(($(date +%s) - 60))" {} +
cp "$here/halvorine-test-signal.lua" "$XDG_CONFIG_HOME/ardour7/scripts/"

# The scanner exits 0 whatever happens: its output is the verdict. The
# headless session takes plug-ins from the scanner's cache only, which is
# kept per path: the scan is of the installed copy.
scan=$(LD_LIBRARY_PATH=/usr/lib/ardour7 timeout 120 "$scanner" -f "$installed" 2>&1)
echo "$scan"
case $scan in
    *"Found Plugin: $name"*) ;;
    *) echo "FAIL: the scanner does not list $name"; exit 1 ;;
esac

rate=48000
frames=96000
settings=
if [ -n "$halvorine" ]; then
    # Start Freq, Boost and band 4's gate level, by index and by name.
    settings="0=0.25,5=0.6,9=0.3"
fi
log="$work/ardour.log"
# The interpreter does not always exit once a reloaded session is open: the
# script's verdict line ends the wait, and then this process is stopped.
H_DIR="$work/session" H_PLUGIN="$name" H_RATE=$rate H_FRAMES=$frames H_SET="$settings" H_OUT="$work/bounced" \
    ardour7-lua "$here/bounce.lua" >"$log" 2>&1 &
lua=$!
waited=0
while kill -0 $lua 2>/dev/null && ! grep -qE "^(OK|FAIL): " "$log" && [ $waited -lt 600 ]; do
    sleep 1
    waited=$((waited + 1))
done
kill $lua 2>/dev/null
wait $lua 2>/dev/null
if ! grep -q "^OK: " "$log"; then
    tail -n 40 "$log"
    echo "FAIL: the Ardour session did not complete"
    exit 1
fi
grep "^OK: " "$log"
[ -n "$halvorine" ] || exit 0

python3 "$here/make_signal.py" "$work/in.wav" $frames $rate
"$halvorine" render "$work/in.wav" "$work/out.wav" --set "Start Freq=0.25" --set "Boost=0.6" \
    --set "Band 4Gate Level=0.3" || exit 1
# shellcheck disable=SC2046 # the two paths, one a line
python3 "$here/compare_wav.py" "$work/out.wav" $(cat "$work/bounced")
