#!/usr/bin/env python3
"""The launcher's own cost per plug-in as the library grows.

Usage: launchercost.py [--repeats N] LAUNCHER COUNT...
       launchercost.py --flood PLUGIN LAUNCHER
For each COUNT, makes a folder of COUNT small files (each the ELF header
of /bin/false, so that each goes to the native scanner) and scans it with a
fresh cache and /bin/false standing in for the scanner (its result,
"failed (exit 1)", is cached like a plug-in's), so that what is
measured is ombrel-scan's own work: its CPU time (user + system, its
children excluded) per plug-in and its peak resident memory; the median
CPU time and the highest peak of N runs (default 3), as a shared machine
moves single runs by a third.
With --flood, scans 8 copies of a plug-in that writes to both standard
streams without end, 8 at once, for 5 s, and prints the peak memory.
"""
import os
import shutil
import statistics
import sys
import tempfile


def run(argv):
    """CPU seconds of the process itself, its peak RSS (KiB) and exit code."""
    pid = os.fork()
    if pid == 0:
        null = os.open(os.devnull, os.O_WRONLY)
        os.dup2(null, 1)
        os.dup2(null, 2)
        os.execv(argv[0], argv)
    # Read the finished process's own times before it is reaped: its
    # children's times are kept apart from them only until then.
    os.waitid(os.P_PID, pid, os.WEXITED | os.WNOWAIT)
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    ticks = os.sysconf("SC_CLK_TCK")
    cpu = (int(fields[11]) + int(fields[12])) / ticks
    _, status, usage = os.wait4(pid, 0)
    return cpu, usage.ru_maxrss, os.waitstatus_to_exitcode(status)


def flood(plugin, launcher):
    work = tempfile.mkdtemp(prefix="ombrel-flood-")
    try:
        for i in range(8):
            shutil.copy(plugin, os.path.join(work, f"flood{i}.so"))
        cpu, rss, code = run([launcher, "--json", "-j", "8", "--timeout", "5",
                              "--cache", os.path.join(work, "cache.json"), work])
        print(f"8 scans flooding both streams for 5 s, -j 8: peak {rss / 1024:.1f} MiB, "
              f"launcher CPU {cpu:.2f} s, exit {code}")
    finally:
        shutil.rmtree(work, ignore_errors=True)


def main():
    if sys.argv[1] == "--flood":
        flood(sys.argv[2], sys.argv[3])
        return
    args = sys.argv[1:]
    repeats = 3
    if args[0] == "--repeats":
        repeats, args = int(args[1]), args[2:]
    launcher, counts = args[0], [int(c) for c in args[1:]]
    print(f"{'plug-ins':>9} {'launcher CPU s':>15} {'ms per plug-in':>15} {'peak MiB':>9}   (median of {repeats})")
    for count in counts:
        work = tempfile.mkdtemp(prefix="ombrel-scale-")
        try:
            library = os.path.join(work, "library")
            with open("/bin/false", "rb") as f:
                header = f.read(64)
            for i in range(count):
                folder = os.path.join(library, f"vendor{i // 100:03d}")
                os.makedirs(folder, exist_ok=True)
                with open(os.path.join(folder, f"plugin{i:05d}.so"), "wb") as f:
                    f.write(header)
            runs = []
            for r in range(repeats):
                runs.append(run([launcher, "--json", "-j", "2", "--scanner", "/bin/false",
                                 "--cache", os.path.join(work, f"cache{r}.json"), library]))
            cpu = statistics.median(c for c, _, _ in runs)
            rss = max(m for _, m, _ in runs)
            codes = {code for _, _, code in runs}
            note = "" if codes == {0} else f"   (exit {sorted(codes)})"
            print(f"{count:>9} {cpu:>15.2f} {cpu * 1e3 / count:>15.3f} {rss / 1024:>9.1f}{note}", flush=True)
        finally:
            shutil.rmtree(work, ignore_errors=True)

if __name__ == "__main__":
    main()
