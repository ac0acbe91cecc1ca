#!/usr/bin/env bash
# Fetches real VST 3 and CLAP plug-ins for the tests: Debian 13's builds of
# zam-plugins, dragonfly-reverb-vst3, dragonfly-reverb-clap and
# lsp-plugins-vst3, downloaded with a private apt state (the machine's own
# apt is neither changed nor asked to install anything) from the mirror the
# machine is configured with, and unpacked into <dest>/trixie. When that is
# impossible (no network, no such suite) it says so and succeeds: the tests
# that need them then skip.
# Usage: fetch-trixie.sh <dest>
set -uo pipefail
dest=$1
packages=(zam-plugins dragonfly-reverb-vst3 dragonfly-reverb-clap lsp-plugins-vst3)
[ -f "$dest/trixie/fetched" ] && { echo "already fetched: $dest/trixie"; exit 0; }

# The machine's Debian mirror: the first URI of a deb822 or one-line source
# that serves the main archive (not the security one).
mirror=$(grep -hE '^(URIs:|deb )' /etc/apt/sources.list /etc/apt/sources.list.d/*.sources /etc/apt/sources.list.d/*.list 2>/dev/null \
    | grep -v security | grep -oE 'https?://[^ ]*/debian/?' | head -n 1)
mirror=${mirror:-http://deb.debian.org/debian}

state=$dest/apt-trixie
mkdir -p "$state/lists/partial" "$state/archives/partial" "$state/etc" "$dest"
echo "deb [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] ${mirror%/} trixie main" >"$state/etc/sources.list"
apt=(apt-get -q -o "Dir::Etc::SourceList=$state/etc/sources.list" -o Dir::Etc::SourceParts=-
    -o "Dir::State::Lists=$state/lists" -o "Dir::Cache=$state" -o "Dir::Cache::Archives=$state/archives"
    -o Dir::State::Status=/dev/null -o APT::Architecture=amd64 -o Debug::NoLocking=1)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
if ! "${apt[@]}" update >"$work/log" 2>&1 || ! (cd "$work" && "${apt[@]}" download "${packages[@]}") >>"$work/log" 2>&1; then
    tail -n 20 "$work/log"
    echo "SKIP: cannot fetch Debian 13's ${packages[*]}; the tests of real VST 3 and CLAP plug-ins skip"
    exit 0
fi
rm -rf "$dest/trixie"
for deb in "$work"/*.deb; do
    dpkg-deb -x "$deb" "$dest/trixie" || { echo "cannot unpack $deb"; exit 1; }
done
basename -a "$work"/*.deb >"$dest/trixie/fetched"
echo "fetched $(tr '\n' ' ' <"$dest/trixie/fetched")into $dest/trixie"
