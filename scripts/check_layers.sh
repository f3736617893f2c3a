#!/usr/bin/env bash
# Fails when a folder includes one above it. The order, from the bottom: platform, sound,
# control, module, panel, host, tools. Two meetings are allowed: control/ reaches the host's
# records only through module/host_panel.h, and panel/ (an author's files, knowing nothing of
# the module) reaches platform/ alone below it.
set -euo pipefail
root=${1:-$(cd "$(dirname "$0")/.." && pwd)}
cd "$root"
order=(platform sound control module panel host tools)
rank() { local i; for i in "${!order[@]}"; do [ "${order[$i]}" = "$1" ] && echo "$i" && return; done; echo -1; }

status=0
for folder in "${order[@]}"; do
    mine=$(rank "$folder")
    while IFS=: read -r file line target; do
        used=${target%%/*}
        theirs=$(rank "$used")
        [ "$theirs" -lt 0 ] && continue
        allowed=1
        [ "$theirs" -gt "$mine" ] && allowed=0
        [ "$folder" = control ] && [ "$target" = module/host_panel.h ] && allowed=1
        [ "$folder" = panel ] && [ "$used" != panel ] && [ "$used" != platform ] && allowed=0
        if [ "$allowed" = 0 ]; then
            echo "$file:$line: $folder/ includes $target, from a folder it may not use"
            status=1
        fi
    done < <(grep -rnoE '^#include "[a-z_]+/[^"]+"' "$folder" --include='*.h' --include='*.cpp' |
             sed -E 's/#include "([^"]+)"/\1/')
done
[ "$status" = 0 ] && echo "every folder includes only the folders below it"
exit "$status"
