#!/usr/bin/env bash
# Fetches Debian's ardour with what it needs beyond this machine's packages,
# downloaded and unpacked (not installed) into <dest>, for its VST 3
# scanner to be measured beside ours: run it with
# LD_LIBRARY_PATH=<dest>/usr/lib/ardour7:<dest>/usr/lib/x86_64-linux-gnu.
# Usage: fetch-ardour.sh <dest>
set -euo pipefail
dest=$1
ls "$dest"/usr/lib/ardour*/ardour-vst3-scanner >/dev/null 2>&1 && { echo "already fetched: $dest"; exit 0; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# What an install would add, without installing it.
packages=$(apt-get install -s --no-install-recommends ardour | awk '/^Inst /{print $2}')
(cd "$work" && apt-get download $packages) >"$work/log" 2>&1 || { cat "$work/log"; exit 1; }
mkdir -p "$dest"
for deb in "$work"/*.deb; do
    dpkg-deb -x "$deb" "$dest"
done
echo "fetched ardour and $(($(ls "$work"/*.deb | wc -l) - 1)) packages it needs into $dest"
