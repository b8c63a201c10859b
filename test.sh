#!/usr/bin/env bash
# Installs what the tests need, builds, and runs every test: once in a normal build,
# once more with AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/packages.sh
velkor_install_packages "${VELKOR_BUILD_PACKAGES[@]}" "${VELKOR_TEST_PACKAGES[@]}"

jobs=$(nproc)

echo "== build and test =="
cmake -S . -B build/test -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build/test -j "$jobs"
ctest --test-dir build/test --output-on-failure -j "$jobs"

echo "== build and test with AddressSanitizer and UndefinedBehaviorSanitizer =="
cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVELKOR_SANITIZE=ON -DVELKOR_BUILD_BENCH=OFF
cmake --build build/asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build/asan --output-on-failure -j "$jobs"
