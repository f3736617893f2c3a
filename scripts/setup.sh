#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing cuebox need. Idempotent:
# quiet, and without touching apt, when everything is already there.
set -euo pipefail

packages=(
    cmake ninja-build g++ make python3 git       # ninja: the presets' generator
    libgtest-dev googletest libbenchmark-dev     # tests and benchmarks
    clang libclang-rt-14-dev                     # the fuzz target (libFuzzer)
    libopenal-dev libopenal1                     # sound off Windows
    sox                                          # demo sounds, reference WAV files in tests
    libtinyxml2-dev libmspack-dev gcab           # panel preview: XML gauges, cabinet files
    nlohmann-json3-dev                           # every JSON the tools write (header-only, all builds)
    mingw-w64                                    # the win32 deliverable and the win64 build
    dpkg-dev                                     # apt-get source: the panel libraries for them
    wine64 pulseaudio pulseaudio-utils           # the Windows build under Wine, sound captured
    imagemagick                                  # renders the timeline SVG for a look
    zip
    libcpp-httplib-dev                           # cuebox serve: the local HTTP server (header-only)
    chromium chromium-driver python3-selenium    # serve's page tested in a real headless browser
    python3-pil                                  # ... and its screenshots read
)

missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
        missing+=("$package")
done

if [ ${#missing[@]} -gt 0 ]; then
    echo "setup: installing ${missing[*]}"
    SUDO=""
    [ "$(id -u)" -ne 0 ] && SUDO="sudo"
    # An index that fails to download (a mirror in the middle of a sync) leaves apt with the
    # others: the install says clearly if what it needs is not among them.
    $SUDO apt-get update -qq || echo "setup: apt-get update failed; going on with the indexes apt has"
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}" >/dev/null
fi

# The Windows builds compile tinyxml2 and libmspack from their Debian sources, under build/.
"$(dirname "$0")/fetch_panel_sources.sh"

# The shipped 32-bit files run under 32-bit Wine, emulated here: its own script, which says
# what it cannot do.
"$(dirname "$0")/setup_wine32.sh"
