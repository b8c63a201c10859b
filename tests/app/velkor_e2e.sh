#!/usr/bin/env bash
# The dialog program end to end, on a real X server (Xvfb), with a PulseAudio null sink
# as the capture device and the simulated scanner as COM1:
#
#   velkor_e2e.sh VELKOR MAKE_DEMO SCANNER_SIM ARTIFACT_DIR
#
# In a scratch working directory with a velkor.ini (COM1 = the simulator, a channel plan
# for the demo system) and an addrbook.ini holding one checked unit (and an unchecked
# one with a 7-digit ident, for the screenshot), it starts velkor,
# plays a generated control channel in which that unit is called on a traffic channel
# and cleared down, and checks the log list (echoed to standard output), the scanner's
# commands, and the address book saved on SIGTERM. A screenshot of the dialog goes to
# ARTIFACT_DIR/velkor-dialog.png.
#
# Needs PULSE_SERVER (the test server of tests/fixtures/pulseaudio.sh), Xvfb and
# ImageMagick's import. Exit 77 (skipped) when the audio server is not there.
set -euo pipefail

velkor=$1 make_demo=$2 scanner_sim=$3 artifacts=$4
here=$(cd "$(dirname "$0")" && pwd)
# In a sanitizer build: what the desktop libraries leak at exit is not ours.
export LSAN_OPTIONS="suppressions=$here/../lsan-libraries.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"

if [ -z "${PULSE_SERVER:-}" ] || ! pactl info >/dev/null 2>&1; then
    echo "no PulseAudio test server (PULSE_SERVER); skipped"
    [ "${VELKOR_AUDIO_SERVER:-0}" = 1 ] && { echo "but VELKOR_AUDIO_SERVER=1 requires it" >&2; exit 1; }
    exit 77
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/velkor-e2e-XXXXXX")
pids=()
cleanup() {
    local p
    for p in "${pids[@]}"; do
        kill -TERM "$p" 2>/dev/null || true
    done
    for p in "${pids[@]}"; do
        wait "$p" 2>/dev/null || true
    done
    rm -rf "$work"
}
trap cleanup EXIT
cd "$work"

fail() {
    echo "FAILED: $*" >&2
    echo "--- velkor's log list ---" >&2; cat velkor.out >&2 || true
    echo "--- velkor's standard error ---" >&2; cat velkor.err >&2 || true
    echo "--- bytes the scanner received ---" >&2; tr '\r' '\n' < scanner.log >&2 || true
    echo "--- addrbook.ini ---" >&2; cat addrbook.ini >&2 || true
    exit 1
}

# Waits up to $2 seconds for the pattern $1 in file $3.
wait_for() {
    local i
    for ((i = 0; i < $2 * 10; i++)); do
        grep -q -- "$1" "$3" 2>/dev/null && return 0
        sleep 0.1
    done
    return 1
}

# The scanner: a Uniden 245/780 on a pseudo-terminal, reached as COM1.
: > scanner.log
"$scanner_sim" --family 780 --link "$work/com1" --log "$work/scanner.log" > scanner.dev &
pids+=($!)
wait_for /dev/ 10 scanner.dev || fail "the scanner simulator did not start"

# The demo control channel: system 1, unit 200 calls unit 100 on channel 17, cleared
# down back to control channel 1. With base 420.0000 MHz and 12.5 kHz steps channel 17
# is 420.2125 MHz and channel 1 420.0125 MHz.
cat > velkor.ini <<INI
[audio]
samplerate=48000
mute=1
[tracking]
receiver_type=0
comport=1
memory=0
follow_calls=1
scan_on_clear=0
auto_add=1
backlight=0
return_to_cc=1
[serial]
com1=$work/com1
[systems]
sysBase_1=4200000
sysStep_1=125
sysOffset_1=0
INI
cat > addrbook.ini <<INI
[1]
sysName=Demo
sysComment=
numberOfFleets=1
fleet0-Name=Fleet
fleet0-Id=1
fleet0-Comment=
fleet0-NrOfUnits=2
fleet0-unit0-Name=Base
fleet0-unit0-Id=100
fleet0-unit0-Comment=followed
fleet0-unit0-LastSeen=
fleet0-unit0-Checked=1
fleet0-unit1-Name=Car 7
fleet0-unit1-Id=7000123
fleet0-unit1-Comment=a 7-digit ident, shown whole
fleet0-unit1-LastSeen=2026/12/09 02:59:58
fleet0-unit1-Checked=0
INI
"$make_demo" demo.wav 30 48000

# A display of its own; -displayfd tells which number it took.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3> display.txt > xvfb.log 2>&1 &
pids+=($!)
wait_for '[0-9]' 20 display.txt || fail "Xvfb did not start"
export DISPLAY=":$(tr -dc 0-9 < display.txt)"

QT_QPA_PLATFORM=xcb "$velkor" --echo-log > velkor.out 2> velkor.err &
velkor_pid=$!
pids+=($velkor_pid)
wait_for "Initialized and running." 30 velkor.out || fail "velkor did not start"
wait_for "Initialized Uniden 245/780 on serial port 1." 30 velkor.out || fail "the receiver was not set up"

# The capture stream on the sound server before anything plays: "running" is said when
# the stream is asked for, which a loaded server may grant later.
for ((i = 0; i < 300; i++)); do
    [ -n "$(pactl list short source-outputs 2>/dev/null)" ] && break
    sleep 0.1
done
[ -n "$(pactl list short source-outputs)" ] || fail "velkor's capture stream never reached the sound server"
pactl list short source-outputs >> velkor.err
paplay --rate=48000 demo.wav
wait_for "^CLEAR| Call clear-down" 20 velkor.out || fail "the clear-down was not decoded"
wait_for "^MOVE " 10 velkor.out || fail "the last line of the recording was not decoded"
# Not before a check: the window draws its last lines before the screenshot is taken.
sleep 1

mkdir -p "$artifacts"
import -window root -trim +repage "$artifacts/velkor-dialog.png" || fail "no screenshot"

kill -TERM "$velkor_pid"
for _ in $(seq 100); do
    kill -0 "$velkor_pid" 2>/dev/null || break
    sleep 0.1
done
kill -0 "$velkor_pid" 2>/dev/null && fail "velkor did not end on SIGTERM"
wait "$velkor_pid" || fail "velkor ended with status $?"

# The decoded lines, in order, among the others.
for line in "CCSC | Control Channel System Codeword | SYSId: 0x0089 NET: 1 SITE: 1 LAB: 1" \
            "GTC  | Go To Channel Voice             | Ch:  17 (  1) Org:  200 Tar:  100 " \
            "CLEAR| Call clear-down                 | Ch:  17 -> CCh:   1"; do
    grep -qxF -- "$line" velkor.out || fail "missing log line: $line"
done
# Tuned to the traffic channel, then back to the control channel.
tr '\r' '\n' < scanner.log > scanner.lines
grep -n '^RF04202125$' scanner.lines > /dev/null || fail "the scanner was not tuned to 420.2125 MHz"
traffic=$(grep -n '^RF04202125$' scanner.lines | head -1 | cut -d: -f1)
back=$(grep -n '^RF04200125$' scanner.lines | tail -1 | cut -d: -f1)
[ -n "$back" ] && [ "$back" -gt "$traffic" ] || fail "the scanner did not go back to 420.0125 MHz after the call"
# The address book, saved on SIGTERM: the followed unit and the units heard, each with
# a Last Seen time.
grep -q '^fleet0-unit[0-9]*-Comment=followed$' addrbook.ini || fail "the followed unit lost its comment"
for unit in 100 200; do
    grep -q "unit[0-9]*-Id=$unit\$" addrbook.ini || fail "unit $unit is not in addrbook.ini"
done
seen=$(grep -c -E '^fleet[0-9]+-unit[0-9]+-LastSeen=[0-9]{4}/[0-9]{2}/[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}$' addrbook.ini)
[ "$seen" -ge 2 ] || fail "fewer than two units with a Last Seen time"
echo "velkor end to end: OK ($(wc -l < velkor.out) log lines, screenshot in $artifacts/velkor-dialog.png)"
