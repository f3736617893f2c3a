#!/usr/bin/env bash
# Lays the demo panel into a simulator root that make_sounds.sh made: panel.cfg under the
# aircraft's folder, the gear and flaps gauge in a folder, the warnings gauge in the cabinet
# built by CMake, the panel's INI file and its flaps sound. Usage: make_panel.sh ROOT CABINET
set -euo pipefail
root=$1
cabinet=$2
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$root/Aircraft/Demo/panel" "$root/Gauges/demo_sounds" "$root/Sound/Cockpit"
cp "$here/panel/panel.cfg" "$root/Aircraft/Demo/panel/panel.cfg"
cp "$here/panel/gear_flaps.xml" "$root/Gauges/demo_sounds/gear_flaps.xml"
cp "$cabinet" "$root/Gauges/demo_warnings.cab"
cp "$here/panel/demo_panel.ini" "$root/Gauges/demo_panel.ini"
sox -q -n -r 22050 -b 16 -c 1 "$root/Sound/Cockpit/flaps.wav" synth 0.9 sine 220:330 vol 0.5 \
    fade 0.05 0.9 0.2
