#!/usr/bin/env bash
# The main job: builds cuebox, makes the demo panel's sound set, and runs the demo scenario
# through the module, rendering demo.wav and printing what happened. `--live` plays it on the
# sound card instead.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
scripts/setup.sh
cmake --preset native >/dev/null
cmake --build --preset native -j"$(nproc)" --target cuebox jvb_cuebox2 >/dev/null
root=build/demo
rm -rf "$root"
demo/make_sounds.sh "$root"
if [ "${1:-}" = "--live" ]; then
    build/native/host/cuebox run demo/demo.scn --root "$root" --live
else
    build/native/host/cuebox run demo/demo.scn --root "$root" --out demo.wav \
        --timeline demo.svg
    echo "demo: rendered demo.wav and drew demo.svg"
fi
