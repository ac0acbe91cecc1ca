#!/usr/bin/env bash
# Fetches real 32-bit x86 plug-ins for the tests: Debian's i386 build of
# dpf-plugins-vst, downloaded and unpacked (not installed) into <dest>/i386,
# the version of the installed 64-bit twin where there is one. When that is
# impossible (no network, no i386 packages known to apt) it says so and
# succeeds: the tests that need the plug-ins then skip.
# Usage: fetch-plugins.sh <dest>
set -uo pipefail
dest=$1
[ -d "$dest/i386/usr/lib/vst" ] && { echo "already fetched: $dest/i386"; exit 0; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
package=dpf-plugins-vst:i386
download() { (cd "$work" && apt-get download "$1") >>"$work/log" 2>&1; }
# The twin's version where the mirror still has it, else the current one.
version=$(dpkg-query -W -f='${Version}' dpf-plugins-vst 2>/dev/null) && download "$package=$version" \
    || download "$package"
if ls "$work"/*.deb >/dev/null 2>&1 && dpkg-deb -x "$work"/*.deb "$work/i386"; then
    mkdir -p "$dest" && rm -rf "$dest/i386" && mv "$work/i386" "$dest/i386"
    echo "fetched $package into $dest/i386"
else
    cat "$work/log"
    echo "SKIP: cannot fetch $package; the tests of real 32-bit plug-ins skip"
fi
