#!/usr/bin/env python3
"""Google Benchmark figures of several builds side by side, run alternately.

    bench/samerun.py --runs 7 --filter 'BM_SaveScene' NAME=BINDIR [NAME=BINDIR ...]

Each round runs BINDIR/tesk_bench once per build (which goes first rotates),
so that a busy machine weighs on every build alike. Prints, per benchmark,
the median over the rounds of its real time and of its counters, and each
build's ratio to the first. Set QT_QPA_PLATFORM=offscreen without a display.
"""
import argparse
import json
import os
import statistics
import subprocess


def run(bindir, pattern):
    out = subprocess.run([os.path.join(bindir, "tesk_bench"), "--benchmark_filter=" + pattern,
                          "--benchmark_format=json"], check=True, capture_output=True, text=True).stdout
    figures = {}
    for bench in json.loads(out)["benchmarks"]:
        figures[(bench["name"], bench["time_unit"])] = bench["real_time"]
        for key, value in bench.items():
            if key.endswith("_ms") or key == "ratio":
                figures[(bench["name"], key)] = value
    return figures


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--runs", type=int, default=7)
    parser.add_argument("--filter", required=True)
    parser.add_argument("builds", nargs="+", metavar="NAME=BINDIR")
    args = parser.parse_args()
    builds = [build.split("=", 1) for build in args.builds]
    samples = {}
    for round_ in range(args.runs):
        order = builds[round_ % len(builds):] + builds[:round_ % len(builds)]
        for name, bindir in order:
            for key, value in run(bindir, args.filter).items():
                samples.setdefault(key, {}).setdefault(name, []).append(value)
    names = [name for name, _ in builds]
    print("| benchmark | figure | " + " | ".join(names) + " | " + " | ".join(f"{n}/{names[0]}" for n in names[1:]) + " |")
    print("|---|---|" + "---|" * (2 * len(names) - 1))
    for (bench, figure), by_build in samples.items():
        medians = [statistics.median(by_build[name]) for name in names]
        ratios = [f"{m / medians[0]:.3f}" if medians[0] else "-" for m in medians[1:]]
        print(f"| {bench} | {figure} | " + " | ".join(f"{m:.4g}" for m in medians) + " | " + " | ".join(ratios) + " |")


if __name__ == "__main__":
    main()
