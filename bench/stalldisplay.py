"""The private display the stall scripts run tesk on, as the stall meter (../shared/stall) does: the meter
built from its source, Xvfb on a free display and openbox. `stall` is the meter's own module."""
import contextlib
import os
import subprocess
import sys
import time

STALL = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..', 'shared', 'stall')
sys.path.insert(0, STALL)
import stall  # noqa: E402,F401


def free_display():
    for n in list(range(90, 100)) + list(range(190, 200)):
        if not os.path.exists('/tmp/.X11-unix/X%d' % n) and not os.path.exists('/tmp/.X%d-lock' % n):
            return ':%d' % n
    raise SystemExit('no free X display')


@contextlib.contextmanager
def session(bin_dir, work):
    """Yields the meter's context for BIN_DIR's tesk, with the display up; takes the display down after."""
    procs = []
    try:
        meter = os.path.join(work, 'stallmeter')
        subprocess.run(['gcc', '-O2', '-o', meter, os.path.join(STALL, 'stallmeter.c'), '-lX11'], check=True)
        os.environ['DISPLAY'] = free_display()
        procs.append(subprocess.Popen(['Xvfb', os.environ['DISPLAY'], '-screen', '0', '1280x900x24', '-nolisten',
                                       'tcp'], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        for _ in range(100):
            if subprocess.run(['xdotool', 'getmouselocation'], stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL).returncode == 0:
                break
            time.sleep(0.1)
        procs.append(subprocess.Popen(['openbox'], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        time.sleep(1.0)
        yield stall.Ctx(bin_dir, work, meter)
    finally:
        for p in reversed(procs):
            p.terminate()
            p.wait()
