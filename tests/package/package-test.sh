#!/usr/bin/env bash
# Builds the Debian packages, installs them into a temporary root and scans
# the example plug-in with the installed scanner, as a host would find it.
# Given an i386 build tree, also installs its package into the same root and
# scans that build's 32-bit example with the installed ombrel-scan.
# Checks what lintian and a person need too: stripped binaries, section,
# description, copyright; the library split as Debian splits one (run-time
# file in a package named after its soname, in the multiarch folder; the
# rest in -dev); man pages and completion that name every option of
# --help; lintian must report neither error nor warning.
# Usage: package-test.sh <build dir> <scanner dir below /usr> <example plug-in> [<i386 build dir>] [<lintian>]
set -euo pipefail
build=$1 libexec=$2 plugin=$3 companion=${4:-} lintian=${5:-}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
files() { dpkg-deb -c "$1" | awk '$1 !~ /^d/ { print $6 }' | sort; }
fail() { echo "FAIL: $*"; exit 1; }

# What every package of ours needs.
check_package() {
    local deb=$1 section=$2 package
    package=$(dpkg-deb -f "$deb" Package)
    echo "package: $(basename "$deb"), depends: $(dpkg-deb -f "$deb" Depends)"
    [ "$(dpkg-deb -f "$deb" Section)" = "$section" ] || fail "$package: section is not $section"
    [ "$(dpkg-deb -f "$deb" Description | wc -l)" -gt 2 ] || fail "$package: no long description"
    rm -rf "$work/one" && dpkg-deb -x "$deb" "$work/one"
    local doc=$work/one/usr/share/doc/$package
    [ -s "$doc/copyright" ] && [ -s "$doc/changelog.gz" ] || fail "no copyright or change log in /usr/share/doc/$package"
    while read -r binary; do
        file -b "$binary" | grep -q ', stripped' || fail "$binary is not stripped"
    done < <(find "$work/one" -type f \( -perm -u+x -o -name '*.so*' \))
    if [ -n "$lintian" ]; then
        "$lintian" --fail-on error,warning "$deb" 2>/dev/null || fail "lintian found errors or warnings in $package"
        echo "PASS: lintian $package"
    fi
    dpkg-deb -x "$deb" "$work/root"
}

cpack --config "$build/CPackConfig.cmake" -B "$work/out" >/dev/null
[ -n "$lintian" ] || echo "lintian not installed: packages not checked by it"
if compgen -G "$work/out/libombrelscan*.deb" >/dev/null; then
    deb=$(ls "$work"/out/ombrel-plugin-scanner_*.deb)
    lib=$(ls "$work"/out/libombrelscan[0-9]*_*.deb)
    dev=$(ls "$work"/out/libombrelscan-dev_*.deb)
    check_package "$deb" sound
    check_package "$lib" libs
    check_package "$dev" libdevel
else
    deb=$(ls "$work"/out/*.deb)
    check_package "$deb" sound
fi
package=$(dpkg-deb -f "$deb" Package)
dpkg-deb -f "$deb" Depends | grep -Eq 'libqt(6core6|5core5a)'

scanner="$work/root/usr/$libexec/OmbrelPluginScanner"
[ -x "$scanner" ] || fail "no scanner at /usr/$libexec"

set +e
XDG_CONFIG_HOME="$work/config" "$scanner" "$plugin" 2>"$work/stderr"
code=$?
set -e
cat "$work/stderr"
[ "$code" -eq 0 ] || fail "exit code $code"
grep -qx '"OK"' "$work/stderr"
grep -qx 'name=Example Gain' "$work/config/Kestrune/OmbrelPluginScanner.ini"
echo "PASS: installed scanner scanned $plugin"

if [ ! -e "$work/root/usr/bin/ombrel-scan" ]; then
    # The companion package: its scanner and its own papers, beside the native one.
    others=$(files "$deb" | grep -v -e "^\./usr/$libexec/" -e "^\./usr/share/doc/$package/" || true)
    [ -z "$others" ] || fail "the companion package also ships: $others"
    echo "PASS: $package ($(dpkg-deb -f "$deb" Architecture)) ships only its scanner"
    exit 0
fi

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

# The installed launcher finds the installed scanner on its own.
"$launcher" --json --cache "$work/cache.json" "$plugin" > "$work/report.json"
grep -q '"outcome": "ok"' "$work/report.json" || { cat "$work/report.json"; fail "ombrel-scan"; }
echo "PASS: installed ombrel-scan scanned $plugin"
# What hosts build on: live lines, the cache's record of a plug-in, the schemas.
"$launcher" --json-lines --cache "$work/cache.json" "$plugin" | tail -n 1 | grep -q '"record":"summary"' \
    || fail "ombrel-scan --json-lines"
log=$("$launcher" --log "$plugin" --cache "$work/cache.json") && grep -q '^outcome: ok' <<<"$log" || fail "ombrel-scan --log"
[ "$(ls "$work"/root/usr/share/ombrel-plugin-scanner/schema/*.schema.json | wc -l)" = 4 ] || fail "schemas not installed"
echo "PASS: installed ombrel-scan writes JSON lines and shows its log; the schemas are installed"
# What hosts link, as Debian packages a library: the run-time file under
# its soname in a package named after it, in the multiarch folder; the
# header, CMake package, pkg-config file and .so link in the -dev package.
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH 2>/dev/null || gcc -print-multiarch)
libdir=./usr/lib/$multiarch
soname=$(objdump -p "$work/root/$libdir/libombrelscan.so.1" | awk '$1 == "SONAME" { print $2 }')
[ "$soname" = libombrelscan.so.1 ] || fail "the library's soname is ${soname:-none}, not libombrelscan.so.1"
[ "$(dpkg-deb -f "$lib" Package)" = libombrelscan1 ] || fail "$(basename "$lib") is not named after libombrelscan.so.1"
others=$(files "$lib" | grep -v -e "^$libdir/libombrelscan\.so\.1" -e '^./usr/share/doc/libombrelscan1/' || true)
[ -z "$others" ] || fail "the library package also ships: $others"
for file in "$libdir/libombrelscan.so" ./usr/include/ombrel/ombrelscan.h \
    "$libdir/cmake/OmbrelScan/OmbrelScanConfig.cmake" "$libdir/pkgconfig/ombrelscan.pc"; do
    files "$dev" | grep -qxF "$file" || fail "no $file in the -dev package"
done
[ "$(dpkg-deb -f "$dev" Depends)" = "libombrelscan1 (= $(dpkg-deb -f "$lib" Version))" ] \
    || fail "the -dev package depends on $(dpkg-deb -f "$dev" Depends)"
! files "$deb" | grep -q libombrelscan || fail "the programs' package ships the library too"
# Listed whole first: grep -q would leave tar writing into a closed pipe.
control=$(dpkg-deb --ctrl-tarfile "$lib" | tar -tf -)
grep -q 'shlibs$' <<<"$control" || fail "no shlibs file"
grep -q 'triggers$' <<<"$control" || fail "no ldconfig trigger"
! grep -qE 'post(inst|rm)$' <<<"$control" || fail "the library package has maintainer scripts"
# Built against the unpacked -dev files, the way a host finds them.
libs=$(PKG_CONFIG_LIBDIR="$work/root/usr/lib/$multiarch/pkgconfig" pkg-config --libs-only-L ombrelscan) \
    || fail "pkg-config finds no ombrelscan in the multiarch folder"
libs=$(echo $libs) # no trailing space
[ "$(realpath -m "${libs#-L}")" = "$(realpath "$work/root/usr/lib/$multiarch")" ] || fail "pkg-config gives $libs"
echo "PASS: libombrelscan1 and libombrelscan-dev split the library as Debian does, in /usr/lib/$multiarch"

[ -n "$companion" ] || exit 0
plugin32="$companion/example/ExampleGain.so"
if [ ! -f "$companion/CPackConfig.cmake" ] || [ ! -f "$plugin32" ]; then
    echo "SKIP: no i386 build at $companion (build it with: cmake --workflow --preset i386)"
    exit 0
fi
cpack --config "$companion/CPackConfig.cmake" -B "$work/out32" >/dev/null
deb32=$(ls "$work"/out32/*.deb)
echo "package: $(basename "$deb32"), depends: $(dpkg-deb -f "$deb32" Depends)"
[ "$(dpkg-deb -f "$deb32" Architecture)" = i386 ] || fail "$deb32 is not for i386"
# dpkg refuses a package that ships a file another installed one owns.
shared=$(comm -12 <(files "$deb") <(files "$deb32"))
[ -z "$shared" ] || fail "both packages ship $shared"
dpkg-deb -x "$deb32" "$work/root"
"$launcher" --json --cache "$work/both.json" "$plugin" "$plugin32" > "$work/both.json.out"
[ "$(grep -c '"outcome": "ok"' "$work/both.json.out")" = 2 ] \
    && grep -q '/usr/libexec/ombrel/i386/OmbrelPluginScanner"' "$work/both.json.out" \
    || { cat "$work/both.json.out"; fail "ombrel-scan with both packages"; }
echo "PASS: both packages in one root scan the 64-bit and the 32-bit example"
