#!/usr/bin/env bash
# Makes this x86_64 Linux machine run the 32-bit Windows files (the deliverable's own
# cuebox.exe and jvb_cuebox2.gau) under 32-bit Wine. The kernel runs no 32-bit code here, so
# Wine's 32-bit loader runs under QEMU's user-mode emulation:
#   1. the i386 architecture in dpkg, and the packages qemu-user-static and wine32;
#   2. binfmt_misc mounted where the kernel expects it;
#   3. an i386 ELF entry for qemu-i386-static with the F flag (the emulator is opened once, at
#      registration, so it works inside any root), which the Debian package does not register
#      on an x86_64 machine.
# Idempotent: it changes nothing that is already in place, and says what it cannot do.
# Wine itself then needs QEMU_RESERVED_VA=0xffff0000 in its environment (scripts/wine_tests.sh
# sets it): the whole 4 GiB guest address space, or Wine fails to map its shared user data.
# `--check` only tells whether everything is in place (exit 0) or what is missing (exit 1).
set -uo pipefail

BINFMT=/proc/sys/fs/binfmt_misc
QEMU=/usr/bin/qemu-i386-static
ENTRY=qemu-i386
# The i386 ELF executable header (class 32-bit, little-endian, type EXEC or DYN, machine 3), as
# the QEMU project registers it.
MAGIC='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
MASK='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'

say() { printf 'setup_wine32: %s\n' "$*" >&2; }

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }

# An enabled entry that hands i386 programs to a qemu-i386 interpreter, whatever its name.
registered() {
    local entry
    [ -r "$BINFMT/status" ] || return 1
    for entry in "$BINFMT"/*; do
        [ -f "$entry" ] && [ "$(basename "$entry")" != status ] &&
            [ "$(basename "$entry")" != register ] || continue
        grep -q '^enabled' "$entry" && grep -q '^interpreter .*qemu-i386' "$entry" && return 0
    done
    return 1
}

missing() {  # prints what is missing, one item a line
    dpkg --print-foreign-architectures | grep -qx i386 || echo "the i386 architecture in dpkg"
    installed qemu-user-static || echo "the package qemu-user-static"
    installed wine32:i386 || echo "the package wine32 (i386)"
    mountpoint -q "$BINFMT" || echo "binfmt_misc mounted on $BINFMT"
    registered || echo "an i386 binfmt entry for $QEMU"
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
    say "root is needed to set up 32-bit Wine (dpkg architecture, packages, binfmt_misc); missing:"
    missing | sed 's/^/  - /' >&2
    say "run this script as root (or with sudo), then the tests again"
    exit 1
fi

if ! dpkg --print-foreign-architectures | grep -qx i386; then
    say "adding the i386 architecture to dpkg"
    dpkg --add-architecture i386 || { say "dpkg --add-architecture i386 failed"; exit 1; }
fi
packages=()
installed qemu-user-static || packages+=(qemu-user-static)
installed wine32:i386 || packages+=(wine32:i386)
if [ ${#packages[@]} -gt 0 ]; then
    say "installing ${packages[*]}"
    apt-get update -qq || { say "apt-get update failed"; exit 1; }
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
    [ -x "$QEMU" ] || { say "$QEMU is missing although qemu-user-static is installed"; exit 1; }
    if [ -e "$BINFMT/$ENTRY" ]; then
        # An entry of that name that is disabled or points elsewhere: enable it only if it is ours.
        say "a binfmt entry $ENTRY exists but is not an enabled qemu-i386 one:"
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
say "32-bit Wine ready"
