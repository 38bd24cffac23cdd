#!/bin/sh
# Builds every configuration and runs every test suite: the Linux build,
# the Linux tests under AddressSanitizer and UBSan, the concurrency tests
# (engine and editor bridge) under ThreadSanitizer, and the 32-bit and
# 64-bit Windows DLLs with their suites under wine. Installs what is
# missing first (Debian 12).
#
#   scripts/test.sh [PRESET ...]     (default: linux asan tsan win32 win64)
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
presets=${*:-linux asan tsan win32 win64}

# Build and test dependencies, from Debian's archive. wine32 needs the
# i386 architecture; fonts-liberation2 gives wine a metric-compatible Arial.
# The LV2 edition builds against lv2-dev and is tested with lilv, lilv's
# lv2apply and lv2_validate (which runs sordi's sord_validate).
packages="cmake g++ make pkg-config libsndfile1-dev libcli11-dev libpng-dev libfftw3-dev libgtest-dev googletest
          libbenchmark-dev libstb-dev libx11-dev python3 g++-mingw-w64-i686-win32 g++-mingw-w64-x86-64-win32
          wine wine32:i386 wine64 xvfb xauth libxtst6 fonts-liberation2 xdotool imagemagick
          lv2-dev liblilv-dev lilv-utils sordi"
. "$root/scripts/install-packages.sh"
# shellcheck disable=SC2086 # one word per package
install_missing $packages

# Every suite runs under xvfb-run, which provides the X display, and the
# packages above provide XTest and xdotool: the tests that need them fail
# rather than skip when they find them missing.
export HALVORINE_REQUIRE_DISPLAY=1

failed=
for preset in $presets; do
    echo "=== $preset ==="
    cmake --preset "$preset"
    case $preset in
        tsan) cmake --build --preset "$preset" --target concurrency_tests editor_concurrency_tests ;;
        *) cmake --build --preset "$preset" ;;
    esac
    # Windows suites run under wine, which wants an X display for windows.
    if ! xvfb-run -a ctest --preset "$preset"; then
        failed="$failed $preset"
    fi
done

if [ -n "$failed" ]; then
    echo "FAILED:$failed" >&2
    exit 1
fi
echo "All suites passed: $presets"
