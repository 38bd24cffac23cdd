#!/bin/sh
# Runs a Windows test program under wine, in a prefix of its own inside the
# build tree. Usage: wine-run.sh PREFIX_DIR PROGRAM.exe [ARGS...]
#
# The prefix is made once (wineboot, about 6 s): the X11 driver does not
# manage windows, and a crash ends the program at once instead of opening
# the crash dialog and hanging. With HALVORINE_WINE_DPI set when it is made,
# the prefix's screen has that density (LogPixels, as winecfg sets it).
set -u
prefix=$1
shift
export WINEPREFIX="$prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$prefix"
(
    flock 9
    if [ ! -f "$prefix/.halvorine-ready" ]; then
        timeout 300 wineboot -i >/dev/null 2>&1
        timeout 60 wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
        timeout 60 wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
        if [ -n "${HALVORINE_WINE_DPI:-}" ]; then
            timeout 60 wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$HALVORINE_WINE_DPI" /f >/dev/null 2>&1
            timeout 60 wine reg add 'HKCC\Software\Fonts' /v LogPixels /t REG_DWORD /d "$HALVORINE_WINE_DPI" /f >/dev/null 2>&1
        fi
        timeout 60 wineserver -w
        touch "$prefix/.halvorine-ready"
    fi
) 9>"$prefix.lock"
exec timeout "${HALVORINE_WINE_TIMEOUT:-600}" wine "$@"
