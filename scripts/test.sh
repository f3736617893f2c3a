#!/usr/bin/env bash
# Every test of the project, from a fresh machine: the native build with serve's page in
# headless Chromium, every test under AddressSanitizer and UndefinedBehaviorSanitizer, a
# bounded fuzzing run of every parser, the win32 deliverable's inspection and package, and
# under Wine (one prefix): the win64 build's tests under wine64, and the shipped win32 files
# with the 32-bit test programs under 32-bit Wine (emulated here by QEMU 10), through Wine's
# own DirectSound and through a recording one. Prints the wall and CPU time of each part at
# the end.
#
#   scripts/test.sh           everything
#   scripts/test.sh --quick   the native build and its tests alone, for the minute-to-minute
#                             loop (run scripts/setup.sh once first)
#
# Two lanes. The foreground builds what the Wine runs need (the native cuebox they compare
# with, the three Windows builds), then runs them; they wait on the clock, their sound
# captured in real time. Beside it, at the idle scheduling class (it gets only the CPU the
# foreground leaves), the sanitize build, then its tests and the fuzzing, which wait until the
# foreground's builds are done: starved beside a build, their time limits would not mean what
# they say. The sanitize build also makes the fuzz targets, and its tests are the whole suite;
# the native build's own tests run in --quick.
set -euo pipefail
quick=
case "${1:-}" in
--quick) quick=1 ;;
"") ;;
*)
    echo "usage: scripts/test.sh [--quick]" >&2
    exit 2
    ;;
esac
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
jobs=$(nproc)
logs=$top/build/test-logs
mkdir -p "$logs"
rm -f "$logs"/*.part

started=$(date +%s)
times=()
failed=()

# Runs part $1 (the command follows) in a subshell of its own, which writes its exit status,
# wall seconds and CPU seconds (user and system of everything it ran) to $logs/NAME.part.
run_part() {
    local name=$1 file
    shift
    file="$logs/$(tr -c 'A-Za-z0-9\n' _ <<<"$name").part"
    (
        set +e
        began=$(date +%s)
        (set -e; "$@")
        status=$?
        # `times`: the subshell's own CPU, then its children's. Run in this shell, not in a
        # pipe or $(...), whose own subshell has no children.
        times >"$file.times"
        cpu=$(awk 'NR == 2 { split($1, u, /[ms]/); split($2, s, /[ms]/)
                             printf "%d", u[1] * 60 + u[2] + s[1] * 60 + s[2] }' "$file.times")
        echo "$status $(($(date +%s) - began)) $cpu" >"$file"
        exit "$status"
    )
}
# Records the time of part $1 from its .part file; false when it failed.
part_done() {
    local status=1 wall=0 cpu=0 file
    file="$logs/$(tr -c 'A-Za-z0-9\n' _ <<<"$1").part"
    if [ -f "$file" ]; then
        read -r status wall cpu <"$file"
        times+=("$(printf '%-34s %5d s   CPU %5d s' "$1" "$wall" "$cpu")")
    else
        times+=("$(printf '%-34s not run' "$1")")  # what it needed failed first
    fi
    [ "$status" = 0 ] || failed+=("$1")
    [ "$status" = 0 ]
}
# Runs part $1 as run_part does, its exit status in $part_status. Never in an `if`, `||` or
# `&&`, which would switch off set -e inside the part.
run_step() {
    set +e
    run_part "$@"
    part_status=$?
    set -e
}
# A part in the foreground, its output on the terminal; the run stops when it fails.
step() {
    printf '\n==== %s\n' "$1"
    run_step "$@"
    part_done "$1" || exit 1
}
# The times are printed however the run ends.
print_times() {
    local status=$?
    printf '\n==== time of each part\n'
    printf '  %s\n' "${times[@]}"
    printf '  %-34s %5d s\n' "all" $(($(date +%s) - started))
    if [ "$status" = 0 ] && [ ${#failed[@]} = 0 ]; then
        printf '\n==== all tests passed\n'
    else
        local IFS=,
        printf '\n==== FAILED in: %s\n' "${failed[*]:-?}"
        [ "$status" != 0 ] || exit 1
    fi
}
trap print_times EXIT

# The native build the full run needs: cuebox (serve's page, the Linux side of every Wine
# comparison), the module it loads and the example panel's cabinet.
native_tools() {
    cmake --preset native >/dev/null
    cmake --build --preset native -j"$jobs" --target cuebox jvb_cuebox2 demo_cabinet
}
native() {
    cmake --preset native >/dev/null
    cmake --build --preset native -j"$jobs"
    ctest --test-dir build/native --output-on-failure -j"$jobs"
}
sanitize_build() {
    cmake --preset sanitize >/dev/null
    cmake --build --preset sanitize -j"$jobs"
}
sanitize_tests() {
    ctest --test-dir build/sanitize --output-on-failure -j"$jobs"
}
win32() {
    cmake --preset win32 >/dev/null
    cmake --build --preset win32 -j"$jobs"
    cmake --build --preset win32 --target inspect
    cmake --build --preset win32 --target package
}
win32_tests() {
    cmake --preset win32-tests >/dev/null
    cmake --build --preset win32-tests -j"$jobs" --target conformance_tests sound_tests \
        dsound_probe dsound_play recording_dsound
}
win64() {
    cmake --preset win64 >/dev/null
    cmake --build --preset win64 -j"$jobs"
}

if [ -n "$quick" ]; then
    step "native build and tests" native
    exit 0
fi

step "setting up" scripts/setup.sh

builds_done=$logs/builds.done
rm -f "$builds_done"
beside_lane() {
    run_step "sanitize build" sanitize_build
    [ "$part_status" = 0 ] || return 1
    # Its tests and the fuzzing wait for the foreground's builds (or its end).
    while [ ! -f "$builds_done" ] && kill -0 $$ 2>/dev/null; do sleep 1; done
    run_step "sanitizers' tests" sanitize_tests
    # Each target runs until its coverage stops growing, at most CUEBOX_FUZZ_SECONDS.
    run_step "fuzzing every parser" env CUEBOX_FUZZ_PRESET=sanitize scripts/fuzz.sh \
        "${CUEBOX_FUZZ_SECONDS:-30}"
}
kill_tree() {
    local child
    for child in $(pgrep -P "$1"); do kill_tree "$child"; done
    kill "$1" 2>/dev/null || true
}
printf '\n==== beside the parts below, at the idle scheduling class: the sanitize build, its tests\n'
printf '     and the fuzzing (output in build/test-logs/beside.log)\n'
(
    # What this lane starts inherits its class.
    chrt --idle -p 0 "$BASHPID" 2>/dev/null || renice -n 19 -p "$BASHPID" >/dev/null
    beside_lane
) >"$logs/beside.log" 2>&1 &
beside_pid=$!
# An early end of the foreground ends the lane too; the times are printed as before.
on_exit() {
    local status=$?
    set +e  # or the `(exit ...)` below, failing, would end the handler before the times
    kill_tree "$beside_pid"
    (exit "$status")
    print_times
}
trap on_exit EXIT

step "native build" native_tools
step "serve's page in a browser" scripts/browser_tests.sh
step "win32 deliverable" win32
step "win32 test programs (i686)" win32_tests
step "win64 build" win64
touch "$builds_done"
# The only part at the normal priority from here on (it raises its own): what goes beside it
# takes only the CPU it leaves, which kept its captures' underruns at the quiet machine's rate.
printf '\n==== %s\n' "Wine: win64, and the win32 package"
run_step "Wine: win64, and the win32 package" scripts/wine_tests.sh --win64 build/win64 \
    --win32 build/win32-tests build/win32/cuebox-2.11-win32.zip
part_done "Wine: win64, and the win32 package" || true

printf '\n==== waiting for the lane beside\n'
wait "$beside_pid" || true
for part in "sanitize build" "sanitizers' tests" "fuzzing every parser"; do
    part_done "$part" || true
done
if [ ${#failed[@]} -gt 0 ]; then cat "$logs/beside.log"; else tail -n 15 "$logs/beside.log"; fi
[ ${#failed[@]} = 0 ]
