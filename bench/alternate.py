#!/usr/bin/env python3
"""The speed goals, measured on several builds side by side, run alternately.

    bench/alternate.py [--runs 9] [--objects 1000000] [--figures A,B,...] NAME=BINDIR [NAME=BINDIR ...]

Each BINDIR holds qbx, tesk_startup_probe, tesk-thumbnailer and tesk_bench
(`make bench` builds them in build/release/bin; copy that folder aside to
keep a build). In every round each build, in turn (which goes first
rotates), runs each figure as a fresh process, one figure after the other,
so that a busy machine weighs on every build alike:

  empty start       tesk without a file to its first painted frame, its
                    instance channel listening (TESK_INSTANCE_NAME)
  empty start without channel   the same, as tesk --new-instance
  text window       a bare Qt main window with a menu bar and a status text
  bare window       a bare Qt main window
  qbx check         a cold check of a scene of --objects objects
  tesk FILE         that scene to its first painted frame
  qbx dump / build  that scene to JSON and the JSON to a scene
  thumbnailer       a 256-pixel thumbnail of that scene

Python's json.load (whole process) and json.dumps (in process) of the same
JSON run once a round; the warm in-process load is tesk_bench's
BM_LoadScene, run once per build at the end. Prints the medians in
milliseconds and each goal's ratio per build (markdown). Set
QT_QPA_PLATFORM=offscreen to run without a display. --figures names the
figures to run (by the names above, "json.load", "json.dumps" and "warm
load"); each goal is printed when its figures were run.
"""
import argparse
import json
import os
import random
import statistics
import subprocess
import sys
import tempfile
import time


def scene_json(path, count):
    rng = random.Random(7)
    names = ["Kuleczka", "Sze\u015bcianik", "Ma\u0142a \u015bliczna gwiazdka"]
    objects = []
    for i in range(count):
        user = rng.random() < 0.5
        objects.append({"name": names[i % 3], "type": 1 + i % 3, "x": rng.randint(-5000, 5000),
                        "y": rng.randint(-3000, 3000), "z": rng.randint(-100, 100), "colourMode": int(user),
                        "colour": rng.randint(0, 0xFFFFFF) if user else rng.randint(0, 2)})
    with open(path, "w", encoding="utf-8") as out:
        json.dump({"schema": 3, "objects": objects}, out, indent=1, ensure_ascii=False)


def to_first_byte(command, env=None):
    start = time.monotonic_ns()
    with subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, env=env) as process:
        first = process.stdout.read(1)
        seconds = (time.monotonic_ns() - start) / 1e9
        process.stdout.read()
    if process.returncode != 0 or first != b"1":
        raise SystemExit(f"{command} failed")
    return seconds


def to_exit(command, stdout=subprocess.DEVNULL):
    start = time.monotonic_ns()
    subprocess.run(command, stdout=stdout, stderr=subprocess.DEVNULL, check=True)
    return (time.monotonic_ns() - start) / 1e9


def warm_load_seconds(bindir):
    out = subprocess.run([os.path.join(bindir, "tesk_bench"), "--benchmark_filter=BM_LoadScene/",
                          "--benchmark_format=json"], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                         check=True).stdout
    run = json.loads(out)["benchmarks"][0]
    return run["real_time"] / {"ms": 1e3, "us": 1e6, "ns": 1e9, "s": 1}[run["time_unit"]]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--runs", type=int, default=9)
    parser.add_argument("--objects", type=int, default=1000000)
    parser.add_argument("--figures", help="comma-separated figure names (default: all)")
    parser.add_argument("builds", nargs="+", metavar="NAME=BINDIR")
    args = parser.parse_args()
    builds = [build.split("=", 1) for build in args.builds]

    with tempfile.TemporaryDirectory() as work:
        source = os.path.join(work, "source.json")
        scene = os.path.join(work, "scene.qbx")
        dumped = os.path.join(work, "dump.json")
        scene_json(source, args.objects)
        qbx0 = os.path.join(builds[0][1], "qbx")
        subprocess.run([qbx0, "build", source, scene], check=True)
        with open(dumped, "w") as out:
            subprocess.run([qbx0, "dump", scene], stdout=out, check=True)
        channel = dict(os.environ, TESK_INSTANCE_NAME=os.path.join(work, "channel"))
        alone = {key: value for key, value in os.environ.items() if key != "TESK_INSTANCE_NAME"}

        def wanted(name):
            return not args.figures or name in args.figures.split(",")

        def figures(bindir):
            probe = os.path.join(bindir, "tesk_startup_probe")
            qbx = os.path.join(bindir, "qbx")
            return {name: measure for name, measure in {
                "empty start": lambda: to_first_byte([probe, "tesk"], env=channel),
                "empty start without channel": lambda: to_first_byte([probe, "tesk"], env=alone),
                "text window": lambda: to_first_byte([probe, "text"]),
                "bare window": lambda: to_first_byte([probe, "minimal"]),
                "qbx check": lambda: to_exit([qbx, "check", scene]),
                "tesk FILE": lambda: to_first_byte([probe, "tesk", scene]),
                "qbx dump": lambda: to_exit([qbx, "dump", scene]),
                "qbx build": lambda: to_exit([qbx, "build", dumped, os.path.join(work, "built.qbx")]),
                "thumbnailer": lambda: to_exit([os.path.join(bindir, "tesk-thumbnailer"), scene,
                                                os.path.join(work, "thumb.png"), "256"]),
            }.items() if wanted(name)}

        python = {
            "json.load": lambda: to_exit([sys.executable, "-c", "import json, sys; json.load(open(sys.argv[1]))",
                                          dumped]),
            "json.dumps": lambda: float(subprocess.run(
                [sys.executable, "-c", "import json, sys, time; o = json.load(open(sys.argv[1])); "
                 "t = time.perf_counter(); json.dumps(o); print(time.perf_counter() - t)", dumped],
                stdout=subprocess.PIPE, check=True).stdout),
        }
        python = {name: measure for name, measure in python.items() if wanted(name)}
        times = {}
        for run in range(args.runs):
            order = builds[run % len(builds):] + builds[:run % len(builds)]
            measures = {name: figures(bindir) for name, bindir in order}
            for figure in measures[order[0][0]]:
                for name, _ in order:
                    times.setdefault((name, figure), []).append(measures[name][figure]())
            for figure, measure in python.items():
                times.setdefault(("python", figure), []).append(measure())
        warm = {name: warm_load_seconds(bindir) for name, bindir in builds} if wanted("warm load") else {}

    median = {key: statistics.median(values) for key, values in times.items()}
    names = [name for name, _ in builds]
    print(f"{args.objects} objects; medians of {args.runs} alternating runs, ms; "
          f"load average {os.getloadavg()[0]:.1f} at the end")
    print("| figure | " + " | ".join(names) + " |")
    print("|---|" + "---|" * len(names))
    for figure in figures(builds[0][1]):
        print(f"| {figure} | " + " | ".join(f"{median[(name, figure)] * 1e3:.0f}" for name in names) + " |")
    if warm:
        print("| warm in-process load (BM_LoadScene) | " + " | ".join(f"{warm[name] * 1e3:.0f}" for name in names) + " |")
    for figure in python:
        print(f"| python {figure} | " + " | ".join(f"{median[('python', figure)] * 1e3:.0f}" for _ in names) + " |")
    goals = [
        ("tesk FILE / (qbx check + bare window)", 1.4, [(None, "tesk FILE"), (None, "qbx check"), (None, "bare window")],
         lambda m: m["tesk FILE"] / (m["qbx check"] + m["bare window"])),
        ("qbx check / warm load", 2.0, [(None, "qbx check")], lambda m: m["qbx check"] / m["warm"]),
        ("qbx build / json.load", 0.5, [(None, "qbx build"), ("python", "json.load")],
         lambda m: m["qbx build"] / m["json.load"]),
        ("qbx dump / json.dumps", 0.5, [(None, "qbx dump"), ("python", "json.dumps")],
         lambda m: m["qbx dump"] / m["json.dumps"]),
        ("empty start / text window", 1.25, [(None, "empty start"), (None, "text window")],
         lambda m: m["empty start"] / m["text window"]),
        ("thumbnailer / qbx check", 2.0, [(None, "thumbnailer"), (None, "qbx check")],
         lambda m: m["thumbnailer"] / m["qbx check"]),
    ]
    print("\n| goal | at most | " + " | ".join(names) + " |")
    print("|---|---|" + "---|" * len(names))
    for label, bound, needs, ratio in goals:
        if not all((who or names[0], figure) in median for who, figure in needs):
            continue
        if "warm" in label and not warm:
            continue
        ratios = []
        for name in names:
            m = {figure: median[(who or name, figure)] for who, figure in needs}
            m["warm"] = warm.get(name)
            ratios.append(ratio(m))
        print(f"| {label} | {bound} | " + " | ".join(f"{r:.2f}{'' if r <= bound else ' MISSED'}" for r in ratios) + " |")
    print("\nruns, ms:")
    for (name, figure), values in times.items():
        print(f"  {name:10s} {figure:14s} " + " ".join(f"{v * 1e3:.0f}" for v in values))


if __name__ == "__main__":
    main()
