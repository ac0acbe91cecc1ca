#!/usr/bin/env python3
"""VST 3 and CLAP scans against what they are measured by, alternating run
by run so that drift hits all alike; medians out.

  library: ombrel-scan -j 1 over a folder of VST 3 bundles (sandbox, fresh
           cache) against a peer scanner run once per bundle, as its host
           runs it.
  per file: the scanner describing a CLAP file against the same scanner
           scanning the VST 2 build of the same plug-in.

  apart: the same library without one bundle (--apart NAME), to show
           what that bundle alone decides.

Usage: formats.py --launcher L --scanner S --peer P --peer-libs D
                  --vst3 FOLDER --clap FILE --vst2 FILE [--runs N] [--apart NAME]
"""
import argparse
import glob
import os
import shutil
import statistics
import subprocess
import tempfile
import time


def timed(argv, env=None):
    start = time.perf_counter()
    subprocess.run(argv, env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                   check=False)
    return time.perf_counter() - start


def private_env(home, **extra):
    return dict(os.environ, HOME=home, XDG_CONFIG_HOME=home + "/config", XDG_CACHE_HOME=home + "/cache", **extra)


def ours_library(launcher, folder):
    home = tempfile.mkdtemp(prefix="ombrel-bench-")
    try:
        return timed([launcher, "-j", "1", "--format", "vst3", "--cache", home + "/cache.json", "--json", folder],
                     private_env(home))
    finally:
        shutil.rmtree(home, ignore_errors=True)


def peer_library(peer, libs, bundles):
    home = tempfile.mkdtemp(prefix="ombrel-bench-")
    try:
        env = private_env(home, LD_LIBRARY_PATH=libs)
        start = time.perf_counter()
        for bundle in bundles:
            subprocess.run([peer, "-f", bundle], env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, check=False)
        return time.perf_counter() - start
    finally:
        shutil.rmtree(home, ignore_errors=True)


def scanner_once(scanner, path, fmt):
    home = tempfile.mkdtemp(prefix="ombrel-bench-")
    try:
        extra = {}
        if fmt != "vst2":
            extra = {"OMBREL_SCAN_FORMAT": fmt, "OMBREL_DESCRIPTION_FILE": home + "/description.json"}
        return timed([scanner, path], private_env(home, **extra))
    finally:
        shutil.rmtree(home, ignore_errors=True)


def library(args, folder, label):
    bundles = sorted(glob.glob(os.path.join(folder, "*.vst3")))
    ours, peer = [], []
    for _ in range(args.runs):
        ours.append(ours_library(args.launcher, folder))
        peer.append(peer_library(args.peer, args.peer_libs, bundles))
    o, p = statistics.median(ours), statistics.median(peer)
    print(f"{len(bundles)} VST 3 bundles{label}, {args.runs} alternating runs, median wall time")
    print(f"{'ombrel-scan -j 1 (sandbox)':<34} {o * 1e3:>8.0f} ms")
    print(f"{'peer, one process per bundle':<34} {p * 1e3:>8.0f} ms")
    print(f"{'ratio':<34} {o / p:>8.2f}")


def main():
    parser = argparse.ArgumentParser()
    for option in ("launcher", "scanner", "peer", "peer-libs", "vst3", "clap", "vst2"):
        parser.add_argument("--" + option, required=True)
    parser.add_argument("--runs", type=int, default=11)
    parser.add_argument("--apart")
    args = parser.parse_args()
    library(args, args.vst3, "")
    if args.apart:
        folder = tempfile.mkdtemp(prefix="ombrel-bench-")
        try:
            for bundle in glob.glob(os.path.join(args.vst3, "*.vst3")):
                if os.path.basename(bundle) != args.apart:
                    os.symlink(os.path.realpath(bundle), os.path.join(folder, os.path.basename(bundle)))
            print()
            library(args, folder, f" (without {args.apart})")
        finally:
            shutil.rmtree(folder, ignore_errors=True)

    clap, vst2 = [], []
    for _ in range(args.runs * 3):
        clap.append(scanner_once(args.scanner, args.clap, "clap"))
        vst2.append(scanner_once(args.scanner, args.vst2, "vst2"))
    c, v = statistics.median(clap), statistics.median(vst2)
    print(f"\none plug-in, {args.runs * 3} alternating scanner runs, median wall time")
    print(f"{'CLAP ' + os.path.basename(args.clap):<34} {c * 1e3:>8.1f} ms")
    print(f"{'VST 2 ' + os.path.basename(args.vst2):<34} {v * 1e3:>8.1f} ms")
    print(f"{'ratio':<34} {c / v:>8.2f}")


if __name__ == "__main__":
    main()
