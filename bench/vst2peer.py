#!/usr/bin/env python3
"""Lays each VST 2 plug-in as ombrel-scan describes it beside what a peer
host's scanner records for it (its XML cache: ID, category, instrument flag,
MIDI inputs and outputs), and prints how many agree, field by field, with
every disagreement named.

Usage: vst2peer.py <ombrel-scan> <peer scanner> <peer library path> <folder>
The peer scanner is run as its host runs it, one process per file, with a
home of its own; bench/fetch-ardour.sh fetches one."""

import glob
import json
import os
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ElementTree


def peer_records(scanner, libraries, folder):
    records = {}
    with tempfile.TemporaryDirectory() as home:
        env = dict(os.environ, HOME=home, LD_LIBRARY_PATH=libraries)
        for path in sorted(glob.glob(os.path.join(folder, "**", "*.so"), recursive=True)):
            try:
                subprocess.run([scanner, "-f", path], env=env, timeout=60,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            except subprocess.TimeoutExpired:
                continue
        for cache in glob.glob(os.path.join(home, ".cache", "*", "vst", "*.v2i")):
            root = ElementTree.parse(cache).getroot()
            infos = root.findall("VST2Info")
            if len(infos) == 1:  # shells list several; we name the shell only
                records[root.get("binary")] = infos[0].attrib
    return records


def ours(launcher, folder):
    with tempfile.TemporaryDirectory() as work:
        report = subprocess.run([launcher, "--json", "--format", "vst2", "--cache",
                                 os.path.join(work, "cache.json"), folder],
                                capture_output=True, text=True, check=True).stdout
    described = {}
    for result in json.loads(report)["plugins"]:
        for description in result.get("descriptions", []):
            described[os.path.realpath(result["path"])] = description
    return described


# The peer's words for effGetPlugCategory's values where ours differ.
PEER_CATEGORY = {"instrument": "synth", "roomfx": "roomeffect", "analyser": "analysis",
                 "surroundfx": "surroundeffect", "offline": "offlineprocess"}


def main():
    launcher, scanner, libraries, folder = sys.argv[1:5]
    peer = peer_records(scanner, libraries, folder)
    mine = ours(launcher, folder)
    fields = {
        "unique ID": (lambda d: d.get("id", "0"), lambda p: p.get("id")),
        "instrument": (lambda d: d.get("kind") == "instrument", lambda p: p.get("is_instrument") == "1"),
        "category": (lambda d: d.get("category", "").replace(" ", "").lower(),
                     lambda p: PEER_CATEGORY.get(p.get("category", "").lower(), p.get("category", "").lower())),
        "MIDI inputs": (lambda d: d.get("midiInputs", 0) > 0, lambda p: int(p.get("n_midi_inputs", 0)) > 0),
        "MIDI outputs": (lambda d: d.get("midiOutputs", 0) > 0, lambda p: int(p.get("n_midi_outputs", 0)) > 0),
    }
    both = sorted(set(peer) & set(os.path.realpath(p) for p in peer) & set(mine))
    print(f"{len(mine)} plug-ins described by ombrel-scan, {len(peer)} by the peer, {len(both)} by both")
    for name, (ours_of, peers_of) in fields.items():
        differ = [(path, ours_of(mine[path]), peers_of(peer[path])) for path in both
                  if ours_of(mine[path]) != peers_of(peer[path])]
        print(f"{name}: {len(both) - len(differ)} of {len(both)} agree")
        for path, a, b in differ:
            print(f"  {os.path.basename(path)}: ours {a!r}, peer {b!r}")


if __name__ == "__main__":
    main()
