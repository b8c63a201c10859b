#!/usr/bin/env bash
# Plots decode rate against SNR for the three protocols at 48000 and 11025 Hz.
#   bench/plot-decode-rate.sh [BUILD_DIR] [OUTPUT.png]
# Needs gnuplot (Debian gnuplot-nox) and a build with the benchmarks (./test.sh makes one).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/test}
out=${2:-docs/decode-rate.png}
command -v gnuplot >/dev/null || { echo "gnuplot is needed: apt-get install gnuplot-nox" >&2; exit 1; }
[ -x "$build/bench/modem-curve" ] || { echo "no $build/bench/modem-curve: build first (./test.sh)" >&2; exit 1; }

csv=$(mktemp)
trap 'rm -f "$csv"' EXIT
"$build/bench/modem-curve" --rates 48000,11025 --snr-high 30 --snr-low -6 --snr-step 3 --messages 40 --phases 4 > "$csv"
mkdir -p "$(dirname "$out")"

gnuplot <<GNUPLOT
set terminal pngcairo size 900,560 font "DejaVu Sans,11"
set output "$out"
set datafile separator ","
set title "Messages decoded in white noise (SNR: signal power / noise power over the sampled band)"
set xlabel "SNR (dB)"
set ylabel "decoded (%)"
set yrange [0:105]
set xrange [-6:30]
set grid
set key bottom right
plot for [p in "mpt1327 nmt450 motorola"] for [r in "48000 11025"] \
  "$csv" using (strcol(1) eq p && strcol(2) eq r ? \$3 : 1/0):(100.0*\$5/\$4) \
  with linespoints title sprintf("%s %s Hz", p, r)
GNUPLOT
echo "wrote $out"
