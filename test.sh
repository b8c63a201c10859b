#!/usr/bin/env bash
# Installs what the tests need, builds, and runs every test: once in a normal build,
# once more with AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/packages.sh
velkor_install_packages "${VELKOR_BUILD_PACKAGES[@]}" "${VELKOR_TEST_PACKAGES[@]}"

jobs=$(nproc)

# A private PulseAudio server for the live-capture tests, stopped however the script
# ends. The tests require it (VELKOR_AUDIO_SERVER=1) instead of skipping.
pulse_dir=$(mktemp -d "${TMPDIR:-/tmp}/velkor-pulse-XXXXXX")
trap 'tests/fixtures/pulseaudio.sh stop "$pulse_dir"' EXIT
tests/fixtures/pulseaudio.sh start "$pulse_dir"
export PULSE_SERVER="unix:$pulse_dir/native" VELKOR_AUDIO_SERVER=1

echo "== build and test =="
cmake -S . -B build/test -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build/test -j "$jobs"
ctest --test-dir build/test --output-on-failure -j "$jobs"

echo "== build and test with AddressSanitizer and UndefinedBehaviorSanitizer =="
cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVELKOR_SANITIZE=ON -DVELKOR_BUILD_BENCH=OFF
cmake --build build/asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build/asan --output-on-failure -j "$jobs"
