#!/usr/bin/env bash
# Builds the Debian package, installs it into a temporary root and scans the
# example plug-in with the installed scanner, as a host would find it.
# Usage: package-test.sh <build dir> <install dir below /usr> <example plug-in>
set -euo pipefail
build=$1 libexec=$2 plugin=$3

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

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

# The installed launcher finds the installed scanner on its own.
"$work/root/usr/bin/ombrel-scan" --json --cache "$work/cache.json" "$plugin" > "$work/report.json"
grep -q '"outcome": "ok"' "$work/report.json" || { cat "$work/report.json"; echo "FAIL: ombrel-scan"; exit 1; }
echo "PASS: installed ombrel-scan scanned $plugin"
