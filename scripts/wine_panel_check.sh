#!/usr/bin/env bash
# The panel preview of a Windows cuebox.exe against the Linux build's: both fly the example
# panel (demo/panel, demo/flight.scn along demo/flight.csv; the zip's example folder for the
# zip's cuebox.exe) with `run --panel --vars`, and check it with `check --panel`; the Windows run must send the same commands at the same updates, and
# its check must find the same. Called by scripts/wine_tests.sh for the win64 build and for the
# release zip's 32-bit cuebox.exe; runs alone as well.
#
# Usage: wine_panel_check.sh LABEL LOADER PREFIX CUEBOX_EXE NATIVE_BUILD WORK
#   LOADER        the Wine loader (wine64, or the 32-bit one)
#   PREFIX        the Wine prefix to run in (made and set up by the caller)
#   CUEBOX_EXE    the cuebox.exe under test, with its jvb_cuebox2.gau beside it
#   NATIVE_BUILD  the Linux build (build/native): its cuebox, and the example panel's cabinet
#   WORK          a folder of this run's own (the root, the outputs)
# Prints PASS/FAIL lines as wine_tests.sh does; exits 0 when all passed, 1 when one failed,
# 2 when it could not run. WINE_PROGRAM_SECONDS (300) limits each Windows program.
set -uo pipefail

[ $# -eq 6 ] || { sed -n 8,14p "$0" >&2; exit 2; }
label=$1 loader=$2 prefix=$3 exe=$4 native=$5 work=$6
source_dir=$(cd "$(dirname "$0")/.." && pwd)
limit=${WINE_PROGRAM_SECONDS:-300}
export WINEPREFIX=$prefix
failed=0

die() { printf 'wine_panel_check: %s\n' "$*" >&2; exit 2; }
pass() { printf 'PASS %s %s\n' "$label" "$*"; }
fail() { printf 'FAIL %s %s\n' "$label" "$*"; failed=1; }
winpath() { printf 'Z:%s' "${1//\//\\}"; }

for file in "$exe" "$native/tools/cuebox" "$native/demo/demo_warnings.cab"; do
    [ -f "$file" ] || die "$file not found (build the native targets cuebox and demo_cabinet)"
done
mkdir -p "$work" || die "cannot make $work"
work=$(cd "$work" && pwd)

# One root for both builds: the release zip's own example folder when cuebox.exe comes with
# one (its flight beside it), otherwise one laid out as the demo lays it.
example=$(dirname "$exe")/example
if [ -f "$example/flight.scn" ] && [ -f "$example/flight.csv" ]; then
    root=$(cd "$example" && pwd)
    scenario=$root/flight.scn
    timeline=$root/flight.csv
else
    root=$work/root
    scenario=$source_dir/demo/flight.scn
    timeline=$source_dir/demo/flight.csv
    rm -rf "$root"
    "$source_dir/demo/make_sounds.sh" "$root" >"$work/make_root.log" 2>&1 &&
        "$source_dir/demo/make_panel.sh" "$root" "$native/demo/demo_warnings.cab" \
            >>"$work/make_root.log" 2>&1 ||
        die "the example root could not be made: $(tail -1 "$work/make_root.log")"
fi

panel='Aircraft\Demo\panel\panel.cfg'
linux() { "$native/tools/cuebox" "$@"; }
windows() { timeout -k 10 "$limit" "$loader" "$exe" "$@" 2>&1 | tr -d '\r' | grep -v '^ALSA lib '; }

# The commands of a run: what the timeline set, what each gauge wrote, what the module read and
# wrote back, and the clicks, each with its update. The module's sound calls are left out: only
# our own platform layer traces them.
commands() { grep -E '^update +[0-9]+ +[0-9.]+ s  (set|gauge|click|read|write) ' "$1"; }

linux run "$scenario" --root "$root" --panel "$panel" --vars "$timeline" >"$work/run.linux" 2>&1
linux_status=$?
windows run "$(winpath "$scenario")" --root "$(winpath "$root")" --panel "$panel" \
    --vars "$(winpath "$timeline")" >"$work/run.windows"
windows_status=${PIPESTATUS[0]}
commands "$work/run.linux" >"$work/commands.linux"
commands "$work/run.windows" >"$work/commands.windows"
writes=$(grep -c ' gauge .* writes ' "$work/commands.linux")
if [ "$linux_status" != 0 ] || [ "$writes" -lt 1 ]; then
    fail "run --panel --vars: the Linux build's run is no reference (exit $linux_status, $writes gauge writes)"
elif [ "$windows_status" != 0 ]; then
    fail "run --panel --vars: cuebox.exe exit $windows_status"
    tail -3 "$work/run.windows" | sed 's/^/    /'
elif ! diff "$work/commands.linux" "$work/commands.windows" >"$work/commands.diff"; then
    fail "run --panel --vars: other commands than the Linux build's"
    head -8 "$work/commands.diff" | sed 's/^/    /'
else
    pass "run --panel --vars: the same $(wc -l <"$work/commands.linux") commands at the same updates ($writes gauge writes) as the Linux build"
fi

# What check finds, without the lines that name the root or a file as each system spells it.
findings() {
    sed -e '/^root /d' -e 's/^\(INI file .*)\) -> .*/\1/' -e 's/ -> .*$//' "$1"
}
linux check --root "$root" --panel "$panel" >"$work/check.linux" 2>&1
linux_status=$?
windows check --root "$(winpath "$root")" --panel "$panel" >"$work/check.windows"
windows_status=${PIPESTATUS[0]}
findings "$work/check.linux" >"$work/findings.linux"
findings "$work/check.windows" >"$work/findings.windows"
if ! grep -q '^  panel .*XML gauge' "$work/check.linux"; then
    fail "check --panel: the Linux build's check read no panel (exit $linux_status)"
elif [ "$windows_status" != "$linux_status" ]; then
    fail "check --panel: cuebox.exe exit $windows_status, the Linux build's $linux_status"
    grep -E '^device|problem' "$work/check.windows" | head -4 | sed 's/^/    /'
elif ! diff "$work/findings.linux" "$work/findings.windows" >"$work/findings.diff"; then
    fail "check --panel: other findings than the Linux build's"
    head -8 "$work/findings.diff" | sed 's/^/    /'
else
    pass "check --panel: the same findings as the Linux build ($(tail -1 "$work/check.linux"))"
fi
exit "$failed"
