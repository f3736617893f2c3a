#!/usr/bin/env bash
# Lays the demo panel into a simulator root that make_sounds.sh made: panel.cfg under the
# aircraft's folder, the gear and flaps gauge in a folder, the warnings gauge in the cabinet
# built by CMake, the panel's INI file, its flaps sound and the window's background bitmap
# (24-bit BMP, drawn with ImageMagick; its pure black strip is transparent in the simulator).
# Usage: make_panel.sh ROOT CABINET
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
# The main window: 1024 design units wide (size_mm), 4:1, with a dark bezel behind each gauge.
convert -size 1024x256 xc:'#4a525c' -fill '#2b3036' \
    -draw 'roundrectangle 4,4 76,76 6,6' -draw 'roundrectangle 74,4 146,76 6,6' \
    -fill '#6b7580' -draw 'rectangle 0,232 1024,236' -fill '#c8d0d8' -pointsize 22 \
    -draw "text 180,40 'cuebox demo panel'" -fill '#9aa4ae' -pointsize 14 \
    -draw "text 180,64 'gear and flaps, stall warning and its test button'" \
    -fill black -draw 'rectangle 0,240 1024,256' \
    BMP3:"$root/Aircraft/Demo/panel/panel_background.bmp"
