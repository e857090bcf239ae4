#!/usr/bin/env python3
"""Cold `qbx recover` of a journal beside a cold `qbx check` of its base, for
several builds run alternately.

    bench/recovertable.py --runs 7 BASE.qbx JOURNAL.tjournal NAME=BINDIR [NAME=BINDIR ...]

TESK_BENCH_KEEP=1 tesk_bench --benchmark_filter=BM_RecoverJournal leaves a
base of 1,000,000 objects and a journal of 100,000 changes over it (their
folder is the benchmark's label). Prints per build the medians of both and
their ratio, the figure that the goal "recovering ≤ 2× opening the base"
is about.
"""
import argparse
import os
import statistics
import subprocess
import tempfile
import time


def seconds(command):
    start = time.monotonic_ns()
    subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
    return (time.monotonic_ns() - start) / 1e9


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--runs", type=int, default=7)
    parser.add_argument("base")
    parser.add_argument("journal")
    parser.add_argument("builds", nargs="+", metavar="NAME=BINDIR")
    args = parser.parse_args()
    builds = [build.split("=", 1) for build in args.builds]
    times = {(name, what): [] for name, _ in builds for what in ("check", "recover")}
    with tempfile.TemporaryDirectory() as scratch:
        out = os.path.join(scratch, "recovered.qbx")
        for run in range(args.runs):
            order = builds[run % len(builds):] + builds[:run % len(builds)]
            for name, bindir in order:
                qbx = os.path.join(bindir, "qbx")
                times[(name, "check")].append(seconds([qbx, "check", args.base]))
                times[(name, "recover")].append(seconds([qbx, "recover", args.journal, out, args.base]))
    print("| build | qbx check base (s) | qbx recover (s) | recover / check |")
    print("|---|---|---|---|")
    for name, _ in builds:
        check = statistics.median(times[(name, "check")])
        recover = statistics.median(times[(name, "recover")])
        print(f"| {name} | {check:.3f} | {recover:.3f} | {recover / check:.2f} |")


if __name__ == "__main__":
    main()
