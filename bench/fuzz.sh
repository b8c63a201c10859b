#!/usr/bin/env bash
# Runs every fuzz target (or those named) for a given time each, one after the other,
# on a working copy of its seed corpus, and prints the runs each one made.
#   bench/fuzz.sh [-t SECONDS] [-j JOBS] [TARGET...]
# Builds the fuzzers first (clang, build/fuzz). A crash stops that target; its input
# is left in build/fuzz/artifacts/ and belongs in tests/fuzz/regress/<target>/ once
# the fault is fixed.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=600
jobs=1
while getopts "t:j:" opt; do
  case $opt in
    t) seconds=$OPTARG ;;
    j) jobs=$OPTARG ;;
    *) echo "usage: $0 [-t SECONDS] [-j JOBS] [TARGET...]" >&2; exit 2 ;;
  esac
done
shift $((OPTIND - 1))
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(fuzz_audio fuzz_bits fuzz_profile fuzz_addrbook fuzz_scanner)

CC=clang CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELKOR_FUZZ=ON >/dev/null
cmake --build build/fuzz --target velkor-fuzzers -j "$jobs"

mkdir -p build/fuzz/artifacts
status=0
for t in "${targets[@]}"; do
  work=build/fuzz/corpus/$t
  mkdir -p "$work"
  cp -n tests/fuzz/corpus/"$t"/* "$work"/ 2>/dev/null || true
  log=build/fuzz/$t.log
  echo "== $t: ${seconds} s"
  set +e
  "build/fuzz/tests/fuzz/$t" -max_total_time="$seconds" -max_len=16384 -timeout=10 -rss_limit_mb=2048 \
    -artifact_prefix=build/fuzz/artifacts/"$t"- -print_final_stats=1 "$work" tests/fuzz/regress/"$t" >"$log" 2>&1
  rc=$?
  set -e
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || true)
  if [ $rc -ne 0 ]; then
    status=1
    echo "$t: CRASH after ${runs:-?} runs (see $log)"
    grep -m1 -E 'ERROR|check failed|runtime error' "$log" || true
  else
    echo "$t: ${runs:-?} runs, no crash"
  fi
done
exit $status
