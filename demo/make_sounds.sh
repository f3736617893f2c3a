#!/usr/bin/env bash
# Makes the demo's sound set with sox: distinct tones and chimes, so the rendered demo shows
# which slot sounds when. Usage: make_sounds.sh ROOT
set -euo pipefail
root=$1
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$root/Gauges" "$root/Sound/jvb" "$root/Sound/Cockpit"
cp "$here/jvb_cuebox.ini" "$root/Gauges/jvb_cuebox.ini"
# Slot 0 by the default naming rule; the others from the INI file, one in a Windows-style path.
sox -q -n -r 22050 -b 16 -c 1 "$root/Sound/jvb/jvb_xml_00.wav" synth 0.4 sine 880 fade 0.01 0.4 0.1
sox -q -n -r 44100 -b 16 -c 2 "$root/Sound/Cockpit/Gear.WAV" synth 1.2 pluck C4 pluck E4 fade 0 1.2 0.6
sox -q -n -r 22050 -b 8 -c 1 "$root/Sound/Cockpit/stall.wav" synth 0.5 square 600 vol 0.3
sox -q -n -r 11025 -b 16 -c 1 "$root/Sound/Cockpit/chime.wav" synth 0.8 pluck A5 fade 0 0.8 0.5
sox -q -n -r 22050 -b 16 -c 1 "$root/Sound/Cockpit/engine.wav" synth 1.0 sawtooth 110 vol 0.4
