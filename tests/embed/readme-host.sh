#!/usr/bin/env bash
# Builds the host program of the README's "Embedding the scan in a host"
# (its first c and first cmake block, as they stand) against an install of
# this build into a temporary prefix, scans the given folders with it and
# expects the lines that ombrel-scan's JSON gives for the same folders.
# With valgrind, runs it again under memcheck: no memory error, no leak.
# Usage: readme-host.sh <build dir> <README.md> <ombrel-scan> <sanitize: ON|OFF> <valgrind or ""> <folder>...
set -euo pipefail
build=$1 readme=$2 launcher=$3 sanitize=$4 valgrind=$5
shift 5

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

cmake --install "$build" --prefix "$work/prefix" > /dev/null
mkdir "$work/scan-folders"
section() { awk '/^## Embedding the scan in a host$/ { on = 1; next } on && /^## / { exit } on' "$readme"; }
block() { section | awk -v lang="$1" '!done && $0 == "```" lang { on = 1; next } on && /^```$/ { on = 0; done = 1 } on'; }
block c > "$work/scan-folders/scan-folders.c"
block cmake > "$work/scan-folders/CMakeLists.txt"
[ -s "$work/scan-folders/scan-folders.c" ] && [ -s "$work/scan-folders/CMakeLists.txt" ] \
    || fail "no c or cmake block in the README's section"

flags=()
# For the build's own processor and word size: a 64-bit host cannot load a
# 32-bit build's library.
toolchain=$(sed -n 's/^CMAKE_TOOLCHAIN_FILE:[A-Z]*=//p' "$build/CMakeCache.txt")
[ -z "$toolchain" ] || flags+=(-DCMAKE_TOOLCHAIN_FILE="$toolchain")
if [ "$sanitize" = ON ]; then
    # The library is built with the sanitizers: their runtime must come first.
    flags+=(-DCMAKE_C_FLAGS=-fsanitize=address,undefined)
fi
cmake -S "$work/scan-folders" -B "$work/scan-folders/build" -DCMAKE_PREFIX_PATH="$work/prefix" "${flags[@]}" \
    > "$work/configure.log" 2>&1 || { cat "$work/configure.log"; fail "configuring the README's host"; }
# CMAKE_PREFIX_PATH only adds a place to look: another install (the
# system's, say) must not stand in for this one.
found=$(sed -n 's/^OmbrelScan_DIR:[A-Z]*=//p' "$work/scan-folders/build/CMakeCache.txt")
case "$found" in
"$work/prefix"/*) ;;
*) fail "the README's host found OmbrelScan in $found, not in the install of $build" ;;
esac
cmake --build "$work/scan-folders/build" > "$work/build.log" 2>&1 || { cat "$work/build.log"; fail "building it"; }
host=$work/scan-folders/build/scan-folders

# A sanitizer build must still let the crashing plug-in crash.
export ASAN_OPTIONS=handle_segv=0:detect_leaks=1
XDG_CACHE_HOME=$work/cache "$host" "$@" > "$work/lines" 2> "$work/stderr" || { cat "$work/stderr"; fail "exit $?"; }
"$launcher" --json --timeout 5 --cache "$work/expected-cache.json" "$@" > "$work/report.json" || true
python3 -c '
import json, sys
for p in json.load(open(sys.argv[1]))["plugins"]:
    print("%s\t%s\t%s" % (p["outcome"], (p.get("descriptions") or [{}])[0].get("name", ""), p["path"]))
' "$work/report.json" | sort > "$work/expected"
sort "$work/lines" > "$work/sorted"
diff "$work/expected" "$work/sorted" || fail "the README's host and ombrel-scan differ (< ombrel-scan, > host)"
grep -q "^ok	Example Gain	.*/ExampleGain.so$" "$work/lines" || fail "no Example Gain"
echo "PASS: the README's host, built against the install, printed $(wc -l < "$work/lines") lines as ombrel-scan"

[ -n "$valgrind" ] || exit 0
XDG_CACHE_HOME=$work/cache-valgrind "$valgrind" --quiet --error-exitcode=97 --leak-check=full \
    --errors-for-leak-kinds=definite --suppressions="$(dirname "$0")/qt.supp" --log-file="$work/valgrind.log" "$host" "$@" > /dev/null 2>&1 \
    || { cat "$work/valgrind.log"; fail "under valgrind"; }
echo "PASS: under valgrind, no memory error and no leak"
