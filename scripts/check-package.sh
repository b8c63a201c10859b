#!/usr/bin/env bash
# Builds the Debian package from a build folder whose programs are built, unpacks it
# into a scratch folder (nothing is installed on this machine) and checks it: the files
# a user expects, the desktop entry, the AppStream metadata, the man pages, lintian, and
# the packaged velkor-decode on the packaged demo recording.
#
#   scripts/check-package.sh BUILD_DIR
set -euo pipefail
build=$(cd "${1:?usage: scripts/check-package.sh BUILD_DIR}" && pwd)
cd "$(dirname "$0")/.."
source=$(pwd)

scratch=$(mktemp -d "${TMPDIR:-/tmp}/velkor-package-XXXXXX")
trap 'rm -rf "$scratch"' EXIT

(cd "$build" && cpack -G DEB -B "$scratch/out" >"$scratch/cpack.log") || { cat "$scratch/cpack.log" >&2; exit 1; }
deb=$(ls "$scratch"/out/velkor_*.deb)
echo "package: $(basename "$deb")"
dpkg-deb -x "$deb" "$scratch/root"
root=$scratch/root

fail() { echo "check-package: $*" >&2; exit 1; }

for f in usr/bin/velkor usr/bin/velkor-decode usr/bin/velkor-track usr/bin/velkor-scanner usr/bin/velkor-addrbook \
         usr/share/applications/velkor.desktop usr/share/icons/hicolor/256x256/apps/velkor.png \
         usr/share/metainfo/velkor.metainfo.xml usr/share/doc/velkor/copyright usr/share/doc/velkor/changelog.gz \
         usr/share/velkor/demo.wav usr/share/velkor/demo.log usr/lib/systemd/user/velkor-track.service \
         usr/share/man/man1/velkor.1.gz usr/share/man/man1/velkor-decode.1.gz usr/share/man/man1/velkor-track.1.gz \
         usr/share/man/man1/velkor-scanner.1.gz usr/share/man/man1/velkor-addrbook.1.gz; do
  [ -e "$root/$f" ] || fail "missing /$f"
done

# Runtime libraries only: no -dev package among the dependencies.
depends=$(dpkg-deb -f "$deb" Depends)
echo "depends: $depends"
if grep -q -- '-dev\b' <<<"$depends"; then fail "a -dev package among the dependencies"; fi
# What the Calls list plays recordings through is loaded at run time: named by hand.
for p in libqt6multimedia6 gstreamer1.0-plugins-good gstreamer1.0-pulseaudio; do
  grep -q "\b$p\b" <<<"$depends" || fail "$p is not among the dependencies"
done

desktop-file-validate "$root/usr/share/applications/velkor.desktop"
appstreamcli validate --no-net "$root/usr/share/metainfo/velkor.metainfo.xml"
for page in "$root"/usr/share/man/man1/*.1.gz; do
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null || true)
  [ -z "$warnings" ] || fail "$(basename "$page"): $warnings"
  zcat "$page" | grep -q '^\.SH EXIT STATUS' || fail "$(basename "$page") has no EXIT STATUS"
  zcat "$page" | grep -q '^\.SH EXAMPLES' || fail "$(basename "$page") has no EXAMPLES"
done

# lintian: no error (warnings are printed for the reader).
lintian --tag-display-limit 0 "$deb" | tee "$scratch/lintian.log" || true
if grep -q '^E:' "$scratch/lintian.log"; then fail "lintian reports errors"; fi

# The packaged programs, with the libraries of this machine.
version=$(sed -n 's/^project(velkor VERSION \([0-9.]*\).*/\1/p' "$source/CMakeLists.txt")
for p in velkor-decode velkor-track velkor-scanner velkor-addrbook; do
  [ "$("$root/usr/bin/$p" --version)" = "$p $version" ] || fail "$p --version is not '$p $version'"
done
[ "$(env -u DISPLAY -u WAYLAND_DISPLAY "$root/usr/bin/velkor" --version)" = "velkor $version" ] ||
  fail "velkor --version without a display is not 'velkor $version'"
"$root/usr/bin/velkor-decode" "$root/usr/share/velkor/demo.wav" | diff -u "$root/usr/share/velkor/demo.log" - ||
  fail "the packaged velkor-decode does not print the demo's log"
echo "check-package: $(basename "$deb") is fine"
