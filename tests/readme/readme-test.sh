#!/usr/bin/env bash
# Runs the README's sample ombrel-scan session (the commands after each "$ "
# in the block that starts with the scan of the example and the test
# plug-ins) and compares what they print with what the README shows, so the
# two cannot drift apart. Only what differs between runs is masked: when a
# plug-in was scanned, the scanner's path in --log, and what protection
# this machine allows. The same for the README's --help block, all but the
# defaults that depend on the machine (processors, home, install place).
# Usage: readme-test.sh <source dir> <build dir>
set -euo pipefail
source=$1 build=$2
first='$ build/default/ombrel-scan --timeout 2 build/default/example build/default/tests/plugins'

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The README's paths, whatever this build is called; a cache of its own.
mkdir "$work/build"
ln -s "$build" "$work/build/default"
export XDG_CACHE_HOME=$work/cache
# Written to a pipe, the table is cut to COLUMNS alone; the README's is whole.
unset COLUMNS
# A sanitizer build must still let the crashing plug-ins crash.
export ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}handle_segv=0

# What protected the scans is what this machine allows (no sandbox in a
# container or a chroot); the notice of that goes too.
mask() {
    sed -E -e 's/^scanned: .*/scanned: <when>/' -e 's/^scanner: .*/scanner: <scanner>/' \
        -e 's/^Protection: .*/Protection: <what this machine allows>/' -e 's/^protection: .*/protection: <what>/' \
        -e '/^ombrel-scan: no sandbox: /d'
}

# The session: from its first command to the end of its code block.
awk -v first="$first" '$0 == first { on = 1 } on && /^```/ { exit } on' "$source/README.md" > "$work/session"
[ -s "$work/session" ] || { echo "FAIL: README.md shows no line: $first"; exit 1; }

status=0 expected= command=
check() {
    [ -n "$command" ] || return 0
    actual=$(cd "$work" && bash -c "$command" 2>&1 | mask) || true
    if [ "$actual" = "$(mask <<<"$expected")" ]; then
        echo "PASS: $command"
    else
        echo "FAIL: $command prints, where the README shows something else:"
        diff <(mask <<<"$expected") <(echo "$actual") || true
        status=1
    fi
}
while IFS= read -r line; do
    if [[ $line == '$ '* ]]; then
        check
        command=${line#\$ } expected=
    else
        expected+=${expected:+$'\n'}$line
    fi
done < "$work/session"
check

# --help, as an installed ombrel-scan prints it.
help_mask() {
    sed -E -e 's/\(default: [0-9]+, the number of processors\)/(default: <n>, the number of processors)/' \
        -e 's#the cache file \(default: .*\)#the cache file (default: <cache>)#' \
        -e 's#the native scanner to run \(default: .*,$#the native scanner to run (default: <beside>,#' \
        -e 's#^( +)else /.*/OmbrelPluginScanner;$#\1else <libexec>;#' \
        -e 's#here: [^)]*\)#here: <this machine>)#' -e 's#^else /.*\.$#else <usual folders>.#'
}
awk '$0 == "$ ombrel-scan --help" { on = 1; next } on && /^```/ { exit } on' "$source/README.md" > "$work/help"
[ -s "$work/help" ] || { echo "FAIL: README.md shows no ombrel-scan --help block"; exit 1; }
if diff <(help_mask < "$work/help") <("$build/ombrel-scan" --help | help_mask); then
    echo "PASS: ombrel-scan --help"
else
    echo "FAIL: ombrel-scan --help prints, where the README shows something else (above)"
    status=1
fi
exit "$status"
