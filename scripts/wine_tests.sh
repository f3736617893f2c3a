#!/usr/bin/env bash
# Runs the win64 build under wine64, Wine being our reference Windows:
#   1. the platform conformance tests and the sound tests (GoogleTest decides);
#   2. the panel host cuebox.exe with the module, running the scenarios of tests/wine/*.scn,
#      with Wine's DirectSound playing into a PulseAudio server of our own whose output is
#      captured and checked (which slot's tone sounds when);
#   3. the same without any audio server: DirectSoundCreate fails, the module stays silent and
#      keeps working.
# Each run uses a fresh Wine prefix and PulseAudio server in a temporary folder, removed at the
# end (kept when KEEP=1 or a check fails, so the captures can be listened to).
#
# Usage: scripts/wine_tests.sh [WIN64_BUILD_DIR [SCENARIO.scn...]]
#   (default: build/win64 and tests/wine/*.scn). A scenario names its sound set ("# root:
#   tones" or "broken"), its checks of the captured sound ("# capture: ..." lines, the options
#   of tests/wine/capture_check.cpp) and "# audio: none" for a run without an audio server.
# Exits non-zero when anything fails.
set -u

SOURCE=$(cd "$(dirname "$0")/.." && pwd)
BUILD=$(cd "${1:-$SOURCE/build/win64}" 2>/dev/null && pwd) || {
    echo "wine_tests: no build folder ${1:-$SOURCE/build/win64} (cmake --preset win64 first)" >&2
    exit 2
}
START=$(date +%s.%N)

say() { printf '%s\n' "$*"; }
elapsed() { awk -v a="$1" -v b="$(date +%s.%N)" 'BEGIN { printf "%.1f", b - a }'; }

find_tool() {  # first of the names that runs here
    local name
    for name in "$@"; do
        if command -v "$name" >/dev/null 2>&1; then command -v "$name"; return 0; fi
        if [ -x "$name" ]; then say "$name"; return 0; fi
    done
    return 1
}
WINE=${WINE:-$(find_tool wine64 /usr/lib/wine/wine64 /usr/lib/wine64/wine64)} || {
    echo "wine_tests: wine64 is not installed" >&2; exit 2; }
WINESERVER=${WINESERVER:-$(find_tool wineserver /usr/lib/wine/wineserver64 \
                                     /usr/lib/wine/wineserver)} || {
    echo "wine_tests: wineserver is not installed" >&2; exit 2; }
MINGW_CXX=$(find_tool x86_64-w64-mingw32-g++-posix x86_64-w64-mingw32-g++) || {
    echo "wine_tests: x86_64-w64-mingw32-g++ is not installed" >&2; exit 2; }
for tool in pulseaudio parec g++; do
    command -v "$tool" >/dev/null || { echo "wine_tests: $tool is not installed" >&2; exit 2; }
done
for file in host/cuebox.exe module/jvb_cuebox2.gau tests/conformance_tests.exe \
            tests/sound_tests.exe; do
    [ -f "$BUILD/$file" ] || { echo "wine_tests: $BUILD/$file is missing (build win64 first)" >&2
                               exit 2; }
done

TMP=$(mktemp -d /tmp/cuebox-wine.XXXXXX)
PULSE_PID=
RECORDER_PID=
FAILED=0
PASSED=0
cleanup() {
    [ -n "$RECORDER_PID" ] && kill "$RECORDER_PID" 2>/dev/null
    [ -n "$PULSE_PID" ] && kill "$PULSE_PID" 2>/dev/null && wait "$PULSE_PID" 2>/dev/null
    [ -d "$TMP/prefix" ] && WINEPREFIX="$TMP/prefix" "$WINESERVER" -k 2>/dev/null
    if [ "${KEEP:-0}" = 1 ] || [ "$FAILED" != 0 ]; then
        say "wine_tests: files of this run kept in $TMP"
    else
        rm -rf "$TMP"
    fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

pass() { PASSED=$((PASSED + 1)); say "PASS $*"; }
fail() { FAILED=$((FAILED + 1)); say "FAIL $*"; }

# A Windows path for a file of ours: Wine's drive Z: is the Unix root.
winpath() { printf 'Z:%s' "${1//\//\\}"; }

mkdir -p "$TMP/home" "$TMP/run" "$TMP/tools" "$TMP/logs"
chmod 700 "$TMP/run"
export HOME="$TMP/home" XDG_RUNTIME_DIR="$TMP/run" WINEPREFIX="$TMP/prefix" WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="  # no Mono or Gecko installer in a fresh prefix
SOCKET="$TMP/run/pulse.sock"
export PULSE_SERVER="unix:$SOCKET"
RATE=22050

# --- Helper programs: the capture checker (native) and the DirectSound probe (Windows).
g++ -std=c++17 -O2 -I"$SOURCE/tests" -o "$TMP/tools/capture_check" \
    "$SOURCE/tests/wine/capture_check.cpp" || {
    echo "wine_tests: capture_check does not build" >&2; exit 2; }
"$MINGW_CXX" -std=c++17 -O2 -I"$SOURCE" -static -o "$TMP/tools/dsound_probe.exe" \
    "$SOURCE/tests/wine/dsound_probe.cpp" -ldsound || {
    echo "wine_tests: dsound_probe.exe does not build" >&2; exit 2; }
CHECK="$TMP/tools/capture_check"

# --- The audio server: a null sink named "capture" whose monitor we record.
pulseaudio --daemonize=no --system=no --exit-idle-time=-1 -n --use-pid-file=no \
    --disable-shm=yes \
    --load="module-native-protocol-unix socket=$SOCKET auth-anonymous=1" \
    --load="module-null-sink sink_name=capture rate=44100" \
    >"$TMP/logs/pulseaudio.log" 2>&1 &
PULSE_PID=$!
for _ in $(seq 50); do [ -S "$SOCKET" ] && break; sleep 0.1; done
[ -S "$SOCKET" ] || { echo "wine_tests: the PulseAudio server did not start:" >&2
                      tail -3 "$TMP/logs/pulseaudio.log" >&2; exit 2; }

# --- A fresh prefix with the null graphics driver and PulseAudio as the only audio driver.
T=$(date +%s.%N)
"$WINE" wineboot -i >"$TMP/logs/wineboot.log" 2>&1
"$WINESERVER" -w
set_driver() {  # $1: kind, $2: driver
    "$WINE" reg add 'HKCU\Software\Wine\Drivers' /v "$1" /d "$2" /f \
        >>"$TMP/logs/wineboot.log" 2>&1
}
# A crash ends the program instead of starting Wine's debugger, which would wait for ever.
"$WINE" reg delete 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /f \
    >>"$TMP/logs/wineboot.log" 2>&1
if ! set_driver Graphics null || ! set_driver Audio pulse; then
    echo "wine_tests: the Wine prefix could not be made:" >&2; tail -5 "$TMP/logs/wineboot.log" >&2
    exit 2
fi
# A desktop made before the drivers were set keeps failing every window, so the session that
# set them ends first. From then on one server stays up, so no program waits for Wine's
# services to start.
"$WINESERVER" -k 2>/dev/null
"$WINESERVER" -w
"$WINESERVER" -p </dev/null >/dev/null 2>&1
say "wine: fresh prefix ready in $(elapsed "$T") s ($("$WINE" --version 2>/dev/null))"

# Every program runs with a time limit, so a hang fails its test instead of the whole run.
wine_run() { timeout -k 10 "${WINE_PROGRAM_SECONDS:-300}" "$WINE" "$@"; }

if wine_run "$TMP/tools/dsound_probe.exe" >"$TMP/logs/probe.log" 2>&1; then
    say "wine: DirectSound plays into the capture sink ($(cat "$TMP/logs/probe.log"))"
else
    fail "DirectSound has no device with the server running: $(cat "$TMP/logs/probe.log")"
fi

# --- GoogleTest programs.
run_gtest() {
    local program=$1 log="$TMP/logs/$1.log" work="$TMP/work-$1" passed skipped failed T counts
    mkdir -p "$work"
    T=$(date +%s.%N)
    (cd "$work" && wine_run "$BUILD/tests/$program") >"$log" 2>&1
    local status=$?
    passed=$(sed -n 's/^\[  PASSED  \] \([0-9]*\) test.*/\1/p' "$log" | tail -1)
    skipped=$(sed -n 's/^\[  SKIPPED \] \([0-9]*\) test.*/\1/p' "$log" | tail -1)
    failed=$(sed -n 's/^\[  FAILED  \] \([0-9]*\) test.*/\1/p' "$log" | tail -1)
    counts="${passed:-0} passed, ${skipped:-0} skipped, ${failed:-0} failed, $(elapsed "$T") s"
    if [ "$status" = 0 ] && [ -n "$passed" ]; then
        pass "$program: $counts"
    else
        fail "$program (exit $status): $counts"
        grep -E '^\[  FAILED  \] [A-Za-z]' "$log" | sort -u | sed 's/^/    /'
        [ -z "$passed" ] && tail -5 "$log" | sed 's/^/    /'
    fi
}
run_gtest conformance_tests.exe
run_gtest sound_tests.exe

# --- Sound sets.
tone() { "$CHECK" tone "$1" "$2" "$3"; }
make_tones_root() {  # $1: root
    mkdir -p "$1/Sound/jvb" "$1/Sound/cues" "$1/Gauges"
    tone "$1/Sound/jvb/jvb_xml_00.wav" 500 0.5
    tone "$1/Sound/jvb/jvb_xml_01.wav" 700 0.5
    tone "$1/Sound/jvb/jvb_xml_02.wav" 900 0.3
    tone "$1/Sound/jvb/jvb_xml_07.wav" 1100 0.5
    tone "$1/Sound/cues/five.wav" 1300 0.5
    printf '%s\r\n' '[Config]' 'LVar=panel_cue' '' '[Sounds]' 'Sound05=Sound\Cues\FIVE.wav' \
        'Sound06=  ".\Sound\jvb\jvb_xml_00.wav"  ' >"$1/Gauges/jvb_cuebox.ini"
}
make_broken_root() {  # $1: root; the slots of broken_files.scn
    local dir="$1/Sound/jvb"
    mkdir -p "$dir"
    tone "$dir/jvb_xml_00.wav" 500 0.5
    printf 'this is not a sound\r\n' >"$dir/jvb_xml_02.wav"
    tone "$TMP/full.wav" 700 0.5
    head -c 30 "$TMP/full.wav" >"$dir/jvb_xml_03.wav"
    tone "$TMP/long.wav" 1300 0.5
    head -c $((44 + 11025)) "$TMP/long.wav" >"$dir/jvb_xml_04.wav"
    tone "$dir/jvb_xml_05.wav" 900 0.5
    : >"$dir/jvb_xml_06.wav"
    cp "$TMP/full.wav" "$dir/jvb_xml_07.wav"
    printf 'AVI ' | dd of="$dir/jvb_xml_07.wav" bs=1 seek=8 conv=notrunc 2>/dev/null
}
make_tones_root "$TMP/roots/tones"
make_broken_root "$TMP/roots/broken"

mkdir -p "$TMP/bin"
cp "$BUILD/host/cuebox.exe" "$BUILD/module/jvb_cuebox2.gau" "$TMP/bin/"

start_recording() {  # $1: raw output file; returns once sound data flows
    parec -d capture.monitor --latency-msec=20 --rate=$RATE --channels=1 --format=s16le >"$1" &
    RECORDER_PID=$!
    for _ in $(seq 100); do [ -s "$1" ] && return 0; sleep 0.05; done
    return 1
}
stop_recording() {
    sleep 0.6  # what Wine has still queued
    kill "$RECORDER_PID" 2>/dev/null
    wait "$RECORDER_PID" 2>/dev/null
    RECORDER_PID=
}

run_scenario() {  # $1: scenario file
    local scenario=$1 name root audio checks log capture status T
    name=$(basename "$scenario" .scn)
    root=$(sed -n 's/^# root: *//p' "$scenario" | head -1)
    audio=$(sed -n 's/^# audio: *//p' "$scenario" | head -1)
    checks=$(sed -n 's/^# capture: *//p' "$scenario" | tr '\n' ' ')
    log="$TMP/logs/$name.log"
    capture="$TMP/logs/$name.raw"
    [ -d "$TMP/roots/$root" ] || { fail "$name: unknown root '$root'"; return; }
    T=$(date +%s.%N)
    local host=(wine_run "$TMP/bin/cuebox.exe" --module "$(winpath "$TMP/bin/jvb_cuebox2.gau")"
                --root "$(winpath "$TMP/roots/$root")" run "$(winpath "$scenario")")
    if [ "$audio" = none ]; then
        # No server at all: first show that DirectSoundCreate really fails here.
        if PULSE_SERVER="unix:$TMP/run/nowhere.sock" wine_run "$TMP/tools/dsound_probe.exe" \
            >"$log" 2>&1; then
            fail "$name: DirectSoundCreate succeeded without an audio server ($(head -1 "$log"))"
            return
        fi
        PULSE_SERVER="unix:$TMP/run/nowhere.sock" "${host[@]}" >>"$log" 2>&1
        status=$?
        if [ "$status" = 0 ]; then
            pass "$name: silent, every expectation held ($(head -1 "$log"), $(elapsed "$T") s)"
        else
            fail "$name: cuebox.exe exit $status"
            tail -3 "$log" | sed 's/^/    /'
        fi
        return
    fi
    if ! start_recording "$capture"; then
        fail "$name: the recorder delivered no sound data"
        stop_recording
        return
    fi
    "${host[@]}" >"$log" 2>&1
    status=$?
    stop_recording
    if [ "$status" != 0 ]; then
        fail "$name: cuebox.exe exit $status"
        tail -3 "$log" | sed 's/^/    /'
        return
    fi
    # shellcheck disable=SC2086  # the checks are words
    if "$CHECK" check "$capture" --raw $RATE $checks >"$log.check" 2>&1; then
        pass "$name: $(elapsed "$T") s"
    else
        fail "$name: the captured sound is not as expected"
    fi
    sed 's/^/    /' "$log.check"
}
SCENARIOS=("${@:2}")
[ ${#SCENARIOS[@]} = 0 ] && SCENARIOS=("$SOURCE"/tests/wine/*.scn)
for scenario in "${SCENARIOS[@]}"; do
    scenario=$(cd "$(dirname "$scenario")" && pwd)/$(basename "$scenario")
    run_scenario "$scenario"
done

say "wine tests took $(elapsed "$START") s"
say "wine: $PASSED passed, $FAILED failed"
[ "$FAILED" = 0 ]
