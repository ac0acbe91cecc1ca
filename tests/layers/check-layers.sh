#!/usr/bin/env bash
# Fails when a layer includes a header of a layer above it or beside it.
# Allowed: scanner -> probe, store, contract; probe -> contract;
# store -> contract; launcher -> contract; embed -> launcher/library and
# launcher/core only; contract -> nothing of ours.
set -uo pipefail
cd "$1"

# layer: the folders it must not include from
declare -A forbidden=(
    [contract]="scanner probe store launcher embed"
    [probe]="scanner store launcher embed"
    [store]="scanner probe launcher embed"
    [scanner]="launcher embed"
    [launcher]="scanner probe store embed"
    [embed]="scanner probe store launcher/files launcher/cache launcher/run launcher/report launcher/ombrel-scan"
)
status=0
for layer in "${!forbidden[@]}"; do
    for other in ${forbidden[$layer]}; do
        if hits=$(grep -rnE "^#include \"$other/" "$layer" --include='*.h' --include='*.cpp'); then
            echo "$layer includes $other:"
            echo "$hits"
            status=1
        fi
    done
done
[ "$status" = 0 ] && echo "layers: every include points down"
exit "$status"
