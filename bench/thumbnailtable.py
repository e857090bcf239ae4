#!/usr/bin/env python3
"""tesk-thumbnailer against a cold `qbx check` of the same scene.

Makes a scene of random objects (types, colours and positions) with qbx
build, then runs `qbx check` and the thumbnailer at 256 and 1024 pixels as
fresh processes, one after the other in turn, and prints the median and
minimum wall time of each and its ratio to the check:

    bench/thumbnailtable.py [--bin build/deb/bin] [--before DIR] [--rounds 25] [--objects 1000000]

--bin holds qbx and tesk-thumbnailer (`make deb` builds both, in Release).
--before names the folder of another build's tesk-thumbnailer, run in the
same rounds, to compare a change against the build before it.
"""
import argparse
import json
import os
import random
import statistics
import subprocess
import tempfile
import time


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--bin", default="build/deb/bin")
    parser.add_argument("--before")
    parser.add_argument("--rounds", type=int, default=25)
    parser.add_argument("--objects", type=int, default=1_000_000)
    args = parser.parse_args()
    qbx = os.path.join(args.bin, "qbx")
    thumbnailer = os.path.join(args.bin, "tesk-thumbnailer")
    rng = random.Random(7)
    with tempfile.TemporaryDirectory() as work:
        scene = os.path.join(work, "scene.qbx")
        objects = []
        for i in range(args.objects):
            user = rng.random() < 0.5
            objects.append({"name": f"o{i}", "type": rng.choice([1, 2, 3, 7]), "x": rng.randint(-5000, 5000),
                            "y": rng.randint(-3000, 3000), "z": rng.randint(-100, 100), "colourMode": int(user),
                            "colour": rng.randint(0, 0xFFFFFF) if user else rng.randint(0, 2)})
        with open(os.path.join(work, "scene.json"), "w") as out:
            json.dump({"objects": objects}, out)
        subprocess.run([qbx, "build", os.path.join(work, "scene.json"), scene], check=True)
        commands = {
            "qbx check": [qbx, "check", scene],
            "tesk-thumbnailer 256": [thumbnailer, scene, os.path.join(work, "256.png"), "256"],
            "tesk-thumbnailer 1024": [thumbnailer, scene, os.path.join(work, "1024.png"), "1024"],
        }
        if args.before:
            before = os.path.join(args.before, "tesk-thumbnailer")
            for size in ("256", "1024"):
                commands[f"tesk-thumbnailer {size} (before)"] = [before, scene, os.path.join(work, f"before-{size}.png"), size]
        times = {name: [] for name in commands}
        # Processor time (user and system) of each run: a busy machine
        # stretches wall times far more than it.
        cpu = {name: [] for name in commands}
        for command in commands.values():
            subprocess.run(command, check=True, stdout=subprocess.DEVNULL)
        names = list(commands)
        for round in range(args.rounds):
            # Which command goes first rotates, so that none always follows another.
            shift = round % len(names)
            for name in names[shift:] + names[:shift]:
                start = time.perf_counter()
                process = subprocess.Popen(commands[name], stdout=subprocess.DEVNULL)
                _, status, usage = os.wait4(process.pid, 0)
                times[name].append(time.perf_counter() - start)
                cpu[name].append(usage.ru_utime + usage.ru_stime)
                if os.waitstatus_to_exitcode(status) != 0:
                    raise SystemExit(f"{name} failed")
    check = statistics.median(times["qbx check"])
    print("| command | median | min | vs `qbx check` (median) | processor time (median) |")
    print("|---|---|---|---|---|")
    for name, runs in times.items():
        median = statistics.median(runs)
        print(f"| `{name}` | {median * 1000:.0f} ms | {min(runs) * 1000:.0f} ms | {median / check:.2f}× "
              f"| {statistics.median(cpu[name]) * 1000:.0f} ms |")
    for size in ("256", "1024"):
        name = f"tesk-thumbnailer {size}"
        if name + " (before)" not in times:
            continue
        # Each round's run against the build before's run in the same round.
        wall = statistics.median(a / b for a, b in zip(times[name], times[name + " (before)"])) - 1
        processor = statistics.median(a / b for a, b in zip(cpu[name], cpu[name + " (before)"])) - 1
        print(f"\n{name} against the build before, median of the rounds' ratios: "
              f"wall {wall * 100:+.1f}%, processor time {processor * 100:+.1f}%", end="")
    print()


if __name__ == "__main__":
    main()
