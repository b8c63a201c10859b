#!/usr/bin/env bash
# Installs what the tests need, checks the formatting, builds (warnings are errors) and
# runs every test: once in a normal build, once more with AddressSanitizer and
# UndefinedBehaviorSanitizer; then the static checks and a short run of every fuzz target.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/packages.sh
velkor_install_packages "${VELKOR_BUILD_PACKAGES[@]}" "${VELKOR_TEST_PACKAGES[@]}"

jobs=$(nproc)

# A private PulseAudio server for the live-capture tests, stopped however the script
# ends. The tests require it (VELKOR_AUDIO_SERVER=1) instead of skipping.
pulse_dir=$(mktemp -d "${TMPDIR:-/tmp}/velkor-pulse-XXXXXX")
trap 'tests/fixtures/pulseaudio.sh stop "$pulse_dir"' EXIT
tests/fixtures/pulseaudio.sh start "$pulse_dir"
export PULSE_SERVER="unix:$pulse_dir/native" VELKOR_AUDIO_SERVER=1
# The rigctl receiver's tests run against a real gqrx (installed above) rather than skip.
export VELKOR_REQUIRE_GQRX=1

echo "== formatting =="
scripts/check-format.sh

echo "== build and test =="
cmake -S . -B build/test -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELKOR_WERROR=ON
scripts/check-layers.sh build/test
cmake --build build/test -j "$jobs"
ctest --test-dir build/test --output-on-failure --timeout 600 -j "$jobs"

echo "== the Debian package: built, unpacked into a scratch folder and checked =="
scripts/check-package.sh build/test

echo "== build and test with AddressSanitizer and UndefinedBehaviorSanitizer =="
cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVELKOR_SANITIZE=ON -DVELKOR_BUILD_BENCH=OFF -DVELKOR_WERROR=ON
cmake --build build/asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 LSAN_OPTIONS=suppressions=$PWD/tests/lsan-libraries.supp \
  ctest --test-dir build/asan --output-on-failure --timeout 900 -j "$jobs"

echo "== the headless programs build without Qt Widgets =="
cmake -S . -B build/headless -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELKOR_GUI=OFF -DVELKOR_BUILD_TESTS=OFF -DVELKOR_BUILD_BENCH=OFF -DVELKOR_WERROR=ON
cmake --build build/headless -j "$jobs"
if ldd build/headless/tools/velkor-track | grep -E 'libQt6(Widgets|Gui)'; then
  echo "velkor-track links Qt Widgets or Gui" >&2
  exit 1
fi

echo "== static checks: cppcheck and clang-tidy =="
JOBS=$jobs scripts/static-checks.sh build/test

echo "== fuzz targets: a short run of each =="
CC=clang CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELKOR_FUZZ=ON -DVELKOR_WERROR=ON
cmake --build build/fuzz --target velkor-fuzzers -j "$jobs"
# Runs per target: a few seconds each. New inputs go to a scratch folder, not the repo.
# -max_len as bench/fuzz.sh has it for each kind of input.
declare -A runs=([fuzz_audio]=2000 [fuzz_bits]=30000 [fuzz_profile]=5000 [fuzz_addrbook]=5000 [fuzz_scanner]=5000
             [fuzz_rigctl]=3000 [fuzz_events]=1000 [fuzz_csv]=5000 [fuzz_plans]=5000)
declare -A maxlen=([fuzz_audio]=1024 [fuzz_bits]=2048 [fuzz_profile]=4096 [fuzz_addrbook]=4096 [fuzz_scanner]=1024
               [fuzz_rigctl]=1024 [fuzz_events]=1024 [fuzz_csv]=4096 [fuzz_plans]=2048)
for t in fuzz_audio fuzz_bits fuzz_profile fuzz_addrbook fuzz_scanner fuzz_rigctl fuzz_events fuzz_csv fuzz_plans; do
  scratch=build/fuzz/ci-corpus/$t
  rm -rf "$scratch" && mkdir -p "$scratch" build/fuzz/artifacts
  echo "-- $t: ${runs[$t]} runs"
  if ! "build/fuzz/tests/fuzz/$t" -runs="${runs[$t]}" -seed=1 -max_len="${maxlen[$t]}" -timeout=10 \
      -artifact_prefix=build/fuzz/artifacts/"$t"- "$scratch" tests/fuzz/corpus/"$t" tests/fuzz/regress/"$t" \
      >build/fuzz/"$t".ci.log 2>&1; then
    tail -40 build/fuzz/"$t".ci.log >&2
    echo "$t failed; the input is in build/fuzz/artifacts" >&2
    exit 1
  fi
  grep -E '^Done' build/fuzz/"$t".ci.log || true
done
