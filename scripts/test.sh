#!/usr/bin/env bash
# Every test of the project, from a fresh machine: the native build's tests, the same under
# AddressSanitizer and UndefinedBehaviorSanitizer, a bounded fuzzing run of every parser, the
# win32 deliverable's inspection and package, and under Wine (one prefix): the win64 build's
# tests under wine64, and the shipped win32 files with the 32-bit test programs under 32-bit
# Wine (emulated here by QEMU 10), through Wine's own DirectSound and through a recording one.
# Prints the time of each part at the end.
#
#   scripts/test.sh           everything
#   scripts/test.sh --quick   the native build and its tests alone, for the minute-to-minute
#                             loop (run scripts/setup.sh once first)
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

started=$(date +%s)
step_name=
step_started=
times=()
finish_step() {
    [ -n "$step_name" ] && times+=("$(printf '%-34s %5d s' "$step_name" $(($(date +%s) - step_started)))")
    return 0
}
step() {
    finish_step
    step_name=$*
    step_started=$(date +%s)
    printf '\n==== %s\n' "$*"
}
# The times are printed however the run ends.
print_times() {
    local status=$?
    finish_step
    step_name=
    printf '\n==== time of each part\n'
    printf '  %s\n' "${times[@]}"
    printf '  %-34s %5d s\n' "all" $(($(date +%s) - started))
    if [ "$status" = 0 ]; then
        printf '\n==== all tests passed\n'
    else
        printf '\n==== FAILED in: %s\n' "${failed_step:-?}"
    fi
}
trap 'failed_step=$step_name' ERR
trap print_times EXIT

if [ -z "$quick" ]; then
    step "setting up"
    scripts/setup.sh
fi

step "native build and tests"
cmake --preset native >/dev/null
cmake --build --preset native -j"$jobs"
ctest --test-dir build/native --output-on-failure -j"$jobs"
# The quick loop stops here; the trap still prints its time.
[ -n "$quick" ] && exit 0
# serve's page in headless Chromium (scripts/browser_tests.sh) is not run here yet: about one run
# in three the page stops receiving the server's state a few seconds in, and until that is
# understood it would fail the suite at random. Run it by hand; docs/contributing.md says more.

step "sanitizers"
cmake --preset sanitize >/dev/null
cmake --build --preset sanitize -j"$jobs"
ctest --test-dir build/sanitize --output-on-failure -j"$jobs"

step "fuzzing every parser"
scripts/fuzz.sh "${CUEBOX_FUZZ_SECONDS:-30}"

step "win32 deliverable"
cmake --preset win32 >/dev/null
cmake --build --preset win32 -j"$jobs"
cmake --build --preset win32 --target inspect
cmake --build --preset win32 --target package

step "win32 test programs (i686)"
cmake --preset win32-tests >/dev/null
cmake --build --preset win32-tests -j"$jobs" --target conformance_tests sound_tests \
    dsound_probe dsound_play recording_dsound

step "win64 build"
cmake --preset win64 >/dev/null
cmake --build --preset win64 -j"$jobs"

step "Wine: win64, and the win32 package"
scripts/wine_tests.sh --win64 build/win64 \
    --win32 build/win32-tests build/win32/cuebox-2.11-win32.zip
