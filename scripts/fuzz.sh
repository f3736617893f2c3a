#!/bin/bash
# Builds the WAV reader's fuzz target with the fuzz preset and runs it for a bounded time.
#   scripts/fuzz.sh [SECONDS]      default 60
# CUEBOX_FUZZ_BUILD names another build folder than build/fuzz. Prints the number of
# executions at the end; exits non-zero when the fuzzer finds a crash, a leak or a hang.
set -euo pipefail

seconds=${1:-60}
root=$(cd "$(dirname "$0")/.." && pwd)
build=${CUEBOX_FUZZ_BUILD:-$root/build/fuzz}

cmake --preset fuzz -S "$root" -B "$build" > /dev/null
cmake --build "$build" --target wave_reader_fuzz wave_reader_seeds -j "$(nproc)" > /dev/null

seeds=$build/fuzz_seeds
corpus=$build/fuzz_corpus
artifacts=$build/fuzz_artifacts
mkdir -p "$seeds" "$corpus" "$artifacts"
"$build/fuzz/wave_reader_seeds" "$seeds"

# Each input is written to this file for the reader to open; tmpfs keeps that off the disk.
input_folder=/dev/shm
[ -w "$input_folder" ] || input_folder=${TMPDIR:-/tmp}
export CUEBOX_FUZZ_INPUT=$input_folder/cuebox_fuzz_$$.wav
trap 'rm -f "$CUEBOX_FUZZ_INPUT"' EXIT

log=$build/fuzz.log
status=0
"$build/fuzz/wave_reader_fuzz" -max_total_time="$seconds" -max_len=65536 -timeout=10 \
    -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$artifacts/" \
    "$corpus" "$seeds" > "$log" 2>&1 || status=$?

tail -n 20 "$log"
executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
echo "executions: ${executions:-unknown}"
if [ "$status" -ne 0 ]; then
    echo "the fuzzer found a problem (exit $status); inputs are in $artifacts" >&2
fi
exit "$status"
