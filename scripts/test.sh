#!/bin/sh
# Builds every configuration and runs every test suite: the Linux build,
# the 64-bit ARM Linux build (cross-compiled, its tests under qemu-user),
# the engine with the portable kernel alone (as on a processor without a
# vector kernel),
# the Linux tests under AddressSanitizer and UBSan, the concurrency tests
# (engine and editor bridge) under ThreadSanitizer, the 32-bit and 64-bit
# Windows DLLs with their suites under wine, the fuzz targets, each for a
# bounded time (HALVORINE_FUZZ_SECONDS, 75 by default), and the release:
# made twice, in the clone and from its unpacked source archive, to the
# same bytes, and each artefact installed as a user installs it. Installs
# what is missing first (Debian 12).
#
#   scripts/test.sh [STEP ...]   (default: linux linux-arm64 portable asan tsan win32 win64 fuzz release)
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
presets=${*:-linux linux-arm64 portable asan tsan win32 win64 fuzz release}
fuzz_seconds=${HALVORINE_FUZZ_SECONDS:-75}

# Build and test dependencies, from Debian's archive. wine32 needs the
# i386 architecture; fonts-liberation2 gives wine a metric-compatible Arial.
# The LV2 edition builds against lv2-dev and is tested with lilv, lilv's
# lv2apply and lv2_validate (which runs sordi's sord_validate). The VST3
# edition is loaded in Ardour 7 (ardour) and its harness checked on a
# known-good bundle (zam-plugins). The release is made with git, makensis,
# dpkg-dev, xz and zip, and checked with unzip, lintian, man-db and Ardour's
# VST3 scanner. pluginval, the plug-in validator run on the VST3 bundle,
# needs the ALSA, font and X libraries of the next line. The 64-bit ARM
# build takes the cross compiler, qemu-user with its binfmt entry, and the
# arm64 libraries through multiarch (the last lines).
packages="cmake g++ make pkg-config libsndfile1-dev libcli11-dev libpng-dev libfftw3-dev libgtest-dev googletest
          libbenchmark-dev libstb-dev libx11-dev python3 g++-mingw-w64-i686-win32 g++-mingw-w64-x86-64-win32
          wine wine32:i386 wine64 xvfb xauth libxtst6 fonts-liberation2 xdotool imagemagick
          lv2-dev liblilv-dev lilv-utils sordi clang-14 libclang-rt-14-dev
          git nsis dpkg-dev lintian man-db xz-utils zip unzip ardour zam-plugins parallel
          libasound2 libfontconfig1 libfreetype6 libx11-6 libxext6 libxrandr2 libxinerama1 libxcursor1
          g++-aarch64-linux-gnu binutils-aarch64-linux-gnu qemu-user qemu-user-binfmt libx11-dev:arm64
          libsndfile1-dev:arm64 libpng-dev:arm64 libfftw3-dev:arm64 libgtest-dev:arm64 liblilv-dev:arm64
          lv2-dev:arm64 libstb-dev:arm64 liblilv-0-0:arm64 libxtst6:arm64"
. "$root/scripts/install-packages.sh"
. "$root/scripts/arm64-emulation.sh"
# shellcheck disable=SC2086 # one word per package
install_missing $packages

# Every suite runs under xvfb-run, which provides the X display, and the
# packages above provide XTest and xdotool: the tests that need them fail
# rather than skip when they find them missing.
export HALVORINE_REQUIRE_DISPLAY=1

# Runs each fuzz target from its seed corpus for $fuzz_seconds seconds.
# Inputs found along the way go to build/fuzz/run/, and an input that
# makes a target fail to build/fuzz/findings/ (then the run fails).
# fuzz_module's scripts pick, instance by instance, a host that runs with
# floating-point exceptions unmasked; the fuzz preset's ctest also replays
# its whole corpus in that mode (fuzz_module_corpus_unmasked).
run_fuzzers() {
    status=0
    mkdir -p build/fuzz/findings
    for target in module editor vst3_state; do
        mkdir -p "build/fuzz/run/$target"
        log=build/fuzz/run/$target.log
        echo "--- fuzz_$target for ${fuzz_seconds}s"
        if "build/fuzz/fuzz/fuzz_$target" "build/fuzz/run/$target" "fuzz/corpus/$target" \
            -max_total_time="$fuzz_seconds" -timeout=30 -print_final_stats=1 \
            -artifact_prefix="build/fuzz/findings/$target-" >"$log" 2>&1; then
            grep -E '^#[0-9]+[[:space:]]+DONE|^stat::number_of_executed_units' "$log" || true
        else
            tail -n 60 "$log"
            status=1
        fi
    done
    return $status
}

# The release (scripts/release.sh) into build/release/, its artefacts
# installed and used as a user does (tests/release/test_release.sh, with
# the Windows builds' test hosts), then made again from its own source
# archive, unpacked in another folder, later, under another umask and time
# zone: the two must give the same SHA256SUMS. That second release builds
# everything afresh (reusing the first one's builds would hide what differs
# between two machines), and it proves both that a release is reproducible
# and that the source archive remakes it; a third full release, from a
# second clone, would add minutes and prove little more, since the clone
# and the archive differ only in how the source tree is had. That step is
# still checked, cheaply: a second clone's source archive alone
# (release.sh --source-only) must be the same bytes.
run_release() {
    status=0
    # Of the last commit: uncommitted changes are not in a release.
    HALVORINE_RELEASE_ALLOW_DIRTY=1 sh scripts/release.sh || return 1
    for preset in win32 win64; do
        cmake --preset "$preset" >/dev/null && cmake --build --preset "$preset" --target host_tests vst3_tests clap_tests || return 1
    done
    # The Linux CLAP test host, for the installed .clap files.
    cmake --preset linux >/dev/null && cmake --build --preset linux --target clap_tests || return 1
    xvfb-run -a sh tests/release/test_release.sh build/release "$root" build/win32 build/win64 || status=1
    other=$(mktemp -d "${TMPDIR:-/tmp}/halvorine-second-release.XXXXXX")
    echo "--- the source archive again, in a second clone"
    if git clone -q --no-hardlinks "$root" "$other/clone" &&
        git -C "$other/clone" checkout -q --detach "$(git rev-parse HEAD)" &&
        (cd "$other/clone" && umask 027 && TZ=Pacific/Chatham sh scripts/release.sh --source-only >"$other/source.log" 2>&1); then
        src=$(cd build/release && ls ./*-src.tar.xz)
        if cmp -s "build/release/$src" "$other/clone/build/release/$src"; then
            echo "the second clone's source archive is the same, byte for byte"
        else
            echo "FAIL: the second clone's $src differs"
            status=1
        fi
    else
        tail -n 20 "$other/source.log"
        status=1
    fi
    echo "--- the release again, from the unpacked source archive"
    mkdir "$other/unpacked"
    if (umask 027 && tar -C "$other/unpacked" -xJf build/release/*-src.tar.xz) &&
        (cd "$other"/unpacked/* && umask 027 && TZ=Pacific/Chatham sh scripts/release.sh >"$other/release.log" 2>&1); then
        if cmp -s build/release/SHA256SUMS "$other"/unpacked/*/build/release/SHA256SUMS; then
            echo "the source archive's release is the same, byte for byte:"
            cat build/release/SHA256SUMS
        else
            echo "FAIL: the two releases differ (- this clone, + the source archive's):"
            diff build/release/SHA256SUMS "$other"/unpacked/*/build/release/SHA256SUMS
            status=1
        fi
    else
        tail -n 40 "$other/release.log"
        status=1
    fi
    rm -rf "$other"
    return $status
}

failed=
for preset in $presets; do
    echo "=== $preset ==="
    if [ "$preset" = release ]; then
        run_release || failed="$failed release"
        continue
    fi
    cmake --preset "$preset"
    case $preset in
        tsan) cmake --build --preset "$preset" --target concurrency_tests editor_concurrency_tests vst3_concurrency_tests ;;
        fuzz) cmake --build --preset "$preset" --target fuzz_module fuzz_editor fuzz_vst3_state ;;
        # The configuration without vector kernels, once: the engine's
        # white-box tests (every kernel against the reference) and the
        # golden outputs.
        portable) cmake --build --preset "$preset" --target engine_tests golden_tests ;;
        *) cmake --build --preset "$preset" ;;
    esac
    if [ "$preset" = linux-arm64 ] && ! { arm64_emulation && arm64_lv2apply build/linux-arm64/lilv-utils; }; then
        echo "cannot run 64-bit ARM programs here (binfmt_misc, qemu-user-binfmt, lilv-utils:arm64)" >&2
        failed="$failed $preset"
        continue
    fi
    # Windows suites run under wine, which wants an X display for windows.
    if ! xvfb-run -a ctest --preset "$preset"; then
        failed="$failed $preset"
    elif [ "$preset" = fuzz ] && ! run_fuzzers; then
        failed="$failed fuzz-run"
    fi
done

if [ -n "$failed" ]; then
    echo "FAILED:$failed" >&2
    exit 1
fi
echo "All suites passed: $presets"
