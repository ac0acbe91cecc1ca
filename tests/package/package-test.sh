#!/usr/bin/env bash
# Builds the Debian package, installs it into a temporary root and scans the
# example plug-in with the installed scanner, as a host would find it. Given
# an i386 build tree, also installs its package into the same root and scans
# that build's 32-bit example with the installed ombrel-scan.
# Usage: package-test.sh <build dir> <scanner dir below /usr> <example plug-in> [<i386 build dir>]
set -euo pipefail
build=$1 libexec=$2 plugin=$3 companion=${4:-}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
files() { dpkg-deb -c "$1" | awk '$1 !~ /^d/ { print $NF }' | sort; }

cpack --config "$build/CPackConfig.cmake" -B "$work/out" >/dev/null
deb=$(ls "$work"/out/*.deb)
dpkg-deb -x "$deb" "$work/root"
echo "package: $(basename "$deb"), depends: $(dpkg-deb -f "$deb" Depends)"
dpkg-deb -f "$deb" Depends | grep -Eq 'libqt(6core6|5core5a)'

scanner="$work/root/usr/$libexec/OmbrelPluginScanner"
[ -x "$scanner" ] || { echo "FAIL: no scanner at /usr/$libexec"; exit 1; }

set +e
XDG_CONFIG_HOME="$work/config" "$scanner" "$plugin" 2>"$work/stderr"
code=$?
set -e
cat "$work/stderr"
[ "$code" -eq 0 ] || { echo "FAIL: exit code $code"; exit 1; }
grep -qx '"OK"' "$work/stderr"
grep -qx 'name=Example Gain' "$work/config/Kestrune/OmbrelPluginScanner.ini"
echo "PASS: installed scanner scanned $plugin"

if [ ! -e "$work/root/usr/bin/ombrel-scan" ]; then
    # The companion package: its scanner and nothing else, beside the native one.
    others=$(files "$deb" | grep -v "^\./usr/$libexec/" || true)
    [ -z "$others" ] || { echo "FAIL: the companion package also ships: $others"; exit 1; }
    echo "PASS: $(dpkg-deb -f "$deb" Package) ($(dpkg-deb -f "$deb" Architecture)) ships only its scanner"
    exit 0
fi

# The installed launcher finds the installed scanner on its own.
"$work/root/usr/bin/ombrel-scan" --json --cache "$work/cache.json" "$plugin" > "$work/report.json"
grep -q '"outcome": "ok"' "$work/report.json" || { cat "$work/report.json"; echo "FAIL: ombrel-scan"; exit 1; }
echo "PASS: installed ombrel-scan scanned $plugin"

[ -n "$companion" ] || exit 0
plugin32="$companion/example/ExampleGain.so"
if [ ! -f "$companion/CPackConfig.cmake" ] || [ ! -f "$plugin32" ]; then
    echo "SKIP: no i386 build at $companion (build it with: cmake --workflow --preset i386)"
    exit 0
fi
cpack --config "$companion/CPackConfig.cmake" -B "$work/out32" >/dev/null
deb32=$(ls "$work"/out32/*.deb)
echo "package: $(basename "$deb32"), depends: $(dpkg-deb -f "$deb32" Depends)"
[ "$(dpkg-deb -f "$deb32" Architecture)" = i386 ] || { echo "FAIL: $deb32 is not for i386"; exit 1; }
# dpkg refuses a package that ships a file another installed one owns.
shared=$(comm -12 <(files "$deb") <(files "$deb32"))
[ -z "$shared" ] || { echo "FAIL: both packages ship $shared"; exit 1; }
dpkg-deb -x "$deb32" "$work/root"
"$work/root/usr/bin/ombrel-scan" --json --cache "$work/both.json" "$plugin" "$plugin32" > "$work/both.json.out"
[ "$(grep -c '"outcome": "ok"' "$work/both.json.out")" = 2 ] \
    && grep -q '/usr/libexec/ombrel/i386/OmbrelPluginScanner"' "$work/both.json.out" \
    || { cat "$work/both.json.out"; echo "FAIL: ombrel-scan with both packages"; exit 1; }
echo "PASS: both packages in one root scan the 64-bit and the 32-bit example"
