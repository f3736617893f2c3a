#!/bin/sh
# The mutation sweep: applies each single-line change of tests/mutants.txt to a private copy of
# the tree (build/mutants), rebuilds the native build there, runs its tests, and prints the
# changes no test noticed, the entries that no longer match the code, and as its last line the
# share noticed. Takes minutes; not part of scripts/test.sh or CI.
#   scripts/mutants.sh                  every entry
#   scripts/mutants.sh NAME...          only these entries
#   scripts/mutants.sh --check          only list the entries that no longer match
#   scripts/mutants.sh --help           the other options
exec python3 "$(dirname "$0")/mutants.py" "$@"
