#!/bin/sh
# An LV2 binary exports its one entry point and carries its own C++
# runtime: it needs nothing but the C library, the loader and the
# libraries named after the entry.
# Usage: test_lv2_binary.sh BINARY ENTRY [LIBRARY...]
set -u
binary=$1
entry=$2
shift 2
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

if ! command -v readelf >/dev/null 2>&1; then
    echo "readelf is needed (package binutils); skipped"
    exit 77
fi

needed=$(readelf -d "$binary" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' | sort | tr '\n' ' ')
for library in $needed; do
    case $library in
        libc.so.*|ld-linux*.so.*) continue ;;
    esac
    allowed=no
    for other in "$@"; do
        [ "$library" = "$other" ] && allowed=yes
    done
    [ $allowed = yes ] || fail "needs $library"
done
exported=$(readelf --dyn-syms -W "$binary" | awk 'NR > 3 && $7 != "UND" && $5 != "LOCAL" { print $8 }' | sort -u | tr '\n' ' ')
[ "$exported" = "$entry " ] || fail "exports: $exported"

[ $failures -eq 0 ] && echo "needs: $needed; exports: $exported"
[ $failures -eq 0 ]
