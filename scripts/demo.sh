#!/bin/sh
# The first thing to run: installs what the build needs (Debian 12), builds
# the plug-in and the command-line host, and plays the demo.
#
#   scripts/demo.sh [--out DIR]
#
# The demo writes a synthesised drum groove, its renders through the
# "BigBeat" and "Gated" programs and a picture comparing them into
# ./halvorine-demo (or DIR), and says what to listen for.
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)

# Build dependencies, from Debian's archive. The configure step also needs
# GoogleTest, Google Benchmark and lilv, since the linux preset sets up the
# tests and benchmarks too; lv2-dev builds the LV2 edition.
packages="cmake g++ make pkg-config libsndfile1-dev libcli11-dev libpng-dev libfftw3-dev
          libgtest-dev googletest libbenchmark-dev libx11-dev lv2-dev liblilv-dev"
. "$root/scripts/install-packages.sh"
# shellcheck disable=SC2086 # one word per package
install_missing $packages

# Presets are found in the source folder; the demo's files go to the
# caller's folder.
(cd "$root" && cmake --preset linux && cmake --build --preset linux --target halvorine Halvorine halvorine_lv2)
exec "$root/build/linux/halvorine" demo "$@"
