#!/usr/bin/env python3
"""Bus-scan figures of vesk-configurator against vesk-sim.

Three simulated devices (addresses 16, 17, 40, --line-timing) on one pseudo-terminal;
"--scan" over the whole 8-bit range (256 addresses) at 9600 and at 115200 baud. Prints
the wall time of each scan and what it found. Aims: under 15 s at 9600, under 3 s at
115200.

Usage: bench/bench_scan.py [BIN_DIR]   (default: BUILD/bin)
"""

import os
import subprocess
import sys
import tempfile
import time

DEVICES = "16,17,40"
AIMS = {9600: 15.0, 115200: 3.0}


def scan(bin_dir, work, baud):
    env = dict(os.environ, HOME=work, XDG_CONFIG_HOME=work)
    env.setdefault("VESK_TREE_DAT", os.path.join(bin_dir, "vesk.tree.dat"))
    env.pop("DISPLAY", None)
    env.pop("WAYLAND_DISPLAY", None)
    sim = subprocess.Popen([os.path.join(bin_dir, "vesk-sim"), "--bps", str(baud),
                            "--devices", DEVICES, "--line-timing"],
                           stdout=subprocess.PIPE, text=True, env=env)
    try:
        pty = sim.stdout.readline().strip()
        start = time.monotonic()
        run = subprocess.run([os.path.join(bin_dir, "vesk-configurator"), "--no-gui",
                              "--port=" + pty, "--bps=%d" % baud, "--scan"],
                             capture_output=True, text=True, env=env, cwd=work, timeout=120)
        seconds = time.monotonic() - start
    finally:
        sim.terminate()
        sim.wait()
    return run, seconds


def main():
    bin_dir = sys.argv[1] if len(sys.argv) > 1 else "BUILD/bin"
    failed = False
    with tempfile.TemporaryDirectory() as work:
        for baud, aim in AIMS.items():
            run, seconds = scan(bin_dir, work, baud)
            found = [line.split("\t")[0] for line in run.stdout.splitlines()]
            ok = run.returncode == 0 and ",".join(found) == DEVICES and seconds < aim
            failed = failed or not ok
            print("scan of 256 addresses at %6d baud: %5.2f s (aim < %.0f s), exit %d, found %s %s"
                  % (baud, seconds, aim, run.returncode, ",".join(found) or "nothing",
                     "" if ok else "  <-- MISSED"))
            sys.stdout.write(run.stdout)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
