#!/usr/bin/env bash
# Installs what velkor needs, builds a release build and runs it. Until the dialog
# program exists this decodes the bundled demo recording and prints its log.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/packages.sh
velkor_install_packages "${VELKOR_BUILD_PACKAGES[@]}"

cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELKOR_BUILD_TESTS=OFF -DVELKOR_BUILD_BENCH=OFF >/dev/null
cmake --build build/release -j "$(nproc)" >/dev/null
exec build/release/tools/velkor-decode "${@:-samples/demo.wav}"
