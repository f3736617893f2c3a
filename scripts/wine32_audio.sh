#!/usr/bin/env bash
# The shipped 32-bit files through Wine's own 32-bit DirectSound, its sound captured from a
# PulseAudio null sink, under QEMU's user-mode emulation: not part of scripts/test.sh, because
# under the emulator Wine's own DirectSound dies or hangs in most runs, with our module or
# without it (tests/wine/README.md). Run it to see how it goes on a machine; each part is
# repeated N times (default 3) and judged as the Wine tests judge it.
#
# Usage: scripts/wine32_audio.sh [N] [SCENARIO.scn...]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
repeat=${1:-3}
[ $# -gt 0 ] && shift
scripts/setup.sh
cmake --preset win32 >/dev/null
cmake --build --preset win32 -j"$(nproc)" --target package >/dev/null
cmake --preset win32-tests >/dev/null
cmake --build --preset win32-tests -j"$(nproc)" --target conformance_tests sound_tests \
    dsound_probe dsound_play recording_dsound >/dev/null
exec scripts/wine_tests.sh --win32 build/win32-tests build/win32/cuebox-2.11-win32.zip \
    --win32-audio --repeat "$repeat" "$@"
