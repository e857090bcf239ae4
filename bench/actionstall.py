#!/usr/bin/env python3
"""The longest stall of tesk's GUI thread for the keyboard and mouse actions that the stall meter
(../shared/stall, whose Meter, Tesk and settle this uses) does not drive: moves through the tree, expanding,
editing a position in place, the colour dialog, the context menu, the bars, the About box, the file dialogs,
the disabled Edit commands, switching windows and resizing the main window.

Usage: bench/actionstall.py BIN_DIR [OBJECTS[,OBJECTS...]] [RUNS] [--only REGEX]
(defaults: 1000000,100000 and 3 runs; --only drives just the actions whose names match, after the first)

Runs on a private Xvfb + openbox, as the meter does, and drives the release build of BIN_DIR with xdotool (and
wmctrl for maximizing). Each run starts a fresh tesk on a fresh copy of the scene and goes through every action
in order; each action is a few steps, each step followed by a wait until tesk has settled (every answer quicker
than 25 ms for 500 ms). An action's figures are the longest answer delay over all its steps and the GUI
thread's CPU time in its longest step (what the stall would be on an idle machine, near enough). Prints, per
scene size, one line per action with the medians over the runs and each run's figures (stall/CPU), then a
markdown table of the medians. Scenes come from the meter's genscene.py through `qbx build` and are kept in STALL_SCENES
(/tmp/tesk-stall-scenes), as the meter keeps them. STALL_SHOTS=1 takes a screenshot after every action
(STALL_KEEP=1 keeps the work folder with them)."""
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

from stalldisplay import STALL, session, stall


def keys(*k):
    return lambda t: stall.xdo('key', '--delay', '0', *k)


def typed(text):
    return lambda t: stall.xdo('type', '--delay', '0', text)


def size(w, h):
    return lambda t: stall.xdo('windowsize', t.meter.found[0][1], str(w), str(h))


def maximized(on):
    def send(t):
        subprocess.run(['wmctrl', '-i', '-r', t.meter.found[0][1], '-b',
                        '%s,maximized_vert,maximized_horz' % ('add' if on else 'remove')], check=True)
    return send


def at_tree(*what):
    """Mouse input at a point inside the scene's window: (x, y) in the main window, 200 px below its top."""
    def send(t):
        stall.xdo('mousemove', '--window', t.meter.found[0][1], '150', '200')
        stall.xdo(*what)
    return send


def windows(n):
    return lambda t: t.meter.window_count() == n


# Each action: (name, steps); a step is a sender or (sender, want), want being a condition the settled state
# must meet (a dialog shown or gone). The state each action leaves is where the next begins.
ACTIONS = [
    ('select the first object (Down, Home)', [keys('Down', 'Home')]),
    ('rename (warm-up: the journal starts)', [keys('F2'), typed('Action warm-up'), keys('Return')]),
    ('End', [keys('End')]),
    ('Home', [keys('Home')]),
    ('Page Down x10', [keys(*['Next'] * 10)]),
    ('Ctrl+End', [keys('ctrl+End')]),
    ('Down x60 (a held arrow)', [keys('Home'), keys(*['Down'] * 60)]),
    ('expand (Right) / collapse (Left), first object', [keys('Home'), keys('Right'), keys('Left')]),
    ('expand / collapse, last object', [keys('End'), keys('Right'), keys('Left'), keys('Home')]),
    ('edit x in place (Right, Down, F2, number, Enter)', [keys('Right'), keys('Down'), keys('F2'), typed('4242'),
                                                          keys('Return')]),
    ('colour dialog from the colour item (F2), open', [keys(*['Down'] * 4), (keys('F2'), windows(2))]),
    ('colour dialog: other colour mode, OK', [keys('Tab', 'Tab'), keys('Down'), (keys('Return'), windows(1))]),
    ('context menu (Shift+F10), Escape', [keys('Left', 'Left'), keys('shift+F10'), keys('Escape')]),
    ('context menu (Menu key) > Edytuj, colour dialog', [keys('Menu'), keys('Up'), (keys('Return'), windows(2))]),
    ('colour dialog: Cancel (Escape)', [(keys('Escape'), windows(1))]),
    ('context menu > Dodaj (Add Sphere, one window)', [keys('shift+F10'), keys('Down'), keys('Return')]),
    ('mouse wheel x20 over the tree', [at_tree('click', '--repeat', '20', '--delay', '1', '5')]),
    ('mouse click on a row', [at_tree('click', '1')]),
    ('View > Toolbar, hide and show', [keys('alt+v'), keys('Return'), keys('alt+v'), keys('Return')]),
    ('View > Status Bar, hide and show', [keys('alt+v'), keys('Down'), keys('Return'), keys('alt+v'),
                                          keys('Down'), keys('Return')]),
    ('Help > About, open', [keys('alt+h'), (keys('Return'), windows(2))]),
    ('About: close (Escape)', [(keys('Escape'), windows(1))]),
    ('Edit menu open, Escape', [keys('alt+e'), keys('Escape')]),
    ('Undo, Cut, Copy, Paste keys (disabled)', [keys('ctrl+z', 'ctrl+x', 'ctrl+c', 'ctrl+v', 'alt+BackSpace',
                                                     'shift+Delete', 'ctrl+Insert', 'shift+Insert')]),
    ('File > Save As dialog, open', [keys('alt+f'), (keys('a'), windows(2))]),
    ('Save As dialog: Cancel (Escape)', [(keys('Escape'), windows(1))]),
    ('File > Open dialog (Ctrl+O), open', [(keys('ctrl+o'), windows(2))]),
    ('Open dialog: Cancel (Escape)', [(keys('Escape'), windows(1))]),
    ('File > Save As dialog again, open', [keys('alt+f'), (keys('a'), windows(2))]),
    ('Save As dialog again: Cancel (Escape)', [(keys('Escape'), windows(1))]),
    ('resize the main window smaller', [size(900, 600)]),
    ('resize the main window larger', [size(1200, 850)]),
    ('maximize the main window', [maximized(True)]),
    ('restore the main window', [maximized(False)]),
    ('View > Add view x2 (three windows)', [keys('alt+v'), keys('Down', 'Down'), keys('Return'),
                                            keys('alt+v'), keys('Down', 'Down'), keys('Return')]),
    ('Ctrl+Tab (next window)', [keys('ctrl+Tab')]),
    ('Ctrl+Shift+Tab (previous window)', [keys('ctrl+shift+Tab')]),
    ('Ctrl+F6', [keys('ctrl+F6')]),
    ('maximize the main window, three windows', [maximized(True)]),
    ('restore the main window, three windows', [maximized(False)]),
]


def gui_cpu(t, a, b):
    """The CPU time of tesk's GUI thread from a to b (µs), from the 10 ms samples around them."""
    before = [x for x in t.samples if x[0] <= a]
    after = [x for x in t.samples if x[0] >= b]
    return after[0][1] - before[-1][1] if before and after else 0


def run_once(ctx, scene, tag):
    """One fresh tesk through every action; returns {name: (max_stall_ms, gui_cpu_ms)} and notes. The CPU
    time is that of the action's longest step on the GUI thread, from its keys to its last slow answer: the
    stall with the time other programs took the CPU left out."""
    res, notes = {}, []
    t = stall.Tesk(ctx, scene, tag)
    try:
        t.start()
        deadline = time.time() + stall.TIMEOUT_S
        while not t.meter.found:
            if t.proc.poll() is not None or time.time() > deadline:
                raise stall.Failed('no window')
            time.sleep(0.005)
        t_map = t.meter.found[0][0]
        t.meter.settle(t_map, t_map)
        for name, steps in ACTIONS:
            worst, cpu = 0, 0
            for s in steps:
                send, want = s if isinstance(s, tuple) else (s, None)
                t_from = stall.now()
                send(t)
                stalled, t_end = t.meter.settle(t_from, stall.now(), want and (lambda: want(t)))
                worst, cpu = max(worst, stalled), max(cpu, gui_cpu(t, t_from, t_end))
            res[name] = (stall.ms(worst), stall.ms(cpu))
            t.shot(''.join(c if c.isalnum() else '-' for c in name)[:40])
    except (stall.Failed, subprocess.CalledProcessError) as e:
        notes.append('%s: stopped: %s' % (tag, e))
    finally:
        t.kill()
    return res, notes


def scene_of(bin_dir, objects, work):
    keep = os.environ.get('STALL_SCENES', '/tmp/tesk-stall-scenes')
    kept = os.path.join(keep, 'scene-%d.qbx' % objects)
    if os.path.exists(kept):
        return kept
    js = os.path.join(work, 'scene-%d.json' % objects)
    made = os.path.join(work, 'scene-%d.qbx' % objects)
    subprocess.run([sys.executable, os.path.join(STALL, 'genscene.py'), str(objects), '1', js], check=True)
    subprocess.run([os.path.join(bin_dir, 'qbx'), 'build', js, made], check=True)
    os.unlink(js)
    os.makedirs(keep, exist_ok=True)
    shutil.copyfile(made, kept + '.part')
    os.replace(kept + '.part', kept)
    return made


def load():
    with open('/proc/loadavg') as f:
        return ' '.join(f.read().split()[:3])


def main():
    args = sys.argv[1:]
    if '--only' in args:
        i = args.index('--only')
        only = re.compile(args[i + 1])
        del args[i:i + 2]
        ACTIONS[1:] = [a for a in ACTIONS[1:] if only.search(a[0])]
    if not args:
        raise SystemExit(__doc__)
    bin_dir = os.path.abspath(args[0])
    sizes = [int(n) for n in (args[1] if len(args) > 1 else '1000000,100000').split(',')]
    runs = int(args[2]) if len(args) > 2 else 3
    work = tempfile.mkdtemp(prefix='tesk-actionstall.')
    try:
        with session(bin_dir, work) as ctx:
            medians = {}
            for objects in sizes:
                scene = scene_of(bin_dir, objects, work)
                print('# %d objects, %d runs, load average %s' % (objects, runs, load()), flush=True)
                got = []
                for run in range(runs):
                    res, notes = run_once(ctx, scene, 'run-%d-%d' % (objects, run))
                    got.append(res)
                    for n in notes:
                        print('# ' + n, flush=True)
                for name, _ in ACTIONS:
                    each = [r[name] for r in got if name in r]
                    if not each:
                        continue
                    medians[(name, objects)] = (statistics.median(x[0] for x in each),
                                                statistics.median(x[1] for x in each))
                    print('%s: max_stall_ms=%.1f gui_cpu_ms=%.0f  (runs: %s)' % (
                        name, *medians[(name, objects)], ' '.join('%.1f/%.0f' % x for x in each)), flush=True)
                print('# load average after: %s' % load(), flush=True)
            print()
            print('| action | %s |' % ' | '.join('%s max stall | %s GUI CPU' % (human(n), human(n)) for n in sizes))
            print('|---|%s' % ('---|---|' * len(sizes)))
            for name, _ in ACTIONS:
                print('| %s | %s |' % (name, ' | '.join('%.1f | %.0f' % medians[(name, n)] if (name, n) in medians
                                                        else '- | -' for n in sizes)))
    finally:
        if os.environ.get('STALL_KEEP'):
            print('# kept %s' % work)
        else:
            shutil.rmtree(work, ignore_errors=True)


def human(n):
    return '%dM' % (n // 1000000) if n % 1000000 == 0 else '%dk' % (n // 1000)


if __name__ == '__main__':
    main()
