#!/bin/sh
# Builds every configuration and runs every test suite: the Linux build,
# the Linux tests under AddressSanitizer and UBSan, the concurrency test
# under ThreadSanitizer, and the 32-bit and 64-bit Windows DLLs with their
# suites under wine. Installs what is missing first (Debian 12).
#
#   scripts/test.sh [PRESET ...]     (default: linux asan tsan win32 win64)
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
presets=${*:-linux asan tsan win32 win64}

# Build and test dependencies, from Debian's archive. wine32 needs the
# i386 architecture; fonts-liberation2 gives wine a metric-compatible Arial.
packages="cmake g++ make pkg-config libsndfile1-dev libcli11-dev libpng-dev libfftw3-dev libgtest-dev googletest
          libbenchmark-dev libstb-dev python3 g++-mingw-w64-i686-win32 g++-mingw-w64-x86-64-win32
          wine wine32:i386 wine64 xvfb xauth fonts-liberation2 xdotool imagemagick"
missing=
for package in $packages; do
    if ! dpkg -s "$package" 2>/dev/null | grep -q '^Status: install ok installed'; then
        missing="$missing $package"
    fi
done
if [ -n "$missing" ]; then
    echo "Installing:$missing"
    if [ "$(id -u)" -eq 0 ]; then
        as_root=
    elif command -v sudo >/dev/null 2>&1; then
        as_root=sudo
    else
        echo "These packages are missing and neither root nor sudo is available:$missing" >&2
        exit 1
    fi
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        $as_root dpkg --add-architecture i386
    fi
    $as_root env DEBIAN_FRONTEND=noninteractive apt-get update
    # shellcheck disable=SC2086 # one word per package
    $as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends $missing
fi

failed=
for preset in $presets; do
    echo "=== $preset ==="
    cmake --preset "$preset"
    case $preset in
        tsan) cmake --build --preset "$preset" --target concurrency_tests ;;
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
