#!/usr/bin/env bash
# clang-tidy (the checks in .clang-tidy) and cppcheck on the project's own code, not
# on tests or generated files. Any finding fails the run.
#   scripts/static-checks.sh [BUILD_DIR]   a configured build with compile_commands.json
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/test}
jobs=${JOBS:-$(nproc)}
dirs=(addrbook app audio bank cmdwnd decoders dsp events mixer notify profile protocol receiver record session text tools web)
[ -f "$build/compile_commands.json" ] || { echo "no $build/compile_commands.json: configure first" >&2; exit 2; }

echo "-- cppcheck"
# virtualCallInConstructor: a class closing its own device in its destructor means
# its own close(), which is what C++ calls there.
cppcheck -q --std=c++20 --language=c++ --enable=warning,performance,portability --inline-suppr \
  --error-exitcode=1 --suppress=missingIncludeSystem --suppress=virtualCallInConstructor -I . -j "$jobs" "${dirs[@]}"

echo "-- clang-tidy"
find "${dirs[@]}" -name '*.cpp' -print0 | sort -z |
  xargs -0 -P "$jobs" -n 4 clang-tidy -p "$build" --quiet --extra-arg=-Wno-unknown-warning-option 2> >(grep -v -E '^[0-9]+ warnings? generated\.$' >&2)
echo "static checks clean"
