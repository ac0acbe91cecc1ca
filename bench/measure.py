#!/usr/bin/env python3
"""Median wall time and peak resident memory of the scanner, the floor and,
where installed, a peer scanner, over alternating runs; one table out.

Usage: measure.py --spawn L --scanner S --floor F [--peer P] [--runs N]
                  [--stage LABEL=PROGRAM ...] LABEL=PATH ...
A PATH of '-' runs each program without an argument (its fixed start-up).
Stages are programs run without arguments, alternating with each other,
to show where start-up time goes.
"""
import argparse
import os
import shutil
import statistics
import subprocess
import tempfile


SPAWN = None  # the small launcher that times a run and reads its peak RSS


def run_once(argv, extra_env):
    """Wall seconds and peak RSS (KiB) of one run with a private config/cache home."""
    home = tempfile.mkdtemp(prefix="ombrel-bench-")
    env = dict(os.environ, XDG_CONFIG_HOME=home + "/config", XDG_CACHE_HOME=home + "/cache", **extra_env)
    try:
        out = subprocess.run([SPAWN] + argv, env=env, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                             stderr=subprocess.DEVNULL, check=True).stdout.split()
        return int(out[0]) / 1e9, int(out[1]), int(out[2])
    finally:
        shutil.rmtree(home, ignore_errors=True)


def measure(programs, path, runs):
    """Alternates the programs run by run so that drift hits all alike."""
    samples = {name: ([], []) for name in programs}
    codes = {name: set() for name in programs}
    for _ in range(runs):
        for name, (argv, extra_env) in programs.items():
            if name == "peer" and path == "-":
                continue
            wall, rss, code = run_once(argv + ([] if path == "-" else [path]), extra_env)
            samples[name][0].append(wall)
            samples[name][1].append(rss)
            codes[name].add(code)
    return {name: (statistics.median(w), max(r), codes[name]) for name, (w, r) in samples.items() if w}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--scanner", required=True)
    parser.add_argument("--floor", required=True)
    parser.add_argument("--spawn", required=True, help="the ombrel-bench-spawn launcher")
    parser.add_argument("--peer", help="a peer scanner's command line, split on spaces")
    parser.add_argument("--peer-libs", default="", help="LD_LIBRARY_PATH for the peer")
    parser.add_argument("--runs", type=int, default=31)
    parser.add_argument("--stage", action="append", default=[])
    parser.add_argument("rows", nargs="+")
    args = parser.parse_args()
    global SPAWN
    SPAWN = args.spawn

    programs = {"scanner": ([args.scanner], {}), "floor": ([args.floor], {})}
    if args.peer:
        programs["peer"] = (args.peer.split(), {"LD_LIBRARY_PATH": args.peer_libs} if args.peer_libs else {})

    header = f"{'plug-in':<22} {'scanner ms':>10} {'floor ms':>9} {'ratio':>6} {'scanner MiB':>11} {'floor MiB':>9} {'+MiB':>6}"
    if args.peer:
        header += f" {'peer ms':>8} {'vs peer':>7}"
    print(f"{args.runs} alternating runs per program and row; median wall time, peak RSS")
    print(header)
    print("-" * len(header))
    for row in args.rows:
        label, path = row.split("=", 1)
        result = measure(programs, path, args.runs)
        (sw, sr, sc), (fw, fr, fc) = result["scanner"], result["floor"]
        line = (f"{label:<22} {sw * 1e3:>10.2f} {fw * 1e3:>9.2f} {sw / fw:>6.2f} "
                f"{sr / 1024:>11.1f} {fr / 1024:>9.1f} {(sr - fr) / 1024:>6.1f}")
        if args.peer and path != "-":
            pw = result["peer"][0]
            line += f" {pw * 1e3:>8.2f} {sw / pw:>7.2f}"
        print(line + ("" if sc == fc else f"   (exit codes differ: {sorted(sc)} vs {sorted(fc)})"), flush=True)

    if args.stage:
        stages = {label: ([program], {}) for label, program in (st.split("=", 1) for st in args.stage)}
        print(f"\nstart-up by stage, {args.runs} alternating runs each, no argument")
        print(f"{'stage':<52} {'ms':>6} {'+ms':>6} {'MiB':>6}")
        previous = None
        for label, (wall, rss, _) in measure(stages, "-", args.runs).items():
            delta = "" if previous is None else f"{(wall - previous) * 1e3:>6.2f}"
            print(f"{label:<52} {wall * 1e3:>6.2f} {delta:>6} {rss / 1024:>6.1f}")
            previous = wall


if __name__ == "__main__":
    main()
