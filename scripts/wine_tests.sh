#!/usr/bin/env bash
# Runs the Windows builds under Wine, Wine being our reference Windows, in one Wine prefix:
#
# win64 (--win64 BUILD, the default with build/win64), under wine64:
#   1. the platform conformance tests and the sound tests (GoogleTest decides);
#   2. the panel host cuebox.exe with the module, running each scenario of tests/wine/*.scn,
#      with Wine's DirectSound playing into a PulseAudio server of our own whose output is
#      captured and checked (which slot's tone sounds when);
#   3. the same without any audio server: DirectSoundCreate fails, the module stays silent and
#      keeps working.
#   Each scenario run's trace (`run --trace`: the host records the module's DirectSound and file
#   calls) must hold the same module events as the Linux build's (scripts/compare_traces.py;
#   NATIVE_BUILD, default build/native, gives the Linux cuebox);
#   4. `serve` on the example panel, driven over HTTP from here as its page drives it: a click
#      on the warnings gauge plays slot 3, Stop disconnects the module (tests/wine/serve_check.py).
#
# win32 (--win32 TESTS_BUILD PACKAGE.zip), the shipped files under 32-bit Wine, which runs here
# under QEMU's user-mode emulation, QEMU 10 or newer (scripts/setup_wine32.sh sets that up):
#   1. a tone played through Wine's own 32-bit DirectSound with no module at all
#      (tests/wine/dsound_play.cpp): when that fails, the fault is below the module;
#   2. the conformance tests (Wine's DirectSound among them) and the sound tests built for i686
#      (the win32-tests preset);
#   3. the release zip unpacked, and its own cuebox.exe with its own jvb_cuebox2.gau running
#      every scenario as win64 does, through Wine's own DirectSound, captured and checked;
#   4. the same two files again with our recording DirectSound (tests/wine/recording_dsound.cpp)
#      in place of Wine's: it checks each call's arguments, which a capture cannot, and records
#      what would sound, which is rendered and checked as a capture is; and again rendered by
#      cuebox.exe itself (`run --out`, win64 too), the file checked as a capture is;
#   5. the zip's cuebox.exe without any audio server, through Wine's own DirectSound;
#   6. the zip's cuebox.exe in `serve` on the zip's example folder, as win64's.
# --repeat N runs the 32-bit part N times.
#
# The prefix and PulseAudio server live in a temporary folder, removed at the end (kept when
# KEEP=1 or a check fails, so the captures can be listened to).
#
# Usage: scripts/wine_tests.sh [--win64 BUILD] [--win32 TESTS_BUILD PACKAGE.zip [--repeat N]]
#                              [SCENARIO.scn...]
#        scripts/wine_tests.sh BUILD [SCENARIO.scn...]     (the same as --win64 BUILD)
#   (default: --win64 build/win64 and tests/wine/*.scn). A scenario names its sound set
#   ("# root: tones" or "broken"), its checks of the sound ("# capture: ..." lines, the options
#   of tests/wine/capture_check.cpp) and "# audio: none" for a run without an audio server.
# Prints the time of each part; exits non-zero when anything fails.
set -u

SOURCE=$(cd "$(dirname "$0")/.." && pwd)
START=$(date +%s.%N)

say() { printf '%s\n' "$*"; }
die() { printf 'wine_tests: %s\n' "$*" >&2; exit 2; }
elapsed() { awk -v a="$1" -v b="$(date +%s.%N)" 'BEGIN { printf "%.1f", b - a }'; }
absolute() { (cd "$(dirname "$1")" 2>/dev/null && printf '%s/%s' "$(pwd)" "$(basename "$1")"); }

WIN64_BUILD=
WIN32_TESTS=
WIN32_PACKAGE=
REPEAT=1
SCENARIOS=()
while [ $# -gt 0 ]; do
    case "$1" in
        --win64) [ $# -ge 2 ] || die "--win64 needs a build folder"
                 WIN64_BUILD=$2; shift 2 ;;
        --win32) [ $# -ge 3 ] || die "--win32 needs the win32-tests build folder and the zip"
                 WIN32_TESTS=$2; WIN32_PACKAGE=$3; shift 3 ;;
        --repeat) [ $# -ge 2 ] || die "--repeat needs a count"
                  REPEAT=$2; shift 2 ;;
        *.scn) SCENARIOS+=("$(absolute "$1")") || die "no scenario $1"; shift ;;
        -*) die "unknown option $1" ;;
        *) WIN64_BUILD=$1; shift ;;
    esac
done
[ -z "$WIN64_BUILD" ] && [ -z "$WIN32_TESTS" ] && WIN64_BUILD=$SOURCE/build/win64
# The controls (tests/wine/controls) are scenarios whose sound checks must fail: they show that
# the checks notice a wrong slot, a missing one and a sound that does not stop.
[ ${#SCENARIOS[@]} = 0 ] && SCENARIOS=("$SOURCE"/tests/wine/*.scn "$SOURCE"/tests/wine/controls/*.scn)

find_tool() {  # first of the names that runs here
    local name
    for name in "$@"; do
        if [ -x "$name" ]; then say "$name"; return 0; fi
        if command -v "$name" >/dev/null 2>&1; then command -v "$name"; return 0; fi
    done
    return 1
}
WINE64=${WINE:-$(find_tool /usr/lib/wine/wine64 wine64 /usr/lib/wine64/wine64)} ||
    die "wine64 is not installed"
WINESERVER=${WINESERVER:-$(find_tool wineserver /usr/lib/wine/wineserver64 \
                                     /usr/lib/wine/wineserver)} || die "wineserver is not installed"
for tool in pulseaudio parec g++ cmake; do
    command -v "$tool" >/dev/null || die "$tool is not installed"
done
if [ -n "$WIN64_BUILD" ]; then
    WIN64_BUILD=$(cd "$WIN64_BUILD" 2>/dev/null && pwd) ||
        die "no build folder $WIN64_BUILD (cmake --preset win64 first)"
    for file in tools/cuebox.exe module/jvb_cuebox2.gau tests/conformance_tests.exe \
                tests/sound_tests.exe tests/dsound_probe.exe; do
        [ -f "$WIN64_BUILD/$file" ] || die "$WIN64_BUILD/$file is missing (build win64 first)"
    done
fi
if [ -n "$WIN32_TESTS" ]; then
    WINE32=${WINE32:-$(find_tool /usr/lib/wine/wine)} ||
        die "32-bit Wine is not installed (scripts/setup_wine32.sh)"
    "$SOURCE/scripts/setup_wine32.sh" --check ||
        die "32-bit Wine on QEMU 10 or newer cannot run here yet (scripts/setup_wine32.sh, as root)"
    WIN32_TESTS=$(cd "$WIN32_TESTS" 2>/dev/null && pwd) ||
        die "no build folder $WIN32_TESTS (cmake --preset win32-tests first)"
    for file in tests/conformance_tests.exe tests/sound_tests.exe tests/dsound_probe.exe \
                tests/dsound_play.exe tests/recording_dsound/dsound.dll; do
        [ -f "$WIN32_TESTS/$file" ] || die "$WIN32_TESTS/$file is missing (build win32-tests)"
    done
    WIN32_PACKAGE=$(absolute "$WIN32_PACKAGE") && [ -f "$WIN32_PACKAGE" ] ||
        die "no release zip $WIN32_PACKAGE (cmake --build --preset win32 --target package)"
fi

# The captured runs' sound is mixed in real time by Wine's DirectSound, emulated in the 32-bit
# part; at the default priority, on a loaded 2-core machine, its mixer fell behind for tenths of
# a second at a time. A desktop gives its audio path priority (PulseAudio and Wine's mixer thread
# ask for it), and so does this run where it may (as root): everything started from here
# inherits it. It makes underruns rarer; what the checks accept stays the same.
renice -n -10 -p $$ >/dev/null 2>&1 || true

TMP=$(mktemp -d /tmp/cuebox-wine.XXXXXX)
PULSE_PID=
RECORDER_PID=
FAILED=0
PASSED=0
TIMES=()
declare -A JOB_PID JOB_T
cleanup() {
    [ -n "$RECORDER_PID" ] && kill "$RECORDER_PID" 2>/dev/null
    # Programs still running in the background (an interrupted run): their time limits end them.
    local job
    for job in "${JOB_PID[@]}"; do pkill -TERM -P "$job" 2>/dev/null; done
    [ -d "$TMP/prefix" ] && WINEPREFIX="$TMP/prefix" "$WINESERVER" -k 2>/dev/null
    [ -n "$PULSE_PID" ] && kill "$PULSE_PID" 2>/dev/null && wait "$PULSE_PID" 2>/dev/null
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
timed() { TIMES+=("$(printf '%-44s %7s s' "$1" "$(elapsed "$2")")"); }

# A Windows path for a file of ours: Wine's drive Z: is the Unix root.
winpath() { printf 'Z:%s' "${1//\//\\}"; }

mkdir -p "$TMP/home" "$TMP/run" "$TMP/tools" "$TMP/logs"
chmod 700 "$TMP/run"
export HOME="$TMP/home" XDG_RUNTIME_DIR="$TMP/run" WINEPREFIX="$TMP/prefix" WINEDEBUG=-all
# No Mono or Gecko installer in a fresh prefix, and no debugger on a crash: Wine starts its
# debugger on an unhandled exception even without an AeDebug entry, and it waits for ever.
NO_GECKO="mscoree,mshtml=;winedbg.exe=d"
export WINEDLLOVERRIDES="$NO_GECKO"
SOCKET="$TMP/run/pulse.sock"
export PULSE_SERVER="unix:$SOCKET"
NOWHERE="unix:$TMP/run/nowhere.sock"
RATE=22050

# --- The capture checker (native).
g++ -std=c++17 -O2 -I"$SOURCE/tests" -o "$TMP/tools/capture_check" \
    "$SOURCE/tests/wine/capture_check.cpp" || die "capture_check does not build"
CHECK="$TMP/tools/capture_check"

# --- The audio server: a null sink named "capture" whose monitor we record.
pulseaudio --daemonize=no --system=no --exit-idle-time=-1 -n --use-pid-file=no \
    --disable-shm=yes \
    --load="module-native-protocol-unix socket=$SOCKET auth-anonymous=1" \
    --load="module-null-sink sink_name=capture rate=44100" \
    >"$TMP/logs/pulseaudio.log" 2>&1 &
PULSE_PID=$!
for _ in $(seq 50); do [ -S "$SOCKET" ] && break; sleep 0.1; done
[ -S "$SOCKET" ] || { tail -3 "$TMP/logs/pulseaudio.log" >&2
                      die "the PulseAudio server did not start"; }

# --- One fresh prefix for everything, with the null graphics driver and PulseAudio as the
# only audio driver. With 32-bit Wine installed it is a WoW64 prefix: wine64 runs its services
# natively, and only the 32-bit programs themselves are emulated.
T=$(date +%s.%N)
"$WINE64" wineboot -i >"$TMP/logs/wineboot.log" 2>&1
"$WINESERVER" -w
set_driver() {  # $1: kind, $2: driver
    "$WINE64" reg add 'HKCU\Software\Wine\Drivers' /v "$1" /d "$2" /f \
        >>"$TMP/logs/wineboot.log" 2>&1
}
# A crash ends the program instead of starting the debugger that AeDebug names.
for key in 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' \
           'HKLM\Software\Wow6432Node\Microsoft\Windows NT\CurrentVersion\AeDebug'; do
    "$WINE64" reg delete "$key" /v Debugger /f >>"$TMP/logs/wineboot.log" 2>&1
done
if ! set_driver Graphics null || ! set_driver Audio pulse; then
    tail -5 "$TMP/logs/wineboot.log" >&2; die "the Wine prefix could not be made"
fi
# A desktop made before the drivers were set keeps failing every window, so the session that
# set them ends first. From then on one server stays up, so no program waits for Wine's
# services to start.
"$WINESERVER" -k 2>/dev/null
"$WINESERVER" -w
"$WINESERVER" -p </dev/null >/dev/null 2>&1
say "wine: fresh prefix ready in $(elapsed "$T") s ($("$WINE64" --version 2>/dev/null))"
timed "prefix" "$T"

# Every program runs with a time limit, so a hang fails its test instead of the whole run.
# $1: the Wine loader, $2: seconds, then the program and its arguments.
wine_run() {
    local loader=$1 seconds=$2
    shift 2
    timeout -k 10 "$seconds" "$loader" "$@"
}
LIMIT64=${WINE_PROGRAM_SECONDS:-300}
LIMIT32=${WINE32_PROGRAM_SECONDS:-$LIMIT64}

# --- GoogleTest programs. gtest_start $1: label, $2: loader, $3: time limit, $4: program, then
# its arguments: starts it in the background. gtest_judge $1: label: waits for it and judges
# it. A program that is no GoogleTest passes when it ends with 0. Two test programs may run side
# by side, one on each core: nothing in them is timed, and no sound is captured meanwhile.
gtest_start() {
    local label=$1 loader=$2 limit=$3 program=$4
    shift 4
    mkdir -p "$TMP/work-$label"
    JOB_T[$label]=$(date +%s.%N)
    (
        cd "$TMP/work-$label" && wine_run "$loader" "$limit" "$program" "$@"
        status=$?
        date +%s.%N >"$TMP/logs/$label.end"
        exit $status
    ) >"$TMP/logs/$label.log" 2>&1 &
    JOB_PID[$label]=$!
}
gtest_judge() {
    local label=$1 log="$TMP/logs/$1.log" passed skipped failed seconds counts status
    wait "${JOB_PID[$label]}"
    status=$?
    seconds=$(awk -v a="${JOB_T[$label]}" -v b="$(cat "$TMP/logs/$label.end" 2>/dev/null)" \
                  'BEGIN { printf "%.1f", b - a }')
    passed=$(sed -n 's/^\[  PASSED  \] \([0-9]*\) test.*/\1/p' "$log" | tail -1)
    skipped=$(sed -n 's/^\[  SKIPPED \] \([0-9]*\) test.*/\1/p' "$log" | tail -1)
    failed=$(sed -n 's/^\[  FAILED  \] \([0-9]*\) test.*/\1/p' "$log" | tail -1)
    counts="${passed:-0} passed, ${skipped:-0} skipped, ${failed:-0} failed, $seconds s"
    if [ "$status" = 0 ] && ! grep -q '^\[==========\]' "$log"; then
        pass "$label: ended well, $seconds s"
    elif [ "$status" = 0 ] && [ -n "$passed" ]; then
        pass "$label: $counts"
    else
        fail "$label (exit $status): $counts"
        grep -E '^\[  FAILED  \] [A-Za-z]' "$log" | sort -u | sed 's/^/    /'
        [ -z "$passed" ] && tail -5 "$log" | sed 's/^/    /'
    fi
    TIMES+=("$(printf '%-44s %7s s' "$label" "$seconds")")
}
run_gtest() { gtest_start "$@"; gtest_judge "$1"; }

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

scenario_field() { sed -n "s/^# $2: *//p" "$1" | head -1; }        # $1: file, $2: field
scenario_checks() { sed -n 's/^# capture: *//p' "$1" | tr '\n' ' '; }
# How many DirectSound devices a scenario makes: one at each connect that finds none held, that
# is the first and each after a disconnect; a second connect keeps the device it has.
scenario_connects() {
    sed 's/#.*//' "$1" | awk '
        tolower($1) == "connect" || (tolower($1) == "service" && ($2 == "14" || tolower($2) == "0xe")) {
            if (!held) n++
            held = 1
        }
        tolower($1) == "disconnect" || (tolower($1) == "service" && ($2 == "15" || tolower($2) == "0xf")) {
            held = 0
        }
        END { print n + 0 }'
}

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

# The verdict on a scenario's sound checks; a control passes when its checks fail.
# $1: what, $2: scenario, $3: the checks' exit status, $4: why it failed, $5: a note.
judge() {
    if [ "$(scenario_field "$2" expect)" = failure ]; then
        if [ "$3" = 1 ]; then
            pass "$1: control: its checks fail, as they must"
        else
            fail "$1: control: the checks did not notice the wrong sound (status $3)"
        fi
    elif [ "$3" = 0 ]; then
        pass "$1: $5"
    else
        fail "$1: $4"
    fi
}

# The Linux build's trace, printed lines or timeline of a scenario on its root, each made once
# per scenario: the Windows runs' must be the same. $1: scenario, $2: trace (the default),
# printed or timeline; prints the file's name.
NATIVE=${NATIVE_BUILD:-$SOURCE/build/native}
linux_run() {
    local out kind=${2:-trace} name args=()
    name="$TMP/linux/$(basename "$1" .scn)"
    out="$name.$kind"
    if [ ! -f "$out" ]; then
        mkdir -p "$TMP/linux"
        case "$kind" in
            trace) args=(--trace) ;;
            timeline) args=(--timeline "$out") ;;
        esac
        if [ "$kind" = timeline ]; then
            "$NATIVE/tools/cuebox" --root "$TMP/roots/$(scenario_field "$1" root)" run \
                "${args[@]}" "$1" >/dev/null 2>"$out.log"
        else
            "$NATIVE/tools/cuebox" --root "$TMP/roots/$(scenario_field "$1" root)" run \
                "${args[@]}" "$1" >"$out" 2>"$out.log"
        fi
    fi
    printf '%s' "$out"
}

# A Windows run's trace (the host records the module's DirectSound and file calls there), its
# printed lines or its timeline, against the Linux build's (scripts/compare_traces.py).
# $1: what, $2: scenario, $3: the run's file, $4: trace (the default), printed or timeline.
compare_trace() {
    local kind=${4:-trace} mode=()
    [ "$kind" = trace ] || mode=(--"$kind")
    if [ ! -x "$NATIVE/tools/cuebox" ]; then
        fail "$1: no Linux build to compare with ($NATIVE/tools/cuebox)"
        return
    fi
    if python3 "$SOURCE/scripts/compare_traces.py" "${mode[@]}" "$3" "$(linux_run "$2" "$kind")" \
        >"$3.compare" 2>&1
    then
        pass "$1: $kind: $(cat "$3.compare"), as the Linux build's"
    else
        fail "$1: the module's events ($kind) are not those of the Linux build"
        sed 's/^/    /' "$3.compare"
    fi
}

# The host without any audio server: first shows that DirectSoundCreate really fails there.
# $1: label, $2: loader, $3: time limit, $4: probe, $5: cuebox.exe, then the scenarios.
run_without_audio() {
    local label=$1 loader=$2 limit=$3 probe=$4 host=$5 log="$TMP/logs/$1.log" T status
    shift 5
    [ $# = 0 ] && return
    T=$(date +%s.%N)
    # The probe beside the host, each on a core of its own.
    PULSE_SERVER=$NOWHERE wine_run "$loader" "$limit" "$probe" >"$log.probe" 2>&1 &
    local probe=$! probe_status scenario names=() root args=()
    for scenario in "$@"; do names+=("$(basename "$scenario" .scn)"); done
    # One root serves them all: the sound set does not matter when nothing can sound.
    root=$(scenario_field "$1" root)
    for scenario in "$@"; do args+=("$(winpath "$scenario")"); done
    PULSE_SERVER=$NOWHERE wine_run "$loader" "$limit" "$host" \
        --root "$(winpath "$TMP/roots/$root")" run "${args[@]}" >"$log" 2>&1
    status=$?
    wait "$probe"
    probe_status=$?
    # Sound was asked for (cuebox.exe plays live unless told otherwise) and none could be had:
    # said once, and exit status 3 once every expectation held.
    local told
    told=$(grep -c '^cuebox: no sound output (DirectSound could not start: ' "$log")
    if [ "$probe_status" = 0 ]; then
        fail "$label: DirectSoundCreate succeeded without an audio server ($(head -1 "$log.probe"))"
    elif [ "$status" = 3 ] && [ "$told" = "1" ]; then
        pass "$label ${names[*]}: silent, said so once, every expectation held ($(head -1 "$log.probe"), $(elapsed "$T") s)"
    elif [ "$status" = 3 ]; then
        fail "$label ${names[*]}: no sound output said $told times, not once"
    else
        fail "$label ${names[*]}: cuebox.exe exit $status"
        tail -3 "$log" | sed 's/^/    /'
    fi
    timed "$label (no audio server)" "$T"
}

# One scenario in its own process with Wine's DirectSound, its sound captured and checked.
# $1: label, $2: loader, $3: time limit, $4: cuebox.exe, $5: scenario.
run_captured() {
    local label=$1 loader=$2 limit=$3 host=$4 scenario=$5 name root checks log capture status T
    name=$(basename "$scenario" .scn)
    root=$(scenario_field "$scenario" root)
    checks=$(scenario_checks "$scenario")
    log="$TMP/logs/$label-$name.log"
    capture="$TMP/logs/$label-$name.raw"
    T=$(date +%s.%N)
    if ! start_recording "$capture"; then
        fail "$label $name: the recorder delivered no sound data"
        stop_recording
        return
    fi
    wine_run "$loader" "$limit" "$host" --root "$(winpath "$TMP/roots/$root")" \
        run --trace --timeline "$(winpath "$log.svg")" "$(winpath "$scenario")" \
        >"$log.trace" 2>"$log"
    status=$?
    stop_recording
    if [ "$status" = 0 ]; then
        compare_trace "$label $name" "$scenario" "$log.trace"
        compare_trace "$label $name" "$scenario" "$log.svg" timeline
    fi
    if [ "$status" != 0 ]; then
        fail "$label $name: cuebox.exe exit $status"
        tail -3 "$log" | sed 's/^/    /'
    elif [ -z "$checks" ]; then
        pass "$label $name: $(elapsed "$T") s (no sound checks)"
    else
        # shellcheck disable=SC2086  # the checks are words
        "$CHECK" check "$capture" --raw $RATE $checks >"$log.check" 2>&1
        judge "$label $name" "$scenario" $? "the captured sound is not as expected" \
            "$(elapsed "$T") s"
        sed 's/^/    /' "$log.check"
    fi
    timed "$label $name" "$T"
}

# One scenario in its own process with the recording DirectSound; then its record rendered and
# checked. Each has a process of its own, as in the captured runs: the host keeps the panel's
# pace across the scenarios of one process, so a stall at the end of one shortened the first
# second of the next (by up to 0.11 s on a loaded machine), which the checks rightly refused.
# $1: label, $2: loader, $3: time limit, $4: folder holding cuebox.exe, jvb_cuebox2.gau and the
# recording dsound.dll, $5: scenario.
run_recorded() {
    local label=$1 loader=$2 limit=$3 bin=$4 scenario=$5 name root record log status T checks
    name=$(basename "$scenario" .scn)
    root=$(scenario_field "$scenario" root)
    record="$TMP/logs/$label-record-$name"
    log="$record.log"
    mkdir -p "$record"
    T=$(date +%s.%N)
    WINEDLLOVERRIDES="$NO_GECKO;dsound=n" CUEBOX_DSOUND_RECORD="$(winpath "$record")" \
        wine_run "$loader" "$limit" "$bin/cuebox.exe" --root "$(winpath "$TMP/roots/$root")" \
        run --trace "$(winpath "$scenario")" >"$log.trace" 2>"$log"
    status=$?
    timed "$label $name" "$T"
    [ "$status" = 0 ] && compare_trace "$label $name" "$scenario" "$log.trace"
    checks=$(scenario_checks "$scenario")
    if [ ! -s "$record/dsound.log" ]; then
        fail "$label $name: the recording DirectSound was not loaded (cuebox.exe exit $status)"
        tail -3 "$log" | sed 's/^/    /'
        return
    fi
    if [ "$status" != 0 ]; then
        fail "$label $name: cuebox.exe exit $status"
        tail -3 "$log" | sed 's/^/    /'
    elif [ "$(grep -c ' create device=' "$record/dsound.log")" != "$(scenario_connects "$scenario")" ]; then
        fail "$label $name: $(grep -c ' create device=' "$record/dsound.log") DirectSound devices made, but its connects make $(scenario_connects "$scenario")"
    elif ! "$CHECK" render "$record/dsound.log" "$record/$name.wav" --end \
            >"$record/$name.check" 2>&1; then
        fail "$label $name: the DirectSound calls are not as expected"
    elif [ -z "$checks" ]; then
        pass "$label $name: DirectSound calls as expected (no sound checks)"
    else
        # shellcheck disable=SC2086  # the checks are words
        "$CHECK" check "$record/$name.wav" $checks >>"$record/$name.check" 2>&1
        judge "$label $name" "$scenario" $? "the recorded sound is not as expected" \
            "DirectSound calls and the sound they make as expected"
    fi
    sed 's/^/    /' "$record/$name.check" 2>/dev/null
}

# One scenario rendered by cuebox.exe itself (`run --out`: the host's own DirectSound mixes
# offline, the system's is not used), its sound checked as a capture is, and what it prints and
# draws (`--timeline`) compared with the Linux build's: the captured and recorded runs compare
# the traces, this one the lines an author reads. $1: label, $2: loader, $3: time limit,
# $4: cuebox.exe, $5: scenario.
run_rendered() {
    local label=$1 loader=$2 limit=$3 host=$4 scenario=$5 name root log wav status T checks
    name=$(basename "$scenario" .scn)
    root=$(scenario_field "$scenario" root)
    log="$TMP/logs/$label-$name.log"
    wav="$TMP/logs/$label-$name.wav"
    T=$(date +%s.%N)
    wine_run "$loader" "$limit" "$host" --root "$(winpath "$TMP/roots/$root")" \
        run --out "$(winpath "$wav")" --timeline "$(winpath "$log.svg")" "$(winpath "$scenario")" \
        >"$log.out" 2>"$log"
    status=$?
    timed "$label $name" "$T"
    checks=$(scenario_checks "$scenario")
    if [ "$status" != 0 ]; then
        fail "$label $name: cuebox.exe exit $status"
        tail -3 "$log" | sed 's/^/    /'
        return
    fi
    compare_trace "$label $name" "$scenario" "$log.out" printed
    compare_trace "$label $name" "$scenario" "$log.svg" timeline
    if [ -z "$checks" ]; then
        pass "$label $name: rendered in $(elapsed "$T") s (no sound checks)"
    else
        # shellcheck disable=SC2086  # the checks are words
        "$CHECK" check "$wav" $checks >"$log.check" 2>&1
        judge "$label $name" "$scenario" $? "the rendered sound is not as expected" \
            "rendered in $(elapsed "$T") s, the sound as expected"
        sed 's/^/    /' "$log.check"
    fi
}

# The console on a scenario's sound set through Wine's own DirectSound: commands typed as a
# gauge writes them (slot 0 plays once, slot 5 loops, slot 1 has no file, on the broken set),
# and the status lines it prints, leaving out their times, must be the Linux build's.
# $1: label, $2: loader, $3: time limit, $4: cuebox.exe.
CONSOLE_INPUT=$'0\n105\n1\nstatus\nquit\n'
console_status() { tr -d '\r' <"$1" | sed -n 's/^ *[0-9.]* s  \(loaded .*\)/\1/p'; }
run_console() {
    local label=$1 loader=$2 limit=$3 host=$4 log="$TMP/logs/$1-console.log" T status
    T=$(date +%s.%N)
    printf '%s' "$CONSOLE_INPUT" | wine_run "$loader" "$limit" "$host" \
        --root "$(winpath "$TMP/roots/broken")" console >"$log.out" 2>"$log"
    status=$?
    printf '%s' "$CONSOLE_INPUT" | "$NATIVE/tools/cuebox" --root "$TMP/roots/broken" console \
        >"$log.linux" 2>&1
    timed "$label console" "$T"
    if [ "$status" != 0 ]; then
        fail "$label console: cuebox.exe exit $status"
        tail -3 "$log" | sed 's/^/    /'
    elif ! grep -q 'loaded 00 05 | playing 00 | looping 05 | file not found 01' "$log.linux"; then
        fail "$label console: the Linux build's console does not show the slots it should"
    elif [ "$(console_status "$log.out")" = "$(console_status "$log.linux")" ]; then
        pass "$label console: $(console_status "$log.out" | wc -l) status lines as the Linux build's, last: $(console_status "$log.out" | tail -1)"
    else
        fail "$label console: its status lines are not the Linux build's"
        diff <(console_status "$log.out") <(console_status "$log.linux") | sed 's/^/    /'
    fi
}

# Messages that only Windows can get wrong (how it spells paths), from a cuebox.exe: each
# command's output must match its pattern (grep -E) and must not match the second one.
# $1: label, $2: loader, $3: time limit, $4: cuebox.exe.
make_messages_root() {  # $1: root: an INI saved as UTF-8 without a mark naming café.wav
    mkdir -p "$1/Gauges" "$1/Sound/MyPlane"
    tone "$1/Sound/MyPlane/café.wav" 500 0.2
    printf '%s\r\n' '[Config]' 'LVar=myplane_snd' '[Sounds]' 'Sound01=.\Sound\MyPlane\café.wav' \
        >"$1/Gauges/myplane.ini"
}
run_messages() {
    local label=$1 loader=$2 limit=$3 host=$4 root="$TMP/roots/messages" n=0 out
    local T
    T=$(date +%s.%N)
    [ -d "$root" ] || make_messages_root "$root"
    message_case() {  # $1: must match, $2: must not match ("" for none), then the arguments
        local want=$1 refuse=$2
        shift 2
        n=$((n + 1))
        out="$TMP/logs/$label-message$n.log"
        wine_run "$loader" "$limit" "$host" --root "$(winpath "$root")" "$@" >"$out" 2>&1
        tr -d '\r' <"$out" >"$out.text"
        if ! grep -qE -- "$want" "$out.text"; then
            fail "$label message $n ($*): nothing matches /$want/"
            sed 's/^/    /' "$out.text" | head -12
        elif [ -n "$refuse" ] && grep -qE -- "$refuse" "$out.text"; then
            fail "$label message $n ($*): /$refuse/ is said: $(grep -E -- "$refuse" "$out.text" | head -1)"
        else
            pass "$label message $n: $(grep -E -- "$want" "$out.text" | head -1 | sed 's/^ *//')"
        fi
    }
    # The module looks for the name as Windows reads the file; "looked for" says that one too.
    message_case 'file not found: .*cafÃ©\.wav \(looked for [^)]*cafÃ©\.wav\)' 'looked for [^)]*café' \
        check --param '.\Gauges\myplane.ini'
    # Paths the tools join are Windows paths.
    message_case 'looked for [A-Za-z]:\\windows\\myplane\.ini' 'windows/' check --param myplane.ini
    message_case 'did you mean \.\\Gauges\\myplane\.ini\?' '' check --param '.\Gauges\myplnae.ini'
    message_case 'cannot read the scenario [A-Za-z]:\\.*\\nowhere\.scn' '/nowhere' run nowhere.scn
    timed "$label messages" "$T"
}

# The panel preview of a cuebox.exe against the Linux build's (scripts/wine_panel_check.sh).
# $1: label, $2: loader, $3: cuebox.exe.
panel_check() {
    local out status
    out=$("$SOURCE/scripts/wine_panel_check.sh" "$1-panel" "$2" "$WINEPREFIX" "$3" \
        "${NATIVE_BUILD:-$SOURCE/build/native}" "$TMP/$1-panel" 2>&1)
    status=$?
    say "$out"
    PASSED=$((PASSED + $(grep -c '^PASS' <<<"$out")))
    FAILED=$((FAILED + $(grep -c '^FAIL' <<<"$out")))
    [ "$status" = 2 ] && fail "$1-panel: the panel check could not run"
}

# serve of a cuebox.exe on the example panel (the zip's example folder beside it, or one laid
# out as the demo lays it), driven over HTTP from Linux as its page drives it
# (tests/wine/serve_check.py): page and state answered, the warnings gauge's test button plays
# slot 3, the page's Stop ends it with the module disconnected; the windows, gauges and mouse
# areas of its state must be the Linux build's on the same root. $1: label, $2: loader,
# $3: time limit, $4: cuebox.exe.
run_serve() {
    local label=$1 loader=$2 limit=$3 host=$4 root log="$TMP/logs/$1-serve.log" T
    local panel='Aircraft\Demo\panel\panel.cfg'
    T=$(date +%s.%N)
    root=$(dirname "$host")/example
    if [ ! -f "$root/Gauges/jvb_cuebox.ini" ]; then
        root=$TMP/roots/example
        [ -d "$root" ] || { "$SOURCE/demo/make_sounds.sh" "$root" &&
            "$SOURCE/demo/make_panel.sh" "$root" "$NATIVE/demo/demo_warnings.cab"; } \
            >"$log.root" 2>&1 || { fail "$label serve: the example root could not be made"; return; }
    fi
    python3 "$SOURCE/tests/wine/serve_check.py" "$limit" "$log.layout" timeout -k 10 "$limit" \
        "$loader" "$host" serve --root "$(winpath "$root")" --panel "$panel" --silent >"$log" 2>&1
    if [ $? != 0 ]; then
        fail "$label serve: $(tail -1 "$log")"
    elif ! python3 "$SOURCE/tests/wine/serve_check.py" "$limit" "$log.linux-layout" \
            "$NATIVE/tools/cuebox" serve --root "$root" --panel "$panel" --silent \
            >"$log.linux" 2>&1; then
        fail "$label serve: the Linux build's serve fails the same check: $(tail -1 "$log.linux")"
    elif ! diff "$log.linux-layout" "$log.layout" >"$log.diff"; then
        fail "$label serve: its panel's windows, gauges and areas are not the Linux build's"
        head -20 "$log.diff" | sed 's/^/    /'
    else
        pass "$label serve: page, state (as the Linux build's), a click playing slot 3 and Stop, in $(elapsed "$T") s"
    fi
    sed 's/^/    /' "$log"
    timed "$label serve" "$T"
}

# ======== win64
if [ -n "$WIN64_BUILD" ]; then
    PART=$(date +%s.%N)
    if wine_run "$WINE64" "$LIMIT64" "$WIN64_BUILD/tests/dsound_probe.exe" \
        >"$TMP/logs/probe64.log" 2>&1; then
        say "win64: DirectSound plays into the capture sink ($(cat "$TMP/logs/probe64.log"))"
    else
        fail "win64: DirectSound has no device with the server running: $(cat "$TMP/logs/probe64.log")"
    fi
    run_gtest win64-conformance_tests "$WINE64" "$LIMIT64" "$WIN64_BUILD/tests/conformance_tests.exe"
    run_gtest win64-sound_tests "$WINE64" "$LIMIT64" "$WIN64_BUILD/tests/sound_tests.exe"
    mkdir -p "$TMP/win64"
    cp "$WIN64_BUILD/tools/cuebox.exe" "$WIN64_BUILD/module/jvb_cuebox2.gau" "$TMP/win64/"
    silent=()
    for scenario in "${SCENARIOS[@]}"; do
        if [ "$(scenario_field "$scenario" audio)" = none ]; then
            silent+=("$scenario")
        else
            run_captured win64 "$WINE64" "$LIMIT64" "$TMP/win64/cuebox.exe" "$scenario"
            run_rendered win64-out "$WINE64" "$LIMIT64" "$TMP/win64/cuebox.exe" "$scenario"
        fi
    done
    run_console win64 "$WINE64" "$LIMIT64" "$TMP/win64/cuebox.exe"
    run_messages win64 "$WINE64" "$LIMIT64" "$TMP/win64/cuebox.exe"
    for scenario in "${silent[@]}"; do  # each alone, as before: they are fast here
        run_without_audio win64 "$WINE64" "$LIMIT64" \
            "$WIN64_BUILD/tests/dsound_probe.exe" "$TMP/win64/cuebox.exe" "$scenario"
    done
    panel_check win64 "$WINE64" "$TMP/win64/cuebox.exe"
    run_serve win64 "$WINE64" "$LIMIT64" "$TMP/win64/cuebox.exe"
    timed "win64 (all)" "$PART"
fi

# ======== win32: the shipped files
if [ -n "$WIN32_TESTS" ]; then
    PART=$(date +%s.%N)
    # The release zip as users get it.
    mkdir -p "$TMP/win32/unpacked"
    (cd "$TMP/win32/unpacked" && cmake -E tar xf "$WIN32_PACKAGE") || die "cannot unpack $WIN32_PACKAGE"
    PACKAGE=$(dirname "$(find "$TMP/win32/unpacked" -name cuebox.exe | head -1)")
    [ -f "$PACKAGE/cuebox.exe" ] && [ -f "$PACKAGE/jvb_cuebox2.gau" ] ||
        die "the zip holds no cuebox.exe and jvb_cuebox2.gau side by side"
    say "win32: $(basename "$WIN32_PACKAGE"): $(cd "$PACKAGE" && sha256sum cuebox.exe jvb_cuebox2.gau |
                                                awk '{ printf "%s %.12s  ", $2, $1 }')"
    # For the recorded runs the same two files (hard links, not copies) beside our dsound.dll,
    # which Wine then loads in place of its own; the zip's cuebox.exe finds the module beside it.
    mkdir -p "$TMP/win32/recorded"
    ln "$PACKAGE/cuebox.exe" "$PACKAGE/jvb_cuebox2.gau" "$TMP/win32/recorded/"
    cp "$WIN32_TESTS/tests/recording_dsound/dsound.dll" "$TMP/win32/recorded/"

    silent=()
    for scenario in "${SCENARIOS[@]}"; do
        if [ "$(scenario_field "$scenario" audio)" = none ]; then
            silent+=("$scenario")
            continue
        fi
        root=$(scenario_field "$scenario" root)
        [ -d "$TMP/roots/$root" ] || fail "$(basename "$scenario"): unknown root '$root'"
    done
    for round in $(seq "$REPEAT"); do
        label=win32
        [ "$REPEAT" -gt 1 ] && label="win32#$round"
        # Wine's own DirectSound alone first: if it cannot play a tone, nothing after is the
        # module's fault.
        run_gtest "$label-dsound_play" "$WINE32" "$LIMIT32" "$WIN32_TESTS/tests/dsound_play.exe"
        gtest_start "$label-conformance_tests" "$WINE32" "$LIMIT32" \
            "$WIN32_TESTS/tests/conformance_tests.exe"
        gtest_start "$label-sound_tests" "$WINE32" "$LIMIT32" "$WIN32_TESTS/tests/sound_tests.exe"
        gtest_judge "$label-conformance_tests"
        gtest_judge "$label-sound_tests"
        panel_check "$label" "$WINE32" "$PACKAGE/cuebox.exe"
        run_serve "$label" "$WINE32" "$LIMIT32" "$PACKAGE/cuebox.exe"
        # The zip's files through Wine's own DirectSound, one process per scenario, captured.
        for scenario in "${SCENARIOS[@]}"; do
            [ "$(scenario_field "$scenario" audio)" = none ] && continue
            [ -d "$TMP/roots/$(scenario_field "$scenario" root)" ] || continue
            run_captured "$label" "$WINE32" "$LIMIT32" "$PACKAGE/cuebox.exe" "$scenario"
        done
        # The same files on the recording DirectSound: every argument they pass.
        for scenario in "${SCENARIOS[@]}"; do
            [ "$(scenario_field "$scenario" audio)" = none ] && continue
            [ -d "$TMP/roots/$(scenario_field "$scenario" root)" ] || continue
            run_recorded "$label-recorded" "$WINE32" "$LIMIT32" "$TMP/win32/recorded" "$scenario"
        done
        # And rendered by the zip's cuebox.exe itself, with no DirectSound of the system's.
        for scenario in "${SCENARIOS[@]}"; do
            [ "$(scenario_field "$scenario" audio)" = none ] && continue
            [ -d "$TMP/roots/$(scenario_field "$scenario" root)" ] || continue
            run_rendered "$label-out" "$WINE32" "$LIMIT32" "$PACKAGE/cuebox.exe" "$scenario"
        done
        run_console "$label" "$WINE32" "$LIMIT32" "$PACKAGE/cuebox.exe"
        run_messages "$label" "$WINE32" "$LIMIT32" "$PACKAGE/cuebox.exe"
        if [ ${#silent[@]} -gt 0 ]; then
            run_without_audio "$label" "$WINE32" "$LIMIT32" "$WIN32_TESTS/tests/dsound_probe.exe" \
                "$PACKAGE/cuebox.exe" "${silent[@]}"
        fi
    done
    timed "win32 (all)" "$PART"
fi

say ""
say "wine: time of each part"
printf '  %s\n' "${TIMES[@]}"
say "wine tests took $(elapsed "$START") s"
say "wine: $PASSED passed, $FAILED failed"
[ "$FAILED" = 0 ]
