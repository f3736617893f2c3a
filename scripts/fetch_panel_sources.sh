#!/usr/bin/env bash
# Fetches the Debian sources of the panel preview's libraries, tinyxml2 (XML gauges), libmspack
# (cabinet files) and cpp-httplib (serve's HTTP server), for the Windows builds: Debian ships
# them built for Linux only, so the win32 and win64 builds compile them from source into their
# own build trees. The sources are unpacked under build/sources/ (never into the repository)
# and fetched once.
#
# The deb-src entries mirror the machine's own deb entries (same mirror, suites, components and
# key), written into a sources file of our own; the system's own files are only read.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
dest="${1:-$root/build/sources}"
packages=(tinyxml2 libmspack cpp-httplib)

have_all() {
    for package in "${packages[@]}"; do
        compgen -G "$dest/$package-*/" >/dev/null || return 1
    done
}
if have_all; then
    exit 0
fi

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"

ours=/etc/apt/sources.list.d/cuebox-sources.sources
if [ ! -f "$ours" ]; then
    # Every deb822 stanza of the system's main file whose types include "deb", as "deb-src".
    system=/etc/apt/sources.list.d/debian.sources
    if [ ! -f "$system" ]; then
        echo "fetch_panel_sources: $system not found: add a deb-src entry for tinyxml2," \
             "libmspack and cpp-httplib by hand, or run on a Debian machine with deb822 sources" >&2
        exit 1
    fi
    entries="$(awk '
        BEGIN { RS = ""; ORS = "\n\n" }
        /(^|\n)Types:[^\n]*(^|[ \t])deb([ \t]|\n|$)/ {
            out = ""
            n = split($0, lines, "\n")
            for (i = 1; i <= n; i++) {
                if (lines[i] ~ /^#/) continue
                if (lines[i] ~ /^Types:/) lines[i] = "Types: deb-src"
                out = out lines[i] "\n"
            }
            printf "%s\n", out
        }' "$system")"
    if [ -z "$entries" ]; then
        echo "fetch_panel_sources: no deb entry in $system to take a deb-src entry from" >&2
        exit 1
    fi
    {
        echo "# Source packages for cuebox's Windows builds (scripts/fetch_panel_sources.sh),"
        echo "# taken from the deb entries of debian.sources."
        echo "$entries"
    } | $SUDO tee "$ours" >/dev/null
    $SUDO apt-get update -qq
fi

mkdir -p "$dest"
cd "$dest"
for package in "${packages[@]}"; do
    compgen -G "$package-*/" >/dev/null && continue
    echo "fetch_panel_sources: $package"
    # --download-only, then unpacking without the source package's signature being checked
    # against a keyring we do not have: apt has checked the files' hashes from the signed index.
    apt-get source -qq --download-only "$package" >/dev/null
    dsc="$(ls -t "$package"_*.dsc | head -n 1)"
    dpkg-source --no-check -x "$dsc" >/dev/null
done
have_all
