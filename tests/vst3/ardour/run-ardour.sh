#!/bin/sh
# The VST3 edition in Ardour 7, headless: its scanner must list the class;
# then bounce.lua loads the plug-in on a track (Dummy backend), sets
# parameters, bounces, saves and reloads the session. With a halvorine
# command, the bounce must equal `halvorine render` of the same signal with
# the same values, bit for bit; then presets.lua chooses each factory
# program through Ardour's preset menu: each choice must return within a
# second (Ardour must not freeze in it), Ardour's values must become the
# program's, Ardour must not mark the preset as changed since it was
# chosen, and a bounce must equal `halvorine render --program`.
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
# Runs `ardour7-lua SCRIPT` (environment set by the caller) into LOG. The
# interpreter does not always exit once a reloaded session is open: the
# script's verdict line ends the wait, and then this process is stopped.
# A "loading" line of the script with no "loaded" line a second later (two,
# for the coarse clock) is a host frozen in the load.
run_lua() {
    ardour7-lua "$1" >"$2" 2>&1 &
    lua=$!
    waited=0 stuck=0
    while kill -0 $lua 2>/dev/null && ! grep -qE "^(OK|FAIL): " "$2" && [ $waited -lt 600 ]; do
        if [ "$(grep -c "^loading " "$2")" -gt "$(grep -c "^loaded " "$2")" ]; then
            stuck=$((stuck + 1))
            if [ $stuck -gt 2 ]; then
                echo "FAIL: $(grep "^loading " "$2" | tail -n 1) did not return"
                break
            fi
        else
            stuck=0
        fi
        sleep 1
        waited=$((waited + 1))
    done
    kill $lua 2>/dev/null
    wait $lua 2>/dev/null
    if ! grep -q "^OK: " "$2"; then
        tail -n 40 "$2"
        echo "FAIL: the Ardour session did not complete"
        exit 1
    fi
    grep "^OK: " "$2"
}

bounce_session() {
    rm -rf "$work/session"
    H_DIR="$work/session" H_PLUGIN="$name" H_RATE=$rate H_FRAMES=$frames H_SET="$settings" H_OUT="$work/bounced" \
        run_lua "$here/bounce.lua" "$work/ardour.log"
}
bounce_session
[ -n "$halvorine" ] || exit 0

python3 "$here/make_signal.py" "$work/in.wav" $frames $rate
"$halvorine" render "$work/in.wav" "$work/out.wav" --set "Start Freq=0.25" --set "Boost=0.6" \
    --set "Band 4Gate Level=0.3" || exit 1
# The host's idle engine may still run the signal script once before the
# bounce, which then starts later in the signal (seen about once in ten
# runs, with the plug-in given the same calls either way): the session is
# made once more before the bounce counts as different.
# shellcheck disable=SC2046 # the two paths, one a line
if ! python3 "$here/compare_wav.py" "$work/out.wav" $(cat "$work/bounced"); then
    echo "once more, in a new session:"
    bounce_session
    # shellcheck disable=SC2046
    python3 "$here/compare_wav.py" "$work/out.wav" $(cat "$work/bounced") || exit 1
fi

H_DIR="$work/presets" H_PLUGIN="$name" H_RATE=$rate H_FRAMES=$frames H_OUT="$work/programs" \
    H_PROGRAMS=$(python3 "$here/program_values.py" "$here/../../../params/ParameterTable.cpp") \
    run_lua "$here/presets.lua" "$work/presets.log"
while read -r program left right; do
    "$halvorine" render "$work/in.wav" "$work/$program.wav" --program "$program" || exit 1
    echo "$program:"
    python3 "$here/compare_wav.py" "$work/$program.wav" "$left" "$right" || exit 1
done <"$work/programs"
