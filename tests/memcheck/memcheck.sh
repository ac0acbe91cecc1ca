#!/usr/bin/env bash
# Runs three scans under valgrind's memcheck and fails on any memory error:
# a successful scan, a failed load and an instrument.
# Usage: memcheck.sh <scanner> <effect plug-in> <instrument plug-in>
set -uo pipefail
scanner=$1 effect=$2 instrument=$3

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
echo "not a library" > "$work/notes.so"

status=0
check() { # <expected exit code> <plug-in path>
    XDG_CONFIG_HOME="$work/config" valgrind --quiet --error-exitcode=97 --leak-check=no \
        --log-file="$work/valgrind.log" "$scanner" "$2" 2>/dev/null
    local code=$?
    if [ "$code" -ne "$1" ]; then
        echo "FAIL: $2: exit code $code, expected $1"
        cat "$work/valgrind.log"
        status=1
    else
        echo "PASS: $2"
    fi
}

check 0 "$effect"
check 5 "$work/notes.so"
check 0 "$instrument"
exit $status
