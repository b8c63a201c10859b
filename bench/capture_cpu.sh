#!/usr/bin/env bash
# CPU use of velkor-decode --capture, in percent of one core: once on a silent input,
# once while a control channel plays without pause, and once in the silence after a
# control channel has played (where the decoders' filters decay towards zero). Needs an audio server whose
# default source hears its default sink (tests/fixtures/pulseaudio.sh starts one).
#
#   PULSE_SERVER=unix:DIR/native bench/capture_cpu.sh BUILD_DIR [SECONDS]
set -euo pipefail
build=${1:?usage: $0 BUILD_DIR [SECONDS]}
seconds=${2:-20}
tool="$build/tools/velkor-decode"
demo="$(dirname "$0")/../samples/demo.wav"
ticks=$(getconf CLK_TCK)

cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }

measure() {
    local label=$1 player=""
    "$tool" --capture >/dev/null 2>&1 &
    local pid=$!
    # Start-up is not the steady state: device probing, and about a second in which
    # PortAudio's ALSA thread polls the pulse plugin at full speed until the stream
    # settles. It is reported apart.
    sleep 3
    local startup
    startup=$(cpu_ticks "$pid")
    if [ "$label" = busy ]; then
        ( while :; do paplay "$demo"; done ) &
        player=$!
    elif [ "$label" = after ]; then
        paplay "$demo"
    fi
    local before after
    before=$(cpu_ticks "$pid")
    sleep "$seconds"
    after=$(cpu_ticks "$pid")
    if [ -n "$player" ]; then
        kill "$player"
        wait "$player" 2>/dev/null || true
    fi
    kill -INT "$pid"
    wait "$pid"
    awk -v l="$label" -v t=$((after - before)) -v hz="$ticks" -v s="$seconds" -v st="$startup" \
        'BEGIN { printf "%-6s %.2f %% of one core (%d ticks in %d s); start-up %.2f s of CPU\n", l, 100 * t / hz / s, t, s, st / hz }'
}

measure silent
measure busy
measure after
