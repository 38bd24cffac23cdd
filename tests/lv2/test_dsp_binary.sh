#!/bin/sh
# The LV2 plug-in binary exports lv2_descriptor alone and carries its own
# C++ runtime: it needs nothing but the C library and the loader.
# Usage: test_dsp_binary.sh PATH-TO-halvorine_dsp.so
set -u
binary=$1
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

if ! command -v readelf >/dev/null 2>&1; then
    echo "readelf is needed (package binutils); skipped"
    exit 77
fi

needed=$(readelf -d "$binary" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' | sort | tr '\n' ' ')
for library in $needed; do
    case $library in
        libc.so.*|ld-linux*.so.*) ;;
        *) fail "needs $library" ;;
    esac
done
exported=$(readelf --dyn-syms -W "$binary" | awk 'NR > 3 && $7 != "UND" && $5 != "LOCAL" { print $8 }' | sort -u | tr '\n' ' ')
[ "$exported" = "lv2_descriptor " ] || fail "exports: $exported"

[ $failures -eq 0 ] && echo "needs: $needed; exports: $exported"
[ $failures -eq 0 ]
