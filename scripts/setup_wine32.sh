#!/usr/bin/env bash
# Makes this x86_64 Linux machine run the 32-bit Windows files (the deliverable's own
# cuebox.exe and jvb_cuebox2.gau) under 32-bit Wine. The kernel runs no 32-bit code here, so
# Wine's 32-bit loader runs under QEMU's user-mode emulation:
#   1. the i386 architecture in dpkg, and the packages qemu-user (from the release's backports
#      suite, see below) and wine32;
#   2. binfmt_misc mounted where the kernel expects it;
#   3. an i386 ELF entry for that qemu-i386 with the F flag (the emulator is opened once, at
#      registration, so it works inside any root), which Debian does not register on an x86_64
#      machine. An older qemu-i386 entry is replaced.
#
# Which QEMU: 10.0 or newer (bookworm-backports has 10.0.2). Debian 12's own qemu-i386-static
# 7.2 kills a 32-bit process that raises a Windows exception while a second thread runs, and
# Wine's own DirectSound always runs threads of its own (tests/wine/README.md has the small
# programs that show it); 7.2 also takes about 50 s to start each 32-bit process, 10.0 about 2.
# The backports suite is added from the machine's own apt sources (the same mirror as the
# release), and pinned so that only the QEMU user-mode packages come from it.
#
# Idempotent: it changes nothing that is already in place, and says what it cannot do.
# (QEMU 10 also maps Wine's shared user data without QEMU_RESERVED_VA, which 7.2 needed.)
# `--check` only tells whether everything is in place (exit 0) or what is missing (exit 1).
set -uo pipefail

BINFMT=/proc/sys/fs/binfmt_misc
QEMU=/usr/bin/qemu-i386
QEMU_NEEDED=10.0
ENTRY=qemu-i386
# An i386 program to ask the registered emulator its version with (QEMU_VERSION=1 makes QEMU
# print it and exit before loading the program): wine32's own loader.
PROBE=/usr/lib/wine/wine
# The i386 ELF executable header (class 32-bit, little-endian, type EXEC or DYN, machine 3), as
# the QEMU project registers it.
MAGIC='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
MASK='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
MAGIC_HEX=7f454c4601010100000000000000000002000300
SOURCES_FILE=/etc/apt/sources.list.d/cuebox-backports.sources
PIN_FILE=/etc/apt/preferences.d/cuebox-backports
QEMU_PACKAGES="qemu-user qemu-user-static qemu-user-binfmt"

say() { printf 'setup_wine32: %s\n' "$*" >&2; }

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }
# Whether version $1 is at least $2 (dotted numbers).
at_least() { [ "$(printf '%s\n%s\n' "$2" "$1" | sort -V | head -1)" = "$2" ]; }

CODENAME=$(. /etc/os-release 2>/dev/null && printf '%s' "${VERSION_CODENAME:-}")
BACKPORTS=${CODENAME}-backports

# The version of the emulator the kernel hands i386 programs to now, or nothing.
served_version() {
    [ -x "$PROBE" ] || return 1
    QEMU_VERSION=1 "$PROBE" 2>/dev/null | sed -n 's/^qemu-i386 version \([0-9.]*\).*/\1/p'
}

# Enabled binfmt entries that claim i386 ELF programs, one "name interpreter flags" a line.
i386_entries() {
    local entry
    [ -r "$BINFMT/status" ] || return 0
    for entry in "$BINFMT"/*; do
        case "$(basename "$entry")" in status | register) continue ;; esac
        [ -f "$entry" ] && grep -q '^enabled' "$entry" && grep -q "^magic $MAGIC_HEX" "$entry" ||
            continue
        printf '%s %s %s\n' "$(basename "$entry")" \
            "$(sed -n 's/^interpreter //p' "$entry")" "$(sed -n 's/^flags: //p' "$entry")"
    done
}

# Ours and only ours: the one entry for i386 programs is $QEMU with F, and what it serves is
# new enough (F holds the file opened at registration, so an upgrade alone changes nothing).
registered() {
    local entries version
    entries=$(i386_entries)
    [ "$entries" = "$ENTRY $QEMU F" ] || return 1
    version=$(served_version) && [ -n "$version" ] && at_least "$version" "$QEMU_NEEDED"
}

qemu_version_installed() {
    dpkg-query -W -f='${Version}' qemu-user 2>/dev/null | sed 's/^[0-9]*://; s/[+~-].*//'
}

missing() {  # prints what is missing, one item a line
    local version
    dpkg --print-foreign-architectures | grep -qx i386 || echo "the i386 architecture in dpkg"
    version=$(installed qemu-user && qemu_version_installed)
    if [ -z "$version" ]; then
        echo "the package qemu-user $QEMU_NEEDED or newer (from $BACKPORTS)"
    elif ! at_least "$version" "$QEMU_NEEDED"; then
        echo "the package qemu-user $QEMU_NEEDED or newer (from $BACKPORTS; $version is installed)"
    fi
    installed wine32:i386 || echo "the package wine32 (i386)"
    mountpoint -q "$BINFMT" || echo "binfmt_misc mounted on $BINFMT"
    if ! registered; then
        version=$(served_version)
        echo "one i386 binfmt entry, $ENTRY for $QEMU (flag F), serving QEMU $QEMU_NEEDED or" \
             "newer (now: ${version:-none}; $(i386_entries | tr '\n' ';' | sed 's/;$//'))"
    fi
}

# The release's mirror, from the machine's own apt sources (deb822 first, then one-line):
# prints "URI" and, when the entry names one, "URI KEYRING".
release_mirror() {
    local found=
    if [ -r /etc/apt/sources.list.d/debian.sources ]; then
        found=$(awk -v suite="$CODENAME" '
            function flush() {
                if (types ~ /(^| )deb( |$)/ && (" " suites " ") ~ (" " suite " ") && uri != "")
                    { print uri, key; exit }
                types = suites = uri = key = ""
            }
            /^[ \t]*#/ { next }
            /^[ \t]*$/ { flush(); next }
            tolower($1) == "types:" { types = $0; sub(/^[^:]*:[ \t]*/, "", types) }
            tolower($1) == "suites:" { suites = $0; sub(/^[^:]*:[ \t]*/, "", suites) }
            tolower($1) == "uris:" { uri = $2 }
            tolower($1) == "signed-by:" && $2 ~ /^\// { key = $2 }
            END { flush() }' /etc/apt/sources.list.d/debian.sources)
    fi
    if [ -z "$found" ] && [ -r /etc/apt/sources.list ]; then
        # deb [options] URI SUITE COMPONENT...
        found=$(awk -v suite="$CODENAME" '
            $1 != "deb" { next }
            {
                key = ""; i = 2
                if ($2 ~ /^\[/) {
                    while (i <= NF && $i !~ /\]$/) {
                        if ($i ~ /^\[?signed-by=/) { key = $i; sub(/^\[?signed-by=/, "", key) }
                        i++
                    }
                    if ($i ~ /^\[?signed-by=/) { key = $i; sub(/^\[?signed-by=/, "", key) }
                    sub(/\]$/, "", key)
                    i++
                }
                if ($(i + 1) == suite) { print $i, key; exit }
            }' /etc/apt/sources.list)
    fi
    [ -n "$found" ] && printf '%s\n' "$found"
}

# Writes $2 into $1 unless it holds exactly that already; says whether it changed (exit 0).
write_if_changed() {
    [ -f "$1" ] && [ "$(cat "$1")" = "$2" ] && return 1
    printf '%s\n' "$2" >"$1"
}

if [ "${1:-}" = "--check" ]; then
    what=$(missing)
    [ -z "$what" ] && exit 0
    say "32-bit Wine is not ready; missing:"
    printf '%s\n' "$what" | sed 's/^/  - /' >&2
    exit 1
fi

[ -z "$(missing)" ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
    if command -v sudo >/dev/null && sudo -n true 2>/dev/null; then
        exec sudo -n "$0" "$@"
    fi
    say "root is needed to set up 32-bit Wine (dpkg architecture, apt sources, packages," \
        "binfmt_misc); missing:"
    missing | sed 's/^/  - /' >&2
    say "run this script as root (or with sudo), then the tests again"
    exit 1
fi

if ! dpkg --print-foreign-architectures | grep -qx i386; then
    say "adding the i386 architecture to dpkg"
    dpkg --add-architecture i386 || { say "dpkg --add-architecture i386 failed"; exit 1; }
fi

# The backports suite, for QEMU only. Every other package keeps the release's version: the pin
# of -1 forbids backports versions of anything but the QEMU user-mode packages.
[ -n "$CODENAME" ] || { say "/etc/os-release names no release (VERSION_CODENAME)"; exit 1; }
read -r MIRROR KEYRING <<<"$(release_mirror)"
if [ -z "${MIRROR:-}" ]; then
    say "no 'deb' source for $CODENAME in /etc/apt/sources.list.d/debian.sources or" \
        "/etc/apt/sources.list: cannot tell which mirror carries $BACKPORTS"
    exit 1
fi
case "$MIRROR" in
    http://* | https://* | file:/* | mirror+*) ;;
    *) say "the release's source $MIRROR cannot carry $BACKPORTS"; exit 1 ;;
esac
sources="# QEMU user-mode emulation from $BACKPORTS for cuebox's 32-bit Wine tests
# (scripts/setup_wine32.sh); the mirror is the release's own.
Types: deb
URIs: $MIRROR
Suites: $BACKPORTS
Components: main"
[ -n "${KEYRING:-}" ] && sources+=$'\n'"Signed-By: $KEYRING"
pin="# cuebox (scripts/setup_wine32.sh): only QEMU user-mode emulation from $BACKPORTS.
Package: $QEMU_PACKAGES
Pin: release n=$BACKPORTS
Pin-Priority: 500

Package: *
Pin: release n=$BACKPORTS
Pin-Priority: -1"
changed=0
if write_if_changed "$SOURCES_FILE" "$sources"; then
    say "added $BACKPORTS ($MIRROR) in $SOURCES_FILE"
    changed=1
fi
if write_if_changed "$PIN_FILE" "$pin"; then
    say "pinned $BACKPORTS to the QEMU packages only in $PIN_FILE"
    changed=1
fi

packages=()
version=$(installed qemu-user && qemu_version_installed)
{ [ -n "$version" ] && at_least "$version" "$QEMU_NEEDED"; } || packages+=(qemu-user)
installed wine32:i386 || packages+=(wine32:i386)
if [ ${#packages[@]} -gt 0 ] || [ "$changed" = 1 ]; then
    # A mirror in the middle of a sync serves an index whose size does not match its Release
    # file ("Mirror sync in progress?"), sometimes for days, and apt-get update then fails though
    # it still has every other index. Try twice, then go on with what apt has: the install below
    # fails clearly if that is not enough.
    if ! apt-get update -qq; then
        say "apt-get update failed; trying again in 30 s"
        sleep 30
        apt-get update -qq || say "apt-get update failed again; going on with the indexes apt has"
    fi
fi
if [ ${#packages[@]} -gt 0 ]; then
    candidate=$(apt-cache policy qemu-user | sed -n 's/^ *Candidate: *[0-9]*:\{0,1\}//p' |
                sed 's/[+~-].*//')
    if [ -z "$candidate" ] || [ "$candidate" = "(none)" ] || ! at_least "$candidate" "$QEMU_NEEDED"; then
        say "apt offers qemu-user ${candidate:-none}, not $QEMU_NEEDED or newer: is $BACKPORTS" \
            "on $MIRROR?"
        exit 1
    fi
    # qemu-user $QEMU_NEEDED replaces Debian 12's qemu-user-static (it breaks it), which apt
    # therefore removes.
    say "installing ${packages[*]} (qemu-user $candidate from $BACKPORTS)"
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
        "${packages[@]}" >/dev/null || { say "apt-get install ${packages[*]} failed"; exit 1; }
fi

if ! mountpoint -q "$BINFMT"; then
    if ! grep -qw binfmt_misc /proc/filesystems && ! modprobe binfmt_misc 2>/dev/null; then
        say "this kernel has no binfmt_misc: it cannot hand i386 programs to $QEMU"
        exit 1
    fi
    say "mounting binfmt_misc on $BINFMT"
    mount -t binfmt_misc binfmt_misc "$BINFMT" || {
        say "binfmt_misc cannot be mounted on $BINFMT (a container without the right?)"
        exit 1
    }
fi
if ! registered; then
    [ -x "$QEMU" ] || { say "$QEMU is missing although qemu-user is installed"; exit 1; }
    # Other qemu-i386 entries go (an older emulator's, or ours from before an upgrade); an entry
    # for i386 programs that is not QEMU's is someone else's, and left alone.
    while read -r name interpreter _; do
        [ -n "$name" ] || continue
        case "$interpreter" in
            */qemu-i386*)
                say "removing the binfmt entry $name ($interpreter, QEMU $(served_version))"
                echo -1 >"$BINFMT/$name" || { say "cannot remove the binfmt entry $name"; exit 1; }
                ;;
            *)
                say "the binfmt entry $name hands i386 programs to $interpreter, not QEMU:" \
                    "remove it ($BINFMT/$name) to run 32-bit Wine here"
                exit 1
                ;;
        esac
    done <<<"$(i386_entries)"
    if [ -e "$BINFMT/$ENTRY" ]; then
        # A disabled entry of that name: not knowing whose it is, leave it to the user.
        say "a disabled binfmt entry $ENTRY exists:"
        sed 's/^/  /' "$BINFMT/$ENTRY" >&2
        exit 1
    fi
    say "registering i386 ELF programs for $QEMU (flag F)"
    printf ':%s:M::%s:%s:%s:F' "$ENTRY" "$MAGIC" "$MASK" "$QEMU" >"$BINFMT/register" || {
        say "the kernel refused the binfmt entry"; exit 1; }
fi

what=$(missing)
if [ -n "$what" ]; then
    say "still missing after set-up:"
    printf '%s\n' "$what" | sed 's/^/  - /' >&2
    exit 1
fi
say "32-bit Wine ready (QEMU $(served_version) for i386 programs)"
