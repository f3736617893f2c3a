#!/usr/bin/env bash
# Every test of the project, from a fresh machine: the native build's tests, the same under
# AddressSanitizer and UndefinedBehaviorSanitizer, a bounded fuzzing run of every parser, the
# win32 deliverable's inspection, and the win64 build's tests under wine64.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
jobs=$(nproc)

step() { printf '\n==== %s\n' "$*"; }

step "setting up"
scripts/setup.sh

step "native build and tests"
cmake --preset native >/dev/null
cmake --build --preset native -j"$jobs"
ctest --test-dir build/native --output-on-failure -j"$jobs"

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

step "win64 build under wine64"
cmake --preset win64 >/dev/null
cmake --build --preset win64 -j"$jobs"
scripts/wine_tests.sh build/win64

step "all tests passed"
