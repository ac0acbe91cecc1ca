#!/usr/bin/env bash
# Builds the Debian package, installs it into a temporary root and scans the
# example plug-in with the installed scanner, as a host would find it.
# Then checks what lintian and a person need: stripped binaries, section,
# copyright, man pages, completion; lintian must report no error.
# Usage: package-test.sh <build dir> <install dir below /usr> <example plug-in> [lintian]
set -euo pipefail
build=$1 libexec=$2 plugin=$3 lintian=${4:-}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cpack --config "$build/CPackConfig.cmake" -B "$work/out" >/dev/null
deb=$(ls "$work"/out/*.deb)
dpkg-deb -x "$deb" "$work/root"
echo "package: $(basename "$deb"), depends: $(dpkg-deb -f "$deb" Depends)"
dpkg-deb -f "$deb" Depends | grep -Eq 'libqt(6core6|5core5a)'

fail() { echo "FAIL: $*"; exit 1; }
[ "$(dpkg-deb -f "$deb" Section)" = sound ] || fail "section is not sound"
[ "$(dpkg-deb -f "$deb" Description | wc -l)" -gt 3 ] || fail "no long description"
doc=$work/root/usr/share/doc/ombrel-plugin-scanner
[ -s "$doc/copyright" ] && [ -s "$doc/changelog.gz" ] || fail "no copyright or change log in $doc"
for binary in "$work/root/usr/bin/ombrel-scan" "$work/root/usr/$libexec/OmbrelPluginScanner"; do
    file -b "$binary" | grep -q ', stripped' || fail "$binary is not stripped"
done
for page in ombrel-scan OmbrelPluginScanner; do
    # man finds the page by name in the installed tree and renders it cleanly.
    found=$(MANPATH="$work/root/usr/share/man" man -w "$page") || fail "man $page: no page"
    warnings=$(LC_ALL=C.UTF-8 man --warnings -l "$found" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "man $page: $warnings"
done
# Every option --help names is completed, and documented in the man page
# and the README.
launcher=$work/root/usr/bin/ombrel-scan
completion=$work/root/usr/share/bash-completion/completions/ombrel-scan
[ -f "$completion" ] || fail "no completion at /usr/share/bash-completion/completions"
offered=$(bash -c 'source "$1"; COMP_WORDS=(ombrel-scan -); COMP_CWORD=1; _ombrel_scan; echo "${COMPREPLY[*]}"' _ "$completion")
page=$(MANPATH="$work/root/usr/share/man" man -w ombrel-scan)
readme=$(dirname "$0")/../../README.md
manual=$(zcat "$page" | sed 's/\\-/-/g')
options=$("$launcher" --help | grep -oE '^ +(-[a-zA-Z], )?--[a-z-]+' | grep -oE -- '-(-[a-z-]+|[a-zA-Z])')
[ -n "$options" ] || fail "no options in --help"
for option in $options; do
    [[ " $offered " == *" $option "* ]] || fail "completion does not offer $option"
    grep -q -- "$option" <<<"$manual" || fail "man ombrel-scan does not name $option"
    grep -q -- "$option" "$readme" || fail "README does not name $option"
done
echo "PASS: completion, man page and README name every option of --help"
if [ -n "$lintian" ]; then
    # Errors fail the test; warnings are shown.
    "$lintian" --fail-on error "$deb" 2>/dev/null || fail "lintian found errors"
    echo "PASS: lintian"
else
    echo "lintian not installed: package not checked by it"
fi

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
