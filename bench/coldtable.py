#!/usr/bin/env python3
"""Whole-process figures of a million-object scene, on cold processes.

Prints the median wall time and peak memory (/usr/bin/time -v) of each way a
user meets a big scene, next to Python's json module as the floor, and the
ratios between them measured in the same run:

    bench/coldtable.py [--bin build/release/bin] [--runs 5] [--objects 1000000]

--bin holds qbx and tesk_startup_probe (make bench builds both). The probe
opens the scene as tesk FILE does and ends at its first painted frame; its
close and quit forms report closing the scene's window and quitting with it
open. Set QT_QPA_PLATFORM=offscreen to run without a display.
"""
import argparse
import json
import os
import statistics
import subprocess
import sys
import tempfile
import time


def timed(command, env=None, stdout=subprocess.DEVNULL):
    """Runs `command` under /usr/bin/time -v: (seconds, peak MB, stdout text)."""
    with tempfile.NamedTemporaryFile("r") as report:
        start = time.monotonic_ns()
        done = subprocess.run(["/usr/bin/time", "-v", "-o", report.name] + command, env=env,
                              stdout=stdout, stderr=subprocess.DEVNULL, check=True)
        seconds = (time.monotonic_ns() - start) / 1e9
        peak_kb = next(int(line.split(":")[1]) for line in report.read().splitlines()
                       if "Maximum resident set size" in line)
    return seconds, peak_kb / 1024, done.stdout.decode() if done.stdout else ""


def scene_json(path, count):
    names = ["Kuleczka", "Sze\u015bcianik", "Ma\u0142a \u015bliczna gwiazdka"]
    objects = [{"name": names[i % 3], "type": 1 + i % 3, "x": i, "y": -i, "z": i // 2,
                "colourMode": i % 2, "colour": (i & 0xFFFFFF) if i % 2 else i % 3} for i in range(count)]
    with open(path, "w", encoding="utf-8") as out:
        json.dump({"schema": 3, "objects": objects}, out, indent=1, ensure_ascii=False)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--bin", default="build/release/bin")
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--objects", type=int, default=1000000)
    args = parser.parse_args()
    qbx = os.path.join(args.bin, "qbx")
    probe = os.path.join(args.bin, "tesk_startup_probe")

    with tempfile.TemporaryDirectory() as work:
        source = os.path.join(work, "source.json")
        scene = os.path.join(work, "scene.qbx")
        dumped = os.path.join(work, "dump.json")
        built = os.path.join(work, "built.qbx")
        scene_json(source, args.objects)
        subprocess.run([qbx, "build", source, scene], check=True)
        with open(dumped, "w") as out:
            subprocess.run([qbx, "dump", scene], stdout=out, check=True)
        huge = dict(os.environ, GLIBC_TUNABLES="glibc.malloc.hugetlb=1")
        dumps = ("import json, sys, time; o = json.load(open(sys.argv[1])); t = time.perf_counter(); "
                 "json.dumps(o); print(time.perf_counter() - t)")

        rows = {}
        def add(label, seconds, mb=None):
            rows.setdefault(label, ([], []))
            rows[label][0].append(seconds)
            if mb is not None:
                rows[label][1].append(mb)

        for _ in range(args.runs):
            add("qbx check", *timed([qbx, "check", scene])[:2])
            add("qbx check, glibc.malloc.hugetlb=1", *timed([qbx, "check", scene], env=huge)[:2])
            add("tesk FILE to its first painted frame", *timed([probe, "tesk", scene])[:2])
            seconds, mb, out = timed([probe, "close", scene], stdout=subprocess.PIPE)
            add("closing its window (after an edit, unsaved)", int(out) / 1e9)
            start = time.monotonic_ns()
            with subprocess.Popen([probe, "quit", scene], stdout=subprocess.PIPE,
                                  stderr=subprocess.DEVNULL) as quitting:
                quit_start = int(quitting.stdout.readline())
                quitting.wait()
            add("quitting with it open", (time.monotonic_ns() - quit_start) / 1e9)
            add("qbx dump", *timed([qbx, "dump", scene])[:2])
            add("qbx build", *timed([qbx, "build", dumped, built])[:2])
            add("python3 json.load (whole process)",
                *timed([sys.executable, "-c", "import json, sys; json.load(open(sys.argv[1]))", dumped])[:2])
            seconds, mb, out = timed([sys.executable, "-c", dumps, dumped], stdout=subprocess.PIPE)
            add("python3 json.dumps (in process)", float(out))

    median = {label: statistics.median(values[0]) for label, values in rows.items()}
    peak = {label: statistics.median(values[1]) for label, values in rows.items() if values[1]}
    print(f"{args.objects} objects, median of {args.runs} runs")
    for label in rows:
        memory = f"{peak[label]:8.0f} MB" if label in peak else ""
        print(f"  {label:46s} {median[label]:7.3f} s {memory}")
    check = median["qbx check"]
    print("ratios")
    for label, value in [("open / check", median["tesk FILE to its first painted frame"] / check),
                         ("close / check", median["closing its window (after an edit, unsaved)"] / check),
                         ("quit / check", median["quitting with it open"] / check),
                         ("build / json.load", median["qbx build"] / median["python3 json.load (whole process)"]),
                         ("dump / json.dumps", median["qbx dump"] / median["python3 json.dumps (in process)"]),
                         ("build memory / check memory", peak["qbx build"] / peak["qbx check"]),
                         ("dump memory / check memory", peak["qbx dump"] / peak["qbx check"])]:
        print(f"  {label:46s} {value:7.2f}")


if __name__ == "__main__":
    main()
