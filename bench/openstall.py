#!/usr/bin/env python3
"""The longest stall of tesk's GUI thread while it opens a scene, read from outside with the stall meter's
_NET_WM_PING pings (../shared/stall, whose Meter class this uses).

Usage: bench/openstall.py BIN_DIR SCENE [RUNS] [--shot PNG SECONDS]

Runs on a private Xvfb + openbox, as the meter does. Each run starts a fresh tesk with an empty scene, waits
until it settles, then hands SCENE over to it by running `tesk SCENE` a second time (the open that File >
Open, a drop or a hand-over makes in a running editor). The second process ends once the editor has opened
the file; the figure is the longest delay of any ping answer from the hand-over until the scene's window is
up and the editor has settled again. With --shot, a screenshot of the whole screen is taken SECONDS into the
first run's open (the progress of a long open)."""
import os
import shutil
import subprocess
import sys
import tempfile
import time

from stalldisplay import session, stall


def main():
    args = sys.argv[1:]
    shot = None
    if '--shot' in args:
        i = args.index('--shot')
        shot, shot_at = os.path.abspath(args[i + 1]), float(args[i + 2])
        del args[i:i + 3]
    bin_dir, scene = os.path.abspath(args[0]), os.path.abspath(args[1])
    runs = int(args[2]) if len(args) > 2 else 3
    work = tempfile.mkdtemp(prefix='tesk-openstall.')
    try:
        with session(bin_dir, work) as ctx:
            empty = os.path.join(work, 'empty.qbx')
            subprocess.run([os.path.join(bin_dir, 'qbx'), 'build', '-', empty], input='{"objects": []}', text=True,
                           check=True)
            results = []
            for run in range(runs):
                t = stall.Tesk(ctx, empty, 'run%d' % run)
                try:
                    t.start()
                    while not t.meter.found:
                        time.sleep(0.005)
                    t_map = t.meter.found[0][0]
                    t.meter.settle(t_map, t_map)
                    t_from = stall.now()
                    second = subprocess.Popen([os.path.join(bin_dir, 'tesk'), scene], env=t.env(), cwd=t.dir,
                                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
                    if shot and run == 0:
                        time.sleep(shot_at)
                        subprocess.run(['import', '-window', 'root', '-strip', shot])
                    second.wait()
                    t_done = stall.now()
                    worst, t_end = t.meter.settle(t_from, t_done)
                    results.append((stall.ms(worst), stall.ms(t_done - t_from)))
                    print('run %d: max_stall_ms=%.1f open_ms=%.0f' % (run, results[-1][0], results[-1][1]), flush=True)
                finally:
                    t.kill()
            worst = sorted(r[0] for r in results)
            took = sorted(r[1] for r in results)
            print('%s: max_stall_ms=%.1f open_ms=%.0f (medians of %d)' % (os.path.basename(scene), worst[len(worst) // 2],
                                                                          took[len(took) // 2], runs))
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == '__main__':
    main()
