#!/usr/bin/env bash
# Installs what velkor needs, builds a release build and runs it: the dialog program when
# a display is available, else the headless decoder on the bundled demo recording (or
# on the files given). velkor reads velkor.ini and addrbook.ini in the directory run.sh
# is started from.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
(
    cd "$here"
    source scripts/packages.sh
    velkor_install_packages "${VELKOR_BUILD_PACKAGES[@]}" "${VELKOR_RUNTIME_PACKAGES[@]}"
    cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELKOR_BUILD_TESTS=OFF -DVELKOR_BUILD_BENCH=OFF >/dev/null
    cmake --build build/release -j "$(nproc)" >/dev/null
)

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ $# -eq 0 ]; then
    exec "$here/build/release/app/velkor"
fi

if [ $# -eq 0 ]; then
    echo "No display: decoding the demo recording instead ($here/samples/demo.wav)." >&2
    echo "To start the dialog, run ./run.sh in a desktop session (DISPLAY or WAYLAND_DISPLAY set)," >&2
    echo "or start $here/build/release/app/velkor there." >&2
    set -- "$here/samples/demo.wav"
fi
exec "$here/build/release/tools/velkor-decode" "$@"
