#!/usr/bin/env bash
# Soak run of velkor-decode: hours of generated control-channel audio (MPT 1327,
# NMT-450 and Motorola with calls) decoded at full speed, with the decoder's resident
# memory sampled every few seconds. Memory must be flat: the last sample no higher
# than the first beyond a small allowance.
#   bench/soak.sh [-h HOURS] [-b BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."

hours=24
build=build
while getopts "h:b:" opt; do
  case $opt in
    h) hours=$OPTARG ;;
    b) build=$OPTARG ;;
    *) echo "usage: $0 [-h HOURS] [-b BUILD_DIR]" >&2; exit 2 ;;
  esac
done
rate=48000
gen=$build/bench/soak-gen
decode=$build/tools/velkor-decode
[ -x "$gen" ] && [ -x "$decode" ] || { echo "build $gen and $decode first" >&2; exit 2; }

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
rss() { awk '/^VmRSS:/ { print $2 }' "/proc/$1/status" 2>/dev/null || true; }

start=$(date +%s.%N)
"$gen" --hours "$hours" --rate "$rate" | "$decode" --rate "$rate" - >"$out/lines" &
pid=$!
samples=()
sleep 1
while kill -0 "$pid" 2>/dev/null; do
  r=$(rss "$pid")
  [ -n "$r" ] && samples+=("$r")
  sleep 5
done
wait "$pid"
end=$(date +%s.%N)

lines=$(wc -l <"$out/lines")
[ ${#samples[@]} -gt 0 ] || { echo "the run ended before memory could be sampled: give more hours" >&2; exit 2; }
first=${samples[0]:-0}
last=${samples[${#samples[@]}-1]:-0}
max=$(printf '%s\n' "${samples[@]}" | sort -n | tail -1)
elapsed=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.1f", b - a }')
speed=$(awk -v h="$hours" -v e="$elapsed" 'BEGIN { printf "%d", h * 3600 / e }')
echo "audio: $hours h at $rate Hz in ${elapsed} s (${speed}x real time), $lines log lines"
echo "velkor-decode RSS: first ${first} kB, last ${last} kB, highest ${max} kB (${#samples[@]} samples)"
# Flat: the end no more than 1 MB above the start.
if [ "$last" -gt $((first + 1024)) ]; then
  echo "memory grew" >&2
  exit 1
fi
