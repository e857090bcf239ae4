#!/usr/bin/env python3
"""Cold figures of several builds side by side, run alternately.

    bench/alternate.py --runs 9 SCENE.qbx NAME=BINDIR [NAME=BINDIR ...]

Each BINDIR holds qbx and tesk_startup_probe (make bench builds both). In
every round each build, in turn (which goes first rotates), runs a cold `qbx check SCENE` (timed to its
exit) and `tesk SCENE` to its first painted frame (the probe's first byte),
so that a busy machine weighs on every build alike. Prints the medians and
each build's change against the first one. Set QT_QPA_PLATFORM=offscreen to
run without a display.
"""
import argparse
import os
import statistics
import subprocess
import time


def seconds_to_first_byte(command):
    start = time.monotonic_ns()
    with subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL) as process:
        first = process.stdout.read(1)
        seconds = (time.monotonic_ns() - start) / 1e9
        process.stdout.read()
    if process.returncode != 0 or first != b"1":
        raise SystemExit(f"{command[0]} failed")
    return seconds


def seconds_to_exit(command):
    start = time.monotonic_ns()
    subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
    return (time.monotonic_ns() - start) / 1e9


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--runs", type=int, default=9)
    parser.add_argument("scene")
    parser.add_argument("builds", nargs="+", metavar="NAME=BINDIR")
    args = parser.parse_args()
    builds = [build.split("=", 1) for build in args.builds]
    figures = {"qbx check": lambda bin: seconds_to_exit([os.path.join(bin, "qbx"), "check", args.scene]),
               "tesk FILE to first paint": lambda bin: seconds_to_first_byte(
                   [os.path.join(bin, "tesk_startup_probe"), "tesk", args.scene])}
    times = {(name, figure): [] for name, _ in builds for figure in figures}
    for run in range(args.runs):
        # Each build goes first in turn: the first process after the others may pay more.
        order = builds[run % len(builds):] + builds[:run % len(builds)]
        for figure, measure in figures.items():
            for name, bin in order:
                times[(name, figure)].append(measure(bin))

    print(f"medians of {args.runs} alternating runs, ms")
    for figure in figures:
        base = statistics.median(times[(builds[0][0], figure)])
        print(f"  {figure}")
        for name, _ in builds:
            median = statistics.median(times[(name, figure)])
            print(f"    {name:24s} {median * 1e3:8.1f}  {100 * (median / base - 1):+6.1f}%   runs:",
                  " ".join(f"{t * 1e3:.0f}" for t in times[(name, figure)]))


if __name__ == "__main__":
    main()
