#!/usr/bin/env bash
# The main job: builds cuebox, makes the demo panel's sound set, and runs the demo scenario
# through the module, rendering demo.wav and printing what happened; then flies the example
# panel (demo/panel: panel.cfg and two XML gauges, one of them in a cabinet file) along the
# timeline demo/flight.csv, rendering demo-panel.wav. `--live` plays both on the sound card
# instead.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
scripts/setup.sh
cmake --preset native >/dev/null
cmake --build --preset native -j"$(nproc)" --target cuebox jvb_cuebox2 demo_cabinet >/dev/null
root=build/demo
rm -rf "$root"
demo/make_sounds.sh "$root"
demo/make_panel.sh "$root" build/native/demo/demo_warnings.cab
panel=(--panel 'Aircraft\Demo\panel\panel.cfg' --vars demo/flight.csv)
if [ "${1:-}" = "--live" ]; then
    build/native/tools/cuebox run demo/demo.scn --root "$root" --live
    build/native/tools/cuebox run demo/flight.scn --root "$root" --live "${panel[@]}"
else
    build/native/tools/cuebox run demo/demo.scn --root "$root" --out demo.wav \
        --timeline demo.svg
    echo "demo: rendered demo.wav and drew demo.svg"
    echo
    echo "demo: the example panel's flight"
    build/native/tools/cuebox run demo/flight.scn --root "$root" --out demo-panel.wav \
        --timeline demo-panel.svg "${panel[@]}"
    echo "demo: rendered demo-panel.wav and drew demo-panel.svg"
fi
