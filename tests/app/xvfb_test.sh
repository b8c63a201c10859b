#!/usr/bin/env bash
# Runs a dialog test program on an X server of its own: Xvfb with one 1280x900 screen at
# 144 dpi, Qt's xcb platform without scaling of its own (a 12-point font is 24 pixels).
#   xvfb_test.sh PROGRAM ARTIFACT_DIR [gtest options...]   (exit 77: no Xvfb, skipped)
set -euo pipefail
program=$1 artifacts=$2
# In a sanitizer build: what the desktop libraries leak at exit is not ours.
export LSAN_OPTIONS="suppressions=$(cd "$(dirname "$0")/.." && pwd)/lsan-libraries.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
shift 2
command -v Xvfb >/dev/null || { echo "no Xvfb; skipped"; exit 77; }
work=$(mktemp -d "${TMPDIR:-/tmp}/velkor-xvfb-XXXXXX")
Xvfb -displayfd 3 -screen 0 1280x900x24 -dpi 144 -nolisten tcp 3> "$work/display" 2> "$work/xvfb.log" &
xvfb=$!
trap 'kill -TERM $xvfb; wait $xvfb; rm -rf "$work"' EXIT
for ((i = 0; i < 200; i++)); do grep -q '[0-9]' "$work/display" && break || sleep 0.1; done
grep -q '[0-9]' "$work/display" || { cat "$work/xvfb.log" >&2; exit 1; }
export DISPLAY=":$(tr -dc 0-9 < "$work/display")" QT_QPA_PLATFORM=xcb QT_ENABLE_HIGHDPI_SCALING=0 QT_FONT_DPI=144
# A window manager, as on a desktop: it decorates the window, keeps it within the screen's
# work area and shows which buttons a dialog offers.
openbox --sm-disable --config-file /dev/null 2> "$work/wm.log" &
wm=$!
trap 'kill -TERM $wm $xvfb; wait $wm $xvfb; rm -rf "$work"' EXIT
for ((i = 0; i < 200; i++)); do xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break || sleep 0.1; done
xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id' || { cat "$work/wm.log" >&2; exit 1; }
VELKOR_ARTIFACTS="$artifacts" "$program" "$@"
