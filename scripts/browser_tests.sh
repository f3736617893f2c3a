#!/usr/bin/env bash
# The preview page of `cuebox serve` in a real browser: Debian's headless Chromium driven by
# Selenium (chromium-driver), on the example panel laid into a fresh root. Needs the native
# build (build/native). Screenshots go to build/browser/; the docs' pictures are copies of two
# of them: cp build/browser/serve-stall.png docs/images/serve-panel.png and
# cp build/browser/serve-dial.png docs/images/serve-dial.png.
#   scripts/browser_tests.sh [CUEBOX]     default: build/native/tools/cuebox
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
cuebox=${1:-build/native/tools/cuebox}
out=build/browser
rm -rf "$out"
mkdir -p "$out"
demo/make_sounds.sh "$out/root" >/dev/null
demo/make_panel.sh "$out/root" build/native/demo/demo_warnings.cab
# Debian's Python: the selenium module is Debian's, not that of another python3 on PATH.
/usr/bin/python3 tests/browser/serve_page_test.py --cuebox "$cuebox" --root "$out/root" \
    --out "$out"
