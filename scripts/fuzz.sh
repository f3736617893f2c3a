#!/bin/bash
# Builds the fuzz targets with the fuzz preset (clang, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each for a bounded time.
#   scripts/fuzz.sh [SECONDS] [TARGET...]     default: 30 seconds, every target
# Targets: the names of fuzz/*_fuzz.cpp without "_fuzz" (wave_reader, profile, scenario, ...).
# Each target keeps a corpus in build/fuzz/corpus/TARGET and starts from its seeds and
# dictionary (fuzz/seeds, fuzz/dictionaries). Prints, per target, the executions and the edges
# covered at the start and at the end; exits non-zero when any target finds a crash, a leak, a
# hang or runs out of memory, with the inputs in build/fuzz/artifacts/TARGET.
# CUEBOX_FUZZ_JOBS: targets run at once (default: the number of cores).
# CUEBOX_FUZZ_PLATEAU: a target stops early once it has found no new coverage for this many
# seconds (default 10; 0: each runs its whole time), so the time goes where coverage still grows.
# CUEBOX_FUZZ_PRESET: the preset that builds the targets (default fuzz; the sanitize preset
# builds them too, beside the sanitized tests). CUEBOX_FUZZ_BUILD: another build folder than
# the preset's. CUEBOX_FUZZ_NO_DICT=1 leaves the dictionaries out, to measure what they bring.
set -uo pipefail

seconds=${1:-30}
shift || true
root=$(cd "$(dirname "$0")/.." && pwd)
preset=${CUEBOX_FUZZ_PRESET:-fuzz}
build=${CUEBOX_FUZZ_BUILD:-$root/build/$preset}
jobs=${CUEBOX_FUZZ_JOBS:-$(nproc)}
plateau=${CUEBOX_FUZZ_PLATEAU:-10}

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    for source in "$root"/fuzz/*_fuzz.cpp; do
        name=$(basename "$source" _fuzz.cpp)
        targets+=("$name")
    done
fi

cmake --preset "$preset" -S "$root" -B "$build" >/dev/null || exit 2
if ! cmake --build "$build" -j "$(nproc)" --target "${targets[@]}" >"$build/build.log" 2>&1; then
    tail -n 30 "$build/build.log" >&2
    echo "fuzz: the targets do not build" >&2
    exit 2
fi

# Inputs go through files for the targets that read files; tmpfs keeps them off the disk.
input_folder=/dev/shm
[ -w "$input_folder" ] || input_folder=${TMPDIR:-/tmp}
export CUEBOX_FUZZ_INPUT=$input_folder/cuebox_fuzz_$$
trap 'rm -f "$CUEBOX_FUZZ_INPUT".*' EXIT

# Seeds beyond fuzz/seeds/TARGET that the project already holds.
extra_seeds() {
    case $1 in
        scenario) echo "$root/tests/wine $root/demo" ;;
        ini_analysis) echo "$root/demo $root/demo/panel $root/docs/example" ;;
        panel_config) echo "$root/demo/panel" ;;
        xml_gauge) echo "$root/demo/panel $root/tests/fixtures/panel" ;;
        vars_timeline) echo "$root/demo" ;;
    esac
}

run_target() {  # $1: target; writes $build/logs/TARGET.log
    local target=$1 corpus="$build/corpus/$1" artifacts="$build/artifacts/$1"
    local log="$build/logs/$1.log" dict="$root/fuzz/dictionaries/$1.dict" options=()
    mkdir -p "$corpus" "$artifacts"
    [ -f "$dict" ] && [ "${CUEBOX_FUZZ_NO_DICT:-0}" != 1 ] && options+=("-dict=$dict")
    local seeds=()
    for folder in "$root/fuzz/seeds/$target" "$build/fuzz/seeds/$target" $(extra_seeds "$target"); do
        [ -d "$folder" ] && seeds+=("$folder")
    done
    CUEBOX_FUZZ_INPUT=$CUEBOX_FUZZ_INPUT.$target \
        "$build/fuzz/$target" -max_total_time="$seconds" -max_len=65536 -timeout=10 \
        -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$artifacts/" \
        "${options[@]}" "$corpus" "${seeds[@]}" >"$log" 2>&1 &
    local fuzzer=$! new=-1 seen quiet=0 began=$SECONDS status
    # libFuzzer prints a NEW line for each input that brings new coverage; SIGUSR1 makes it
    # stop as at the end of its time (final statistics, status 0).
    while kill -0 "$fuzzer" 2>/dev/null; do
        sleep 1
        [ "$plateau" -gt 0 ] || continue
        seen=$(grep -c $'\tNEW ' "$log")
        if [ "$seen" != "$new" ]; then
            new=$seen quiet=0
        elif grep -q 'INITED' "$log" && [ $((quiet += 1)) -ge "$plateau" ]; then
            kill -USR1 "$fuzzer" 2>/dev/null
            break
        fi
    done
    wait "$fuzzer"
    status=$?
    echo $((SECONDS - began)) >"$log.seconds"
    return $status
}

report() {  # $1: target, $2: exit status
    local log="$build/logs/$1.log" start end executions
    start=$(grep -m1 -o 'INITED cov: [0-9]*' "$log" | grep -o '[0-9]*$')
    end=$(grep -o 'cov: [0-9]*' "$log" | tail -n 1 | grep -o '[0-9]*$')
    executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    printf '%-13s %10s executions in %3s s  edges %5s at the start, %5s at the end' "$1" \
        "${executions:-?}" "$(cat "$log.seconds" 2>/dev/null)" "${start:-?}" "${end:-?}"
    if [ "$2" -ne 0 ]; then
        printf '  FOUND A PROBLEM (exit %s): inputs in %s\n' "$2" "$build/artifacts/$1"
        grep -m3 -E 'ERROR|SUMMARY|deadly|Timeout|out-of-memory' "$log" | sed 's/^/    /'
    else
        printf '\n'
    fi
}

mkdir -p "$build/logs"
status=0
pids=()
names=()
for target in "${targets[@]}"; do
    if [ ! -x "$build/fuzz/$target" ]; then
        echo "fuzz: no target $target" >&2
        exit 2
    fi
    run_target "$target" &
    pids+=($!)
    names+=("$target")
    # At most $jobs at once: wait for the oldest before starting more.
    if [ ${#pids[@]} -ge "$jobs" ]; then
        wait "${pids[0]}"; result=$?
        report "${names[0]}" "$result"
        [ "$result" -ne 0 ] && status=1
        pids=("${pids[@]:1}")
        names=("${names[@]:1}")
    fi
done
for i in "${!pids[@]}"; do
    wait "${pids[$i]}"; result=$?
    report "${names[$i]}" "$result"
    [ "$result" -ne 0 ] && status=1
done
exit "$status"
