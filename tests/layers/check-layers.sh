#!/usr/bin/env bash
# Fails when a layer includes a header of a layer above it or beside it.
# Allowed: scanner -> probe, store, contract; probe -> contract;
# store -> contract; launcher -> contract (the scan server's frames too);
# embed -> launcher/library and launcher/core only;
# scanserver -> scanner, contract; contract -> nothing of ours.
# Inside launcher/: ombrel-scan -> library -> files, cache, run, report ->
# core; cache -> files (file stamps); and the scan runner knows only the
# slot interface, never a slot's implementation or a process API.
set -uo pipefail
cd "$1"

# folder: the folders it must not include from
declare -A forbidden=(
    [contract]="scanner probe store launcher scanserver embed"
    [probe]="scanner store launcher embed"
    [store]="scanner probe launcher embed"
    [scanner]="launcher scanserver embed"
    [launcher]="scanner probe store scanserver embed"
    [embed]="scanner probe store scanserver launcher/files launcher/cache launcher/run launcher/report launcher/ombrel-scan"
    [launcher/core]="launcher/files launcher/cache launcher/run launcher/report launcher/library launcher/ombrel-scan"
    [launcher/files]="launcher/cache launcher/run launcher/report launcher/library launcher/ombrel-scan"
    [launcher/cache]="launcher/run launcher/report launcher/library launcher/ombrel-scan"
    [launcher/run]="launcher/files launcher/cache launcher/report launcher/library launcher/ombrel-scan"
    [launcher/report]="launcher/files launcher/cache launcher/run launcher/library launcher/ombrel-scan"
    [launcher/library]="launcher/ombrel-scan"
    [launcher/ombrel-scan]="launcher/run"
    [scanserver]="launcher probe store embed"
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
# The runner and the slot interface: no process, no implementation.
if hits=$(grep -nE '#include (<QProcess|<sys/|<unistd|<csignal|"launcher/run/(processslot|sandbox))|\b(fork|kill|waitpid)\(' \
    launcher/run/scanrunner.* launcher/run/scanslot.h launcher/run/scanverdict.*); then
    echo "the runner names a process API or a slot implementation:"
    echo "$hits"
    status=1
fi
[ "$status" = 0 ] && echo "layers: every include points down"
exit "$status"
