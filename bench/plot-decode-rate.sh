#!/usr/bin/env bash
# Plots decode rate against SNR for the three protocols at 48000 and 11025 Hz.
#   bench/plot-decode-rate.sh [BUILD_DIR] [OUTPUT.png] [BEFORE_BUILD_DIR]
# With BEFORE_BUILD_DIR (a build of an earlier version, with its modem-curve) its
# curves are drawn thin and dashed beside the current ones, for a before and after.
# Needs gnuplot (Debian gnuplot-nox) and a build with the benchmarks (./test.sh makes one).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/test}
out=${2:-docs/decode-rate.png}
before=${3:-}
command -v gnuplot >/dev/null || { echo "gnuplot is needed: apt-get install gnuplot-nox" >&2; exit 1; }
[ -x "$build/bench/modem-curve" ] || { echo "no $build/bench/modem-curve: build first (./test.sh)" >&2; exit 1; }
[ -z "$before" ] || [ -x "$before/bench/modem-curve" ] || { echo "no $before/bench/modem-curve" >&2; exit 1; }

csv=$(mktemp)
old=$(mktemp)
trap 'rm -f "$csv" "$old"' EXIT
curve() { "$1/bench/modem-curve" --rates 48000,11025 --snr-high 30 --snr-low -12 --snr-step 1.5 --messages 40 --phases 4; }
curve "$build" > "$csv"
if [ -n "$before" ]; then
  curve "$before" > "$old"
  title="Messages decoded in white noise, before (dashed) and now (SNR over the sampled band)"
else
  title="Messages decoded in white noise (SNR: signal power / noise power over the sampled band)"
fi
mkdir -p "$(dirname "$out")"

gnuplot <<GNUPLOT
set terminal pngcairo size 1000,620 font "DejaVu Sans,11"
set output "$out"
set datafile separator ","
set title "$title"
set xlabel "SNR (dB)"
set ylabel "decoded (%)"
set yrange [0:105]
set xrange [-12:15]
set grid
set key bottom right
set style line 1 lc rgb "#1f77b4" lw 2
set style line 2 lc rgb "#aec7e8" lw 2
set style line 3 lc rgb "#d62728" lw 2
set style line 4 lc rgb "#ff9896" lw 2
set style line 5 lc rgb "#2ca02c" lw 2
set style line 6 lc rgb "#98df8a" lw 2
protocols = "mpt1327 nmt450 motorola"
rates = "48000 11025"
plot for [i=1:6] "$csv" using (strcol(1) eq word(protocols, (i+1)/2) && strcol(2) eq word(rates, 2-i%2) ? \$3 : 1/0):(100.0*\$5/\$4) \
  with linespoints ls i pt 7 ps 0.6 title sprintf("%s %s Hz", word(protocols, (i+1)/2), word(rates, 2-i%2)), \
  for [i=1:6] ("$before" eq "" ? 1/0 : "$old") using (strcol(1) eq word(protocols, (i+1)/2) && strcol(2) eq word(rates, 2-i%2) ? \$3 : 1/0):(100.0*\$5/\$4) \
  with lines ls i lw 1 dt 2 notitle
GNUPLOT
echo "wrote $out"
