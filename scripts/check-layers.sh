#!/usr/bin/env bash
# Keeps the layers of docs/ARCHITECTURE.md real. Fails when
#   - the folders of the program's own code include each other in a cycle, or
#   - a folder includes a header of a folder whose library its own library does not
#     link (directly or through another): an include that goes upwards, or sideways
#     past the build.
# The library of folder f is velkor_<f> ("/" becomes "_"); tests/, bench/ and tools/
# (the programs) may include what they link and are not checked here.
#   scripts/check-layers.sh [BUILD_DIR]   a configured build
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/test}
[ -f "$build/CMakeCache.txt" ] || { echo "no $build/CMakeCache.txt: configure first" >&2; exit 2; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Product folders: every folder below the top with a CMakeLists.txt that builds a
# library, apart from tests, benchmarks and the programs.
folders=$(find . -name CMakeLists.txt -not -path './build*' -not -path './tests/*' -not -path './bench/*' \
            -not -path './tools/*' -not -path './CMakeLists.txt' -printf '%h\n' | sed 's#^\./##' | sort)

# The include edges between folders: "from to" per line.
for f in $folders; do
  { find "$f" -maxdepth 1 \( -name '*.h' -o -name '*.cpp' \) -print0 |
      xargs -0 -r grep -ho '^#include "[a-z/]*/[A-Za-z0-9_]*\.h"' || true; } |
    sed 's/^#include "//; s#/[A-Za-z0-9_]*\.h"$##' | sort -u |
    while read -r to; do
      if [ "$to" != "$f" ] && [ -d "$to" ]; then echo "$f $to"; fi
    done
done | sort -u > "$work/includes"

status=0
if ! tsort "$work/includes" > /dev/null 2> "$work/loop"; then
  echo "check-layers: the folders include each other in a cycle:" >&2
  grep -v '^tsort: .*input contains a loop' "$work/loop" | sed 's/^tsort: /  /' >&2
  status=1
fi

# What each library links, from CMake's own dependency graph.
( cd "$work" && cmake --graphviz=deps.dot "$OLDPWD/$build" > /dev/null )
grep -h -- '->' "$work"/deps.dot* 2>/dev/null | sed -n 's#.*// \([A-Za-z0-9_:.-]*\) -> \([A-Za-z0-9_:.-]*\).*#\1 \2#p' |
  sort -u > "$work/links"

while read -r from to; do
  a=velkor_${from//\//_}
  b=velkor_${to//\//_}
  # Breadth-first over the link graph from a.
  if ! awk -v a="$a" -v b="$b" '
      { next_[$1] = next_[$1] " " $2 }
      END {
        queue[0] = a; seen[a] = 1; n = 1
        for (i = 0; i < n; i++) {
          k = split(next_[queue[i]], out, " ")
          for (j = 1; j <= k; j++) if (!(out[j] in seen)) { seen[out[j]] = 1; queue[n++] = out[j] }
        }
        exit (b in seen) ? 0 : 1
      }' "$work/links"; then
    echo "check-layers: $from/ includes $to/, but $a does not link $b" >&2
    status=1
  fi
done < "$work/includes"

[ $status -ne 0 ] || echo "layers: $(echo "$folders" | wc -w) folders, $(wc -l < "$work/includes") include edges, no cycle, every include linked"
exit $status
