#!/usr/bin/env bash
# Runs a dialog test program on a real X server of its own: Xvfb with one 1280x900
# screen at 144 dpi, Qt's xcb platform without its own scaling (one pixel is one pixel,
# a 12-point font 24 pixels high). Screenshots go to ARTIFACT_DIR (the program
# reads VELKOR_ARTIFACTS). The test PulseAudio server is used when PULSE_SERVER names it.
#
#   xvfb_test.sh PROGRAM ARTIFACT_DIR [gtest options...]
#
# Exit 77 (skipped) when Xvfb is not installed.
set -euo pipefail

program=$1 artifacts=$2
shift 2
command -v Xvfb >/dev/null || { echo "no Xvfb; skipped"; exit 77; }

work=$(mktemp -d "${TMPDIR:-/tmp}/velkor-xvfb-XXXXXX")
xvfb=
cleanup() {
    [ -n "$xvfb" ] && kill -TERM "$xvfb" 2>/dev/null && wait "$xvfb" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

# -displayfd tells which display number it took.
Xvfb -displayfd 3 -screen 0 1280x900x24 -dpi 144 -nolisten tcp 3> "$work/display" > "$work/xvfb.log" 2>&1 &
xvfb=$!
for ((i = 0; i < 200; i++)); do
    grep -q '[0-9]' "$work/display" 2>/dev/null && break
    sleep 0.1
done
grep -q '[0-9]' "$work/display" || { echo "Xvfb did not start" >&2; cat "$work/xvfb.log" >&2; exit 1; }

export DISPLAY=":$(tr -dc 0-9 < "$work/display")" QT_QPA_PLATFORM=xcb QT_ENABLE_HIGHDPI_SCALING=0 QT_FONT_DPI=144
export VELKOR_ARTIFACTS="$artifacts"
"$program" "$@"
