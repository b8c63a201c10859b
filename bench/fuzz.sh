#!/usr/bin/env bash
# A fuzzing campaign: each fuzz target in turn (all, or those named), for a number of
# runs or seconds, one process at a time at the lowest priority, and a line per target:
#
#   target  runs  seconds  runs/s  cov  ft  corpus  findings
#
#   bench/fuzz.sh [-r RUNS | -t SECONDS] [-f] [-m] [-j JOBS] [TARGET...]
#
#   -r RUNS     runs per target (default: 10 million)
#   -t SECONDS  time per target instead (whichever of -r and -t comes first ends it)
#   -f          fresh: start from the checked-in corpus alone, keep nothing new and run
#               at normal priority (a speed measurement: 20 s each on an idle machine)
#   -m          afterwards merge the inputs that reach code the corpus does not into
#               tests/fuzz/corpus/ (libFuzzer -merge=1 counting edges only, so that it
#               stays small; the checked-in inputs stay)
#
# Without -f the inputs found go to build/fuzz/campaign/<target>/, so that a campaign
# cut short goes on from there next time; build/fuzz/campaign/totals.tsv gets a line per
# target and run. A finding (crash, hang, leak) is left in build/fuzz/artifacts/ and
# stops that target: its input belongs in tests/fuzz/regress/<target>/ once the fault
# is fixed.
set -euo pipefail
cd "$(dirname "$0")/.."

runs=10000000
seconds=0
fresh=0
merge=0
jobs=1
while getopts "r:t:fmj:" opt; do
  case $opt in
    r) runs=$OPTARG ;;
    t) seconds=$OPTARG ;;
    f) fresh=1 ;;
    m) merge=1 ;;
    j) jobs=$OPTARG ;;
    *) sed -n '2,20p' "$0" >&2; exit 2 ;;
  esac
done
shift $((OPTIND - 1))

# The longest input worth trying, by the kind of input each target reads.
declare -A maxlen=([fuzz_audio]=1024 [fuzz_bits]=2048 [fuzz_profile]=4096 [fuzz_addrbook]=4096
  [fuzz_scanner]=1024 [fuzz_rigctl]=1024 [fuzz_events]=1024 [fuzz_csv]=4096 [fuzz_plans]=2048)
all=(fuzz_audio fuzz_bits fuzz_profile fuzz_addrbook fuzz_scanner fuzz_rigctl fuzz_events fuzz_csv fuzz_plans)
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=("${all[@]}")
for t in "${targets[@]}"; do
  [ -n "${maxlen[$t]:-}" ] || { echo "no such target: $t (targets: ${all[*]})" >&2; exit 2; }
done

build=build/fuzz
CC=clang CXX=clang++ cmake -S . -B $build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELKOR_FUZZ=ON \
  -DVELKOR_WERROR=ON >/dev/null
nice -n 19 cmake --build $build --target "${targets[@]}" -j "$jobs" >/dev/null

mkdir -p $build/artifacts $build/campaign
totals=$build/campaign/totals.tsv
[ -f $totals ] || printf 'date\ttarget\truns\tseconds\truns/s\tcov\tft\tcorpus\tfindings\n' >$totals
limit=(-runs="$runs")
[ "$seconds" -gt 0 ] && limit+=(-max_total_time="$seconds")
priority=(nice -n 19)
[ $fresh = 1 ] && priority=()
status=0
printf '%-14s %10s %8s %8s %6s %6s %7s  %s\n' target runs seconds runs/s cov ft corpus findings
for t in "${targets[@]}"; do
  work=$build/campaign/$t
  if [ $fresh = 1 ]; then
    work=$build/fresh/$t
    rm -rf "$work"
  fi
  mkdir -p "$work"
  log=$build/$t.campaign.log
  before=$(find $build/artifacts -name "$t-*" | wc -l)
  start=$(date +%s.%N)
  set +e
  "${priority[@]}" "$build/tests/fuzz/$t" "${limit[@]}" -max_len="${maxlen[$t]}" -timeout=10 -rss_limit_mb=2048 \
    -artifact_prefix=$build/artifacts/"$t"- -print_final_stats=1 \
    "$work" tests/fuzz/corpus/"$t" tests/fuzz/regress/"$t" >"$log" 2>&1
  rc=$?
  set -e
  elapsed=$(echo "$(date +%s.%N) - $start" | bc)
  done_runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo 0)
  last=$(grep -E '^#[0-9]+' "$log" | tail -1)
  cov=$(echo "$last" | grep -o 'cov: [0-9]*' | grep -o '[0-9]*' || echo '?')
  ft=$(echo "$last" | grep -o 'ft: [0-9]*' | grep -o '[0-9]*' || echo '?')
  corpus=$(find "$work" -type f | wc -l)
  found=$(($(find $build/artifacts -name "$t-*" | wc -l) - before))
  rate=$(echo "${done_runs:-0} / $elapsed" | bc)
  findings=none
  if [ $rc -ne 0 ] || [ $found -gt 0 ]; then
    status=1
    findings="$found in $build/artifacts: $(grep -m1 -E 'ERROR|check failed|runtime error' "$log" || echo "exit $rc")"
  fi
  printf '%-14s %10s %8.0f %8s %6s %6s %7s  %s\n' "$t" "$done_runs" "$elapsed" "$rate" "$cov" "$ft" "$corpus" "$findings"
  [ $fresh = 1 ] ||
    printf '%s\t%s\t%s\t%.0f\t%s\t%s\t%s\t%s\t%s\n' "$(date -u +%FT%TZ)" "$t" "$done_runs" "$elapsed" "$rate" "$cov" \
      "$ft" "$corpus" "$findings" >>$totals
  if [ $merge = 1 ] && [ $fresh = 0 ]; then
    nice -n 19 "$build/tests/fuzz/$t" -merge=1 -use_counters=0 -use_value_profile=0 -max_len="${maxlen[$t]}" \
      -timeout=10 tests/fuzz/corpus/"$t" "$work" \
      >$build/$t.merge.log 2>&1 || echo "$t: merge failed (see $build/$t.merge.log)" >&2
  fi
done
exit $status
